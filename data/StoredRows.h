#pragma once

#include "data/Query.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace data {

// Every row of the four tables exactly as an engine holds it, keys
// included, for a copy between a file and a server that changes nothing.
struct StoredTable {
    struct Row {
        qint64 key = 0; // ID of a drug; the row's own number elsewhere
        std::vector<RawValue> values;
    };
    QString name;
    QStringList columns; // without the key
    std::vector<Row> rows;
};

struct StoredRows {
    // DRUG_LB, DRUG_ZB, HELP_LB, HELP_ZB, in this order.
    std::vector<StoredTable> tables;
    // The highest drug ID ever handed out: IDs are never used twice.
    qint64 drugIdHighWater = 0;

    static QStringList tableNames();
    // The columns of each table, the key aside, as both engines name them.
    static QStringList columnsOf(const QString &table);
};

} // namespace data
