#pragma once

#include "Floor.h"

#include <memory>

namespace bench {

class SqliteEngine;

// The floor on the program's own engine, SQLCipher, through the sqlite3 API
// on the same file. Connections are opened by data::Connection::open(),
// the program's own thin open (key, cipher settings, schema read), behind
// the drug file's step. Statements are traced by the engine's own trace.
class SqliteFloor final : public Floor
{
public:
    explicit SqliteFloor(QString path);
    ~SqliteFloor() override;

    void startup() override;
    int sheet(qint64 id) override;
    int nameSearch(const QString &name) override;
    int search(const QStringList &texts) override;
    void record(const QString &name) override;
    void beginSaves(const QString &update, const QString &readBack, const Drug &drug) override;
    void save(const QString &remarks) override;
    void remove(qint64 id) override;
    qint64 insert(const QString &category, const QString &name, const QString &remarks) override;
    std::vector<Drug> drugs() override;
    qint64 scalar(const QString &sql, const QVariantList &values) override;
    QStringList traceFloor(const std::function<void()> &run) override;
    QStringList traceWindow(TFormMain &form, const std::function<void()> &run) override;
    QStringList traceOpened(const std::function<void()> &run) override;
    unsigned sink() const override;

private:
    // Opened on first use, which comes after the timed start-ups.
    SqliteEngine &engine();

    QString m_path;
    std::unique_ptr<SqliteEngine> m_engine;
    // What beginSaves() was given, and the remarks as the last save left them.
    QString m_update;
    QString m_readBack;
    Drug m_saved{0, {}};
    QString m_savedRemarks;
};

} // namespace bench
