#include "widgets/FieldLink.h"
#include "data/DataSource.h"

FieldLink::FieldLink(std::function<void()> show, std::function<void()> write)
    : m_show(std::move(show)), m_write(std::move(write))
{
}

FieldLink::~FieldLink()
{
    if (data::DataSet *ds = dataSet())
        ds->removeObserver(this);
}

void FieldLink::setDataSource(data::DataSource *source)
{
    if (data::DataSet *ds = dataSet())
        ds->removeObserver(this);
    m_source = source;
    if (data::DataSet *ds = dataSet())
        ds->addObserver(this);
    m_show();
}

data::DataSet *FieldLink::dataSet() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

bool FieldLink::active() const
{
    const data::DataSet *ds = dataSet();
    return ds && ds->isActive() && ds->hasField(m_field);
}

QString FieldLink::fieldText() const
{
    return active() ? dataSet()->asString(m_field) : QString();
}

bool FieldLink::beginEdit()
{
    if (!active())
        return false;
    m_busy = true;
    struct Reset { bool &flag; ~Reset() { flag = false; } } reset{m_busy};
    return m_source->beginEdit();
}

void FieldLink::writeField(const QString &text)
{
    m_busy = true;
    struct Reset { bool &flag; ~Reset() { flag = false; } } reset{m_busy};
    dataSet()->setFieldText(m_field, text);
    m_modified = false;
}

void FieldLink::dataSetChanged(data::DataSet &, data::DataChange change, const QString &field)
{
    if (m_busy)
        return;
    switch (change) {
    case data::DataChange::Active:
    case data::DataChange::Record:
        m_modified = false;
        m_show();
        break;
    case data::DataChange::Field:
        if (field.compare(m_field, Qt::CaseInsensitive) == 0) {
            m_modified = false;
            m_show();
        }
        break;
    case data::DataChange::State:
        break;
    }
}

void FieldLink::updateRecord(data::DataSet &)
{
    if (m_modified && active())
        m_write();
}
