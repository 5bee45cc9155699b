#pragma once

#include "data/DatabaseChanges.h"
#include "data/Query.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

struct sqlite3;

namespace data {

// The program's statements whose text differs between the engines; the
// file's texts are the program's from its first version.
enum class Sql {
    Categories,       // the category tree's categories (BM, MC)
    DrugsOfCategory,  // the tree's drugs of category :lb (ID, 药物名称)
    CategoryTree,     // the whole tree in one: (category key, BM, MC, ID, 药物名称) in the
                      // tree's order, ID NULL for a category without drugs; empty
                      // where the engine reads it a category at a time
    DrugIdByName,     // the name search (ID) for :name
    DrugRecordByName, // the entry page's record (*) for :name
    CategoryList,     // the entry page's drop-down (*)
    HelpTopics,       // the help tree (BM, MC)
    HelpText,         // the help text (*) of topic :lb
};

// One filled box of the combined search.
struct SearchCriterion {
    int box; // 1 to 12
    QString typed;
};
using Parameters = std::vector<std::pair<QString, QString>>; // (name without ':', value)

// What differs between a drug file and a drug server, behind one face, as
// Qt's QSqlDriver keeps what differs between databases: opening and its
// keys, statements, the LIKE of the combined search, the search index and
// the notices of change. Connection holds one; nothing above data/ sees
// which. Every failure throws DbError with the engine's own reason.
class Engine
{
public:
    virtual ~Engine() = default;

    virtual bool isServer() const = 0;
    virtual void open() = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    // Statements: a prepared one kept for reuse, reset and unbound; or one
    // for a single use.
    virtual Query &cached(const QString &sql) = 0;
    virtual std::unique_ptr<Query> prepare(const QString &sql) = 0;
    virtual void begin() = 0;
    virtual void commit() = 0;
    // Ends the transaction unless the engine has already ended it itself.
    virtual void rollback() = 0;

    virtual QString sql(Sql which) const = 0;
    // The column that tells a table's rows apart.
    virtual QString rowKey(const QString &table) const = 0;
    // "column holds exactly the bound value", byte for byte, NULL for NULL.
    virtual QString sameValueTest(const QString &column, const QString &parameter) const = 0;
    // An INSERT whose statement gives the new row's key to insertedKey().
    virtual QString insertSql(const QString &table, const QStringList &columns) const = 0;
    virtual qint64 insertedKey(Query &insert) = 0;
    virtual qint64 tableRows(const QString &table) = 0;

    // The combined search: the test that `column` contains what box text
    // `typed` asks for, with the value to bind to `parameter` in `pattern`;
    // the order of its list; and its where clause narrowed through the
    // engine's search index, which may add parameters of its own.
    virtual QString containsTest(const QString &column, const QString &parameter, const QString &typed,
                                 QString &pattern) const = 0;
    virtual QString listOrder() const = 0;
    virtual QString narrow(const std::vector<SearchCriterion> &criteria, const QString &tests,
                           Parameters &parameters) = 0;
    // After a drug was saved or deleted, inside the transaction.
    virtual void afterDrugWrite() = 0;
    // Whether the drugs' name keys (pinyin, initials, other names) can be
    // used; a server first takes in what other clients wrote, where this
    // role may write the keys.
    virtual bool nameKeysUsable() = 0;

    // Changes by any client, as the engine hears of them; a file hears none.
    virtual void watchChanges(std::function<void(const DatabaseChanges &)>) {}

    // The file's handle, for the data layer's own SQLite code; null on a server.
    virtual sqlite3 *sqliteHandle() { return nullptr; }
};

} // namespace data
