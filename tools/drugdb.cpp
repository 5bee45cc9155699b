// Builds encrypted drug databases: from the sample JSON files, from the
// Access file of the program's Access version, or synthetic ones of any size
// for benchmarks.
#include "data/AccessFile.h"
#include "data/ChildProcess.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "tools/AccessReader.h"
#include "tools/SyntheticData.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

// Generous: a large file reads in seconds, a damaged one may loop for ever.
constexpr int ReaderTimeLimitMs = 10 * 60 * 1000;

int usage()
{
    std::fputs("usage:\n"
               "  drugdb build --data DIR --out FILE [--force | --keep-existing]\n"
               "  drugdb import ACCESS_FILE --out FILE [--force]\n"
               "  drugdb synth --drugs N --categories M [--seed S] --out FILE [--force]\n",
               stderr);
    return 2;
}

using data::DbError;

// Runs libmdb in a child process: a damaged file can crash it, and a crash
// must end only the reading, never the import with a half-written file.
tools::AccessDump readInChild(const QString &source)
{
    return tools::deserialize(data::runChild(
        QCoreApplication::applicationFilePath(), {QStringLiteral("read-access"), source}, ReaderTimeLimitMs,
        {QStringLiteral("无法启动读取程序：%1"), QStringLiteral("读取文件超过 %1 分钟，已中止"),
         QStringLiteral("读取文件时读取程序崩溃了，文件可能已损坏"), QStringLiteral("读取程序以状态 %1 结束")}));
}

void importAccess(const QString &source, const QString &out, bool force)
{
    if (!QFileInfo(source).isFile())
        throw DbError(QStringLiteral("找不到文件 %1").arg(source));
    switch (data::accessFormat(source)) {
    case data::AccessFormat::None:
        throw DbError(QStringLiteral("%1 不是 Access 数据库文件").arg(source));
    case data::AccessFormat::Accdb:
        throw DbError(QStringLiteral("%1 是 Access 2007 或更新版本的格式，无法读取；"
                                     "请先在 Access 中把它另存为 Access 2000 或 2002-2003 格式的 .mdb 文件")
                          .arg(source));
    case data::AccessFormat::Jet3:
    case data::AccessFormat::Jet4:
        break;
    }
    if (QFileInfo::exists(out) && !force)
        throw DbError(QStringLiteral("%1 已存在，不会覆盖它").arg(out));

    const tools::AccessDump dump = readInChild(source);
    const auto wanted = tools::wantedTables();
    if (dump.tables.size() != wanted.size())
        throw DbError(QStringLiteral("读取程序的输出不完整"));
    for (size_t t = 0; t < wanted.size(); ++t) {
        if (dump.tables[t].name != wanted[t].first || dump.tables[t].columns != wanted[t].second)
            throw DbError(QStringLiteral("读取程序的输出无法识别"));
        for (const QStringList &row : dump.tables[t].rows) {
            if (row.size() != wanted[t].second.size())
                throw DbError(QStringLiteral("读取程序的输出不完整"));
        }
    }

    data::ImportedContent content;
    for (const QStringList &row : dump.tables[0].rows)
        content.categories.push_back({row[0], row[1]});
    for (const QStringList &row : dump.tables[1].rows) {
        bool ok = false;
        const qint64 id = row[0].toLongLong(&ok);
        if (!ok || id <= 0)
            throw DbError(QStringLiteral("DRUG_ZB 中有一行的 ID 无效（%1）").arg(row[0].isNull() ? QStringLiteral("空") : row[0]));
        content.drugs.push_back({id, row[1], row.mid(2)});
    }
    for (const QStringList &row : dump.tables[2].rows)
        content.topics.push_back({row[0], row[1]});
    for (const QStringList &row : dump.tables[3].rows)
        content.texts.push_back({row[0], row[1]});

    const std::vector<data::CategoryChange> changes = data::DatabaseBuilder::buildFromImport(content, out, force);

    std::printf("read %s (Jet %d)\n", qPrintable(source), dump.jetVersion);
    for (const tools::AccessTable &table : dump.tables)
        std::printf("%s: %zu rows\n", qPrintable(table.name), table.rows.size());
    auto shown = [](const QString &value) { return value.isNull() ? QStringLiteral("NULL") : u'"' + value + u'"'; };
    if (!changes.empty()) {
        std::printf("类别 set to the category's name where the stored one differed:\n");
        for (const data::CategoryChange &c : changes)
            std::printf("  ID %lld %s: %s -> %s\n", static_cast<long long>(c.id), qPrintable(c.name),
                        qPrintable(shown(c.stored)), qPrintable(shown(c.written)));
    }
    if (!dump.leftOut.isEmpty())
        std::printf("left out: %s\n", qPrintable(dump.leftOut.join(QStringLiteral(", "))));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("read-access")) {
        // The reading child of import: the dump on stdout, or a message.
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        if (args.size() != 1)
            return usage();
        try {
            const QByteArray bytes = tools::serialize(tools::readAccess(args[0]));
            QFile out;
            if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
                return 1;
        } catch (const data::DbError &e) {
            std::fprintf(stderr, "drugdb: %s\n", e.what());
            return 1;
        }
        return 0;
    }
    QString dataDir, out, source;
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
        else if (command == QLatin1String("import") && source.isEmpty() && !a.startsWith(QLatin1String("--"))) source = a;
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
        } else if (command == QLatin1String("import")) {
            if (source.isEmpty())
                return usage();
            importAccess(source, out, force);
        } else if (command == QLatin1String("synth")) {
            if (drugs <= 0 || categories <= 0)
                return usage();
            tools::buildSynthetic(out, drugs, categories, seed, force);
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
