#include "widgets/PageControl.h"

#include <QApplication>
#include <QVBoxLayout>

PageControl::PageControl(QWidget *parent)
    : QWidget(parent), m_tabs(new QTabBar(this)), m_stack(new QStackedWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_tabs);
    row->addStretch(1);
    layout->addLayout(row);
    // The pages sit inside the control's border, as on the platform we
    // follow: 4 pixels in on the left, right and bottom.
    auto *inset = new QVBoxLayout;
    inset->setContentsMargins(PageInset, 0, PageInset, PageInset);
    inset->addWidget(m_stack);
    layout->addLayout(inset, 1);
    m_tabs->setDrawBase(false);
    m_tabs->setDocumentMode(true);
    m_tabs->setExpanding(false);
    m_tabs->setFocusPolicy(Qt::TabFocus);
    connect(m_tabs, &QTabBar::currentChanged, this, &PageControl::onTabChanged);
}

int PageControl::addPage(QWidget *page, const QString &caption)
{
    m_stack->addWidget(page);
    m_firstControls << nullptr;
    const bool first = m_tabs->count() == 0;
    m_programmatic = true;
    const int index = m_tabs->addTab(caption);
    m_programmatic = false;
    if (first)
        m_shown = 0;
    return index;
}

QSize PageControl::sizeForPage(const QSize &page) const
{
    return {page.width() + 2 * PageInset, m_tabs->sizeHint().height() + page.height() + PageInset};
}

void PageControl::setFirstControl(int page, QWidget *control)
{
    m_firstControls[page] = control;
}

void PageControl::setActivePage(int index)
{
    m_programmatic = true;
    m_tabs->setCurrentIndex(index);
    m_stack->setCurrentIndex(index);
    m_shown = index;
    m_programmatic = false;
}

void PageControl::selectNextPage(bool forward)
{
    const int count = m_tabs->count();
    if (count > 0)
        m_tabs->setCurrentIndex((m_tabs->currentIndex() + (forward ? 1 : count - 1)) % count);
}

void PageControl::onTabChanged(int index)
{
    if (m_programmatic || index < 0)
        return;
    QWidget *oldPage = m_stack->widget(m_shown);
    QWidget *focus = QApplication::focusWidget();
    const bool focusOnOldPage = focus && oldPage && oldPage->isAncestorOf(focus);
    if (focusOnOldPage)
        focus->clearFocus();
    m_stack->setCurrentIndex(index);
    m_shown = index;
    if (focusOnOldPage) {
        if (QWidget *first = m_firstControls.value(index))
            first->setFocus(Qt::TabFocusReason);
    }
    emit pageChanged();
}
