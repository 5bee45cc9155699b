#include "widgets/DbLookupComboBox.h"
#include "core/Guard.h"
#include "data/DataSource.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

DbLookupComboBox::DbLookupComboBox(QWidget *parent)
    : QComboBox(parent), m_link([this] { showField(); }, [] {})
{
    setEditable(false);
    setMaxVisibleItems(20);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this, core::guard([this](int index) { onActivated(index); }));
}

DbLookupComboBox::~DbLookupComboBox()
{
    if (m_list && m_list->dataSet())
        m_list->dataSet()->removeObserver(&m_listObserver);
}

void DbLookupComboBox::setDataField(const QString &field)
{
    m_link.setFieldName(field);
    showField();
}

void DbLookupComboBox::setListSource(data::DataSource *source, const QString &keyField, const QString &listField)
{
    if (m_list && m_list->dataSet())
        m_list->dataSet()->removeObserver(&m_listObserver);
    m_list = source;
    m_keyField = keyField;
    m_listField = listField;
    if (m_list && m_list->dataSet())
        m_list->dataSet()->addObserver(&m_listObserver);
    fillList();
}

void DbLookupComboBox::ListObserver::dataSetChanged(data::DataSet &, data::DataChange change, const QString &)
{
    if (change == data::DataChange::Active)
        m_owner.fillList();
}

void DbLookupComboBox::fillList()
{
    const QSignalBlocker blocker(this);
    clear();
    data::DataSet *list = m_list ? m_list->dataSet() : nullptr;
    if (list && list->isActive()) {
        // Read the rows by index so that the list's own position is not moved.
        const int key = list->fieldIndex(m_keyField);
        const int shown = list->fieldIndex(m_listField);
        const int current = list->recNo();
        list->first();
        while (!list->eof()) {
            addItem(list->asString(shown), list->asString(key));
            list->next();
        }
        list->first();
        for (int i = 1; i < current; ++i)
            list->next();
    }
    showField();
}

void DbLookupComboBox::showField()
{
    const QSignalBlocker blocker(this);
    if (!m_link.active()) {
        setCurrentIndex(-1);
        return;
    }
    const QString key = m_link.fieldText();
    int found = -1;
    if (!key.isEmpty()) {
        for (int i = 0; i < count(); ++i) {
            if (itemData(i).toString() == key) {
                found = i;
                break;
            }
        }
    }
    setCurrentIndex(found);
    // The list marks the entry shown only as it opens; a screen reader asks
    // the closed list too.
    QItemSelectionModel *selection = view()->selectionModel();
    if (found < 0)
        selection->clear();
    else
        selection->setCurrentIndex(model()->index(found, modelColumn(), rootModelIndex()),
                                   QItemSelectionModel::ClearAndSelect);
}

void DbLookupComboBox::onActivated(int index)
{
    if (index < 0 || !m_link.beginEdit()) {
        showField();
        return;
    }
    m_link.writeField(itemData(index).toString());
    showField();
}
