// The record sheet: twelve labelled items of one drug.
#include "app/MainForm.h"
#include "data/DbError.h"
#include "widgets/Memo.h"

namespace {

struct Item {
    const char16_t *label;
    const char16_t *column;
    const char16_t *secondColumn;
};

// Every label is 15 bytes in GBK, so in the window font the values start in
// one column.
const Item Items[12] = {
    {u"【药物名称】： ", u"药物名称", nullptr}, {u"【类    别】： ", u"类别", nullptr},
    {u"【英文名称】： ", u"英文名称", nullptr}, {u"【别    名】： ", u"别名", nullptr},
    {u"【来    源】： ", u"来源", nullptr},     {u"【植物形态】： ", u"植物形态1", u"植物形态2"},
    {u"【生 长 地】： ", u"生长地", nullptr},   {u"【采    制】： ", u"采制", nullptr},
    {u"【化学成分】： ", u"化学成分", nullptr}, {u"【性    味】： ", u"性味", nullptr},
    {u"【功能主治】： ", u"功能主治", nullptr}, {u"【附    注】： ", u"附注", nullptr},
};

} // namespace

void TFormMain::ShowDrug(const QString &id, Memo *target)
{
    target->clear();
    SQL_1.close();
    SQL_1.setSql(QStringLiteral("select * from  DRUG_ZB where ID=:id"));
    bool isNumber = false;
    const qint64 number = id.toLongLong(&isNumber);
    if (!isNumber)
        throw data::DbError(QStringLiteral("药物编号“%1”不是数字").arg(id));
    SQL_1.setParameter(QStringLiteral("id"), number);
    SQL_1.open();

    QStringList lines;
    try {
        for (int i = 0; i < 12; ++i) {
            QString value = SQL_1.asString(QString::fromUtf16(Items[i].column));
            if (Items[i].secondColumn)
                value += SQL_1.asString(QString::fromUtf16(Items[i].secondColumn));
            lines << QString::fromUtf16(Items[i].label) + value;
            if (i < 11)
                lines << QString();
        }
    } catch (...) {
        target->setLines(lines);
        throw;
    }
    target->setLines(lines);
    target->scrollToTop();
}
