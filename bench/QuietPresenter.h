#pragma once

#include "Console.h"
#include "app/Messages.h"

#include <QStringList>

namespace bench {

// Takes the window's messages in place of boxes, so that every operation
// can check what it was told.
class QuietPresenter : public app::MessagePresenter
{
public:
    void show(const app::Message &message) override { messages << message.text; }
    // The messages since the last call; anything but `expected` fails.
    void expect(const QStringList &expected, const QString &operation)
    {
        if (messages != expected)
            fail(QStringLiteral("%1: expected messages [%2], got [%3]")
                     .arg(operation, expected.join(QStringLiteral(", ")), messages.join(QStringLiteral(", "))));
        messages.clear();
    }
    QStringList messages;
};

} // namespace bench
