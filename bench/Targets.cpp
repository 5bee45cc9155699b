#include "Targets.h"

#include <cstdio>

namespace bench {

namespace {

// What a target's bound is compared with.
enum class Against {
    Milliseconds,     // the median, in ms
    P95Milliseconds,  // the time 95 of 100 runs stay within, in ms
    Floor,            // the median over its floor's
    Operation,        // the median over another operation's of the same size
    FullScan,         // the median against its full-scan anchor's
    FileWithoutIndex, // the file against the same data without a search index
    SessionPeakMb,    // a session's peak resident set, in MB (below the bound)
    Count,            // a count the run kept by size (at most the bound)
    NameKeyShare,     // the name keys' share of the file
};

struct Target {
    QString what; // as printed
    QString operation;
    QString size;
    Against against;
    double bound;
    QString other = {}; // Against::Operation: the operation compared with; Against::Count: its key
};

const QString Big = QStringLiteral("100000");

// A new target is a row here, in the order they are printed.
const QList<Target> &targets()
{
    static const QList<Target> rows{
        {QStringLiteral("100,000: start-up to shown window (in process) <= 200 ms"), QStringLiteral("start-up to shown window"), Big, Against::Milliseconds, 200},
        {QStringLiteral("100,000: process start to shown window <= 450 ms"), QStringLiteral("process start to shown window"), Big, Against::Milliseconds, 450},
        {QStringLiteral("100,000: every drug listed <= 200 ms"), QStringLiteral("combined search, every drug"), Big, Against::Milliseconds, 200},
        {QStringLiteral("100,000: one absent character <= 10 ms"), QStringLiteral("combined search, one absent character"), Big, Against::Milliseconds, 10},
        {QStringLiteral("100,000: selective combined search <= 10 ms"), QStringLiteral("combined search, selective"), Big, Against::Milliseconds, 10},
        {QStringLiteral("100,000: two characters <= 40 ms"), QStringLiteral("combined search, two characters"), Big, Against::Milliseconds, 40},
        {QStringLiteral("100,000: one common character <= 1.2x every drug listed"), QStringLiteral("combined search, one common character"), Big, Against::Operation, 1.2, QStringLiteral("combined search, every drug")},
        {QStringLiteral("100,000: wildcard between characters <= plain full scan"), QStringLiteral("combined search, wildcard between characters"), Big, Against::FullScan, 1},
        {QStringLiteral("100,000: Latin pattern <= plain full scan"), QStringLiteral("combined search, Latin pattern"), Big, Against::FullScan, 1},
        {QStringLiteral("100,000: save <= 10 ms"), QStringLiteral("save (tbSaveClick)"), Big, Against::Milliseconds, 10},
        {QStringLiteral("100,000: delete <= 10 ms"), QStringLiteral("delete (tbDeleteClick)"), Big, Against::Milliseconds, 10},
        {QStringLiteral("100,000: upgrade of the previous layout <= 10 s"), QStringLiteral("upgrade of the previous layout"), Big, Against::Milliseconds, 10000},
        {QStringLiteral("100,000: file <= 2x the same data without a search index"), {}, Big, Against::FileWithoutIndex, 2},
        {QStringLiteral("100,000: peak RSS of a session < 150 MB"), {}, Big, Against::SessionPeakMb, 150},
        {QStringLiteral("100,000: pinyin initials, a keystroke's list <= 16 ms"), QStringLiteral("pinyin initials"), Big, Against::Milliseconds, 16},
        {QStringLiteral("100,000: pinyin initials, a keystroke's list p95 <= 30 ms"), QStringLiteral("pinyin initials"), Big, Against::P95Milliseconds, 30},
        {QStringLiteral("100,000: pinyin initials <= full scan of the names"), QStringLiteral("pinyin initials"), Big, Against::FullScan, 1},
        {QStringLiteral("100,000: full pinyin, a keystroke's list <= 16 ms"), QStringLiteral("full pinyin"), Big, Against::Milliseconds, 16},
        {QStringLiteral("100,000: full pinyin, a keystroke's list p95 <= 30 ms"), QStringLiteral("full pinyin"), Big, Against::P95Milliseconds, 30},
        {QStringLiteral("100,000: full pinyin <= full scan of the names"), QStringLiteral("full pinyin"), Big, Against::FullScan, 1},
        {QStringLiteral("100,000: traditional characters, a keystroke's list <= 16 ms"), QStringLiteral("traditional characters"), Big, Against::Milliseconds, 16},
        {QStringLiteral("100,000: traditional characters, a keystroke's list p95 <= 30 ms"), QStringLiteral("traditional characters"), Big, Against::P95Milliseconds, 30},
        {QStringLiteral("100,000: traditional characters <= full scan of the names"), QStringLiteral("traditional characters"), Big, Against::FullScan, 1},
        {QStringLiteral("100,000: name keys <= 15% of the file"), {}, Big, Against::NameKeyShare, 0.15},
        {QStringLiteral("100,000: ShowDrug <= 5 ms"), QStringLiteral("ShowDrug"), Big, Against::Milliseconds, 5},
        {QStringLiteral("100,000: name search <= 5 ms"), QStringLiteral("name search"), Big, Against::Milliseconds, 5},
        {QStringLiteral("sample: process start <= 1.2x the toolkit + engine floor"), QStringLiteral("process start to shown window"), QStringLiteral("sample"), Against::Floor, 1.2},
    };
    return rows;
}

// On a server the floor of a search is the same search as a plain full
// scan there, its anchor.
const QList<Target> &serverTargets()
{
    static const QList<Target> rows{
        {QStringLiteral("server, 100,000: start-up in process <= 400 ms"), QStringLiteral("start-up to shown window"), Big, Against::Milliseconds, 400},
        {QStringLiteral("server, 100,000: every drug listed <= 300 ms"), QStringLiteral("combined search, every drug"), Big, Against::Milliseconds, 300},
        {QStringLiteral("server, 100,000: one common character <= 1.2x every drug listed"), QStringLiteral("combined search, one common character"), Big, Against::Operation, 1.2, QStringLiteral("combined search, every drug")},
        {QStringLiteral("server, 100,000: two characters <= 60 ms"), QStringLiteral("combined search, two characters"), Big, Against::Milliseconds, 60},
        {QStringLiteral("server, 100,000: selective <= 20 ms"), QStringLiteral("combined search, selective"), Big, Against::Milliseconds, 20},
        {QStringLiteral("server, 100,000: wildcard between characters <= full scan"), QStringLiteral("combined search, wildcard between characters"), Big, Against::Floor, 1},
        {QStringLiteral("server, 100,000: Latin pattern <= full scan"), QStringLiteral("combined search, Latin pattern"), Big, Against::Floor, 1},
        {QStringLiteral("server, 100,000: save <= 20 ms"), QStringLiteral("save (tbSaveClick)"), Big, Against::Milliseconds, 20},
        {QStringLiteral("server, 10 workstations: p95 of the selective search <= 3x alone"), QStringLiteral("10 workstations, combined search, selective"), Big, Against::Floor, 3},
        {QStringLiteral("server, 10 workstations: p95 of two characters <= 3x alone"), QStringLiteral("10 workstations, combined search, two characters"), Big, Against::Floor, 3},
        {QStringLiteral("server, 10 workstations: 0 lost updates"), {}, Big, Against::Count, 0, QStringLiteral("workstations_lost_updates")},
        {QStringLiteral("server, 10 workstations: 0 errors"), {}, Big, Against::Count, 0, QStringLiteral("workstations_errors")},
    };
    return rows;
}

struct Verdict {
    bool measured;
    bool met;
    QString value; // as printed
};

QString ms(double value)
{
    return QString::number(value, 'f', 2);
}

double fullScanMs(const Result &r)
{
    double full = -1;
    for (const QJsonValue &v : r.anchors) {
        const QJsonObject a = v.toObject();
        if (a.value(QStringLiteral("kind")).toString() == QLatin1String("full scan"))
            full = a.value(QStringLiteral("stats")).toObject().value(QStringLiteral("median_ms")).toDouble();
    }
    return full;
}

// The targets on one operation's result, `r` null when it was not run.
Verdict judgeOperation(const Target &t, const Result *r, const QList<Result> &results)
{
    switch (t.against) {
    case Against::Milliseconds:
        return {r != nullptr, r && r->program.median <= t.bound, r ? ms(r->program.median) + QStringLiteral(" ms") : QString()};
    case Against::P95Milliseconds:
        return {r != nullptr, r && r->program.p95 <= t.bound, r ? ms(r->program.p95) + QStringLiteral(" ms") : QString()};
    case Against::Floor: {
        const bool ok = r && r->floor && r->floor->median > 0;
        // Under load it is the slow tail that a user feels.
        const bool tail = r && r->floorKind == QLatin1String("alone");
        const double value = ok ? (tail ? r->program.p95 / r->floor->p95 : r->program.median / r->floor->median) : 0;
        return {ok, value <= t.bound, ok ? ms(value) + QLatin1Char('x') : QString()};
    }
    case Against::Operation: {
        const Result *o = find(results, t.other, t.size);
        const bool ok = r && o && o->program.median > 0;
        const double value = ok ? r->program.median / o->program.median : 0;
        return {ok, value <= t.bound,
                ok ? QStringLiteral("%1x (%2 / %3 ms)").arg(ms(value), ms(r->program.median), ms(o->program.median)) : QString()};
    }
    case Against::FullScan: {
        const double full = r ? fullScanMs(*r) : -1;
        const bool ok = r && full > 0;
        return {ok, r && r->program.median <= t.bound * full,
                ok ? QStringLiteral("%1 ms / %2 ms").arg(ms(r->program.median), ms(full)) : QString()};
    }
    default:
        return {false, false, {}};
    }
}

// The targets on a size's file and memory.
Verdict judgeMemory(const Target &t, const QJsonObject &memory)
{
    const QJsonObject m = memory.value(t.size).toObject();
    if (t.against == Against::Count) {
        const QJsonValue count = m.value(t.other);
        return {count.isDouble(), count.toDouble() <= t.bound, QString::number(count.toInt())};
    }
    if (t.against == Against::FileWithoutIndex) {
        const double fileBytes = m.value(QStringLiteral("file_bytes")).toDouble();
        const double indexBytes = m.value(QStringLiteral("search_index_bytes")).toDouble(-1);
        return {fileBytes > 0 && indexBytes >= 0, fileBytes <= t.bound * (fileBytes - indexBytes),
                QStringLiteral("%1 MB, %2 MB without").arg(fileBytes / 1048576, 0, 'f', 1).arg((fileBytes - indexBytes) / 1048576, 0, 'f', 1)};
    }
    if (t.against == Against::NameKeyShare) {
        const double fileBytes = m.value(QStringLiteral("file_bytes")).toDouble();
        const double keyBytes = m.value(QStringLiteral("name_key_bytes")).toDouble(-1);
        const double share = fileBytes > 0 ? keyBytes / fileBytes : 0;
        return {fileBytes > 0 && keyBytes >= 0, share <= t.bound,
                QStringLiteral("%1% (%2 MB)").arg(share * 100, 0, 'f', 1).arg(keyBytes / 1048576, 0, 'f', 1)};
    }
    const double peakMb = m.value(QStringLiteral("session_peak_rss_kb")).toDouble() / 1024;
    return {m.contains(QStringLiteral("session_peak_rss_kb")), peakMb < t.bound, QStringLiteral("%1 MB").arg(peakMb, 0, 'f', 1)};
}

} // namespace

QJsonArray checkTargets(const QList<Result> &results, const QJsonObject &memory, bool server)
{
    QJsonArray checked;
    std::printf("\ntargets:\n");
    for (const Target &t : server ? serverTargets() : targets()) {
        const Verdict v = t.operation.isEmpty() ? judgeMemory(t, memory)
                                                : judgeOperation(t, find(results, t.operation, t.size), results);
        checked << QJsonObject{{QStringLiteral("target"), t.what}, {QStringLiteral("value"), v.value},
                               {QStringLiteral("met"), v.measured ? QJsonValue(v.met) : QJsonValue()}};
        std::printf("  %-8s %-62s %s\n", !v.measured ? "n/a" : v.met ? "met" : "MISSED", t.what.toUtf8().constData(),
                    v.value.toUtf8().constData());
    }
    return checked;
}

} // namespace bench
