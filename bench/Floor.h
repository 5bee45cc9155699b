#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <vector>

class TFormMain;

namespace bench {

struct Drug {
    qint64 id;
    QString name;
};

// The floor of the window's operations: the statements the window runs,
// through the engine alone, reading every column of every row as text as
// the window's record sets do. Statements the window keeps prepared are kept
// prepared; those it prepares for one use are prepared for one use. Each
// engine has one; the worker's phases speak to this alone.
class Floor
{
public:
    virtual ~Floor() = default;

    // One start's statements on a connection of its own: the open, both
    // trees, the help page's first topic, the category list.
    virtual void startup() = 0;
    // The record sheet of one drug; gives the rows read.
    virtual int sheet(qint64 id) = 0;
    // The search by exact name, then the sheet of the drug found.
    virtual int nameSearch(const QString &name) = 0;
    // The combined search of the boxes' texts (texts[i] is box i + 1's)
    // through the search index, then the first entry's sheet; gives the
    // rows found.
    virtual int search(const QStringList &texts) = 0;
    // The entry page's record by its name.
    virtual void record(const QString &name) = 0;
    // Saves of `drug`'s 附注 through the window's own update and read-back
    // (as it ran them in one save), bound as the window binds them: the
    // name and the remarks, the row, then both as they were read.
    virtual void beginSaves(const QString &update, const QString &readBack, const Drug &drug) = 0;
    // One save, in its transaction, with the search index's fold.
    virtual void save(const QString &remarks) = 0;
    // The delete of one drug, in its transaction, with the index's fold.
    virtual void remove(qint64 id) = 0;

    // Untimed. A new drug, taken into the index as the window's save of a
    // new record does; gives its ID.
    virtual qint64 insert(const QString &category, const QString &name, const QString &remarks) = 0;
    // Every drug, by ID.
    virtual std::vector<Drug> drugs() = 0;
    // The first column of the first row of a statement; -1 for no row.
    virtual qint64 scalar(const QString &sql, const QVariantList &values = {}) = 0;

    // The statements the engine ran while `run` ran: on the floor's own
    // connection, on the window's, or on every connection opened meanwhile.
    virtual QStringList traceFloor(const std::function<void()> &run) = 0;
    virtual QStringList traceWindow(TFormMain &form, const std::function<void()> &run) = 0;
    virtual QStringList traceOpened(const std::function<void()> &run) = 0;

    // A sum over every value read, so that no read is optimised away.
    virtual unsigned sink() const = 0;
};

} // namespace bench
