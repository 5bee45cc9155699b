// Builds encrypted drug databases: from the sample JSON files, or synthetic
// ones of any size for benchmarks.
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

namespace {

int usage()
{
    std::fputs("usage:\n"
               "  drugdb build --data DIR --out FILE [--force | --keep-existing]\n"
               "  drugdb synth --drugs N --categories M [--seed S] --out FILE [--force]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    QString dataDir, out;
    bool force = false, keepExisting = false;
    int drugs = 0, categories = 0;
    unsigned seed = 20261208;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto next = [&]() -> QString { return i + 1 < args.size() ? args[++i] : QString(); };
        if (a == QLatin1String("--data")) dataDir = next();
        else if (a == QLatin1String("--out")) out = next();
        else if (a == QLatin1String("--force")) force = true;
        else if (a == QLatin1String("--keep-existing")) keepExisting = true;
        else if (a == QLatin1String("--drugs")) drugs = next().toInt();
        else if (a == QLatin1String("--categories")) categories = next().toInt();
        else if (a == QLatin1String("--seed")) seed = next().toUInt();
        else if (a == QLatin1String("--schema")) next(); // the schema is built in; accepted for old scripts
        else return usage();
    }
    if (out.isEmpty())
        return usage();
    try {
        if (command == QLatin1String("build")) {
            if (dataDir.isEmpty())
                return usage();
            if (keepExisting && QFileInfo::exists(out)) {
                std::printf("%s exists; kept as it is\n", qPrintable(out));
                return 0;
            }
            data::DatabaseBuilder::buildFromSample(dataDir, out, force);
        } else if (command == QLatin1String("synth")) {
            if (drugs <= 0 || categories <= 0)
                return usage();
            data::DatabaseBuilder::buildSynthetic(out, drugs, categories, seed, force);
        } else {
            return usage();
        }
    } catch (const data::DbError &e) {
        std::fprintf(stderr, "drugdb: %s\n", e.what());
        return 1;
    }
    std::printf("wrote %s\n", qPrintable(out));
    return 0;
}
