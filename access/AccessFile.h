#pragma once

#include <QString>

namespace msaccess {

// What the first page of a file says it is. Access files of every version
// start with the same page header; its version byte tells Jet 3 (Access 97),
// Jet 4 (Access 2000-2003) and the later .accdb format apart.
enum class AccessFormat { None, Jet3, Jet4, Accdb };

AccessFormat accessFormat(const QString &path);

} // namespace msaccess
