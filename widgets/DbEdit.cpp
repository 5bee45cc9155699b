#include "widgets/DbEdit.h"
#include "core/Guard.h"

#include <QFocusEvent>
#include <limits>

DbEdit::DbEdit(QWidget *parent)
    : QLineEdit(parent), m_link([this] { showField(); }, [this] { m_link.writeField(text()); })
{
    // No cut at QLineEdit's 32,767 characters: what is stored comes back whole.
    setMaxLength(std::numeric_limits<int>::max());
    connect(this, &QLineEdit::textEdited, this, core::guard([this](const QString &) { onTextEdited(); }));
    showField();
}

void DbEdit::setDataField(const QString &field)
{
    m_link.setFieldName(field);
    showField();
}

void DbEdit::showField()
{
    setReadOnly(!m_link.active());
    const QString value = m_link.fieldText();
    if (text() != value)
        setText(value);
}

void DbEdit::onTextEdited()
{
    if (!m_link.beginEdit()) {
        showField();
        return;
    }
    m_link.setModified(true);
}

void DbEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    core::guarded([this] {
        if (m_link.modified() && m_link.active())
            m_link.writeField(text());
    });
}
