#include "Session.h"
#include "BenchSupport.h"
#include "QuietPresenter.h"
#include "SearchCases.h"
#include "app/MainForm.h"
#include "widgets/DbMemo.h"
#include "widgets/LabeledEdit.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

namespace bench {

namespace {

void useEveryPage(TFormMain &form, int drugs)
{
    form.ShowDrug(QStringLiteral("1"), form.Memo1);
    form.LabeledEdit_mc->setText(form.tv1->topLevelItem(0)->child(0)->text(0));
    form.BitBtn1Click();
    form.Pc->setActivePage(TFormMain::CombinedQueryPage);
    form.LabeledEdits[0]->setText(selectiveCriterion());
    form.BitBtn2Click();
    QApplication::processEvents();
    form.LabeledEdits[0]->clear();
    form.BitBtn2Click();
    QApplication::processEvents();
    if (form.tv2->topLevelItemCount() != drugs)
        fail(QStringLiteral("session: the list holds %1 entries").arg(form.tv2->topLevelItemCount()));
    form.Pc->setActivePage(TFormMain::DrugEntryPage);
    form.Edit1->setText(form.tv1->topLevelItem(0)->child(0)->text(0));
    form.Edit1Exit();
    form.DBMemos[9]->setPlainText(QStringLiteral("会话中修改的附注。"));
    form.tbSaveClick();
    form.Edit1->setText(QStringLiteral("会话新记录"));
    form.Edit1Exit();
    form.SQL_ZB.setField(QStringLiteral("LB"), QStringLiteral("001"));
    form.tbSaveClick();
    form.tbDeleteClick();
    QApplication::processEvents();
}

} // namespace

long long runSession(int drugs, const QString &database)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("drug.mdb"));
    if (!QFile::copy(database, path))
        fail(QStringLiteral("cannot copy %1").arg(database));
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QuietPresenter presenter;
    app::MessagePresenter::setCurrent(&presenter);
    {
        TFormMain form(path);
        form.FormCreate();
        form.show();
        waitExposed(&form);
        useEveryPage(form, drugs);
        presenter.expect({QStringLiteral("保存成功！"), QStringLiteral("保存成功！")}, QStringLiteral("session"));
        form.close();
    }
    app::MessagePresenter::setCurrent(nullptr);
    return peakRssKb();
}

} // namespace bench
