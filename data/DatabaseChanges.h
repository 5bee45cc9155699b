#pragma once

#include <QSet>
#include <QtGlobal>

namespace data {

// What other clients (or this one) changed in a shared database since the
// last look, as far as the engine tells: the window refreshes what shows it.
struct DatabaseChanges {
    bool everyDrug = false;  // any drug may have changed
    QSet<qint64> drugs;      // these IDs changed, were added or were deleted
    bool categories = false;
    bool helpTopics = false;
    bool helpTexts = false;

    bool any() const { return everyDrug || !drugs.isEmpty() || categories || helpTopics || helpTexts; }
    bool drugChanged(qint64 id) const { return everyDrug || drugs.contains(id); }
    static DatabaseChanges everything() { return {true, {}, true, true, true}; }
    void merge(const DatabaseChanges &other)
    {
        everyDrug = everyDrug || other.everyDrug;
        drugs.unite(other.drugs);
        categories = categories || other.categories;
        helpTopics = helpTopics || other.helpTopics;
        helpTexts = helpTexts || other.helpTexts;
    }
};

} // namespace data
