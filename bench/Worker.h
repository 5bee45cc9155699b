#pragma once

#include "Floor.h"
#include "Options.h"
#include "QuietPresenter.h"
#include "SearchCases.h"
#include "Stats.h"

#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

class TFormMain;

namespace bench {

// The run of one size, in a process of its own: the real main window on a
// copy of the synthetic database, or on a server holding it, each operation
// timed beside its floor.
// The phases (start-up, look-ups, searches, maintenance, the upgrade) live
// in files of their own.
class Worker
{
public:
    explicit Worker(const WorkerOptions &options);
    ~Worker();

    // Every phase asked for; the results, the file's and the peak memory.
    QJsonObject run();

private:
    int reps(Reps reps) const;

    // One untimed warm-up, then `count` timed runs of the window's operation
    // (with the events it leaves behind: layout and paint) and, interleaved,
    // of the floor. `prepare` runs untimed before each.
    void measure(const QString &operation, int count, const std::function<void(int)> &prepare,
                 const std::function<void(int)> &program, const std::function<void(int)> &floor,
                 bool interleave = true, const QString &note = {});
    // Runs the window's operation and its floor once each with the engine's
    // trace on and warns when they ran different statements.
    void verifyStatements(const QString &operation, const std::function<void()> &program,
                          const std::function<void()> &floor);
    QStringList tracedProgram(const std::function<void()> &program);
    void warn(const QString &warning);

    // Startup.cpp
    void startup();
    void verifyStartStatements();
    void pickDrugs();
    // Lookups.cpp
    void lookups();
    // Searches.cpp
    void searches();
    void search(const SearchCase &search);
    void everyDrug();
    // Maintenance.cpp
    void maintenance();
    void loadRecord();
    void save();
    void remove();
    // Upgrade.cpp
    void upgrade();
    // Names.cpp
    void names();
    // Workstations.cpp
    void workstations();

    bool onServer() const { return !m_options.server.isEmpty(); }
    // A main window on the run's database, not yet created.
    std::unique_ptr<TFormMain> newForm() const;

    static void settle();

    WorkerOptions m_options;
    QString m_size;
    QTemporaryDir m_dir;
    QString m_path;
    QuietPresenter m_presenter;
    std::unique_ptr<TFormMain> m_form;
    std::unique_ptr<Floor> m_floor;
    std::vector<Drug> m_sample; // drugs picked for lookups
    QList<Result> m_results;
    QStringList m_warnings;
    long long m_rssAfterStartup = -1;
    QJsonObject m_workstations; // the load's counts, on a server
};

} // namespace bench
