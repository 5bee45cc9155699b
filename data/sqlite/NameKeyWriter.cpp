#include "data/sqlite/NameKeyWriter.h"
#include "data/Connection.h"
#include "data/DbError.h"
#include "data/Statement.h"
#include "data/sqlite/Script.h"
#include "data/sqlite/SearchKeys.h"
#include "data/sqlite/SearchLists.h"
#include "pinyin/NameIndex.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <vector>

namespace data::namekeys {

namespace {

const QString HasKeys = QStringLiteral(
    "select count(*) from sqlite_master where type = 'table' and name in ('DRUG_NAME_KEY', 'DRUG_NAME_KEY_SOURCE')");
const QString Source = QStringLiteral("select SOURCE from DRUG_NAME_KEY_SOURCE");
// A fold may meet keys a row already has; the rebuild never does, and a
// plain insert is many times faster.
const QString Insert = QStringLiteral("insert into DRUG_NAME_KEY (KIND, K, ID, LEN, OTHER) values (?, ?, ?, ?, ?)");
const QString Replace = QStringLiteral("insert or replace into DRUG_NAME_KEY (KIND, K, ID, LEN, OTHER) values (?, ?, ?, ?, ?)");

// The keys of every drug, packed one after another, so that a hundred
// thousand drugs' two million keys fit in memory to be sorted: pages fill
// best, and rows go in fastest, in key order.
class PackedRows
{
public:
    void add(const pinyin::KeyRow &row)
    {
        const QByteArray key = row.key.toUtf8();
        // Keys are short (MaxReadingUnits syllables, MaxOtherNameKey
        // characters) and IDs below index::MaxIndexedId.
        const Head head{std::uint32_t(row.id), std::uint32_t(row.nameLength), std::int32_t(row.other),
                        std::uint8_t(std::min<qsizetype>(key.size(), 0xFF)), std::uint8_t(row.kind)};
        // The kind and the key's first bytes as one number, which orders
        // most pairs without reading the rows.
        std::uint64_t order = std::uint64_t(head.kind) << 56;
        for (int i = 0; i < 7 && i < head.keySize; ++i)
            order |= std::uint64_t(std::uint8_t(key[i])) << (48 - 8 * i);
        m_order.push_back({order, m_bytes.size()});
        m_bytes.append(reinterpret_cast<const char *>(&head), sizeof head);
        m_bytes.append(key.constData(), head.keySize);
    }

    // In the table's order: KIND, then K as bytes, then ID.
    void sort()
    {
        std::sort(m_order.begin(), m_order.end(), [this](const Place &a, const Place &b) {
            if (a.order != b.order)
                return a.order < b.order;
            const Head x = head(a.at), y = head(b.at);
            const int c = std::memcmp(key(a.at), key(b.at), std::min<size_t>(x.keySize, y.keySize));
            if (c != 0)
                return c < 0;
            if (x.keySize != y.keySize)
                return x.keySize < y.keySize;
            return x.id < y.id;
        });
    }

    void write(Statement &insert, const std::function<void(int)> &done) const
    {
        size_t written = 0;
        for (const Place &p : m_order) {
            if (done && ++written % 50000 == 0)
                done(int(written * 100 / m_order.size()));
            const Head h = head(p.at);
            insert.bind(1, qint64(h.kind));
            insert.bindText(2, QByteArrayView(key(p.at), h.keySize));
            insert.bind(3, qint64(h.id));
            insert.bind(4, qint64(h.nameLength));
            if (h.other >= 0)
                insert.bind(5, qint64(h.other));
            else
                insert.bindNull(5);
            insert.step();
            insert.reset();
        }
    }

private:
    struct Head {
        std::uint32_t id, nameLength;
        std::int32_t other;
        std::uint8_t keySize, kind;
    };
    struct Place {
        std::uint64_t order;
        size_t at;
    };
    Head head(size_t at) const
    {
        Head h;
        std::memcpy(&h, m_bytes.data() + at, sizeof h);
        return h;
    }
    const char *key(size_t at) const { return m_bytes.data() + at + sizeof(Head); }

    std::string m_bytes;
    std::vector<Place> m_order;
};

bool currentIn(sqlite3 *db)
{
    Statement tables(db, HasKeys);
    if (!tables.step() || tables.int64(0) != 2)
        return false;
    Statement source(db, Source);
    return source.step() && source.text(0) == pinyin::keySource();
}

} // namespace

bool current(Connection &connection)
{
    // Each statement is reset at once, so no read lock outlives the check.
    Statement &tables = connection.cached(HasKeys);
    const bool present = tables.step() && tables.int64(0) == 2;
    tables.reset();
    if (!present)
        return false;
    Statement &source = connection.cached(Source);
    const bool ours = source.step() && source.text(0) == pinyin::keySource();
    source.reset();
    return ours;
}

void rebuild(sqlite3 *db, const std::function<void()> &alongside, const std::function<void(int percent)> &done)
{
    const auto report = [&](int percent) {
        if (done)
            done(percent);
    };
    Statement(db, QStringLiteral("delete from DRUG_NAME_KEY")).step();
    Statement(db, QStringLiteral("delete from DRUG_NAME_KEY_SOURCE")).step();
    struct Names {
        qint64 id;
        QString name, others;
    };
    std::vector<Names> names;
    {
        // A row the search index cannot place stays dirty for good, and a
        // dirty row's keys are never read.
        Statement rows(db, QStringLiteral("select ID, 药物名称, 别名 from DRUG_ZB where ID between 0 and ?"));
        rows.bind(1, index::MaxIndexedId);
        while (rows.step())
            names.push_back({rows.int64(0), rows.text(1), rows.text(2)});
    }
    // Making the keys is the program's work alone, so it goes on while the
    // engine does the other work.
    auto making = std::async(std::launch::async, [&names] {
        PackedRows packed;
        pinyin::KeyCache cache;
        for (const Names &n : names)
            for (const pinyin::KeyRow &row :
                 pinyin::keyRows(n.id, n.name, n.others, pinyin::ReviewedReadings::builtIn(), &cache))
                packed.add(row);
        packed.sort();
        return packed;
    });
    if (alongside)
        alongside();
    const PackedRows packed = making.get();
    report(30);
    Statement insert(db, Insert);
    packed.write(insert, [&](int percent) { report(30 + percent * 70 / 100); });
    Statement source(db, QStringLiteral("insert into DRUG_NAME_KEY_SOURCE (SOURCE) values (?)"));
    source.bind(1, pinyin::keySource());
    source.step();
}

void fold(Connection &connection)
{
    if (!current(connection))
        return;
    // The rows index::fold takes next, and in the same order.
    Statement &dirty = connection.cached(
        QStringLiteral("select ID, INDEXED, 药物名称, 别名 from DRUG_ZB_DIRTY where INDEXED >= 0 and ID between 0 and ? "
                       "order by ID limit ?"));
    Statement &now = connection.cached(QStringLiteral("select 药物名称, 别名 from DRUG_ZB where ID = ?"));
    Statement &erase = connection.cached(QStringLiteral("delete from DRUG_NAME_KEY where KIND = ? and K = ? and ID = ?"));
    Statement &insert = connection.cached(Replace);
    dirty.bind(1, index::MaxIndexedId);
    dirty.bind(2, qint64(index::FoldLimit));
    try {
        while (dirty.step()) {
            const qint64 id = dirty.int64(0);
            // The keys of the values the keys were made from, and those of the row as it stands.
            if (dirty.int64(1) == 1) {
                for (const pinyin::KeyRow &row : pinyin::keyRows(id, dirty.text(2), dirty.text(3))) {
                    erase.reset();
                    erase.bind(1, qint64(row.kind));
                    erase.bind(2, row.key);
                    erase.bind(3, id);
                    erase.step();
                }
            }
            now.reset();
            now.bind(1, id);
            if (now.step()) {
                for (const pinyin::KeyRow &row : pinyin::keyRows(id, now.text(0), now.text(1))) {
                    insert.reset();
                    insert.bind(1, qint64(row.kind));
                    insert.bind(2, row.key);
                    insert.bind(3, id);
                    insert.bind(4, qint64(row.nameLength));
                    if (row.other >= 0)
                        insert.bind(5, qint64(row.other));
                    else
                        insert.bindNull(5);
                    insert.step();
                }
            }
            now.reset();
        }
    } catch (...) {
        dirty.reset();
        now.reset();
        erase.reset();
        insert.reset();
        throw;
    }
    dirty.reset();
    erase.reset();
    insert.reset();
}

void refresh(sqlite3 *db)
{
    if (sqlite3_db_readonly(db, "main") == 1 || currentIn(db))
        return;
    {
        Statement tables(db, HasKeys);
        if (!tables.step() || tables.int64(0) != 2)
            return; // a file of another layout: the upgrade's business
    }
    const int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_READONLY)
        return;
    if (rc != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)));
    try {
        if (!currentIn(db))
            rebuild(db, {});
        runScript(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

} // namespace data::namekeys
