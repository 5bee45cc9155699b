#include "widgets/DbMemo.h"
#include "core/Guard.h"

#include <QFocusEvent>
#include <vector>

namespace {

// The folded text, and where each of its characters starts in `stored`
// (one entry more, for the end).
QString fold(const QString &stored, std::vector<qsizetype> *starts)
{
    QString shown;
    shown.reserve(stored.size());
    if (starts)
        starts->reserve(size_t(stored.size()) + 1);
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (starts)
            starts->push_back(i);
        const char16_t c = stored[i].unicode();
        switch (c) {
        case u'\r':
            if (i + 1 < stored.size() && stored[i + 1] == u'\n')
                ++i;
            shown += u'\n';
            break;
        case 0x2028: // line and paragraph separators
        case 0x2029:
        case 0xFDD0: // the text document's frame marks
        case 0xFDD1:
            shown += u'\n';
            break;
        case 0x00A0:
            shown += u' ';
            break;
        default:
            shown += QChar(c);
        }
    }
    if (starts)
        starts->push_back(stored.size());
    return shown;
}

} // namespace

QString DbMemo::shownText(const QString &stored)
{
    return fold(stored, nullptr);
}

QString DbMemo::storedText(const QString &stored, const QString &shown, qsizetype cursor)
{
    std::vector<qsizetype> starts;
    const QString before = fold(stored, &starts);
    if (before == shown)
        return stored;
    // The edit is the stretch between what is alike at both ends.
    const qsizetype most = qMin(before.size(), shown.size());
    qsizetype head = 0;
    while (head < most && before[head] == shown[head])
        ++head;
    qsizetype tail = 0;
    while (tail < most - head && before[before.size() - 1 - tail] == shown[shown.size() - 1 - tail])
        ++tail;
    // Where a character repeats, a stretch as small lies further left ("\n改"
    // or "改\n" typed after a line break): take the one that ends at the
    // cursor, where the user typed.
    while (head > 0 && shown.size() - tail > cursor) {
        const qsizetype typedEnd = shown.size() - tail, oldEnd = before.size() - tail;
        if ((typedEnd > head && shown[typedEnd - 1] != shown[head - 1])
            || (oldEnd > head && before[oldEnd - 1] != before[head - 1]))
            break;
        --head;
        ++tail;
    }
    QString typed = shown.mid(head, shown.size() - head - tail);
    if (stored.contains(QStringLiteral("\r\n")))
        typed.replace(u'\n', QStringLiteral("\r\n"));
    else if (stored.contains(u'\r'))
        typed.replace(u'\n', u'\r');
    const qsizetype from = starts[size_t(head)];
    const qsizetype to = starts[size_t(before.size() - tail)];
    return stored.left(from) + typed + stored.mid(to);
}

DbMemo::DbMemo(QWidget *parent)
    : Memo(parent), m_link([this] { showField(); }, [this] { writeField(); })
{
    connect(this, &QPlainTextEdit::textChanged, this, core::guard([this] { onTextChanged(); }));
    showField();
}

void DbMemo::setDataField(const QString &field)
{
    m_link.setFieldName(field);
    showField();
}

void DbMemo::showField()
{
    const bool active = m_link.active();
    setReadOnly(!active);
    const QString text = m_link.fieldText();
    if (toPlainText() == shownText(text))
        return;
    m_showing = true;
    setPlainText(text);
    m_showing = false;
}

void DbMemo::writeField()
{
    // Only what the user changed is changed: the characters the text area
    // folds keep their stored form elsewhere.
    m_link.writeField(storedText(m_link.fieldText(), toPlainText(), textCursor().position()));
}

void DbMemo::onTextChanged()
{
    if (m_showing)
        return;
    if (!m_link.beginEdit()) {
        showField();
        return;
    }
    m_link.setModified(true);
}

void DbMemo::insertLineBreak()
{
    if (!isReadOnly())
        textCursor().insertText(QStringLiteral("\n"));
}

void DbMemo::focusOutEvent(QFocusEvent *event)
{
    Memo::focusOutEvent(event);
    core::guarded([this] {
        if (m_link.modified() && m_link.active())
            writeField();
    });
}
