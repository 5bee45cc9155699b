#pragma once

#include <QStackedWidget>
#include <QTabBar>
#include <QWidget>

// Pages behind a row of flat tabs. A change made by the user first takes
// the focus off the old page (so its exit handling runs), then shows the new
// page with the focus on its first control, then reports the change. A
// change made by the program reports nothing.
class PageControl : public QWidget
{
    Q_OBJECT
public:
    explicit PageControl(QWidget *parent = nullptr);

    static constexpr int PageInset = 4;

    int addPage(QWidget *page, const QString &caption);
    // The size of the control whose pages have the given size.
    QSize sizeForPage(const QSize &page) const;
    void setFirstControl(int page, QWidget *control);
    int activePage() const { return m_stack->currentIndex(); }
    QWidget *page(int index) const { return m_stack->widget(index); }
    int pageCount() const { return m_stack->count(); }
    QTabBar *tabBar() const { return m_tabs; }

    // As the program does it: no change is reported.
    void setActivePage(int index);
    // As the user does it: Ctrl+Tab and Ctrl+Shift+Tab.
    void selectNextPage(bool forward);

signals:
    void pageChanged();

private:
    void onTabChanged(int index);

    QTabBar *m_tabs;
    QStackedWidget *m_stack;
    QList<QWidget *> m_firstControls;
    bool m_programmatic = false;
    int m_shown = -1;
};
