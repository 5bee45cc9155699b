#include "data/DatabaseBuilder.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/SearchIndex.h"
#include "data/Statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <random>
#include <sqlite3.h>

namespace data {

QStringList drugColumns()
{
    return {QStringLiteral("LB"),       QStringLiteral("药物名称"),  QStringLiteral("英文名称"),
            QStringLiteral("别名"),     QStringLiteral("来源"),      QStringLiteral("植物形态1"),
            QStringLiteral("植物形态2"), QStringLiteral("生长地"),    QStringLiteral("采制"),
            QStringLiteral("化学成分"), QStringLiteral("性味"),      QStringLiteral("功能主治"),
            QStringLiteral("附注")};
}

namespace {

struct Closer {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Handle = std::unique_ptr<sqlite3, Closer>;

void exec(sqlite3 *db, const QString &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        throw DbError(text);
    }
}

struct Category { QString bm, mc; };
struct Drug { QStringList values; }; // in drugColumns() order
struct HelpTopic { QString bm, mc, content; bool hasContent = false; };

struct Content {
    std::vector<Category> categories;
    std::vector<Drug> drugs;
    std::vector<HelpTopic> help;
};

// Writes into a temporary file and moves it over the target when complete.
class NewDatabase
{
public:
    NewDatabase(const QString &path, bool overwrite) : m_path(QFileInfo(path).absoluteFilePath())
    {
        if (QFileInfo::exists(m_path) && !overwrite)
            throw DbError(QStringLiteral("%1 已存在，不会覆盖它").arg(m_path));
        m_temp = m_path + QStringLiteral(".building");
        QFile::remove(m_temp);
        sqlite3 *db = nullptr;
        const int rc = sqlite3_open_v2(m_temp.toUtf8().constData(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        m_db.reset(db);
        if (rc != SQLITE_OK)
            throw DbError(QStringLiteral("无法创建 %1：%2").arg(m_temp, QString::fromUtf8(sqlite3_errmsg(db))));
        Connection::applyKey(db);
        exec(db, DatabaseBuilder::schemaSql());
    }
    ~NewDatabase()
    {
        m_db.reset();
        if (!m_done)
            QFile::remove(m_temp);
    }
    sqlite3 *db() const { return m_db.get(); }
    void finish()
    {
        m_db.reset();
        QFile::remove(m_path);
        if (!QFile::rename(m_temp, m_path))
            throw DbError(QStringLiteral("无法把 %1 改名为 %2").arg(m_temp, m_path));
        m_done = true;
    }

private:
    QString m_path;
    QString m_temp;
    Handle m_db;
    bool m_done = false;
};

void write(NewDatabase &target, const Content &content)
{
    sqlite3 *db = target.db();
    exec(db, QStringLiteral("BEGIN"));
    {
        Statement category(db, QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES (?, ?)"));
        for (const Category &c : content.categories) {
            category.bind(1, c.bm);
            category.bind(2, c.mc);
            category.step();
            category.reset();
        }
        QStringList columns, marks;
        for (const QString &column : drugColumns()) {
            columns << column;
            marks << QStringLiteral("?");
        }
        Statement drug(db, QStringLiteral("INSERT INTO DRUG_ZB (%1) VALUES (%2)")
                               .arg(columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        for (const Drug &d : content.drugs) {
            for (int i = 0; i < d.values.size(); ++i)
                drug.bind(i + 1, d.values[i]);
            drug.step();
            drug.reset();
        }
        SearchIndex::rebuild(db);
        Statement topic(db, QStringLiteral("INSERT INTO HELP_LB (BM, MC) VALUES (?, ?)"));
        Statement text(db, QStringLiteral("INSERT INTO HELP_ZB (LB, CONTENT) VALUES (?, ?)"));
        for (const HelpTopic &h : content.help) {
            topic.bind(1, h.bm);
            topic.bind(2, h.mc);
            topic.step();
            topic.reset();
            if (h.hasContent) {
                text.bind(1, h.bm);
                text.bind(2, h.content);
                text.step();
                text.reset();
            }
        }
    }
    exec(db, QStringLiteral("COMMIT"));
}

// Reading the sample: every problem names the file and, for syntax errors,
// the line and column.
class SampleReader
{
public:
    explicit SampleReader(QString dir) : m_dir(std::move(dir)) {}

    QJsonArray readArray(const QString &relative)
    {
        const QString path = QDir(m_dir).filePath(relative);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("%1：无法读取文件").arg(path));
        const QByteArray bytes = file.readAll();
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError) {
            int line = 1, column = 1;
            for (int i = 0; i < error.offset && i < bytes.size(); ++i) {
                if (bytes[i] == '\n') {
                    ++line;
                    column = 1;
                } else if ((bytes[i] & 0xC0) != 0x80) {
                    ++column;
                }
            }
            throw DbError(QStringLiteral("%1:%2:%3: JSON 格式错误：%4")
                              .arg(path).arg(line).arg(column).arg(error.errorString()));
        }
        if (!document.isArray())
            throw DbError(QStringLiteral("%1：顶层必须是数组").arg(path));
        return document.array();
    }

    static QString text(const QString &path, int item, const QJsonObject &object, const QString &key, bool required)
    {
        const QJsonValue value = object.value(key);
        if (value.isUndefined()) {
            if (required)
                throw DbError(QStringLiteral("%1：第 %2 项缺少 \"%3\"").arg(path).arg(item + 1).arg(key));
            return QString();
        }
        if (!value.isString())
            throw DbError(QStringLiteral("%1：第 %2 项的 \"%3\" 必须是字符串").arg(path).arg(item + 1).arg(key));
        return value.toString();
    }

    static void onlyKeys(const QString &path, int item, const QJsonObject &object, const QStringList &keys)
    {
        for (const QString &key : object.keys()) {
            if (!keys.contains(key))
                throw DbError(QStringLiteral("%1：第 %2 项有未知的列 \"%3\"").arg(path).arg(item + 1).arg(key));
        }
    }

    static QJsonObject object(const QString &path, int item, const QJsonValue &value)
    {
        if (!value.isObject())
            throw DbError(QStringLiteral("%1：第 %2 项必须是对象").arg(path).arg(item + 1));
        return value.toObject();
    }

    Content read()
    {
        Content content;
        const QString categories = QStringLiteral("categories.json");
        const QJsonArray categoryArray = readArray(categories);
        for (int i = 0; i < categoryArray.size(); ++i) {
            const QJsonObject o = object(categories, i, categoryArray[i]);
            onlyKeys(categories, i, o, {QStringLiteral("BM"), QStringLiteral("MC")});
            content.categories.push_back({text(categories, i, o, QStringLiteral("BM"), true),
                                          text(categories, i, o, QStringLiteral("MC"), true)});
        }
        const QStringList columns = drugColumns();
        const QDir drugs(QDir(m_dir).filePath(QStringLiteral("drugs")));
        for (const QString &name : drugs.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            const QString relative = QStringLiteral("drugs/") + name;
            const QJsonArray array = readArray(relative);
            for (int i = 0; i < array.size(); ++i) {
                const QJsonObject o = object(relative, i, array[i]);
                onlyKeys(relative, i, o, columns);
                Drug drug;
                for (const QString &column : columns)
                    drug.values << text(relative, i, o, column, column == QLatin1String("LB") || column == QLatin1String("药物名称"));
                content.drugs.push_back(drug);
            }
        }
        const QString help = QStringLiteral("help.json");
        if (QFileInfo::exists(QDir(m_dir).filePath(help))) {
            const QJsonArray array = readArray(help);
            for (int i = 0; i < array.size(); ++i) {
                const QJsonObject o = object(help, i, array[i]);
                onlyKeys(help, i, o, {QStringLiteral("BM"), QStringLiteral("MC"), QStringLiteral("CONTENT")});
                HelpTopic topic{text(help, i, o, QStringLiteral("BM"), true), text(help, i, o, QStringLiteral("MC"), true),
                                text(help, i, o, QStringLiteral("CONTENT"), false), o.contains(QStringLiteral("CONTENT"))};
                content.help.push_back(topic);
            }
        }
        return content;
    }

private:
    QString m_dir;
};

} // namespace

namespace {

QString resourceText(const QString &name)
{
    QFile file(QStringLiteral(":/data/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("找不到数据库结构定义"));
    return QString::fromUtf8(file.readAll());
}

int userVersion(sqlite3 *db)
{
    Statement version(db, QStringLiteral("PRAGMA user_version"));
    return version.step() ? int(version.int64(0)) : 0;
}

} // namespace

QString DatabaseBuilder::schemaSql()
{
    return resourceText(QStringLiteral("schema.sql")) + QLatin1Char('\n') + resourceText(QStringLiteral("derived.sql"));
}

void DatabaseBuilder::upgrade(sqlite3 *db)
{
    if (userVersion(db) >= SchemaVersion || sqlite3_db_readonly(db, "main") == 1)
        return;
    {
        Statement tables(db, QStringLiteral("select count(*) from sqlite_master where type = 'table' and name in ('DRUG_ZB','DRUG_LB')"));
        if (!tables.step() || tables.int64(0) != 2)
            return;
    }
    const int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_READONLY)
        return; // searched in full until a later open can upgrade it
    if (rc != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)));
    try {
        // Another program may have upgraded it meanwhile.
        if (userVersion(db) < SchemaVersion) {
            // Every derived object, of earlier builds and of this one.
            exec(db, QStringLiteral("DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AI;"
                                    "DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AU;"
                                    "DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AD;"
                                    "DROP TABLE IF EXISTS DRUG_GRAM;"
                                    "DROP TABLE IF EXISTS DRUG_SEARCH_META;"
                                    "DROP TABLE IF EXISTS DRUG_SEARCH_INDEX;"
                                    "DROP TABLE IF EXISTS DRUG_SEARCH_TOP;"
                                    "DROP TABLE IF EXISTS DRUG_ZB_DIRTY;"
                                    "DROP INDEX IF EXISTS DRUG_ZB_LB;"));
            exec(db, resourceText(QStringLiteral("derived.sql")));
            SearchIndex::rebuild(db);
        }
        exec(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void DatabaseBuilder::createEmpty(const QString &path)
{
    NewDatabase target(path, false);
    target.finish();
}

void DatabaseBuilder::buildFromSample(const QString &dataDir, const QString &outPath, bool overwrite)
{
    const Content content = SampleReader(dataDir).read();
    NewDatabase target(outPath, overwrite);
    write(target, content);
    target.finish();
}

void DatabaseBuilder::buildSynthetic(const QString &outPath, int drugs, int categories, unsigned seed, bool overwrite)
{
    if (drugs < 0 || categories < 1)
        throw DbError(QStringLiteral("药物数不能为负，类别数至少为 1（药物 %1，类别 %2）").arg(drugs).arg(categories));
    std::mt19937 random(seed);
    static const QString pool = QStringLiteral(
        "草木花叶根茎皮子仁实果藤枝香黄白青红紫黑金银山地川南北参芪术苓归芍芎连柏栀芩"
        "苦甘辛酸咸温凉寒热平气血阴阳肺脾肾肝心胃经络风湿痰瘀虚实补泻清解散收敛利水止痛");
    auto chinese = [&](int length) {
        QString s;
        s.reserve(length);
        std::uniform_int_distribution<int> pick(0, int(pool.size()) - 1);
        for (int i = 0; i < length; ++i) {
            s += pool[pick(random)];
            if (i % 23 == 22)
                s += QStringLiteral("，");
        }
        return s + QStringLiteral("。");
    };
    auto latin = [&](int length) {
        QString s;
        std::uniform_int_distribution<int> pick(0, 25);
        for (int i = 0; i < length; ++i)
            s += (i % 9 == 8) ? QChar(' ') : QChar('a' + pick(random));
        return s;
    };
    auto around = [&](int mean) { return std::uniform_int_distribution<int>(mean / 2, mean * 3 / 2)(random); };

    Content content;
    for (int c = 0; c < categories; ++c)
        content.categories.push_back({QStringLiteral("%1").arg(c + 1, 3, 10, QLatin1Char('0')),
                                      chinese(3).chopped(1) + QStringLiteral("药%1").arg(c + 1)});
    content.drugs.reserve(size_t(drugs));
    for (int i = 0; i < drugs; ++i) {
        Drug d;
        d.values << content.categories[size_t(i % categories)].bm
                 << chinese(3).chopped(1) + QString::number(i + 1)
                 << latin(around(28))
                 << chinese(around(16))
                 << chinese(around(60))
                 << chinese(around(240))
                 << ((i % 3 == 0) ? chinese(around(120)) : QString())
                 << chinese(around(40))
                 << chinese(around(60))
                 << chinese(around(60))
                 << chinese(around(16))
                 << chinese(around(70)) + QStringLiteral("证型%1。").arg(i % 1200, 4, 10, QLatin1Char('0'))
                 << chinese(around(80));
        content.drugs.push_back(d);
    }
    content.help.push_back({QStringLiteral("01"), QStringLiteral("基准测试数据"),
                            QStringLiteral("本数据库由程序生成，仅用于性能测试。"), true});
    NewDatabase target(outPath, overwrite);
    write(target, content);
    target.finish();
}

} // namespace data
