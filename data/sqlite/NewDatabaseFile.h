#pragma once

#include <QString>
#include <memory>

struct sqlite3;

namespace data {

// A new encrypted drug database with the schema, written into a temporary
// file beside the target and moved over it only when complete, so a failed
// build never leaves a half-made file.
class NewDatabaseFile
{
public:
    // Fails if the target exists and may not be replaced.
    NewDatabaseFile(const QString &path, bool overwrite);
    ~NewDatabaseFile();
    NewDatabaseFile(const NewDatabaseFile &) = delete;
    NewDatabaseFile &operator=(const NewDatabaseFile &) = delete;

    sqlite3 *db() const { return m_db.get(); }
    // Replaces the target, and the journal of the old file with it: left
    // beside the new file, the engine would play it into the new one.
    void finish();

private:
    struct Closer { void operator()(sqlite3 *db) const; };

    QString m_path;
    QString m_temp;
    std::unique_ptr<sqlite3, Closer> m_db;
    bool m_done = false;
};

} // namespace data
