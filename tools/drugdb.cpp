// Builds encrypted drug databases: from the sample JSON files, from the
// Access file of the program's Access version, or synthetic ones of any size
// for benchmarks.
#include "access/AccessFile.h"
#include "access/ChildProcess.h"
#include "data/DatabaseBuilder.h"
#include "data/DbError.h"
#include "tools/AccessReader.h"
#include "tools/SyntheticData.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <map>
#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

// Generous: a large file reads in seconds, a damaged one may loop for ever.
constexpr int ReaderTimeLimitMs = 10 * 60 * 1000;

const char Usage[] = "usage:\n"
                     "  drugdb build --data DIR --out FILE [--force | --keep-existing]\n"
                     "  drugdb import ACCESS_FILE --out FILE [--force]\n"
                     "  drugdb synth --drugs N --categories M [--seed S] --out FILE [--force]\n"
                     "  drugdb COMMAND --help\n";

int usage()
{
    std::fputs(Usage, stderr);
    return 2;
}

using data::DbError;

// Progress lines on standard error, one when the step changes and one for
// each further tenth of the whole; standard output stays for the results.
data::Progress progressLines()
{
    return [shown = -1, step = QString()](const QString &now, int percent) mutable {
        if (now == step && percent / 10 == shown / 10)
            return;
        step = now;
        shown = percent;
        std::fprintf(stderr, "[%3d%%] %s\n", percent, qPrintable(now));
    };
}

// Runs libmdb in a child process: a damaged file can crash it, and a crash
// must end only the reading, never the import with a half-written file.
tools::AccessDump readInChild(const QString &source)
{
    return tools::deserialize(msaccess::runChild(
        QCoreApplication::applicationFilePath(), {QStringLiteral("read-access"), source}, ReaderTimeLimitMs,
        {QStringLiteral("无法启动读取程序：%1"), QStringLiteral("读取文件超过 %1 分钟，已中止"),
         QStringLiteral("读取文件时读取程序崩溃了，文件可能已损坏"), QStringLiteral("读取程序以状态 %1 结束")}));
}

void importAccess(const QString &source, const QString &out, bool force)
{
    if (!QFileInfo(source).isFile())
        throw DbError(QStringLiteral("找不到文件 %1").arg(source));
    switch (msaccess::accessFormat(source)) {
    case msaccess::AccessFormat::None:
        throw DbError(QStringLiteral("%1 不是 Access 数据库文件").arg(source));
    case msaccess::AccessFormat::Accdb:
        throw DbError(QStringLiteral("%1 是 Access 2007 或更新版本的格式，无法读取；"
                                     "请先在 Access 中把它另存为 Access 2000 或 2002-2003 格式的 .mdb 文件")
                          .arg(source));
    case msaccess::AccessFormat::Jet3:
    case msaccess::AccessFormat::Jet4:
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

    const std::vector<data::CategoryChange> changes = data::DatabaseBuilder::buildFromImport(content, out, force, progressLines());

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

// One command's options. Every command writes --out, and takes --schema
// from old scripts (the schema is built in).
class CommandLine
{
public:
    CommandLine(const QString &command, const QString &description) : m_command(command)
    {
        m_parser.setApplicationDescription(description);
        m_parser.addHelpOption();
        add({QStringLiteral("out"), QStringLiteral("The database file to write."), QStringLiteral("FILE")});
        QCommandLineOption schema(QStringLiteral("schema"), QString(), QStringLiteral("FILE"));
        schema.setFlags(QCommandLineOption::HiddenFromHelp);
        add(schema);
    }
    void add(const QCommandLineOption &option) { m_parser.addOption(option); }
    void addPositional(const QString &name, const QString &description) { m_parser.addPositionalArgument(name, description); }

    // False when the arguments are not this command's, or --out is missing.
    bool parse(const QStringList &arguments, int positionals)
    {
        return m_parser.parse(arguments) && (helpAsked()
                                             || (m_parser.positionalArguments().size() == positionals
                                                 && !value(QStringLiteral("out")).isEmpty()));
    }
    bool helpAsked() const { return m_parser.isSet(QStringLiteral("help")) || m_parser.isSet(QStringLiteral("help-all")); }
    int showHelp() const
    {
        // The parser names the program by its path; the command belongs there.
        QString text = m_parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')),
                     QStringLiteral("Usage: drugdb %1 [options]").arg(m_command));
        std::fputs(text.toUtf8().constData(), stdout);
        return 0;
    }
    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    QString positional(int i) const { return m_parser.positionalArguments().value(i); }

private:
    QString m_command;
    QCommandLineParser m_parser;
};

QCommandLineOption flag(const QString &name, const QString &description)
{
    return QCommandLineOption(name, description);
}

QCommandLineOption valued(const QString &name, const QString &description, const QString &valueName)
{
    return QCommandLineOption(name, description, valueName);
}

int wrote(const QString &out)
{
    std::printf("wrote %s\n", qPrintable(out));
    return 0;
}

int build(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("build"), QStringLiteral("Builds a drug database from the sample's JSON files."));
    line.add(valued(QStringLiteral("data"), QStringLiteral("The folder of categories.json, drugs/ and help.json."),
                    QStringLiteral("DIR")));
    line.add(flag(QStringLiteral("force"), QStringLiteral("Replace an existing file.")));
    line.add(flag(QStringLiteral("keep-existing"), QStringLiteral("Keep an existing file as it is.")));
    if (!line.parse(arguments, 0))
        return usage();
    if (line.helpAsked())
        return line.showHelp();
    const QString dataDir = line.value(QStringLiteral("data"));
    const QString out = line.value(QStringLiteral("out"));
    if (dataDir.isEmpty())
        return usage();
    if (line.isSet(QStringLiteral("keep-existing")) && QFileInfo::exists(out)) {
        std::printf("%s exists; kept as it is\n", qPrintable(out));
        return 0;
    }
    data::DatabaseBuilder::buildFromSample(dataDir, out, line.isSet(QStringLiteral("force")), progressLines());
    return wrote(out);
}

int import(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("import ACCESS_FILE"), QStringLiteral("Converts the Access database of the program's Access version."));
    line.addPositional(QStringLiteral("ACCESS_FILE"), QStringLiteral("The Access file (Access 97 or 2000-2003)."));
    line.add(flag(QStringLiteral("force"), QStringLiteral("Replace an existing file.")));
    if (!line.parse(arguments, 1))
        return usage();
    if (line.helpAsked())
        return line.showHelp();
    const QString out = line.value(QStringLiteral("out"));
    importAccess(line.positional(0), out, line.isSet(QStringLiteral("force")));
    return wrote(out);
}

int synth(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("synth"), QStringLiteral("Builds a synthetic drug database of any size, for benchmarks."));
    line.add(valued(QStringLiteral("drugs"), QStringLiteral("How many drugs."), QStringLiteral("N")));
    line.add(valued(QStringLiteral("categories"), QStringLiteral("How many categories."), QStringLiteral("M")));
    line.add(valued(QStringLiteral("seed"), QStringLiteral("The random seed."), QStringLiteral("S")));
    line.add(flag(QStringLiteral("force"), QStringLiteral("Replace an existing file.")));
    if (!line.parse(arguments, 0))
        return usage();
    if (line.helpAsked())
        return line.showHelp();
    const int drugs = line.value(QStringLiteral("drugs")).toInt();
    const int categories = line.value(QStringLiteral("categories")).toInt();
    const unsigned seed = line.isSet(QStringLiteral("seed")) ? line.value(QStringLiteral("seed")).toUInt() : 20261208;
    if (drugs <= 0 || categories <= 0)
        return usage();
    const QString out = line.value(QStringLiteral("out"));
    tools::buildSynthetic(out, drugs, categories, seed, line.isSet(QStringLiteral("force")), progressLines());
    return wrote(out);
}

// The reading child of import: the dump on stdout, or a message.
int readAccessChild(const QStringList &arguments)
{
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (arguments.size() != 2)
        return usage();
    const QByteArray bytes = tools::serialize(tools::readAccess(arguments[1]));
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
        return 1;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("drugdb"));
    const QStringList args = app.arguments();
    if (args.size() < 2)
        return usage();
    const QString command = args[1];
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    // What the command's parser reads: the program's name, then its own arguments.
    const QStringList arguments = QStringList{args[0]} + args.mid(2);
    const std::map<QString, int (*)(const QStringList &)> commands{
        {QStringLiteral("build"), build},
        {QStringLiteral("import"), import},
        {QStringLiteral("synth"), synth},
        {QStringLiteral("read-access"), readAccessChild},
    };
    const auto found = commands.find(command);
    if (found == commands.end())
        return usage();
    try {
        return found->second(arguments);
    } catch (const core::Error &e) {
        std::fprintf(stderr, "drugdb: %s\n", e.what());
        return 1;
    }
}
