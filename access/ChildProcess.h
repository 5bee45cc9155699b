#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace msaccess {

// What to say when a helper program fails, in the user's words. %1 is the
// system's reason, the minutes allowed and the exit status, in that order.
struct ChildFailureTexts {
    QString cannotStart;
    QString timedOut;
    QString crashed;
    QString exitStatus;
};

// Runs one of our helper programs to its end within `timeLimitMs` and
// returns its standard output. Every way it can fail is an Error: its own
// reason where it printed one ("drugdb: ..." on standard error), else the
// matching text.
QByteArray runChild(const QString &program, const QStringList &arguments, int timeLimitMs,
                    const ChildFailureTexts &texts);

} // namespace msaccess
