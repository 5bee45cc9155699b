#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace data {

// Everything a new drug database is written with.
struct DrugContent {
    struct Category { QString bm, mc; };
    struct Drug {
        QStringList values; // in drugColumns() order
        qint64 id = 0;      // 0: the database numbers the row
        QString category;   // kept where LB names no category
    };
    struct HelpTopic { QString bm, mc, content; bool hasContent = false; };
    struct HelpText { QString lb, content; };

    std::vector<Category> categories;
    std::vector<Drug> drugs;
    std::vector<HelpTopic> help;
    std::vector<HelpText> texts; // rows of HELP_ZB of their own
    bool keepNull = false;       // a null value is NULL, not empty text
};

// A drug database as the Access version of the program kept it, read from
// its file. A null QString is NULL.
struct ImportedContent {
    struct Category { QString bm, mc; };
    // values in drugColumns() order; 类别 as the file holds it.
    struct Drug { qint64 id = 0; QString category; QStringList values; };
    struct Topic { QString bm, mc; };
    struct Text { QString lb, content; };

    std::vector<Category> categories;
    std::vector<Drug> drugs;
    std::vector<Topic> topics;
    std::vector<Text> texts;
};

// A drug whose stored 类别 was not its category's name.
struct CategoryChange {
    qint64 id = 0;
    QString name, stored, written;
};

} // namespace data
