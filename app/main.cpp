#include "app/MainForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    TFormMain FormMain;
    if (FormMain.FormCreate() == TFormMain::StartResult::MissingDatabase)
        return 1;
    FormMain.show();
    return application.exec();
}
