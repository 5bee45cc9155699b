#include "widgets/PageControl.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QVBoxLayout>

namespace {

// The tabs drawn as flat buttons in one row: the active page's button is
// pressed in, the others show only their caption until the mouse is over
// them.
class FlatTabBar : public QTabBar
{
public:
    using QTabBar::QTabBar;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        for (int i = 0; i < count(); ++i) {
            QStyleOptionButton option;
            option.initFrom(this);
            option.rect = tabRect(i);
            option.text = tabText(i);
            option.features = QStyleOptionButton::Flat;
            option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
            if (!isTabEnabled(i))
                option.state &= ~QStyle::State_Enabled;
            if (i == currentIndex())
                option.state |= QStyle::State_Sunken | QStyle::State_On;
            else if (i == m_hovered)
                option.state |= QStyle::State_MouseOver | QStyle::State_Raised;
            painter.drawControl(QStyle::CE_PushButton, option);
            if (i == currentIndex() && hasFocus()) {
                QStyleOptionFocusRect focus;
                focus.initFrom(this);
                focus.rect = option.rect.adjusted(3, 3, -3, -3);
                painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
            }
        }
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        QTabBar::mouseMoveEvent(event);
        setHovered(tabAt(event->position().toPoint()));
    }

    void leaveEvent(QEvent *event) override
    {
        QTabBar::leaveEvent(event);
        setHovered(-1);
    }

private:
    void setHovered(int index)
    {
        if (index == m_hovered)
            return;
        m_hovered = index;
        update();
    }

    int m_hovered = -1;
};

} // namespace

PageControl::PageControl(QWidget *parent)
    : QWidget(parent), m_tabs(new FlatTabBar(this)), m_stack(new QStackedWidget(this))
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
    m_tabs->setMouseTracking(true);
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
