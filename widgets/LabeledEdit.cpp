#include "widgets/LabeledEdit.h"

#include <limits>

LabeledEdit::LabeledEdit(const QString &label, QWidget *parent) : QLineEdit(parent), m_label(new QLabel(label, parent))
{
    m_label->setBuddy(this);
    // A search box searches exactly what was pasted, however long.
    setMaxLength(std::numeric_limits<int>::max());
}

void LabeledEdit::placeLabel()
{
    if (!m_label)
        return;
    m_label->adjustSize();
    const QSize size = m_label->sizeHint();
    m_label->setGeometry(x() - 3 - size.width(), y() + (height() - size.height()) / 2, size.width(), size.height());
}

void LabeledEdit::moveEvent(QMoveEvent *event)
{
    QLineEdit::moveEvent(event);
    placeLabel();
}

void LabeledEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    placeLabel();
}
