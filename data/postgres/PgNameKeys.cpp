#include "data/postgres/PgNameKeys.h"
#include "data/postgres/PgConnection.h"
#include "data/postgres/PgCopy.h"
#include "pinyin/NameIndex.h"

namespace data::pg::namekeys {

namespace {

// The keys of every drug in `drugs` (ID, 药物名称, 别名), by COPY: a
// hundred thousand drugs have some two million keys.
void copyKeys(Connection &connection, const Result &drugs)
{
    pinyin::KeyCache cache;
    int next = 0;
    connection.copyIn(QStringLiteral("COPY DRUG_NAME_KEY (KIND, K, ID, LEN, OTHER) FROM STDIN"), [&](QByteArray &piece) {
        while (next < drugs.rows() && piece.size() < (1 << 20)) {
            const int r = next++;
            for (const pinyin::KeyRow &row : pinyin::keyRows(drugs.int64(r, 0), drugs.text(r, 1), drugs.text(r, 2),
                                                             pinyin::ReviewedReadings::builtIn(), &cache)) {
                piece += QByteArray::number(int(row.kind));
                piece += '\t';
                appendCopyValue(piece, RawValue{RawValue::Text, row.key.toUtf8()});
                piece += '\t' + QByteArray::number(row.id) + '\t' + QByteArray::number(row.nameLength) + '\t';
                piece += row.other >= 0 ? QByteArray::number(row.other) : QByteArray("\\N");
                piece += '\n';
            }
        }
        return !piece.isEmpty();
    });
}

} // namespace

bool current(Connection &connection)
{
    // A role not granted the keys (granted the drugs after they were made)
    // finds drugs by their names alone.
    if (connection
            .exec(QStringLiteral("SELECT coalesce(has_table_privilege(to_regclass('drug_name_key_source'), 'SELECT') "
                                 "AND has_table_privilege(to_regclass('drug_name_key'), 'SELECT') "
                                 "AND has_table_privilege(to_regclass('drug_zb_dirty'), 'SELECT'), false)"))
            .text(0, 0)
        != QLatin1String("t"))
        return false;
    const Result source = connection.exec(QStringLiteral("SELECT SOURCE FROM DRUG_NAME_KEY_SOURCE"));
    return source.rows() == 1 && source.text(0, 0) == pinyin::keySource();
}

bool writable(Connection &connection)
{
    return connection
               .exec(QStringLiteral("SELECT coalesce(has_table_privilege(to_regclass('drug_name_key'), 'INSERT, DELETE') "
                                    "AND has_table_privilege(to_regclass('drug_zb_dirty'), 'DELETE'), false)"))
               .text(0, 0)
        == QLatin1String("t");
}

void rebuild(Connection &connection)
{
    // Some two million rows go in several times faster with the indexes
    // made after them (derived.sql's, as they stand there). Only the owner
    // rebuilds, so it may truncate and alter.
    connection.execScript(QStringLiteral("TRUNCATE DRUG_NAME_KEY, DRUG_NAME_KEY_SOURCE, DRUG_ZB_DIRTY; "
                                         "ALTER TABLE DRUG_NAME_KEY DROP CONSTRAINT DRUG_NAME_KEY_PK; "
                                         "DROP INDEX DRUG_NAME_KEY_ID"));
    copyKeys(connection, connection.exec(QStringLiteral("SELECT ID, 药物名称, 别名 FROM DRUG_ZB")));
    connection.execScript(QStringLiteral("ALTER TABLE DRUG_NAME_KEY ADD CONSTRAINT DRUG_NAME_KEY_PK PRIMARY KEY (KIND, K, ID); "
                                         "CREATE INDEX DRUG_NAME_KEY_ID ON DRUG_NAME_KEY (ID)"));
    connection.exec(QStringLiteral("INSERT INTO DRUG_NAME_KEY_SOURCE (SOURCE) VALUES ($1)"), {pinyin::keySource().toUtf8()});
}

void fold(Connection &connection)
{
    // A writer queues its row with a lock of its own (derived.sql), so a row
    // queued while we fold waits for us, and is queued again after.
    const Result queued = connection.exec(QStringLiteral("SELECT ID FROM DRUG_ZB_DIRTY FOR UPDATE SKIP LOCKED"));
    if (queued.rows() == 0)
        return;
    QByteArray ids("{");
    for (int r = 0; r < queued.rows(); ++r)
        ids += (r ? "," : "") + queued.bytes(r, 0);
    ids += '}';
    connection.exec(QStringLiteral("DELETE FROM DRUG_NAME_KEY WHERE ID = ANY($1::bigint[])"), {ids});
    copyKeys(connection, connection.exec(QStringLiteral("SELECT ID, 药物名称, 别名 FROM DRUG_ZB WHERE ID = ANY($1::bigint[])"), {ids}));
    connection.exec(QStringLiteral("DELETE FROM DRUG_ZB_DIRTY WHERE ID = ANY($1::bigint[])"), {ids});
}

bool anyDirty(Connection &connection)
{
    return connection.exec(QStringLiteral("SELECT EXISTS (SELECT 1 FROM DRUG_ZB_DIRTY)")).text(0, 0) == QLatin1String("t");
}

} // namespace data::pg::namekeys
