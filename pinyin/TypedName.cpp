#include "pinyin/TypedName.h"
#include "pinyin/Simplified.h"

namespace pinyin {

namespace {

// Letters a-z from pinyin as people type it; empty when the text is more
// than that.
QString latinLetters(const QString &text)
{
    const QString folded = text.normalized(QString::NormalizationForm_KC).normalized(QString::NormalizationForm_D);
    QString out;
    bool afterLetter = false;
    for (qsizetype i = 0; i < folded.size(); ++i) {
        const QChar c = folded[i];
        const char16_t u = c.toLower().unicode();
        if (u >= u'a' && u <= u'z') {
            out += QChar(u);
            afterLetter = true;
        } else if (u == 0x0308 && out.endsWith(u'u')) {
            out.back() = u'v'; // ü
        } else if (c.category() == QChar::Mark_NonSpacing) {
            // a tone mark
        } else if (u >= u'1' && u <= u'5' && afterLetter) {
            afterLetter = false; // a tone digit
        } else if (u == u' ' || u == u'\'' || u == 0x2019 || u == u'-' || u == 0x3000) {
            afterLetter = false;
        } else {
            return {};
        }
    }
    return out;
}

} // namespace

TypedName typedName(QStringView typed)
{
    TypedName t;
    t.text = typed.trimmed().toString();
    t.simplified = toSimplified(t.text);
    t.latin = latinLetters(t.text);
    return t;
}

} // namespace pinyin
