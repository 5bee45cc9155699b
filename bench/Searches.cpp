// The combined query page's searches, each beside its floor; the parent
// puts each beside its anchor afterwards.
#include "Worker.h"
#include "app/MainForm.h"
#include "data/DrugFields.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/PageControl.h"
#include "widgets/TreeView.h"

namespace bench {

void Worker::searches()
{
    TFormMain &form = *m_form;
    form.Pc->setActivePage(TFormMain::CombinedQueryPage);
    form.PcChange();
    settle();
    for (const SearchCase &c : searchCases())
        search(c);
    everyDrug();
    m_presenter.expect({}, QStringLiteral("combined search"));
}

void Worker::search(const SearchCase &c)
{
    TFormMain &form = *m_form;
    for (LabeledEdit *edit : form.LabeledEdits)
        edit->clear();
    form.LabeledEdits[c.box]->setText(c.text);
    QStringList texts(data::SearchBoxCount);
    texts[c.box] = c.text;
    int found = 0;
    verifyStatements(c.operation, [&] { form.BitBtn2Click(); }, [&] { found = m_floor->search(texts); });
    measure(c.operation, reps(c.reps), {}, [&](int) { form.BitBtn2Click(); },
            [&](int) { found = m_floor->search(texts); }, true,
            QStringLiteral("%1 contains %2").arg(data::boxColumns(c.box + 1).constFirst(), c.text));
    const int listed = form.tv2->topLevelItemCount();
    if (c.selective) {
        if (listed != found || found == 0 || found >= 100 || !form.tv2->selectedNode()
            || !form.Memo2->toPlainText().contains(c.text))
            fail(QStringLiteral("selective search: %1 entries, the floor found %2").arg(listed).arg(found));
    } else if (listed != found || (found > 0) != (form.tv2->selectedNode() != nullptr)) {
        fail(QStringLiteral("%1: %2 entries, the floor found %3").arg(c.operation).arg(listed).arg(found));
    }
    m_results.back().note += QStringLiteral(", %1 found").arg(found);
}

void Worker::everyDrug()
{
    TFormMain &form = *m_form;
    for (LabeledEdit *edit : form.LabeledEdits)
        edit->clear();
    const QStringList none(data::SearchBoxCount);
    int found = 0;
    verifyStatements(QStringLiteral("combined search, every drug"), [&] { form.BitBtn2Click(); },
                     [&] { found = m_floor->search(none); });
    measure(QStringLiteral("combined search, every drug"), reps({20, 9, 5}), {},
            [&](int) { form.BitBtn2Click(); },
            [&](int) { found = m_floor->search(none); });
    if (form.tv2->topLevelItemCount() != m_options.drugs || found != m_options.drugs || !form.tv2->selectedNode())
        fail(QStringLiteral("every drug: %1 entries").arg(form.tv2->topLevelItemCount()));
}

} // namespace bench
