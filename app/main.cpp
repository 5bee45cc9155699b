#include "app/MainForm.h"
#include "app/Messages.h"
#include "app/ServerSetting.h"
#include "core/Error.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    TFormMain FormMain;
    try {
        const QString server = app::configuredServer(application.arguments(), QCoreApplication::applicationDirPath());
        if (!server.isEmpty())
            FormMain.useServer(server);
    } catch (const core::Error &e) {
        app::Messages::framework(e.message());
        return 2;
    }
    if (FormMain.FormCreate() == TFormMain::StartResult::MissingDatabase)
        return 1;
    FormMain.show();
    return application.exec();
}
