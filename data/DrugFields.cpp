#include "data/DrugFields.h"

namespace data {

QStringList drugColumns()
{
    QStringList columns;
    for (const DrugField &f : DrugFields) {
        if (f.editor != Editor::None)
            columns << f.column.toString();
    }
    return columns;
}

QStringList indexedColumns()
{
    QStringList columns;
    for (const DrugField &f : DrugFields) {
        if (f.indexField >= 0)
            columns << f.column.toString();
    }
    return columns;
}

QStringList boxColumns(int box)
{
    QStringList columns;
    for (const DrugField &f : DrugFields) {
        if (f.box == box)
            columns << f.column.toString();
    }
    return columns;
}

QString boxLabel(int box)
{
    for (const DrugField &f : DrugFields) {
        if (f.box == box)
            return f.boxLabel.toString();
    }
    return QString();
}

int boxIndexField(int box)
{
    for (const DrugField &f : DrugFields) {
        if (f.box == box)
            return f.indexField;
    }
    return -1;
}

} // namespace data
