// Search by name on the simple query page.
#include "app/MainForm.h"
#include "app/Messages.h"
#include "data/NameSearch.h"
#include "widgets/LabeledEdit.h"
#include "widgets/NameCompleter.h"

void TFormMain::BitBtn1Click()
{
    const QString name = LabeledEdit_mc->text();
    if (name.isEmpty())
        return;
    SQL_1.close();
    SQL_1.setSql(MainConnection.sql(data::Sql::DrugIdByName));
    SQL_1.setParameter(QStringLiteral("name"), name);
    SQL_1.open();
    const QString id = SQL_1.asString(QStringLiteral("ID"));
    if (!id.isEmpty()) {
        NameList->close();
        ShowDrug(id, Memo1);
        return;
    }
    // No drug of that exact name: the drugs its pinyin, initials, other
    // names or traditional characters find.
    const std::vector<pinyin::NameMatch> matches = data::findDrugNames(MainConnection, name);
    if (matches.empty()) {
        app::Messages::direct(QStringLiteral("无此药物！"), QStringLiteral("提示"));
        return;
    }
    if (matches.size() > 1) {
        LabeledEdit_mc->setFocus();
        NameList->open(matches);
        return;
    }
    LabeledEdit_mc->setText(matches.front().name);
    ShowDrug(QString::number(matches.front().id), Memo1);
}
