// The save and delete commands.
#include "app/MainForm.h"
#include "app/Messages.h"
#include "data/DbError.h"
#include "data/SearchIndex.h"
#include "data/WindowSql.h"
#include "widgets/PageControl.h"

void TFormMain::tbSaveClick()
{
    const int page = Pc->activePage();
    if (page != DrugEntryPage && page != HelpPage)
        return;
    try {
        data::Transaction transaction(MainConnection);
        if (page == DrugEntryPage) {
            if (!SQL_ZB.isActive())
                return; // rolled back by the transaction's scope
            if (SQL_ZB.asString(QStringLiteral("LB")).isEmpty()) {
                // Roll back before the box, so no lock is held while it is shown.
                MainConnection.rollbackTransaction();
                app::Messages::direct(QStringLiteral("类别还没有输呢！"), QStringLiteral("提示："));
                return;
            }
            SQL_ZB.edit();
            // The name is written even when nothing else changed.
            SQL_ZB.setField(QStringLiteral("药物名称"), Edit1->text());
            SQL_ZB.applyUpdates();
            data::SearchIndex(MainConnection).update();
        } else {
            SQL_HELP_ZB.applyUpdates();
        }
        transaction.commit();
    } catch (const data::DbError &e) {
        if (MainConnection.inTransaction())
            MainConnection.rollbackTransaction();
        app::Messages::direct(QStringLiteral("保存失败！原因：") + e.message(), QStringLiteral("提示："));
        return;
    }
    app::Messages::framework(QStringLiteral("保存成功！"));
}

void TFormMain::tbDeleteClick()
{
    if (!SQL_ZB.isActive())
        return;
    const QString id = SQL_ZB.asString(QStringLiteral("ID"));
    if (id.isEmpty())
        throw data::DbError(QStringLiteral("这条记录还没有保存过，没有可删除的数据"));
    SQL_1.close();
    SQL_1.setSql(data::sql::deleteDrug());
    SQL_1.setParameter(QStringLiteral("id"), id.toLongLong());
    {
        // The row and its place in the search index go together.
        data::Transaction transaction(MainConnection);
        SQL_1.execSql();
        data::SearchIndex(MainConnection).update();
        transaction.commit();
    }
    Edit1->clear();
}
