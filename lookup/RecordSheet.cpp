// The record sheet: twelve labelled items of one drug.
#include "app/MainForm.h"
#include "data/DbError.h"
#include "data/DrugFields.h"
#include "data/WindowSql.h"
#include "widgets/Memo.h"

void TFormMain::ShowDrug(const QString &id, Memo *target)
{
    target->clear();
    SQL_1.close();
    SQL_1.setSql(data::sql::sheet());
    bool isNumber = false;
    const qint64 number = id.toLongLong(&isNumber);
    if (!isNumber)
        throw data::DbError(QStringLiteral("药物编号“%1”不是数字").arg(id));
    SQL_1.setParameter(QStringLiteral("id"), number);
    SQL_1.open();

    // Every label is 15 bytes in GBK, so in the window font the values start
    // in one column. An empty line follows every item but the last.
    const std::span<const data::DrugField> fields(data::DrugFields);
    QStringList lines;
    try {
        int items = 0;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].sheet != data::SheetItem::Own)
                continue;
            QString value = SQL_1.asString(fields[i].column.toString());
            for (size_t next = i + 1; next < fields.size() && fields[next].sheet == data::SheetItem::Continues; ++next)
                value += SQL_1.asString(fields[next].column.toString());
            lines << fields[i].sheetLabel.toString() + value;
            if (++items < data::countSheetItems())
                lines << QString();
        }
    } catch (...) {
        target->setLines(lines);
        throw;
    }
    target->setLines(lines);
    target->scrollToTop();
}
