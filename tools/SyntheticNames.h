#pragma once

#include <QString>
#include <random>

namespace tools {

// Names and other names for synthetic drugs that read like real ones: the
// names of common drugs with the prefixes and suffixes real names carry
// (炒白术, 川黄连须), and other names of the same kinds, so that pinyin and
// initials spread over the keys as they do in a real file. Name i is
// unique up to prefixes × bases × suffixes (150,000), then a number follows.
class SyntheticNames
{
public:
    explicit SyntheticNames(unsigned seed) : m_random(seed) {}
    QString name(int i) const;
    // A 别名 value of 0 to 9 other names, separated by "、".
    QString otherNames();

private:
    std::mt19937 m_random;
};

} // namespace tools
