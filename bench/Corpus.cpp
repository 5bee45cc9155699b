#include "Corpus.h"
#include "Console.h"
#include "data/Connection.h"
#include "data/Statement.h"
#include "data/sqlite/Schema.h"
#include "tools/SyntheticData.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace bench {

int categoriesFor(int drugs)
{
    return drugs >= 100000 ? 500 : drugs >= 10000 ? 100 : 20;
}

QString syntheticDatabase(const QString &cacheDir, int drugs, bool rebuild)
{
    // The schema, its derived objects and the generator are part of the key:
    // a change in any of them builds anew.
    const QByteArray schema =
        QCryptographicHash::hash((data::schemaSql() + data::derivedSql() +
                                  QString::number(tools::SyntheticDataVersion)).toUtf8(),
                                 QCryptographicHash::Sha1).toHex().left(10);
    QDir().mkpath(cacheDir);
    const QString path = QDir(cacheDir).filePath(QStringLiteral("synthetic-%1-%2-%3-%4.mdb")
                                                     .arg(drugs).arg(categoriesFor(drugs)).arg(Seed)
                                                     .arg(QString::fromLatin1(schema)));
    if (rebuild || !QFileInfo::exists(path)) {
        progress(QStringLiteral("building %1 (%2 drugs in %3 categories)").arg(path).arg(drugs).arg(categoriesFor(drugs)));
        tools::buildSynthetic(path, drugs, categoriesFor(drugs), Seed, true);
    }
    return path;
}

QString previousLayout(const QString &database)
{
    const QString path = QFileInfo(database).path() + QLatin1Char('/') + QFileInfo(database).completeBaseName() +
                         QStringLiteral("-previous.mdb");
    if (QFileInfo::exists(path))
        return path;
    progress(QStringLiteral("making the previous layout %1").arg(path));
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    if (!QFile::copy(database, building))
        fail(QStringLiteral("cannot copy %1").arg(database));
    QFile(building).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    tools::makePreviousLayout(building);
    if (!QFile::rename(building, path))
        fail(QStringLiteral("cannot rename %1").arg(building));
    return path;
}

namespace {

// Copies the table or index `name` of the main database, with its rows,
// into the attached database `plain`.
void copyInto(data::Connection &source, const QString &name)
{
    data::Statement sql(source.handle(), QStringLiteral("select type, sql from main.sqlite_master where name = ?"));
    sql.bind(1, name);
    if (!sql.step())
        fail(QStringLiteral("no %1 in %2").arg(name, source.path()));
    const QString type = sql.text(0).toUpper();
    QString create = sql.text(1);
    create.replace(QStringLiteral("CREATE %1 %2").arg(type, name), QStringLiteral("CREATE %1 plain.%2").arg(type, name));
    source.execute(create);
    if (type == QLatin1String("TABLE"))
        source.execute(QStringLiteral("insert into plain.%1 select * from main.%1").arg(name));
}

} // namespace

QString plainCopy(const QString &database)
{
    const QString path = QFileInfo(database).path() + QLatin1Char('/') + QFileInfo(database).completeBaseName() +
                         QStringLiteral("-plain.db");
    if (QFileInfo::exists(path))
        return path;
    progress(QStringLiteral("making the plain copy %1").arg(path));
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    {
        // The connection opens files without creating them: an empty file
        // is an empty database.
        QFile empty(building);
        if (!empty.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot create %1").arg(building));
    }
    {
        data::Connection source(database);
        source.open();
        data::Statement attach(source.handle(), QStringLiteral("attach database ? as plain key ''"));
        attach.bind(1, building);
        attach.step();
        source.execute(QStringLiteral("pragma plain.page_size = 4096"));
        source.execute(QStringLiteral("begin"));
        for (const QString &name : {QStringLiteral("DRUG_LB"), QStringLiteral("DRUG_ZB"), QStringLiteral("DRUG_ZB_LB"),
                                    QStringLiteral("DRUG_ZB_NAME")})
            copyInto(source, name);
        source.execute(QStringLiteral("commit"));
        source.execute(QStringLiteral("detach database plain"));
    }
    if (!QFile::rename(building, path))
        fail(QStringLiteral("cannot rename %1").arg(building));
    return path;
}

// The bytes of the file's free pages.
static qint64 freeBytes(data::Connection &connection)
{
    data::Statement pages(connection.handle(), QStringLiteral("pragma freelist_count"));
    data::Statement size(connection.handle(), QStringLiteral("pragma page_size"));
    if (pages.step() && size.step())
        return pages.int64(0) * size.int64(0);
    return -1;
}

qint64 searchIndexBytes(const QString &path)
{
    data::Connection copy(path);
    copy.open();
    copy.execute(QStringLiteral("drop trigger if exists DRUG_ZB_SEARCH_AI"));
    copy.execute(QStringLiteral("drop trigger if exists DRUG_ZB_SEARCH_AU"));
    copy.execute(QStringLiteral("drop trigger if exists DRUG_ZB_SEARCH_AD"));
    copy.execute(QStringLiteral("drop table if exists DRUG_SEARCH_INDEX"));
    copy.execute(QStringLiteral("drop table if exists DRUG_SEARCH_TOP"));
    copy.execute(QStringLiteral("drop table if exists DRUG_ZB_DIRTY"));
    return freeBytes(copy);
}

qint64 nameKeyBytes(const QString &path)
{
    data::Connection copy(path);
    copy.open();
    copy.execute(QStringLiteral("drop table if exists DRUG_NAME_KEY"));
    copy.execute(QStringLiteral("drop table if exists DRUG_NAME_KEY_SOURCE"));
    return freeBytes(copy);
}

} // namespace bench
