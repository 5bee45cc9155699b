#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace core {

// What our code throws. The message is shown to the user as it stands, so
// it is Chinese where we compose it ourselves, followed by the system's own
// text where there is one.
class Error : public std::exception
{
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace core
