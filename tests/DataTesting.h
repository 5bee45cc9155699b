#pragma once

// What the data layer's tests share: files, errors, and the same search
// run through the index and over every row.
#include "data/Connection.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// The message of the DbError that f throws; empty when it throws none.
QString errorOf(const std::function<void()> &f);

// The engine's own text for a result code.
QString engineText(int code);

// A scalar read with the key alone, without the drug file's opening step.
QString rawScalar(const QString &path, const QString &sql);

// What a combined search finds through the index and through a full test
// of every row, both as IDs in ascending order, and the statements.
struct BothWays {
    QList<qint64> full, indexed;
    QString sql, fullSql;
    qsizetype staged = 0; // rows the index named
};
// (box, text) of each filled box.
BothWays searchBothWays(data::Connection &connection, const QList<QPair<int, QString>> &boxes);
BothWays searchBothWays(data::Connection &connection, int box, const QString &typed);

// Searches for pieces of stored values of one to five characters, some
// with wildcards, some with Latin letters in the other case, some found
// nowhere, each alone and some with the one before it in another box;
// gives the number of searches the index decided alone, or -1 with the
// first difference in `failure`.
int checkProbes(data::Connection &connection, int count, QString &failure);

// Every value of every row of ours, for telling that nothing changed.
QString contents(const QString &path);
