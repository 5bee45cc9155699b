#pragma once

#include "widgets/FieldLink.h"
#include "widgets/Memo.h"

// A multi-line editor bound to a text field. The first change typed, pasted
// or cut puts the dataset into editing (or inserts a record when it has
// none); the text goes into the field when the editor loses the focus and
// when the dataset posts. With the dataset closed it is blank and takes no
// input.
class DbMemo : public Memo
{
    Q_OBJECT
public:
    explicit DbMemo(QWidget *parent = nullptr);

    void setDataSource(data::DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &field);
    FieldLink &link() { return m_link; }
    // Ctrl+Enter: a line break, taken as any other change.
    void insertLineBreak();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void showField();
    void writeField();
    void onTextChanged();

    FieldLink m_link;
    bool m_showing = false;
};
