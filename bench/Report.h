#pragma once

#include "Stats.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What a run found, printed and written as JSON.
namespace bench {

struct RunRecord {
    QList<Result> results;
    QJsonObject memory; // by size: peak resident sets, the file's bytes
    QJsonArray warnings;
    QString loadBefore;
    QString loadAfter;
};

// The first three fields of /proc/loadavg; empty where there is none.
QString loadAverage();

void printTable(const QList<Result> &results);
void printMemory(const QJsonObject &memory);
// The warnings, and the machine's load and platform.
void printFooter(const RunRecord &run);

// The whole run as JSON, with the machine and the command line.
void writeDocument(const QString &path, const QStringList &args, const RunRecord &run, const QJsonArray &targets);

} // namespace bench
