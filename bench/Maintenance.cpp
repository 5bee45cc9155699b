// The entry page: loading a record by its name, saving an edit, deleting a
// record, each beside its floor.
#include "Worker.h"
#include "app/MainForm.h"
#include "widgets/DbMemo.h"
#include "widgets/PageControl.h"

namespace bench {

namespace {

// The 附注 memo among the entry page's DBMemos.
constexpr int RemarksMemo = 9;

QString editedRemarks(int i)
{
    return QStringLiteral("基准修改的附注，第 %1 次。").arg(i);
}

} // namespace

void Worker::maintenance()
{
    m_form->Pc->setActivePage(TFormMain::DrugEntryPage);
    m_form->PcChange();
    settle();
    loadRecord();
    save();
    remove();
}

// The window edits one drug, the floor another.
void Worker::loadRecord()
{
    TFormMain &form = *m_form;
    const Drug &edited = m_sample[1];
    const Drug &floorDrug = m_sample[2];
    auto load = [&](const QString &name) {
        form.Edit1->setText(name + QLatin1Char('#'));
        form.Edit1->setText(name); // the name-changed mark is set
    };
    verifyStatements(QStringLiteral("load record"), [&] { load(edited.name); form.Edit1Exit(); },
                     [&] { m_floor->record(floorDrug.name); });
    measure(QStringLiteral("load record (Edit1Exit)"), reps({100, 100, 100}),
            [&](int) { load(edited.name); }, [&](int) { form.Edit1Exit(); },
            [&](int) { m_floor->record(floorDrug.name); });
    if (!form.SQL_ZB.isActive() || form.SQL_ZB.recordCount() != 1)
        fail(QStringLiteral("load record: no record"));
}

// Saving an edited record: the window writes the name and the remarks,
// checked against what it read, and reads the row back. The floor takes the
// window's own texts of the update and the read-back from one save.
void Worker::save()
{
    TFormMain &form = *m_form;
    const Drug &edited = m_sample[1];
    auto edit = [&](int i) { form.DBMemos[RemarksMemo]->setPlainText(editedRemarks(i)); };
    edit(-2);
    QString update, readBack;
    for (const QString &statement : tracedProgram([&] { form.tbSaveClick(); })) {
        if (statement.startsWith(QLatin1String("UPDATE")))
            update = statement;
        else if (statement.startsWith(QLatin1String("SELECT")))
            readBack = statement;
    }
    m_presenter.expect({QStringLiteral("保存成功！")}, QStringLiteral("save"));
    if (update.isEmpty() || readBack.isEmpty())
        fail(QStringLiteral("save: not the update the floor expects: %1").arg(update));
    m_floor->beginSaves(update, readBack, m_sample[2]);

    edit(-1);
    verifyStatements(QStringLiteral("save"), [&] { form.tbSaveClick(); }, [&] { m_floor->save(editedRemarks(-1)); });
    m_presenter.expect({QStringLiteral("保存成功！")}, QStringLiteral("save"));
    const int saves = reps({30, 30, 30});
    measure(QStringLiteral("save (tbSaveClick)"), saves, edit, [&](int) { form.tbSaveClick(); },
            [&](int i) { m_floor->save(editedRemarks(i)); }, false, QStringLiteral("an edited 附注"));
    m_presenter.expect(QStringList(saves + 1, QStringLiteral("保存成功！")), QStringLiteral("save"));
    if (m_floor->scalar(QStringLiteral("select count(*) from DRUG_ZB where ID = ? and 附注 = ?"),
                        {edited.id, editedRemarks(saves)}) != 1)
        fail(QStringLiteral("save: the edit is not in the database"));
}

// Deleting a freshly inserted record: the window saves a new record and
// deletes it; the floor inserts a row and deletes it.
void Worker::remove()
{
    TFormMain &form = *m_form;
    const QString category = QStringLiteral("001"); // the builder's first category code
    const QString remarks = QStringLiteral("一条马上要删除的记录。");
    int serial = 0;
    auto insertNew = [&](int) {
        form.Edit1->setText(QStringLiteral("基准删除%1").arg(++serial));
        form.Edit1Exit();
        form.SQL_ZB.setField(QStringLiteral("LB"), category);
        form.DBMemos[RemarksMemo]->setPlainText(remarks);
        form.tbSaveClick();
        m_presenter.expect({QStringLiteral("保存成功！")}, QStringLiteral("new record"));
    };
    std::vector<qint64> floorIds;
    auto floorInsert = [&] {
        floorIds.push_back(m_floor->insert(category, QStringLiteral("基准删除底线%1").arg(++serial), remarks));
    };
    insertNew(0);
    floorInsert();
    verifyStatements(QStringLiteral("delete"), [&] { form.tbDeleteClick(); }, [&] { m_floor->remove(floorIds.back()); });
    const int deletes = reps({30, 30, 30});
    // The floor's rows are inserted ahead, so that its series times the
    // deletes alone.
    floorIds.clear();
    for (int i = 0; i <= deletes; ++i)
        floorInsert();
    measure(QStringLiteral("delete (tbDeleteClick)"), deletes, insertNew, [&](int) { form.tbDeleteClick(); },
            [&](int i) { m_floor->remove(floorIds[size_t(i)]); }, false, QStringLiteral("of a record just saved"));
    m_presenter.expect({}, QStringLiteral("delete"));
    if (m_floor->scalar(QStringLiteral("select count(*) from DRUG_ZB where 药物名称 like '基准删除%'")) != 0
        || form.SQL_ZB.isActive() || !form.Edit1->text().isEmpty())
        fail(QStringLiteral("delete: rows are left"));
}

} // namespace bench
