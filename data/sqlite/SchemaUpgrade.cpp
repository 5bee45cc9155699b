#include "data/sqlite/SchemaUpgrade.h"
#include "data/DbError.h"
#include "data/Statement.h"
#include "data/sqlite/NameKeyWriter.h"
#include "data/sqlite/Schema.h"
#include "data/sqlite/Script.h"
#include "data/sqlite/SearchLists.h"

#include <sqlite3.h>

namespace data {

namespace {

bool busy(int rc)
{
    return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

} // namespace

void upgradeSchema(sqlite3 *db, const Progress &progress)
{
    if (userVersion(db) >= SchemaVersion || sqlite3_db_readonly(db, "main") == 1)
        return;
    {
        Statement tables(db, QStringLiteral("select count(*) from sqlite_master where type = 'table' and name in ('DRUG_ZB','DRUG_LB')"));
        if (!tables.step() || tables.int64(0) != 2)
            return;
    }
    // The whole file at once, within the busy timeout: a reader that holds
    // it would otherwise let the work go ahead and then keep the commit
    // from finishing. A file we cannot have now is used as it is (searched
    // in full), and a later open upgrades it.
    const int rc = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    if (busy(rc) || (rc & 0xFF) == SQLITE_READONLY)
        return;
    if (rc != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(db)));
    // Once begun, the report ends at 100 whatever the outcome, so that
    // whoever shows it can close.
    struct Reporter {
        const Progress &progress;
        bool begun = false;
        void operator()(const QString &step, int percent)
        {
            if (progress)
                progress(step, percent);
            begun = percent < 100;
        }
        ~Reporter()
        {
            try {
                if (begun && progress)
                    progress(QString(), 100);
            } catch (...) {
                // A report that fails changes nothing of the file.
            }
        }
    } report{progress};
    // The old index's pages are freed without being overwritten: they hold
    // what the rows hold, encrypted, and zeroing them would cost more than
    // the rest of the upgrade. The connection's setting is kept otherwise.
    int secureDelete = 0;
    {
        Statement setting(db, QStringLiteral("PRAGMA secure_delete"));
        secureDelete = setting.step() ? int(setting.int64(0)) : 0;
    }
    const auto restore = [&] {
        sqlite3_exec(db, secureDelete ? "PRAGMA secure_delete = ON" : "PRAGMA secure_delete = OFF", nullptr, nullptr,
                     nullptr);
    };
    try {
        // Another program may have upgraded it meanwhile.
        if (userVersion(db) < SchemaVersion) {
            runScript(db, QStringLiteral("PRAGMA secure_delete = OFF"));
            report(QStringLiteral("删除旧的索引"), 0);
            // Every derived object of this layout and of the one before
            // with a name this one takes.
            runScript(db, QStringLiteral("DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AI;"
                                         "DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AU;"
                                         "DROP TRIGGER IF EXISTS DRUG_ZB_SEARCH_AD;"
                                         "DROP TABLE IF EXISTS DRUG_SEARCH_INDEX;"
                                         "DROP TABLE IF EXISTS DRUG_SEARCH_TOP;"
                                         "DROP TABLE IF EXISTS DRUG_ZB_DIRTY;"
                                         "DROP INDEX IF EXISTS DRUG_ZB_LB;"
                                         "DROP TABLE IF EXISTS DRUG_NAME_KEY;"
                                         "DROP TABLE IF EXISTS DRUG_NAME_KEY_SOURCE;"));
            report(QStringLiteral("建立类别索引"), 5);
            runScript(db, derivedSql());
            namekeys::rebuild(
                db, [&] { index::rebuild(db, [&](int percent) { report(QStringLiteral("建立搜索索引"), 10 + percent * 75 / 100); }); },
                [&](int percent) { report(QStringLiteral("建立拼音索引"), 85 + percent * 10 / 100); });
            // The hashed pairs of the build before go last: the new index
            // is written past the end of the file then, where no page needs
            // its old content kept for a roll-back.
            report(QStringLiteral("删除旧的索引"), 95);
            runScript(db, QStringLiteral("DROP TABLE IF EXISTS DRUG_GRAM;"
                                         "DROP TABLE IF EXISTS DRUG_SEARCH_META;"));
            report(QStringLiteral("写入文件"), 97);
        }
        runScript(db, QStringLiteral("COMMIT"));
    } catch (const DbError &) {
        // A write lock taken after all (the commit's, should another
        // program have slipped in) gives way to the file as it is.
        const bool locked = busy(sqlite3_extended_errcode(db));
        if (!sqlite3_get_autocommit(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        restore();
        if (!locked)
            throw;
        return;
    }
    restore();
    report(QStringLiteral("完成"), 100);
}

} // namespace data
