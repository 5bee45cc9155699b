#pragma once

#include "Floor.h"
#include "data/Connection.h"

#include <memory>

namespace bench {

// The floor on a server: the window's statements through the engine alone,
// on a connection of its own, every value read as text. A combined search's
// floor is the same search as a plain full scan on the server, its anchor.
// The server cannot show what a client ran, so nothing is traced.
class PgFloor : public Floor
{
public:
    explicit PgFloor(QString conninfo);
    ~PgFloor() override;

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
    qint64 scalar(const QString &sql, const QVariantList &values = {}) override;
    bool traces() const override { return false; }
    QStringList traceFloor(const std::function<void()> &run) override;
    QStringList traceWindow(TFormMain &form, const std::function<void()> &run) override;
    QStringList traceOpened(const std::function<void()> &run) override;
    unsigned sink() const override { return m_sink; }

private:
    data::Connection &connection();
    // Steps through every row reading every column; gives the rows, and the
    // first row's first column in `first`.
    int readAll(data::Query &query, QString *first = nullptr);

    QString m_conninfo;
    std::unique_ptr<data::Connection> m_connection;
    Drug m_saved{};
    QString m_savedRemarks;
    unsigned m_sink = 0;
};

} // namespace bench
