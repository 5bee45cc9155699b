#pragma once

#include "data/Progress.h"

#include <QString>

namespace tools {

// Raised whenever the generator makes different rows from the same seed, so
// that files cached by an older generator are not taken for this one's.
inline constexpr int SyntheticDataVersion = 2;

// A drug database of synthetic drugs with realistic field lengths, and
// names and other names that read like real ones, for benchmarks. Drug i
// has 功能主治 containing "证型NNNN" with NNNN = i % 1200, so that a search
// for one of them is selective.
void buildSynthetic(const QString &outPath, int drugs, int categories, unsigned seed, bool overwrite,
                    const data::Progress &progress = {});

// Turns a drug file of this build into the layout of the build before the
// schema version (user_version 0), as that build would have written it:
// the (LB, ID) index, the hashed-pair index filled to its real size, and
// its triggers. The rows stay as they are.
void makePreviousLayout(const QString &path);

} // namespace tools
