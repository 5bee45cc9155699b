#include "widgets/Memo.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QtMath>

Memo::Memo(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    setFocusPolicy(Qt::StrongFocus);
    // The strip below the last whole line (see fitWholeLines) is the area's
    // own background.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void Memo::fitWholeLines()
{
    // The height of one line as the document lays it out in this font.
    QTextLayout probe(QStringLiteral("药"), font());
    probe.beginLayout();
    QTextLine line = probe.createLine();
    line.setLeadingIncluded(true);
    probe.endLayout();
    const int pitch = qMax(1, qCeil(line.height()));
    const int text = contentsRect().height() - qCeil(document()->documentMargin());
    const int spare = text > pitch ? text % pitch : 0;
    if (viewportMargins().bottom() != spare)
        setViewportMargins(0, 0, 0, spare);
}

void Memo::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    fitWholeLines();
}

void Memo::showEvent(QShowEvent *event)
{
    QPlainTextEdit::showEvent(event);
    fitWholeLines();
}

void Memo::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitWholeLines();
}

void Memo::setLines(const QStringList &lines)
{
    setPlainText(lines.join(QLatin1Char('\n')));
}

QStringList Memo::lines() const
{
    QStringList result;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        result << block.text();
    // A line break at the very end adds no line.
    if (result.size() > 1 && result.back().isEmpty())
        result.removeLast();
    if (result.size() == 1 && result.front().isEmpty())
        result.clear();
    return result;
}

int Memo::wrapWidth() const
{
    return qMax(1, viewport()->width() - 2 * int(document()->documentMargin()));
}

QStringList Memo::displayLines() const
{
    QStringList result;
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        // Asking for the block's rectangle lays it out as the area shows it.
        layout->blockBoundingRect(block);
        const QTextLayout *lines = block.layout();
        const QString text = block.text();
        if (!block.next().isValid() && text.isEmpty() && block != document()->begin())
            break; // a line break at the very end adds no line
        if (text.isEmpty() || !lines || lines->lineCount() == 0) {
            if (!(text.isEmpty() && block == document()->begin() && !block.next().isValid()))
                result << text;
            continue;
        }
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            result << text.mid(line.textStart(), line.textLength());
        }
    }
    return result;
}

int Memo::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

void Memo::scrollToTop()
{
    verticalScrollBar()->setValue(0);
    moveCursor(QTextCursor::Start);
}
