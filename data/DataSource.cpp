#include "data/DataSource.h"
#include "data/DataSet.h"

namespace data {

bool DataSource::beginEdit()
{
    if (!m_dataSet || !m_dataSet->isActive())
        return false;
    if (m_dataSet->state() != DataSetState::Browse)
        return true;
    if (!m_autoEdit)
        return false;
    if (m_dataSet->recordCount() == 0)
        m_dataSet->append();
    else
        m_dataSet->edit();
    return true;
}

} // namespace data
