#include "data/sqlite/SqliteEngine.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "data/SearchIndex.h"
#include "data/WindowSql.h"
#include "data/sqlite/NameKeyWriter.h"

#include <QFileInfo>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>

namespace data {

namespace {

// The engine refuses LIKE patterns longer than this, in bytes.
constexpr int LikePatternLimit = 50000;

QString engineText(sqlite3 *db, int rc)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

void runOn(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = error ? QString::fromUtf8(error) : engineText(db, SQLITE_ERROR);
        sqlite3_free(error);
        throw DbError(text);
    }
}

} // namespace

void SqliteEngine::Closer::operator()(sqlite3 *db) const
{
    // _v2 so that a statement still alive defers the deallocation.
    sqlite3_close_v2(db);
}

SqliteEngine::SqliteEngine(Connection &owner, QString path, OpenStep openStep)
    : m_owner(owner), m_path(std::move(path)), m_openStep(std::move(openStep))
{
}

SqliteEngine::~SqliteEngine()
{
    close();
}

const char *SqliteEngine::password()
{
    return "52047316";
}

void SqliteEngine::applyKey(sqlite3 *db)
{
    const char *key = password();
    if (sqlite3_key(db, key, int(strlen(key))) != SQLITE_OK)
        throw DbError(engineText(db, SQLITE_ERROR));
    QByteArray version;
    sqlite3_exec(db, "PRAGMA cipher_version;", [](void *out, int, char **values, char **) {
        if (values[0])
            *static_cast<QByteArray *>(out) = values[0];
        return 0;
    }, &version, nullptr);
    if (version.startsWith('4')) {
        runOn(db, "PRAGMA cipher_compatibility = 3;");
    } else {
        // The SQLCipher 3 defaults, stated so that they never drift.
        runOn(db, "PRAGMA kdf_iter = 64000;");
        runOn(db, "PRAGMA cipher_page_size = 1024;");
        runOn(db, "PRAGMA cipher_use_hmac = ON;");
    }
}

void SqliteEngine::open()
{
    close();
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(QFileInfo(m_path).absoluteFilePath().toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, Closer> holder(db);
    if (rc != SQLITE_OK)
        throw DbError(engineText(db, rc));
    applyKey(db);
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    // A wrong key or a file that is no database fails here, not at the first query.
    int objects = 0;
    char *error = nullptr;
    if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_master;", [](void *out, int, char **values, char **) {
            *static_cast<int *>(out) = values[0] ? atoi(values[0]) : 0;
            return 0;
        }, &objects, &error) != SQLITE_OK) {
        const QString text = error ? QString::fromUtf8(error) : engineText(db, SQLITE_ERROR);
        sqlite3_free(error);
        throw DbError(text);
    }
    // The engine takes an empty file for an empty database; for us it is a
    // damaged one (a copy cut off at nothing), and must fail here as well.
    if (objects == 0)
        throw DbError(QStringLiteral("文件中没有任何数据表，不是完整的数据库"));
    sqlite3_extended_result_codes(db, 1);
    if (m_openStep)
        m_openStep(db);
    m_holder = std::move(holder);
    m_db = m_holder.get();
}

void SqliteEngine::close()
{
    m_cache.clear();
    m_db = nullptr;
    m_holder.reset();
}

Statement &SqliteEngine::statement(const QString &sql)
{
    auto it = m_cache.find(sql);
    if (it == m_cache.end())
        it = m_cache.emplace(sql, std::make_unique<Statement>(m_db, sql)).first;
    it->second->reset();
    return *it->second;
}

std::unique_ptr<Query> SqliteEngine::prepare(const QString &sql)
{
    return std::make_unique<Statement>(m_db, sql);
}

void SqliteEngine::run(const QString &sql)
{
    Statement statement(m_db, sql);
    while (statement.step()) {
    }
}

void SqliteEngine::begin()
{
    run(Connection::beginSql());
}

void SqliteEngine::commit()
{
    run(Connection::commitSql());
}

void SqliteEngine::rollback()
{
    // The engine may already have rolled back by itself (a full disk, an I/O error).
    if (m_db && !sqlite3_get_autocommit(m_db))
        run(QStringLiteral("ROLLBACK"));
}

QString SqliteEngine::statement(Sql which)
{
    switch (which) {
    case Sql::Categories: return sql::categories();
    case Sql::DrugsOfCategory: return sql::categoryDrugs();
    case Sql::CategoryTree: return {}; // a file answers each category in microseconds
    case Sql::DrugIdByName: return sql::byName();
    case Sql::DrugRecordByName: return sql::record();
    case Sql::CategoryList: return sql::categoryList();
    case Sql::HelpTopics: return sql::helpTopics();
    case Sql::HelpText: return sql::helpText();
    }
    return {};
}

QString SqliteEngine::sameValueTest(const QString &column, const QString &parameter) const
{
    // BINARY: another program's change of letter case is a change too.
    return column + QStringLiteral(" IS ") + parameter + QStringLiteral(" COLLATE BINARY");
}

QString SqliteEngine::insertSql(const QString &table, const QStringList &columns) const
{
    if (columns.isEmpty())
        return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, columns.join(QLatin1Char(',')), QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(',')));
}

qint64 SqliteEngine::insertedKey(Query &)
{
    return sqlite3_last_insert_rowid(m_db);
}

qint64 SqliteEngine::tableRows(const QString &table)
{
    // A table's name cannot be bound; it is one of the fixed four.
    Statement count(m_db, QStringLiteral("SELECT count(*) FROM ") + table);
    return count.step() ? count.int64(0) : 0;
}

QString SqliteEngine::containsTest(const QString &column, const QString &parameter, const QString &typed,
                                   QString &pattern) const
{
    pattern = QLatin1Char('%') + typed + QLatin1Char('%');
    if (pattern.toUtf8().size() <= LikePatternLimit)
        return QStringLiteral("%1 like %2").arg(column, parameter);
    // Too long for the engine's LIKE: without wildcards, a plain substring
    // with the same case rule for Latin letters; with them, our own matcher
    // of LIKE's meaning, registered on the connection.
    if (!typed.contains(QLatin1Char('%')) && !typed.contains(QLatin1Char('_'))) {
        pattern = typed;
        return QStringLiteral("instr(lower(%1), lower(%2)) > 0").arg(column, parameter);
    }
    return QStringLiteral("long_like(%2, %1)").arg(column, parameter);
}

QString SqliteEngine::narrow(const std::vector<SearchCriterion> &criteria, const QString &tests, Parameters &)
{
    std::vector<SearchIndex::Criterion> filled;
    for (const SearchCriterion &c : criteria)
        filled.push_back({boxIndexField(c.box), c.typed});
    return SearchIndex(m_owner).narrow(filled, tests);
}

void SqliteEngine::afterDrugWrite()
{
    SearchIndex(m_owner).update();
}

bool SqliteEngine::nameKeysUsable()
{
    // Rows other programs wrote are taken in at the next save (afterDrugWrite).
    return namekeys::current(m_owner);
}

} // namespace data
