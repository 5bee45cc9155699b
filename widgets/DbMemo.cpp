#include "widgets/DbMemo.h"
#include "app/Guard.h"

#include <QFocusEvent>

DbMemo::DbMemo(QWidget *parent)
    : Memo(parent), m_link([this] { showField(); }, [this] { writeField(); })
{
    connect(this, &QPlainTextEdit::textChanged, this, app::guard([this] { onTextChanged(); }));
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
    if (toPlainText() == text)
        return;
    m_showing = true;
    setPlainText(text);
    m_showing = false;
}

void DbMemo::writeField()
{
    m_link.writeField(toPlainText());
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
    app::guarded([this] {
        if (m_link.modified() && m_link.active())
            writeField();
    });
}
