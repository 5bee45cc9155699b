// The two query pages.
#include "core/Guard.h"
#include "app/MainForm.h"
#include "data/DrugFields.h"
#include "data/NameSearch.h"
#include "widgets/Bevel.h"
#include "widgets/Icons.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/NameCompleter.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton *searchButton(QWidget *parent, const QRect &geometry)
{
    auto *button = new QPushButton(Icons::binoculars(), QStringLiteral("查询[&C]"), parent);
    button->setGeometry(geometry);
    button->setIconSize(QSize(16, 16));
    // Enter on the focused button presses it.
    button->setAutoDefault(true);
    return button;
}

Memo *sheetArea(QWidget *parent)
{
    auto *memo = new Memo(parent);
    memo->setReadOnly(true);
    memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return memo;
}

} // namespace

void TFormMain::buildSimpleQueryPage()
{
    auto *page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    Panel1 = new QWidget(TabSheet1);
    Panel1->setFixedHeight(34);
    Bevel1 = new Bevel(Panel1);
    Bevel1->setGeometry(0, 0, 4000, 2);
    LabeledEdit_mc = new LabeledEdit(QStringLiteral("药物名称："), Panel1);
    LabeledEdit_mc->setGeometry(65, 8, 162, 20);
    NameList = new NameCompleter(LabeledEdit_mc, [this](const QString &typed) { return data::findDrugNames(MainConnection, typed); });
    connect(LabeledEdit_mc, &QLineEdit::textEdited, this, core::guard([this] { NameList->refresh(); }));
    connect(NameList, &NameCompleter::chosen, this,
            core::guard([this](qint64 id, const QString &) { ShowDrug(QString::number(id), Memo1); }));
    BitBtn1 = searchButton(Panel1, QRect(315, 6, 75, 22));
    connect(BitBtn1, &QPushButton::clicked, this, core::guard([this] { BitBtn1Click(); }));
    page->addWidget(Panel1);

    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    tv1 = new TreeView(TabSheet1);
    tv1->setFixedWidth(193);
    tv1->setImages(&ImageList_TreeView);
    tv1->setAccessibleName(QStringLiteral("药物类别"));
    connect(tv1, &TreeView::nodeChanged, this, core::guard([this](TreeNode *node) { tv1Change(node); }));
    Memo1 = sheetArea(TabSheet1);
    Memo1->setAccessibleName(QStringLiteral("药物资料"));
    body->addWidget(tv1);
    body->addWidget(Memo1, 1);
    page->addLayout(body, 1);
    Pc->setFirstControl(SimpleQueryPage, tv1);
}

void TFormMain::buildCombinedQueryPage()
{
    auto *page = new QVBoxLayout(TabSheet2);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    Bevel2 = new Bevel(TabSheet2);
    page->addWidget(Bevel2);

    Panel2 = new QWidget(TabSheet2);
    Panel2->setFixedHeight(100);
    // Box 1 to 12's places, in three columns and four rows.
    struct Box { int left, top, width; };
    static constexpr Box boxes[data::SearchBoxCount] = {
        {63, 4, 162},  {319, 4, 162},  {571, 4, 162},
        {63, 28, 162}, {319, 28, 162}, {571, 28, 162},
        {63, 52, 162}, {319, 52, 162}, {571, 52, 162},
        {63, 76, 162}, {319, 76, 162}, {571, 76, 78},
    };
    for (int i = 0; i < data::SearchBoxCount; ++i) {
        LabeledEdits[i] = new LabeledEdit(data::boxLabel(i + 1), Panel2);
        LabeledEdits[i]->setGeometry(boxes[i].left, boxes[i].top, boxes[i].width, 20);
        LabeledEdits[i]->setObjectName(QStringLiteral("LabeledEdit%1").arg(i + 1));
    }
    BitBtn2 = searchButton(Panel2, QRect(659, 75, 75, 22));
    connect(BitBtn2, &QPushButton::clicked, this, core::guard([this] { BitBtn2Click(); }));
    page->addWidget(Panel2);

    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    tv2 = new TreeView(TabSheet2);
    tv2->setFixedWidth(193);
    tv2->setRootIsDecorated(false);
    tv2->setImages(&ImageList_TreeView);
    tv2->setAccessibleName(QStringLiteral("查询结果"));
    connect(tv2, &TreeView::nodeChanged, this, core::guard([this](TreeNode *node) { tv2Change(node); }));
    Memo2 = sheetArea(TabSheet2);
    Memo2->setAccessibleName(QStringLiteral("药物资料"));
    body->addWidget(tv2);
    body->addWidget(Memo2, 1);
    page->addLayout(body, 1);
    Pc->setFirstControl(CombinedQueryPage, tv2);
}
