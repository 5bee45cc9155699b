#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace tools {

// One table of the Access file: the columns the program keeps, in the
// order asked for, and every live row. A null QString is NULL.
struct AccessTable {
    QString name;
    QStringList columns;
    std::vector<QStringList> rows;
};

struct AccessDump {
    int jetVersion = 0; // 3 or 4
    // DRUG_LB, DRUG_ZB, HELP_LB, HELP_ZB, with the columns of wantedColumns().
    std::vector<AccessTable> tables;
    // Tables and columns of the file that are not taken over.
    QStringList leftOut;
};

// The tables taken over and their columns, ID and 类别 first for DRUG_ZB.
std::vector<std::pair<QString, QStringList>> wantedTables();

// Reads the file with libmdb. A damaged file can crash libmdb, so this runs
// only in a process of its own (drugdb read-access). Throws DbError.
AccessDump readAccess(const QString &path);

// The dump passes from the reading process to its parent as bytes.
QByteArray serialize(const AccessDump &dump);
AccessDump deserialize(const QByteArray &bytes);

// Access text: UTF-16LE, or its compressed form when it starts FF FE (runs
// of one-byte and two-byte characters, switched by a 0x00 byte).
QString decodeJet4Text(const char *bytes, qsizetype size);

} // namespace tools
