// Search by exact name on the simple query page.
#include "app/MainForm.h"
#include "app/Messages.h"
#include "data/WindowSql.h"
#include "widgets/LabeledEdit.h"

void TFormMain::BitBtn1Click()
{
    const QString name = LabeledEdit_mc->text();
    if (name.isEmpty())
        return;
    SQL_1.close();
    SQL_1.setSql(data::sql::byName());
    SQL_1.setParameter(QStringLiteral("name"), name);
    SQL_1.open();
    const QString id = SQL_1.asString(QStringLiteral("ID"));
    if (id.isEmpty()) {
        app::Messages::direct(QStringLiteral("无此药物！"), QStringLiteral("提示"));
        return;
    }
    ShowDrug(id, Memo1);
}
