#pragma once

#include "pinyin/NameIndex.h"

#include <vector>

namespace pinyin {

// Names and keys held in memory, searched by reading them all: for tests,
// and as the plain model the database's index must answer like.
class MemoryNameIndex : public NameIndex
{
public:
    struct Drug {
        qint64 id;
        QString name;
        QString otherNames; // a 别名 value
    };
    explicit MemoryNameIndex(std::vector<Drug> drugs, const ReviewedReadings &reviewed = ReviewedReadings::builtIn());

    std::vector<NamedDrug> namesStartingWith(const QString &prefix, int limit) override;
    std::vector<KeyHit> keysStartingWith(KeyKind kind, const QString &prefix, bool exact, int limit) override;
    QHash<qint64, DrugNames> names(const std::vector<qint64> &ids) override;

    const std::vector<KeyRow> &rows() const { return m_rows; }

private:
    std::vector<Drug> m_drugs;
    std::vector<KeyRow> m_rows;
};

} // namespace pinyin
