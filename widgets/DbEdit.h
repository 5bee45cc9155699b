#pragma once

#include "widgets/FieldLink.h"

#include <QLineEdit>

// A one-line editor bound to a text field, with the rules of DbMemo.
class DbEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit DbEdit(QWidget *parent = nullptr);

    void setDataSource(data::DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &field);
    FieldLink &link() { return m_link; }

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void showField();
    void onTextEdited();

    FieldLink m_link;
};
