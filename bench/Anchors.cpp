#include "Anchors.h"
#include "Console.h"
#include "SearchCases.h"
#include "data/DrugFields.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <algorithm>
#include <cmath>

namespace bench {

namespace {

QString anchorColumn(const SearchCase &c)
{
    return data::boxColumns(c.box + 1).constFirst();
}

// One line per search and kind: column, text, kind, median, min, max, rows.
QList<QStringList> anchorRuns(const QString &plain, int drugs, double scale)
{
    const int base = drugs >= 100000 ? 5 : drugs >= 10000 ? 9 : 20;
    QStringList arguments{plain, QString::number(std::max(3, int(std::lround(base * scale))))};
    for (const SearchCase &c : searchCases())
        arguments << anchorColumn(c) << c.text;
    QProcess anchor;
    anchor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    anchor.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("zelkano_anchor")), arguments);
    if (!anchor.waitForFinished(-1) || anchor.exitStatus() != QProcess::NormalExit || anchor.exitCode() != 0)
        fail(QStringLiteral("the anchors for %1 drugs failed").arg(drugs));
    QList<QStringList> runs;
    for (const QString &line : QString::fromUtf8(anchor.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() == 7)
            runs << f;
    }
    return runs;
}

// Every run of one search beside it; the best that finds the full scan's
// rows is its anchor.
void attach(Result &result, const QList<QStringList> &runs)
{
    int fullRows = -1;
    for (const QStringList &f : runs) {
        if (f[2] == QLatin1String("full scan"))
            fullRows = f[6].toInt();
    }
    for (const QStringList &f : runs) {
        Stats stats;
        stats.median = f[3].toDouble();
        stats.min = f[4].toDouble();
        stats.max = f[5].toDouble();
        const bool correct = f[6].toInt() == fullRows;
        result.anchors << QJsonObject{{QStringLiteral("kind"), f[2]}, {QStringLiteral("stats"), toJson(stats)},
                                      {QStringLiteral("rows"), f[6].toInt()}, {QStringLiteral("correct"), correct}};
        if (correct && (!result.anchor || stats.median < result.anchor->median)) {
            result.anchor = stats;
            result.anchorKind = f[2];
        }
    }
}

} // namespace

void runAnchors(const QString &plain, int drugs, double scale, QList<Result> &results)
{
    const QList<QStringList> runs = anchorRuns(plain, drugs, scale);
    for (const SearchCase &c : searchCases()) {
        Result *result = find(results, c.operation, QString::number(drugs));
        if (!result)
            continue;
        QList<QStringList> own;
        for (const QStringList &f : runs) {
            if (f[0] == anchorColumn(c) && f[1] == c.text)
                own << f;
        }
        attach(*result, own);
    }
}

} // namespace bench
