#include "app/OpenProgress.h"
#include "app/Messages.h"

#include <QPointer>
#include <QProgressDialog>
#include <memory>

namespace app {

data::Progress openProgress(QWidget *window)
{
    auto dialog = std::make_shared<QPointer<QProgressDialog>>();
    return [owner = QPointer<QWidget>(window), dialog](const QString &step, int percent) {
        if (percent >= 100) {
            delete dialog->data();
            return;
        }
        if (!*dialog) {
            auto *shown = new QProgressDialog(owner);
            shown->setWindowTitle(Messages::AppTitle);
            shown->setCancelButton(nullptr);
            shown->setRange(0, 100);
            // Modal, so that it is drawn while the work goes on.
            shown->setWindowModality(Qt::ApplicationModal);
            shown->setMinimumDuration(OpenProgressDelayMs);
            *dialog = shown;
        }
        (*dialog)->setLabelText(QStringLiteral("正在把数据库升级到本程序的新格式，只需这一次：%1").arg(step));
        (*dialog)->setValue(percent);
    };
}

} // namespace app
