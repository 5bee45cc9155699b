#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>

// A one-line edit box with its label on its left, 3 pixels from it and
// vertically centred; the label follows the box when it moves.
class LabeledEdit : public QLineEdit
{
    Q_OBJECT
public:
    LabeledEdit(const QString &label, QWidget *parent);
    QLabel *label() const { return m_label; }

protected:
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeLabel();
    QPointer<QLabel> m_label;
};
