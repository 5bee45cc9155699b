#pragma once

#include <QLineEdit>
#include <limits>

// The drug name box of the entry page. Tag is the name-changed mark.
class EntryEdit : public QLineEdit
{
    Q_OBJECT
public:
    // Without QLineEdit's cut at 32,767 characters.
    explicit EntryEdit(QWidget *parent = nullptr) : QLineEdit(parent)
    {
        setMaxLength(std::numeric_limits<int>::max());
    }
    int Tag = 0;

signals:
    // The focus left the box (not merely the window).
    void exited();

protected:
    void focusOutEvent(QFocusEvent *event) override;
};
