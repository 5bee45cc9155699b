#pragma once

#include <QString>
#include <functional>

namespace app {

// The steps of a conversion, in their order.
enum class ConversionStep {
    Importing, // drugdb is about to read the Access file into a new one
    Imported,  // the new file is written beside drug.mdb
    Verified,  // it opens with our key and holds every row read
    BackedUp,  // the Access file also bears its backup name
    Replaced,  // drug.mdb is the new file
};

// Turns the Access drug.mdb of the program's Access version into our own
// format in place. drugdb, beside the program, does the reading and writing
// in processes of their own; the new file is checked before it takes the
// old one's name, and the old file is kept under a backup name that never
// replaces a file. drug.mdb exists at every instant: the backup is a second
// name of the Access file (or a copy), and the new file then replaces
// drug.mdb in one step. Returns the backup's file name. Throws core::Error
// with the reason; the Access file is then as it was and nothing else is
// left behind. `reached` hears of each step as it is reached.
QString convertAccessDatabase(const QString &path, const std::function<void(ConversionStep)> &reached = {});

// What a conversion cut off by a kill or a power cut left beside drug.mdb
// is undone, so that the start converts afresh; a drug.mdb that an earlier
// build had already moved aside gets its checked new file.
void settleAccessConversion(const QString &path);

} // namespace app
