// Saves drug records in a loop until it is killed. Each round is one
// transaction through a batch-optimistic dataset, as the entry page saves:
// it writes the round's number into several columns of the record with ID 1
// and inserts a row that carries the same number. The round's number is one
// more than the one found in the record, so runs on one file go on counting.
//
// Usage: kill_saver DATABASE [ROUNDS]   (ROUNDS 0 or absent: no end)
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DbError.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

const QStringList CounterColumns{QStringLiteral("别名"), QStringLiteral("来源"), QStringLiteral("性味"),
                                 QStringLiteral("附注")};

// A long value, so that a round writes over several pages.
QString padding(int round)
{
    return QString::number(round).repeated(1000);
}

void fill(data::DataSet &dataSet, int round)
{
    for (const QString &column : CounterColumns)
        dataSet.setField(column, QString::number(round));
    dataSet.setField(QStringLiteral("化学成分"), padding(round));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fputs("usage: kill_saver DATABASE [ROUNDS]\n", stderr);
        return 2;
    }
    const long long rounds = args.size() > 2 ? args[2].toLongLong() : 0;
    try {
        data::Connection connection(args[1]);
        connection.open();
        data::DataSet record(connection, QStringLiteral("SQL_ZB"), data::LockType::BatchOptimistic);
        record.setUpdateTable(QStringLiteral("DRUG_ZB"));
        record.setSql(QStringLiteral("select * from DRUG_ZB where ID=:id"));
        record.setParameter(QStringLiteral("id"), qint64(1));
        std::fputs("saving\n", stdout);
        std::fflush(stdout);
        for (long long done = 0; rounds == 0 || done < rounds; ++done) {
            record.open();
            const int round = record.asString(CounterColumns[0]).toInt() + 1;
            record.edit();
            fill(record, round);
            record.append();
            record.setField(QStringLiteral("药物名称"), QStringLiteral("kill"));
            fill(record, round);
            data::Transaction transaction(connection);
            record.applyUpdates();
            transaction.commit();
        }
    } catch (const data::DbError &e) {
        std::fprintf(stderr, "kill_saver: %s\n", e.what());
        return 1;
    }
    return 0;
}
