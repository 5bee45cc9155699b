#include "app/Messages.h"

#include <QEventLoop>
#include <QMessageBox>

namespace app {

namespace {

class BoxPresenter : public MessagePresenter
{
public:
    void show(const Message &message) override
    {
        const QMessageBox::Icon icon = message.icon == MessageIcon::Stop ? QMessageBox::Critical
            : message.icon == MessageIcon::Exclamation                   ? QMessageBox::Warning
                                                                         : QMessageBox::NoIcon;
        QWidget *owner = message.form == MessageForm::Direct ? nullptr : Messages::owner();
        if (owner && !owner->isVisible())
            owner = nullptr;
        QMessageBox box(icon, message.title, message.text, QMessageBox::Ok, owner);
        if (message.form == MessageForm::Direct) {
            // Wait for the box as a modal one would, but leave the main window usable.
            box.setWindowModality(Qt::NonModal);
            QEventLoop loop;
            QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
            box.show();
            loop.exec();
        } else {
            box.exec();
        }
    }
};

MessagePresenter *g_presenter = nullptr;
QPointer<QWidget> g_owner;

} // namespace

MessagePresenter &MessagePresenter::current()
{
    static BoxPresenter boxes;
    return g_presenter ? *g_presenter : boxes;
}

void MessagePresenter::setCurrent(MessagePresenter *presenter)
{
    g_presenter = presenter;
}

namespace Messages {

void setOwner(QWidget *owner)
{
    g_owner = owner;
}

QWidget *owner()
{
    return g_owner.data();
}

void framework(const QString &text)
{
    MessagePresenter::current().show({MessageForm::Framework, text, QStringLiteral("提示："), MessageIcon::None});
}

void direct(const QString &text, const QString &title)
{
    MessagePresenter::current().show({MessageForm::Direct, text, title, MessageIcon::Exclamation});
}

QString errorReportText(const QString &errorMessage)
{
    if (errorMessage.isEmpty() || errorMessage.back().unicode() <= u'.')
        return errorMessage;
    return errorMessage + QLatin1Char('.');
}

void errorReport(const QString &errorMessage)
{
    MessagePresenter::current().show(
        {MessageForm::ErrorReport, errorReportText(errorMessage), AppTitle, MessageIcon::Stop});
}

} // namespace Messages

} // namespace app
