#include "Stats.h"

#include <algorithm>

namespace bench {

double medianOf(std::vector<double> samples)
{
    if (samples.empty())
        return -1;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

Stats statsOf(const std::vector<double> &samples, const std::vector<double> &cpu)
{
    Stats s;
    if (samples.empty())
        return s;
    s.median = medianOf(samples);
    s.min = *std::min_element(samples.begin(), samples.end());
    s.max = *std::max_element(samples.begin(), samples.end());
    std::vector<double> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    s.p95 = sorted[std::min(sorted.size() - 1, (sorted.size() * 95 + 99) / 100 - 1)];
    s.cpuMedian = medianOf(cpu);
    s.count = int(samples.size());
    return s;
}

QJsonObject toJson(const Stats &s)
{
    return {{QStringLiteral("median_ms"), s.median}, {QStringLiteral("min_ms"), s.min},
            {QStringLiteral("max_ms"), s.max}, {QStringLiteral("p95_ms"), s.p95},
            {QStringLiteral("cpu_median_ms"), s.cpuMedian},
            {QStringLiteral("samples"), s.count}};
}

Stats statsFromJson(const QJsonObject &o)
{
    Stats s;
    s.median = o.value(QStringLiteral("median_ms")).toDouble();
    s.min = o.value(QStringLiteral("min_ms")).toDouble();
    s.max = o.value(QStringLiteral("max_ms")).toDouble();
    s.p95 = o.value(QStringLiteral("p95_ms")).toDouble();
    s.cpuMedian = o.value(QStringLiteral("cpu_median_ms")).toDouble(-1);
    s.count = o.value(QStringLiteral("samples")).toInt();
    return s;
}

QJsonObject toJson(const Result &r)
{
    QJsonObject o{{QStringLiteral("operation"), r.operation}, {QStringLiteral("size"), r.size},
                  {QStringLiteral("program"), toJson(r.program)}};
    if (r.floor) {
        o.insert(QStringLiteral("floor"), toJson(*r.floor));
        o.insert(QStringLiteral("floor_kind"), r.floorKind);
        o.insert(QStringLiteral("ratio"), r.floor->median > 0 ? r.program.median / r.floor->median : 0.0);
    }
    if (!r.note.isEmpty())
        o.insert(QStringLiteral("note"), r.note);
    if (r.anchor) {
        o.insert(QStringLiteral("anchor"), toJson(*r.anchor));
        o.insert(QStringLiteral("anchor_kind"), r.anchorKind);
        o.insert(QStringLiteral("program_over_anchor"), r.anchor->median > 0 ? r.program.median / r.anchor->median : 0.0);
        o.insert(QStringLiteral("anchors"), r.anchors);
    }
    return o;
}

Result resultFromJson(const QJsonObject &o)
{
    Result r;
    r.operation = o.value(QStringLiteral("operation")).toString();
    r.size = o.value(QStringLiteral("size")).toString();
    r.program = statsFromJson(o.value(QStringLiteral("program")).toObject());
    if (o.contains(QStringLiteral("floor"))) {
        r.floor = statsFromJson(o.value(QStringLiteral("floor")).toObject());
        r.floorKind = o.value(QStringLiteral("floor_kind")).toString();
    }
    r.note = o.value(QStringLiteral("note")).toString();
    if (o.contains(QStringLiteral("anchor"))) {
        r.anchor = statsFromJson(o.value(QStringLiteral("anchor")).toObject());
        r.anchorKind = o.value(QStringLiteral("anchor_kind")).toString();
        r.anchors = o.value(QStringLiteral("anchors")).toArray();
    }
    return r;
}

const Result *find(const QList<Result> &results, const QString &operation, const QString &size)
{
    for (const Result &r : results) {
        if (r.operation == operation && r.size == size)
            return &r;
    }
    return nullptr;
}

Result *find(QList<Result> &results, const QString &operation, const QString &size)
{
    return const_cast<Result *>(find(std::as_const(results), operation, size));
}

} // namespace bench
