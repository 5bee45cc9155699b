#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

// What an operation measured, and its form in the results' JSON.
namespace bench {

// Wall-clock times; beside them the median of the process's CPU time over
// the same runs, which tells how far other load on the machine stretched
// the wall clock (-1 where not measured).
struct Stats {
    double median = 0, min = 0, max = 0;
    double p95 = 0; // the time 95 of 100 runs stay within
    double cpuMedian = -1;
    int count = 0;
};

double medianOf(std::vector<double> samples);
Stats statsOf(const std::vector<double> &samples, const std::vector<double> &cpu = {});
QJsonObject toJson(const Stats &s);
Stats statsFromJson(const QJsonObject &o);

struct Result {
    QString operation;
    QString size;
    Stats program;
    std::optional<Stats> floor;
    QString floorKind; // what the floor is: engine, or toolkit + engine
    QString note;
    // The best correct anchor of a search (plain SQLite on a plain copy),
    // and every anchor run, correct or not.
    std::optional<Stats> anchor = {};
    QString anchorKind = {};
    QJsonArray anchors = {};
};

QJsonObject toJson(const Result &r);
Result resultFromJson(const QJsonObject &o);

// The result of `operation` at `size`; null when it was not run.
const Result *find(const QList<Result> &results, const QString &operation, const QString &size);
Result *find(QList<Result> &results, const QString &operation, const QString &size);

} // namespace bench
