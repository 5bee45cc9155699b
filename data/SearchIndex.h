#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;

namespace data {

class Connection;

// Answers "column contains text" searches without reading every row. For
// each searched field, each character and each pair of adjacent characters
// (Latin letters folded as LIKE folds them) has an exact list of the drugs
// whose value holds it (DRUG_SEARCH_INDEX). A value can contain a text only
// if it holds every character and pair of the text, so the lists give the
// candidates; for a text of one or two characters without wildcards they
// are the answer itself. A single character also keeps where it first and
// last stands in a one-column field, which answers "a%b" as well. The index
// may let a row through, never hide one.
//
// Triggers list each row written since the index took it in (DRUG_ZB_DIRTY);
// those rows are always tested by the search's own statement, so a write by
// another program is found at once. update() folds them into the lists.
//
// The keys, the lists' stored form and their writing are the engine's own,
// in data/sqlite/; this class is what searches and saves ask of them.
class SearchIndex
{
public:
    // field << 42 | first << 21 | second; second is 0 for a single character.
    using Key = std::uint64_t;
    using KeyList = std::vector<Key>;

    // The keys a value must hold in `field` to match LIKE '%typed%', appended
    // to `out`. True when holding them is also enough: a text of one or two
    // characters without wildcards.
    static bool requiredKeys(int field, QStringView typed, KeyList &out);

    explicit SearchIndex(Connection &connection) : m_connection(connection) {}

    // False for a file without the index, or with another layout of it.
    bool available();

    // The rows listed under every required key, without the dirty ones:
    // those where each ordered pair (first, last) of single characters
    // stands in that order, and those where the places kept cannot tell;
    // and every dirty row, for which the index cannot speak.
    struct Candidates {
        std::vector<qint64> held, unsure, dirty;
    };
    Candidates candidates(KeyList required, const std::vector<std::pair<Key, Key>> &ordered = {});

    // One filled box of the combined search.
    struct Criterion {
        int field;
        QString typed;
    };
    // The where clause of a search whose own tests are `criteria`: the same
    // text when the index cannot narrow it, else one that tests only the
    // candidates, staged in temporary tables (and where the index decides
    // alone, tests only the dirty rows).
    QString narrow(const std::vector<Criterion> &criteria, const QString &tests);

    // For a criterion that holds when its field contains any of `texts`, or
    // for the rows `also` (found by other means): the rows the index names
    // for one of the texts, `also` and every dirty row, in ascending order;
    // nothing when the index cannot narrow a text or is not there.
    std::optional<std::vector<qint64>> candidatesOfAny(int field, const QStringList &texts, const std::vector<qint64> &also);
    // Puts `ids` in temp.`table` (ID INTEGER PRIMARY KEY) for a statement to read.
    void stage(const QString &table, const std::vector<qint64> &ids);

    // Folds dirty rows into the lists, inside the caller's transaction.
    // Does nothing on a file without the index.
    void update();

    // Makes the whole index anew from DRUG_ZB, in the caller's transaction.
    // The builder, the importer and the upgrade of an older file call it.
    static void rebuild(sqlite3 *db);

private:
    Connection &m_connection;
};

} // namespace data
