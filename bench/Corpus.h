#pragma once

#include <QString>

// The synthetic databases the benchmark runs on, built once into a cache
// folder, and the files made from them.
namespace bench {

constexpr unsigned Seed = 20261208;

int categoriesFor(int drugs);

// The encrypted drug file of `drugs` synthetic drugs, from the cache or
// built into it; keyed by size, seed and schema.
QString syntheticDatabase(const QString &cacheDir, int drugs, bool rebuild);

// The same data in the previous layout, for timing its upgrade. Made once,
// beside the encrypted file in the cache.
QString previousLayout(const QString &database);

// A plain copy of the same data for the anchors: unencrypted, 4 KB pages,
// the two drug tables with their B-tree indexes, no search index. Made once,
// beside the encrypted file in the cache.
QString plainCopy(const QString &database);

// The bytes the search index takes in the file at `path`: the pages its
// tables give back when dropped. The file is spoilt for any other use.
qint64 searchIndexBytes(const QString &path);
// Then the pages the name keys give back too, with the search index's.
qint64 nameKeyBytes(const QString &path);

} // namespace bench
