#pragma once

#include "widgets/FieldLink.h"

#include <QComboBox>

// A drop-down that lists one field of a second dataset (the list) and
// stores the matching key into a field of the record being edited. It shows
// the list entry whose key equals the record's field, and nothing when none
// does; the field keeps its value either way.
class DbLookupComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit DbLookupComboBox(QWidget *parent = nullptr);
    ~DbLookupComboBox() override;

    void setDataSource(data::DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &field);
    void setListSource(data::DataSource *source, const QString &keyField, const QString &listField);
    FieldLink &link() { return m_link; }

private:
    class ListObserver : public data::DataSetObserver
    {
    public:
        explicit ListObserver(DbLookupComboBox &owner) : m_owner(owner) {}
        void dataSetChanged(data::DataSet &, data::DataChange change, const QString &) override;

    private:
        DbLookupComboBox &m_owner;
    };

    void fillList();
    void showField();
    void onActivated(int index);

    FieldLink m_link;
    ListObserver m_listObserver{*this};
    data::DataSource *m_list = nullptr;
    QString m_keyField;
    QString m_listField;
};
