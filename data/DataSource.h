#pragma once

namespace data {

class DataSet;

// Links bound editors to a dataset. With automatic editing on, the first
// change in an editor puts the dataset into editing, or appends a record when
// it has none.
class DataSource
{
public:
    explicit DataSource(DataSet *dataSet = nullptr, bool autoEdit = true) : m_dataSet(dataSet), m_autoEdit(autoEdit) {}

    DataSet *dataSet() const { return m_dataSet; }
    void setDataSet(DataSet *dataSet) { m_dataSet = dataSet; }
    bool autoEdit() const { return m_autoEdit; }
    void setAutoEdit(bool on) { m_autoEdit = on; }

    // True when the dataset now takes changes of its current record.
    bool beginEdit();

private:
    DataSet *m_dataSet;
    bool m_autoEdit;
};

} // namespace data
