#pragma once

#include <QString>

namespace app {

// Turns the Access drug.mdb of the program's Access version into our own
// format in place. drugdb, beside the program, does the reading and writing
// in processes of their own; the new file is checked before it takes the
// old one's name, and the old file is kept under a backup name that never
// replaces a file. Returns the backup's file name. Throws core::Error with the
// reason; the Access file is then as it was and nothing else is left behind.
QString convertAccessDatabase(const QString &path);

} // namespace app
