#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace pinyin {

// Readings of drug names and other names checked by hand, as kept beside
// the sample (readings/NN.json): one object per drug,
//   {"药物名称": "白术", "拼音": ["bai zhu"], "别名": {"於术": ["yu zhu"]}}
// A reading is lower-case ASCII without tones, one syllable per character,
// separated by one space, ü written v. Materia medica keeps readings that
// general tables miss (白术 zhu, 厚朴 po), so these come before Unihan's.
class ReviewedReadings
{
public:
    // Those compiled into the program from the sample's readings folder.
    static const ReviewedReadings &builtIn();

    // Adds one file's entries. Throws core::Error naming `source`
    // and the entry when the file is not of the form above.
    void add(const QByteArray &json, const QString &source);
    // Every *.json file of a folder, in name order.
    void addFolder(const QString &folder);

    // The readings of exactly this text; empty when none was reviewed.
    QStringList readings(const QString &name) const { return m_readings.value(name); }
    const QHash<QString, QStringList> &all() const { return m_readings; }

    // Whether `reading` is in the form above and has one syllable for each
    // character of `name` that is neither punctuation nor a space.
    static bool wellFormed(const QString &name, const QString &reading);

private:
    QHash<QString, QStringList> m_readings;
};

} // namespace pinyin
