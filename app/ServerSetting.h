#pragma once

#include <QString>
#include <QStringList>

namespace app {

// Where the drugs are: a PostgreSQL server when one is named, else drug.mdb
// beside the program. `--server CONNINFO` names one for a single run; else
// the line `server=CONNINFO` in the [database] group of zelkano.ini in the
// program folder. CONNINFO is a libpq connection string or URI; passwords
// stay in libpq's own files. Returns the empty string for drug.mdb.
// Throws DbError for an argument it does not know.
QString configuredServer(const QStringList &arguments, const QString &programFolder);

// The value of `key` in `group` of an INI text: the rest of its line,
// blanks around it removed, taken as it stands (no quotes, no escapes, no
// lists), so that any connection string fits. Empty when absent.
QString iniValue(const QString &text, const QString &group, const QString &key);

} // namespace app
