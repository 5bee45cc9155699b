#pragma once

#include <QString>

namespace data::pg {

class Connection;

// The tables on the server, and their layout's version, which plays the
// part of the file's user_version.
class Schema
{
public:
    // Version 1: the tables, the list index, the search index and the
    // notices of change. Version 2: the name keys.
    static constexpr int Version = 2;

    // The tables and everything made from them, in an empty database, in
    // the caller's transaction.
    static void create(Connection &connection);

    // Run on every connect: refuses a database that is not UTF-8 or lacks
    // the tables (with the server's reason), and brings one of an earlier
    // layout up to Version in one transaction when this role owns the
    // tables. Any other role, and any later layout, uses the tables as they
    // are. Returns the version the database now has.
    static int prepare(Connection &connection);

    // 0 for the tables without a recorded layout.
    static int version(Connection &connection);
    static bool ownsTables(Connection &connection);

    static QString tablesSql();
    static QString derivedSql();
    // Drops what derived.sql makes, and what an earlier layout made in its place.
    static QString dropDerivedSql();
};

} // namespace data::pg
