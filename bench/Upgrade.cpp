// The first open of a file of the previous layout, as the program opens it:
// the drug file's step upgrades it. Each run upgrades a fresh copy; there is
// no floor, the upgrade being the engine's work already.
#include "Worker.h"
#include "data/Connection.h"
#include "data/DrugFile.h"
#include "data/Statement.h"
#include "data/sqlite/Schema.h"

#include <QFile>

namespace bench {

void Worker::upgrade()
{
    const QString path = m_dir.filePath(QStringLiteral("previous.mdb"));
    const auto copy = [&](int) {
        QFile::remove(path);
        if (!QFile::copy(m_options.previous, path))
            fail(QStringLiteral("cannot copy %1").arg(m_options.previous));
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    };
    measure(QStringLiteral("upgrade of the previous layout"), reps({5, 3, 3}), copy,
            [&](int) {
                data::Connection connection(path);
                data::useDrugFile(connection);
                connection.open();
            },
            {}, true, QStringLiteral("first open of a file of user_version 0"));
    data::Connection connection(path);
    data::Statement version(connection.handle(), QStringLiteral("pragma user_version"));
    if (!version.step() || version.int64(0) != data::SchemaVersion)
        fail(QStringLiteral("upgrade: the file was not upgraded"));
    QFile::remove(path);
}

} // namespace bench
