// The look-ups of the simple query page: a drug's sheet, and the search by
// exact name.
#include "Worker.h"
#include "app/MainForm.h"
#include "widgets/LabeledEdit.h"
#include "widgets/Memo.h"
#include "widgets/PageControl.h"

namespace bench {

void Worker::lookups()
{
    TFormMain &form = *m_form;
    form.Pc->setActivePage(TFormMain::SimpleQueryPage);
    form.PcChange();
    settle();
    const auto drug = [this](int i) -> const Drug & { return m_sample[size_t(i) % m_sample.size()]; };
    const auto shows = [&](const Drug &shown) {
        return form.Memo1->toPlainText().startsWith(QStringLiteral("【药物名称】： ") + shown.name);
    };
    const int count = reps({200, 200, 200});

    verifyStatements(QStringLiteral("ShowDrug"),
                     [&] { form.ShowDrug(QString::number(drug(0).id), form.Memo1); },
                     [&] { m_floor->sheet(drug(0).id); });
    measure(QStringLiteral("ShowDrug"), count, {},
            [&](int i) { form.ShowDrug(QString::number(drug(i).id), form.Memo1); },
            [&](int i) { m_floor->sheet(drug(i + 1000).id); });
    if (!shows(drug(count)))
        fail(QStringLiteral("ShowDrug: the sheet does not show the drug"));
    m_presenter.expect({}, QStringLiteral("ShowDrug"));

    form.LabeledEdit_mc->setText(drug(0).name);
    verifyStatements(QStringLiteral("name search"), [&] { form.BitBtn1Click(); },
                     [&] { m_floor->nameSearch(drug(0).name); });
    measure(QStringLiteral("name search"), count,
            [&](int i) { form.LabeledEdit_mc->setText(drug(i + 300).name); },
            [&](int) { form.BitBtn1Click(); },
            [&](int i) { m_floor->nameSearch(drug(i + 1300).name); });
    if (!shows(drug(count + 300)))
        fail(QStringLiteral("name search: the sheet does not show the drug"));
    m_presenter.expect({}, QStringLiteral("name search"));
}

} // namespace bench
