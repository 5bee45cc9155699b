#include "widgets/DbMemo.h"
#include "core/Guard.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QTextBlock>
#include <vector>

namespace {

// The user state of a block whose line break before it is a paragraph
// separator; the break before any other block is a line feed.
constexpr int ParagraphSeparatorBefore = 1;

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
        case 0xFDD0: // the text document's frame marks
        case 0xFDD1:
            shown += u'\n';
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

QString DbMemo::enteredText() const
{
    QString text;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin())
            text += block.userState() == ParagraphSeparatorBefore ? QChar(QChar::ParagraphSeparator) : QChar(u'\n');
        text += block.text();
    }
    return text;
}

void DbMemo::showField()
{
    const bool active = m_link.active();
    setReadOnly(!active);
    const QString text = m_link.fieldText();
    if (enteredText() == shownText(text))
        return;
    m_showing = true;
    setPlainText(text);
    markParagraphSeparators(text);
    m_showing = false;
}

void DbMemo::markParagraphSeparators(const QString &stored)
{
    QTextBlock block = document()->begin();
    for (qsizetype i = 0; i < stored.size() && block.isValid(); ++i) {
        switch (stored[i].unicode()) {
        case u'\r':
            if (i + 1 < stored.size() && stored[i + 1] == u'\n')
                ++i;
            block = block.next();
            break;
        case u'\n':
        case 0xFDD0:
        case 0xFDD1:
            block = block.next();
            break;
        case QChar::ParagraphSeparator:
            block = block.next();
            if (block.isValid())
                block.setUserState(ParagraphSeparatorBefore);
            break;
        default:
            break;
        }
    }
}

void DbMemo::insertEntered(const QString &text)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const QStringList pieces = text.split(QChar::ParagraphSeparator);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            cursor.insertBlock();
            cursor.block().setUserState(ParagraphSeparatorBefore);
        }
        cursor.insertText(pieces[i]);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

void DbMemo::insertFromMimeData(const QMimeData *source)
{
    if (!isReadOnly() && source->hasText() && source->text().contains(QChar::ParagraphSeparator))
        insertEntered(source->text());
    else
        Memo::insertFromMimeData(source);
}

void DbMemo::inputMethodEvent(QInputMethodEvent *event)
{
    const QString commit = event->commitString();
    const qsizetype at = commit.indexOf(QChar::ParagraphSeparator);
    if (isReadOnly() || at < 0 || !event->preeditString().isEmpty()) {
        Memo::inputMethodEvent(event);
        return;
    }
    // What comes before the first separator goes in the usual way, which
    // also ends a composition under way.
    QInputMethodEvent head(QString(), event->attributes());
    head.setCommitString(commit.left(at), event->replacementStart(), event->replacementLength());
    Memo::inputMethodEvent(&head);
    insertEntered(commit.mid(at));
    event->accept();
}

void DbMemo::writeField()
{
    // Only what the user changed is changed: line breaks keep their stored
    // form elsewhere.
    m_link.writeField(storedText(m_link.fieldText(), enteredText(), textCursor().position()));
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
