// The drug entry page: the record editor.
#include "core/Guard.h"
#include "app/MainForm.h"
#include "data/DrugFields.h"
#include "data/WindowSql.h"
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

    static_assert(data::countFields(data::Editor::NameBox) == 1 && data::countFields(data::Editor::CategoryDropDown) == 1
                  && data::countFields(data::Editor::Line) == 1);
    constexpr const data::DrugField &name = data::DrugFields[data::fieldWith(data::Editor::NameBox)];
    constexpr const data::DrugField &category = data::DrugFields[data::fieldWith(data::Editor::CategoryDropDown)];
    constexpr const data::DrugField &line = data::DrugFields[data::fieldWith(data::Editor::Line)];

    Edit1 = new EntryEdit(page);
    addLabel(page, name.entryLabel.toString(), 77, 11, Edit1);
    Edit1->setGeometry(83, 6, 159, 20);
    connect(Edit1, &QLineEdit::textChanged, this, core::guard([this](const QString &) { Edit1Change(); }));
    connect(Edit1, &EntryEdit::exited, this, core::guard([this] { Edit1Exit(); }));

    DBLookupComboBox1 = new DbLookupComboBox(page);
    addLabel(page, category.entryLabel.toString(), 316, 11, DBLookupComboBox1);
    DBLookupComboBox1->setGeometry(321, 6, 115, 20);
    DBLookupComboBox1->setDataField(category.column.toString());
    DBLookupComboBox1->setDataSource(&DS_ZB);
    DBLookupComboBox1->setListSource(&DS_LB, QStringLiteral("BM"), QStringLiteral("MC"));

    DBEdit1 = new DbEdit(page);
    addLabel(page, line.entryLabel.toString(), 535, 11, DBEdit1);
    DBEdit1->setGeometry(539, 6, 194, 20);
    DBEdit1->setDataField(line.column.toString());
    DBEdit1->setDataSource(&DS_ZB);

    // The memos' rows, one to each memo field in the list's order.
    struct Row { int labelTop; int top; int height; };
    static constexpr Row rows[] = {
        {40, 29, 34},   {77, 66, 34},   {116, 103, 34}, {149, 141, 34}, {189, 179, 34},
        {226, 217, 34}, {265, 256, 34}, {304, 294, 34}, {344, 332, 34}, {390, 370, 55},
    };
    static_assert(std::size(rows) == size_t(data::countFields(data::Editor::Memo)));
    static_assert(std::tuple_size_v<decltype(DBMemos)> == std::size(rows));
    int i = 0;
    for (const data::DrugField &field : data::DrugFields) {
        if (field.editor != data::Editor::Memo)
            continue;
        DbMemo *memo = new DbMemo(page);
        addLabel(page, field.entryLabel.toString(), 77, rows[i].labelTop, memo);
        memo->setObjectName(QStringLiteral("DBMemo%1").arg(i + 2));
        // A small margin, so that the 34-pixel editors show two whole lines
        // and the 55-pixel one four.
        memo->document()->setDocumentMargin(1);
        memo->setGeometry(83, rows[i].top, 652, rows[i].height);
        memo->setDataField(field.column.toString());
        memo->setDataSource(&DS_ZB);
        DBMemos[size_t(i)] = memo;
        ++i;
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
    SQL_ZB.setSql(data::sql::record());
    SQL_ZB.setParameter(QStringLiteral("name"), name);
    SQL_ZB.open();
    if (SQL_ZB.recordCount() == 0)
        SQL_ZB.append();
}
