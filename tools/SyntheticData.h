#pragma once

#include <QString>

namespace tools {

// A drug database of synthetic drugs with realistic field lengths, and
// names and other names that read like real ones, for benchmarks. Drug i
// has 功能主治 containing "证型NNNN" with NNNN = i % 1200, so that a search
// for one of them is selective.
void buildSynthetic(const QString &outPath, int drugs, int categories, unsigned seed, bool overwrite);

} // namespace tools
