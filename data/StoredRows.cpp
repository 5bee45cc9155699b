#include "data/StoredRows.h"
#include "data/DrugFields.h"

namespace data {

QStringList StoredRows::tableNames()
{
    return {QStringLiteral("DRUG_LB"), QStringLiteral("DRUG_ZB"), QStringLiteral("HELP_LB"), QStringLiteral("HELP_ZB")};
}

QStringList StoredRows::columnsOf(const QString &table)
{
    if (table == QLatin1String("DRUG_ZB")) {
        QStringList columns;
        for (const DrugField &f : DrugFields)
            columns << f.column.toString();
        return columns;
    }
    if (table == QLatin1String("HELP_ZB"))
        return {QStringLiteral("LB"), QStringLiteral("CONTENT")};
    return {QStringLiteral("BM"), QStringLiteral("MC")};
}

} // namespace data
