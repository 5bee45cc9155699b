// The start-up phase: the window made, filled and shown, beside the floor of
// one start, the open and the statements of both trees.
#include "BenchSupport.h"
#include "Corpus.h"
#include "Worker.h"
#include "app/MainForm.h"
#include "widgets/TreeView.h"

#include <algorithm>
#include <random>

namespace bench {

void Worker::startup()
{
    verifyStartStatements();
    const int count = reps({15, 9, 5});
    std::vector<double> shown, created, floorTimes, shownCpu, floorCpu;
    progress(QStringLiteral("[%1] start-up (%2 runs)").arg(m_size).arg(count));
    for (int i = 0; i <= count; ++i) {
        const double cpu = cpuMs();
        const double start = nowMs();
        auto form = std::make_unique<TFormMain>(m_path);
        if (form->FormCreate() != TFormMain::StartResult::Running)
            fail(QStringLiteral("start-up: the database is missing"));
        const double afterCreate = nowMs();
        form->show();
        if (!waitExposed(form.get()))
            fail(QStringLiteral("start-up: the window was not exposed"));
        const double end = nowMs();
        const double cpuEnd = cpuMs();
        if (form->tv1->nodeCount() != m_options.drugs + categoriesFor(m_options.drugs))
            fail(QStringLiteral("start-up: the tree holds %1 nodes").arg(form->tv1->nodeCount()));
        m_presenter.expect({}, QStringLiteral("start-up"));
        if (i == count) {
            m_rssAfterStartup = peakRssKb();
            // This one stays for the other operations.
            m_form = std::move(form);
        } else {
            form->close();
            form.reset();
        }
        const double floorCpuStart = cpuMs();
        const double floorStart = nowMs();
        if (m_options.floors)
            m_floor->startup();
        const double floorEnd = nowMs();
        if (i > 0) {
            shown.push_back(end - start);
            shownCpu.push_back(cpuEnd - cpu);
            created.push_back(afterCreate - start);
            floorTimes.push_back(floorEnd - floorStart);
            floorCpu.push_back(cpuMs() - floorCpuStart);
        }
    }
    const std::optional<Stats> floor = m_options.floors ? std::optional<Stats>(statsOf(floorTimes, floorCpu)) : std::nullopt;
    m_results << Result{QStringLiteral("start-up to shown window"), m_size, statsOf(shown, shownCpu), floor,
                        QStringLiteral("engine"), QStringLiteral("TFormMain + FormCreate + show, in process")};
    m_results << Result{QStringLiteral("  of which window + FormCreate"), m_size, statsOf(created), floor,
                        QStringLiteral("engine"), {}};
    pickDrugs();
}

// The statements of one start, traced from the open on, against the
// floor's.
void Worker::verifyStartStatements()
{
    const QStringList ran = m_floor->traceOpened([&] {
        TFormMain form(m_path);
        form.FormCreate();
        form.close();
    });
    const QStringList floorRan = m_floor->traceOpened([&] { m_floor->startup(); });
    m_presenter.expect({}, QStringLiteral("start-up"));
    if (ran != floorRan) {
        // Only the count and the first difference: the tree runs one
        // statement per category.
        int i = 0;
        while (i < ran.size() && i < floorRan.size() && ran[i] == floorRan[i])
            ++i;
        warn(QStringLiteral("start-up: the floor's statements differ from the window's at #%1 (%2 vs %3): %4 | %5")
                 .arg(i).arg(ran.size()).arg(floorRan.size())
                 .arg(ran.value(i), floorRan.value(i)));
    } else if (m_options.trace) {
        progress(QStringLiteral("[%1] start-up runs %2 statements, the same as its floor").arg(m_size).arg(ran.size()));
    }
}

// Drugs to look up, spread over the table, the same every run.
void Worker::pickDrugs()
{
    std::vector<Drug> all = m_floor->drugs();
    std::mt19937 random(7);
    std::shuffle(all.begin(), all.end(), random);
    all.resize(std::min<size_t>(all.size(), 2000));
    m_sample = std::move(all);
}

} // namespace bench
