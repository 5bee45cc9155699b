#pragma once

#include "data/DataSet.h"

#include <QString>
#include <functional>

namespace data { class DataSource; }

// Ties an editor to one field of a data source's current record. The editor
// is told to show the field again when the dataset opens, closes or moves to
// another record, and to write its text when the dataset posts.
class FieldLink : public data::DataSetObserver
{
public:
    FieldLink(std::function<void()> show, std::function<void()> write);
    ~FieldLink() override;
    FieldLink(const FieldLink &) = delete;
    FieldLink &operator=(const FieldLink &) = delete;

    void setDataSource(data::DataSource *source);
    data::DataSource *dataSource() const { return m_source; }
    data::DataSet *dataSet() const;
    void setFieldName(const QString &field) { m_field = field; }
    const QString &fieldName() const { return m_field; }

    // The dataset is open and has the field.
    bool active() const;
    QString fieldText() const;
    // Puts the dataset into editing (or inserts) for a change the user is
    // making; false when the change must not be taken.
    bool beginEdit();
    // Text equal to the field's value as read restores that value (see
    // DataSet::setFieldText).
    void writeField(const QString &text);

    bool modified() const { return m_modified; }
    void setModified(bool on) { m_modified = on; }

    void dataSetChanged(data::DataSet &dataSet, data::DataChange change, const QString &field) override;
    void updateRecord(data::DataSet &dataSet) override;

private:
    std::function<void()> m_show;
    std::function<void()> m_write;
    data::DataSource *m_source = nullptr;
    QString m_field;
    bool m_modified = false;
    bool m_busy = false; // our own edit or write is under way: no echo back
};
