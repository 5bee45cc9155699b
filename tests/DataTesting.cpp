#include "DataTesting.h"
#include "TestSupport.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "data/SearchIndex.h"
#include "data/Statement.h"
#include "lookup/CombinedQuery.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <memory>
#include <random>
#include <sqlite3.h>

ConnectionTo::ConnectionTo(const TestDatabase &db)
{
    locate(*this, db.path());
}

namespace {

struct Closer {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};

// Texts to look for: pieces of stored values of one to five characters,
// some with wildcards, some with Latin letters in the other case, some
// found nowhere.
QList<QPair<int, QString>> probes(data::Connection &connection, int count)
{
    QList<QPair<int, QString>> out;
    std::mt19937 random(7);
    data::Statement rows(connection.handle(), QStringLiteral("select ID from DRUG_ZB order by ID"));
    QList<qint64> ids;
    while (rows.step())
        ids << rows.int64(0);
    while (out.size() < count) {
        const int box = 1 + int(random() % data::SearchBoxCount);
        const QStringList columns = data::boxColumns(box);
        data::Statement value(connection.handle(),
                              QStringLiteral("select %1 from DRUG_ZB where ID = ?").arg(columns[random() % columns.size()]));
        value.bind(1, ids[qsizetype(random() % ids.size())]);
        const QString text = value.step() ? value.text(0) : QString();
        if (text.size() < 2)
            continue;
        const int length = 1 + int(random() % 5);
        const int start = int(random() % std::max<qsizetype>(1, text.size() - length));
        QString piece = text.mid(start, length);
        switch (out.size() % 7) {
        case 1: piece = piece.toUpper(); break;
        case 2: if (piece.size() >= 3) piece[1] = QLatin1Char('_'); break;
        case 3: piece.insert(1, QLatin1Char('%')); break;
        case 4: piece += QStringLiteral("龘"); break; // mostly found nowhere
        case 5: piece = piece.left(1) + QLatin1Char('%') + text.right(1); break;
        case 6: if (random() % 3 == 0) piece = QStringLiteral("龘"); break;
        default: break;
        }
        out << qMakePair(box, piece);
    }
    return out;
}

} // namespace

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const data::DbError &e) {
        return e.message();
    }
    return QString();
}

QString engineText(int code)
{
    return QString::fromUtf8(sqlite3_errstr(code));
}

QString rawScalar(const QString &path, const QString &sql)
{
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    data::Connection::applyKey(db.get());
    data::Statement statement(db.get(), sql);
    return statement.step() ? statement.text(0) : QString();
}

BothWays searchBothWays(data::Connection &connection, const QList<QPair<int, QString>> &boxes)
{
    QStringList texts(data::SearchBoxCount);
    for (const auto &[box, typed] : boxes)
        texts[box - 1] = typed;
    CombinedQuery query(texts);
    const auto run = [&](const QString &sql) {
        data::Statement statement(connection.handle(), sql);
        for (const auto &[name, value] : query.parameters()) {
            if (const int index = statement.parameterIndex(name))
                statement.bind(index, value);
        }
        QList<qint64> ids;
        while (statement.step())
            ids << statement.int64(0);
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    BothWays out;
    out.fullSql = query.fullSql(connection);
    out.full = run(out.fullSql);
    out.sql = query.sql(connection);
    out.indexed = run(out.sql);
    if (out.sql.contains(QLatin1String("temp.SEARCH_IDS"))) {
        data::Statement staged(connection.handle(), QStringLiteral("select count(*) from temp.SEARCH_IDS"));
        staged.step();
        out.staged = staged.int64(0);
    }
    return out;
}
BothWays searchBothWays(data::Connection &connection, int box, const QString &typed)
{
    return searchBothWays(connection, {{box, typed}});
}

int checkProbes(data::Connection &connection, int count, QString &failure)
{
    int decided = 0;
    const QList<QPair<int, QString>> texts = probes(connection, count);
    QSet<qint64> dirty; // rows the index does not speak for: tested by the statement
    data::Statement rows(connection.handle(), QStringLiteral("select ID from DRUG_ZB_DIRTY"));
    while (rows.step())
        dirty << rows.int64(0);
    for (qsizetype n = 0; n < texts.size(); ++n) {
        QList<QPair<int, QString>> criteria{texts[n]};
        if (n % 4 == 3 && texts[n - 1].first != texts[n].first)
            criteria << texts[n - 1];
        bool exact = true;
        for (const auto &[box, typed] : criteria) {
            data::SearchIndex::KeyList keys;
            exact = data::SearchIndex::requiredKeys(data::boxIndexField(box), typed, keys) && exact;
        }
        const BothWays found = searchBothWays(connection, criteria);
        failure = QStringLiteral("box %1, \"%2\"%3: %4 rows by a full test, %5 through the index, %6 named (%7)")
                      .arg(texts[n].first).arg(texts[n].second)
                      .arg(criteria.size() > 1 ? QStringLiteral(" and another box") : QString())
                      .arg(found.full.size()).arg(found.indexed.size()).arg(found.staged).arg(found.sql);
        if (found.full != found.indexed)
            return -1;
        // One or two characters in every box: the index alone answers,
        // naming exactly the rows that match; only rows written since it
        // took them in are tested.
        if (exact) {
            ++decided;
            qsizetype clean = 0;
            for (const qint64 id : found.full)
                clean += !dirty.contains(id);
            if ((found.sql.contains(QLatin1String("like")) && !found.sql.contains(QLatin1String("SEARCH_DIRTY")))
                || found.staged != clean)
                return -1;
        }
        // One character, later another: the places the index keeps decide,
        // and only the rows they cannot tell about are tested.
        static const QRegularExpression ordered(QStringLiteral("^%*[^%_]%+[^%_]%*$"));
        if (criteria.size() == 1 && texts[n].first != 9 && ordered.match(texts[n].second).hasMatch()) {
            ++decided;
            if (found.sql.contains(QLatin1String("like")) && !found.sql.contains(QLatin1String("SEARCH_DIRTY")))
                return -1;
        }
    }
    failure.clear();
    return decided;
}

QString contents(const QString &path)
{
    QStringList drug{QStringLiteral("ID"), QStringLiteral("类别")};
    drug << data::drugColumns();
    QString all;
    for (const auto &[table, columns] : {qMakePair(QStringLiteral("DRUG_ZB"), drug),
                                         qMakePair(QStringLiteral("DRUG_LB"), QStringList{QStringLiteral("BM"), QStringLiteral("MC")}),
                                         qMakePair(QStringLiteral("HELP_LB"), QStringList{QStringLiteral("BM"), QStringLiteral("MC")}),
                                         qMakePair(QStringLiteral("HELP_ZB"), QStringList{QStringLiteral("LB"), QStringLiteral("CONTENT")})}) {
        all += rawScalar(path, QStringLiteral("select count(*) || ':' || group_concat(quote(rowid) || ',' || quote(%1), ';') "
                                              "from (select rowid, * from %2 order by rowid)")
                                   .arg(columns.join(QStringLiteral(") || ',' || quote(")), table));
    }
    return all;
}
