#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace app {

// The three forms in which the program speaks to the user.
enum class MessageForm {
    Framework,   // owned by the application window, no icon
    Direct,      // no owner: the main window stays usable
    ErrorReport, // the application-wide error report
};

enum class MessageIcon { None, Exclamation, Stop };

struct Message {
    MessageForm form;
    QString text;
    QString title;
    MessageIcon icon;
};

// Every box goes through the current presenter; tests put in one that
// records instead of blocking.
class MessagePresenter
{
public:
    virtual ~MessagePresenter() = default;
    virtual void show(const Message &message) = 0;

    static MessagePresenter &current();
    // nullptr restores the real message boxes.
    static void setCurrent(MessagePresenter *presenter);
};

namespace Messages {

inline const QString AppTitle = QStringLiteral("Zelkano中草药查询大全");

// The window that owns framework boxes and the error report.
void setOwner(QWidget *owner);
QWidget *owner();

void framework(const QString &text);
void direct(const QString &text, const QString &title);
void errorReport(const QString &errorMessage);
// The error report's text: a full stop is added unless the message is empty
// or already ends in a character at or below '.'.
QString errorReportText(const QString &errorMessage);

} // namespace Messages

} // namespace app
