// The drug entry page: the record editor.
#include "core/Guard.h"
#include "app/MainForm.h"
#include "widgets/Bevel.h"
#include "widgets/DbEdit.h"
#include "widgets/DbLookupComboBox.h"
#include "widgets/DbMemo.h"
#include "widgets/PageControl.h"

#include <QLabel>

namespace {

// A right-aligned label whose right edge is at `right`. It names its control
// for screen readers.
void addLabel(QWidget *page, const QString &caption, int right, int top, QWidget *buddy)
{
    auto *label = new QLabel(caption, page);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->setGeometry(right - 120, top, 120, 14);
    label->setBuddy(buddy);
}

} // namespace

void TFormMain::buildDrugEntryPage()
{
    QWidget *page = TabSheet3;
    Bevel7 = new Bevel(page);
    Bevel7->setGeometry(0, 0, 4000, 2);

    Edit1 = new EntryEdit(page);
    addLabel(page, QStringLiteral("药物名称："), 77, 11, Edit1);
    Edit1->setGeometry(83, 6, 159, 20);
    connect(Edit1, &QLineEdit::textChanged, this, core::guard([this](const QString &) { Edit1Change(); }));
    connect(Edit1, &EntryEdit::exited, this, core::guard([this] { Edit1Exit(); }));

    DBLookupComboBox1 = new DbLookupComboBox(page);
    addLabel(page, QStringLiteral("类别："), 316, 11, DBLookupComboBox1);
    DBLookupComboBox1->setGeometry(321, 6, 115, 20);
    DBLookupComboBox1->setDataField(QStringLiteral("LB"));
    DBLookupComboBox1->setDataSource(&DS_ZB);
    DBLookupComboBox1->setListSource(&DS_LB, QStringLiteral("BM"), QStringLiteral("MC"));

    DBEdit1 = new DbEdit(page);
    addLabel(page, QStringLiteral("英文名称："), 535, 11, DBEdit1);
    DBEdit1->setGeometry(539, 6, 194, 20);
    DBEdit1->setDataField(QStringLiteral("英文名称"));
    DBEdit1->setDataSource(&DS_ZB);

    struct Row { const char16_t *label; int labelTop; const char16_t *column; int top; int height; };
    static const Row rows[10] = {
        {u"别名：", 40, u"别名", 29, 34},           {u"来源：", 77, u"来源", 66, 34},
        {u"植物形态一：", 116, u"植物形态1", 103, 34}, {u"植物形态二：", 149, u"植物形态2", 141, 34},
        {u"生长地：", 189, u"生长地", 179, 34},       {u"采制：", 226, u"采制", 217, 34},
        {u"化学成分：", 265, u"化学成分", 256, 34},   {u"性味：", 304, u"性味", 294, 34},
        {u"功能主治：", 344, u"功能主治", 332, 34},   {u"附注：", 390, u"附注", 370, 55},
    };
    for (int i = 0; i < 10; ++i) {
        DbMemo *memo = new DbMemo(page);
        addLabel(page, QString::fromUtf16(rows[i].label), 77, rows[i].labelTop, memo);
        memo->setObjectName(QStringLiteral("DBMemo%1").arg(i + 2));
        // A small margin, so that the 34-pixel editors show two whole lines
        // and the 55-pixel one four.
        memo->document()->setDocumentMargin(1);
        memo->setGeometry(83, rows[i].top, 652, rows[i].height);
        memo->setDataField(QString::fromUtf16(rows[i].column));
        memo->setDataSource(&DS_ZB);
        DBMemos[i] = memo;
    }
    Pc->setFirstControl(DrugEntryPage, Edit1);
}

void TFormMain::Edit1Change()
{
    SQL_ZB.close();
    Edit1->Tag = 1;
}

void TFormMain::Edit1Exit()
{
    if (Edit1->Tag == 0)
        return;
    const QString name = Edit1->text();
    if (name.isEmpty())
        return;
    Edit1->Tag = 0;
    SQL_ZB.setSql(QStringLiteral("select * from DRUG_ZB  where 药物名称=:name"));
    SQL_ZB.setParameter(QStringLiteral("name"), name);
    SQL_ZB.open();
    if (SQL_ZB.recordCount() == 0)
        SQL_ZB.append();
}
