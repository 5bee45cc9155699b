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
#include <algorithm>
#include <QSet>
#include <filesystem>
#include <memory>
#include <random>
#include <sqlite3.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace data {

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
struct Drug {
    QStringList values; // in drugColumns() order
    qint64 id = 0;      // 0: the database numbers the row
    QString category;   // kept where LB names no category
};
struct HelpTopic { QString bm, mc, content; bool hasContent = false; };
struct HelpText { QString lb, content; };

struct Content {
    std::vector<Category> categories;
    std::vector<Drug> drugs;
    std::vector<HelpTopic> help;
    std::vector<HelpText> texts; // rows of HELP_ZB of their own
    bool keepNull = false;       // a null value is NULL, not empty text
};

// The triggers keep 类别 equal to the category's name. A drug whose LB names
// no category has no such name, so its stored one is written with DRUG_ZB's
// triggers set aside, and they are then made again from their own text in
// their order, which is the order they fire in.
void keepStoredCategories(sqlite3 *db, const Content &content)
{
    const bool any = std::any_of(content.drugs.begin(), content.drugs.end(),
                                 [](const Drug &d) { return !d.category.isNull() && d.id > 0; });
    if (!any)
        return;
    QStringList names, sql;
    {
        Statement triggers(db, QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' "
                                              "AND tbl_name = 'DRUG_ZB' ORDER BY rowid"));
        while (triggers.step()) {
            names << triggers.text(0);
            sql << triggers.text(1);
        }
    }
    for (const QString &name : names)
        exec(db, QStringLiteral("DROP TRIGGER \"%1\"").arg(name));
    {
        Statement update(db, QStringLiteral("UPDATE DRUG_ZB SET 类别 = ? WHERE ID = ? "
                                            "AND NOT EXISTS (SELECT 1 FROM DRUG_LB WHERE BM = DRUG_ZB.LB)"));
        for (const Drug &d : content.drugs) {
            if (d.category.isNull() || d.id <= 0)
                continue;
            update.bind(1, d.category);
            update.bind(2, d.id);
            update.step();
            update.reset();
        }
    }
    for (const QString &text : sql)
        exec(db, text);
}

// The files the engine keeps beside a database while it writes to it. One
// left behind by a program killed during a save is played into whatever
// file bears the name next, so it must go with the file it belongs to.
const char *const SideFiles[] = {"-journal", "-wal", "-shm"};

void removeWithSideFiles(const QString &path)
{
    QFile::remove(path);
    for (const char *suffix : SideFiles)
        QFile::remove(path + QLatin1String(suffix));
}

// Holds the engine's locks of an existing database file while it is
// replaced: no other program can begin to read or write it meanwhile, and
// one that is reading or writing it now makes the replacement fail. (The
// locks are POSIX record locks, the engine's own; a program that has the
// file open but is not using it holds none and cannot be seen.)
class ReplaceLock
{
public:
    explicit ReplaceLock(const QString &path)
    {
#ifdef Q_OS_UNIX
        const QByteArray name = QFile::encodeName(path);
        bool writable = true;
        m_fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0 && errno == EACCES) {
            writable = false; // a read-only file: a read lock still keeps writers out
            m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        }
        if (m_fd < 0)
            return; // no file to guard (or none we can open): the rename decides
        struct flock lock = {};
        lock.l_type = writable ? F_WRLCK : F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0x40000000; // the engine's lock bytes: pending, reserved, shared
        lock.l_len = 512;
        if (::fcntl(m_fd, F_SETLK, &lock) != 0) {
            ::close(m_fd);
            m_fd = -1;
            throw DbError(QStringLiteral("%1 正被另一个程序读写，没有替换它。请先关闭使用它的程序").arg(path));
        }
#else
        Q_UNUSED(path);
#endif
    }
    ~ReplaceLock()
    {
#ifdef Q_OS_UNIX
        if (m_fd >= 0)
            ::close(m_fd);
#endif
    }
    ReplaceLock(const ReplaceLock &) = delete;
    ReplaceLock &operator=(const ReplaceLock &) = delete;

private:
    int m_fd = -1;
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
        removeWithSideFiles(m_temp);
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
            removeWithSideFiles(m_temp);
    }
    sqlite3 *db() const { return m_db.get(); }
    // Replaces the target, and the journal of the old file with it: left
    // beside the new file, the engine would play it into the new one.
    void finish()
    {
        m_db.reset();
        ReplaceLock lock(m_path);
        for (const char *suffix : SideFiles) {
            const QString side = m_path + QLatin1String(suffix);
            if (QFileInfo::exists(side) && !QFile::remove(side))
                throw DbError(QStringLiteral("无法删除旧数据库留下的 %1，没有替换 %2").arg(side, m_path));
        }
        std::error_code error;
        std::filesystem::rename(std::filesystem::path(m_temp.toStdU16String()),
                                std::filesystem::path(m_path.toStdU16String()), error);
        if (error)
            throw DbError(QStringLiteral("无法把 %1 改名为 %2：%3")
                              .arg(m_temp, m_path, QString::fromLocal8Bit(error.message())));
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
        auto value = [&](const QString &v) {
            return content.keepNull && v.isNull() ? std::nullopt : std::optional<QString>(v);
        };
        Statement category(db, QStringLiteral("INSERT INTO DRUG_LB (BM, MC) VALUES (?, ?)"));
        for (const Category &c : content.categories) {
            category.bind(1, value(c.bm));
            category.bind(2, value(c.mc));
            category.step();
            category.reset();
        }
        QStringList columns{QStringLiteral("ID")}, marks{QStringLiteral("?")};
        for (const QString &column : drugColumns()) {
            columns << column;
            marks << QStringLiteral("?");
        }
        Statement drug(db, QStringLiteral("INSERT INTO DRUG_ZB (%1) VALUES (%2)")
                               .arg(columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        for (const Drug &d : content.drugs) {
            if (d.id > 0)
                drug.bind(1, d.id);
            else
                drug.bindNull(1);
            for (int i = 0; i < d.values.size(); ++i) {
                drug.bind(i + 2, value(d.values[i]));
            }
            drug.step();
            drug.reset();
        }
        keepStoredCategories(db, content);
        SearchIndex::rebuild(db);
        Statement topic(db, QStringLiteral("INSERT INTO HELP_LB (BM, MC) VALUES (?, ?)"));
        Statement text(db, QStringLiteral("INSERT INTO HELP_ZB (LB, CONTENT) VALUES (?, ?)"));
        for (const HelpTopic &h : content.help) {
            topic.bind(1, value(h.bm));
            topic.bind(2, value(h.mc));
            topic.step();
            topic.reset();
            if (h.hasContent) {
                text.bind(1, h.bm);
                text.bind(2, h.content);
                text.step();
                text.reset();
            }
        }
        for (const HelpText &t : content.texts) {
            text.bind(1, value(t.lb));
            text.bind(2, value(t.content));
            text.step();
            text.reset();
        }
    }
    exec(db, QStringLiteral("COMMIT"));
}

// Where the items of a JSON array and their members begin in its text, as
// byte offsets, for messages that name a line and a column. Qt's parser has
// passed the text, so it is valid JSON; Qt keeps no positions of its own.
struct JsonPlaces {
    struct Item {
        qsizetype start = 0;
        QHash<QString, qsizetype> names;  // a member's name
        QHash<QString, qsizetype> values; // a member's value
    };
    qsizetype top = 0; // the top-level value
    std::vector<Item> items;

    explicit JsonPlaces(const QByteArray &t)
    {
        const qsizetype n = t.size();
        qsizetype i = t.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        const auto blank = [&] {
            while (i < n && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r'))
                ++i;
        };
        const auto skipString = [&] {
            for (++i; i < n && t[i] != '"'; ++i) {
                if (t[i] == '\\')
                    ++i;
            }
            ++i;
        };
        const auto skipValue = [&] {
            int depth = 0;
            do {
                if (i >= n)
                    return;
                const char c = t[i];
                if (c == '"') {
                    skipString();
                    continue;
                }
                if (depth == 0 && (c == ',' || c == '}' || c == ']' || c == ' ' || c == '\t' || c == '\n' || c == '\r'))
                    return; // the end of a number or a literal
                if (c == '{' || c == '[')
                    ++depth;
                else if (c == '}' || c == ']')
                    --depth;
                ++i;
            } while (depth > 0);
        };
        blank();
        top = i;
        if (i >= n || t[i] != '[')
            return;
        ++i;
        for (blank(); i < n && t[i] != ']'; blank()) {
            Item item;
            item.start = i;
            if (t[i] == '{') {
                for (++i, blank(); i < n && t[i] != '}'; blank()) {
                    const qsizetype name = i;
                    skipString();
                    const QByteArray token = t.mid(name, i - name);
                    // Only a name with escapes needs the parser to read it.
                    const QString key = token.contains('\\')
                        ? QJsonDocument::fromJson('[' + token + ']').array().at(0).toString()
                        : QString::fromUtf8(token.mid(1, token.size() - 2));
                    blank();
                    ++i; // ':'
                    blank();
                    item.names.insert(key, name); // the last of a repeated name counts, as in Qt
                    item.values.insert(key, i);
                    skipValue();
                    blank();
                    if (i < n && t[i] == ',')
                        ++i;
                }
                ++i;
            } else {
                skipValue();
            }
            items.push_back(std::move(item));
            blank();
            if (i < n && t[i] == ',')
                ++i;
        }
    }
};

// "file:line:column" of a byte offset; a column counts characters, not bytes.
QString place(const QString &path, const QByteArray &bytes, qsizetype offset)
{
    int line = 1, column = 1;
    for (qsizetype i = 0; i < offset && i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ++line;
            column = 1;
        } else if ((bytes[i] & 0xC0) != 0x80) {
            ++column;
        }
    }
    return QStringLiteral("%1:%2:%3").arg(path).arg(line).arg(column);
}

// One input file: its top-level array, and where things are in its text.
class JsonFile
{
public:
    JsonFile(QString path, QByteArray bytes) : m_path(std::move(path)), m_bytes(std::move(bytes)) {}

    const QString &path() const { return m_path; }
    QJsonArray array;

    // Throws "file:line:column: message" for the place of item `item`
    // (-1: the top-level value), or of a member's name or value.
    enum class At { Item, Name, Value };
    [[noreturn]] void fail(int item, const QString &message, At at = At::Item, const QString &key = {}) const
    {
        throw DbError(where(item, at, key) + QStringLiteral(": ") + message);
    }
    QString where(int item, At at = At::Item, const QString &key = {}) const
    {
        if (!m_places)
            m_places.emplace(m_bytes);
        qsizetype offset = m_places->top;
        if (item >= 0 && size_t(item) < m_places->items.size()) {
            const JsonPlaces::Item &places = m_places->items[size_t(item)];
            const auto &members = at == At::Name ? places.names : places.values;
            offset = at == At::Item ? places.start : members.value(key, places.start);
        }
        return place(m_path, m_bytes, offset);
    }

private:
    QString m_path;
    QByteArray m_bytes;
    mutable std::optional<JsonPlaces> m_places;
};

// The engine compares codes without regard to the case of Latin letters
// (COLLATE NOCASE), and so must a check for repeats.
QString latinFolded(QString code)
{
    for (QChar &c : code) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    }
    return code;
}

// Reading the sample: every problem names the file, the line and the column,
// and is found before anything is written.
class SampleReader
{
public:
    explicit SampleReader(QString dir) : m_dir(std::move(dir)) {}

    JsonFile readArray(const QString &relative)
    {
        const QString path = QDir(m_dir).filePath(relative);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("%1：无法读取文件").arg(path));
        const QByteArray bytes = file.readAll();
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError)
            throw DbError(place(path, bytes, error.offset) + QStringLiteral(": JSON 格式错误：") + error.errorString());
        JsonFile json(path, bytes);
        if (!document.isArray())
            json.fail(-1, QStringLiteral("顶层必须是数组"));
        json.array = document.array();
        return json;
    }

    static QString text(const JsonFile &file, int item, const QJsonObject &object, const QString &key, bool required)
    {
        const QJsonValue value = object.value(key);
        if (value.isUndefined()) {
            if (required)
                file.fail(item, QStringLiteral("第 %1 项缺少 \"%2\"").arg(item + 1).arg(key));
            return QString();
        }
        if (!value.isString())
            file.fail(item, QStringLiteral("第 %1 项的 \"%2\" 必须是字符串").arg(item + 1).arg(key), JsonFile::At::Value, key);
        if (required && value.toString().isEmpty())
            file.fail(item, QStringLiteral("第 %1 项的 \"%2\" 不能为空").arg(item + 1).arg(key), JsonFile::At::Value, key);
        return value.toString();
    }

    static void onlyKeys(const JsonFile &file, int item, const QJsonObject &object, const QStringList &keys)
    {
        for (const QString &key : object.keys()) {
            if (!keys.contains(key))
                file.fail(item, QStringLiteral("第 %1 项有未知的列 \"%2\"").arg(item + 1).arg(key), JsonFile::At::Name, key);
        }
    }

    static QJsonObject object(const JsonFile &file, int item)
    {
        const QJsonValue value = file.array[item];
        if (!value.isObject())
            file.fail(item, QStringLiteral("第 %1 项必须是对象").arg(item + 1));
        return value.toObject();
    }

    // A code met before in the same file is refused: the database could not
    // hold both, or could never show the second.
    static void unique(const JsonFile &file, int item, const QString &code, QHash<QString, int> &seen)
    {
        const QString folded = latinFolded(code);
        const auto it = seen.constFind(folded);
        if (it == seen.cend()) {
            seen.insert(folded, item);
            return;
        }
        file.fail(item, QStringLiteral("第 %1 项的代码 \"%2\" 与第 %3 项（%4）重复，代码不能重复")
                            .arg(item + 1).arg(code).arg(*it + 1).arg(file.where(*it, JsonFile::At::Value, QStringLiteral("BM"))),
                  JsonFile::At::Value, QStringLiteral("BM"));
    }

    Content read()
    {
        Content content;
        const JsonFile categories = readArray(QStringLiteral("categories.json"));
        QHash<QString, int> categoryCodes;
        for (int i = 0; i < categories.array.size(); ++i) {
            const QJsonObject o = object(categories, i);
            onlyKeys(categories, i, o, {QStringLiteral("BM"), QStringLiteral("MC")});
            const Category category{text(categories, i, o, QStringLiteral("BM"), true),
                                    text(categories, i, o, QStringLiteral("MC"), true)};
            unique(categories, i, category.bm, categoryCodes);
            content.categories.push_back(category);
        }
        const QStringList columns = drugColumns();
        const QDir drugs(QDir(m_dir).filePath(QStringLiteral("drugs")));
        for (const QString &name : drugs.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            const JsonFile file = readArray(QStringLiteral("drugs/") + name);
            for (int i = 0; i < file.array.size(); ++i) {
                const QJsonObject o = object(file, i);
                onlyKeys(file, i, o, columns);
                Drug drug;
                for (const QString &column : columns)
                    drug.values << text(file, i, o, column, column == u"LB" || column == u"药物名称");
                content.drugs.push_back(drug);
            }
        }
        const QString help = QStringLiteral("help.json");
        if (QFileInfo::exists(QDir(m_dir).filePath(help))) {
            const JsonFile file = readArray(help);
            QHash<QString, int> topicCodes;
            for (int i = 0; i < file.array.size(); ++i) {
                const QJsonObject o = object(file, i);
                onlyKeys(file, i, o, {QStringLiteral("BM"), QStringLiteral("MC"), QStringLiteral("CONTENT")});
                HelpTopic topic{text(file, i, o, QStringLiteral("BM"), true), text(file, i, o, QStringLiteral("MC"), true),
                                text(file, i, o, QStringLiteral("CONTENT"), false), o.contains(QStringLiteral("CONTENT"))};
                unique(file, i, topic.bm, topicCodes);
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

std::vector<CategoryChange> DatabaseBuilder::buildFromImport(const ImportedContent &imported, const QString &outPath,
                                                             bool overwrite)
{
    Content content;
    content.keepNull = true;
    for (const ImportedContent::Category &c : imported.categories)
        content.categories.push_back({c.bm, c.mc});
    for (const ImportedContent::Drug &d : imported.drugs) {
        if (d.id <= 0)
            throw DbError(QStringLiteral("药物的 ID 无效：%1").arg(d.id));
        if (d.values.size() != drugColumns().size())
            throw DbError(QStringLiteral("ID 为 %1 的药物列数不对").arg(d.id));
        content.drugs.push_back({d.values, d.id, d.category});
    }
    for (const ImportedContent::Topic &t : imported.topics)
        content.help.push_back({t.bm, t.mc, QString(), false});
    for (const ImportedContent::Text &t : imported.texts)
        content.texts.push_back({t.lb, t.content});
    NewDatabase target(outPath, overwrite);
    write(target, content);

    std::vector<CategoryChange> changes;
    {
        Statement written(target.db(), QStringLiteral("SELECT 类别, 药物名称 FROM DRUG_ZB WHERE ID = ?"));
        for (const ImportedContent::Drug &d : imported.drugs) {
            written.bind(1, d.id);
            if (!written.step())
                throw DbError(QStringLiteral("ID 为 %1 的药物没有写入").arg(d.id));
            const std::optional<QString> now = written.value(0);
            const bool same = now ? (!d.category.isNull() && *now == d.category) : d.category.isNull();
            if (!same)
                changes.push_back({d.id, written.text(1), d.category, now.value_or(QString())});
            written.reset();
        }
    }
    target.finish();
    return changes;
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
