#include "widgets/NameCompleter.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStandardItemModel>

NameCompleter::NameCompleter(QLineEdit *box, Source source)
    : QObject(box), m_box(box), m_source(std::move(source)), m_model(new QStandardItemModel(this)),
      m_completer(new QCompleter(m_model, this))
{
    // Rows come from the source already chosen and ordered; Qt's own
    // filtering by prefix would drop those found by pinyin.
    m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_completer->setMaxVisibleItems(VisibleRows);
    m_completer->setWidget(box);
    m_completer->popup()->setAccessibleName(QStringLiteral("匹配的药物"));
    connect(m_completer, qOverload<const QModelIndex &>(&QCompleter::activated), this,
            [this](const QModelIndex &index) { choose(index); });
    box->installEventFilter(this);
}

void NameCompleter::refresh()
{
    const QString text = m_box->text();
    open(text.trimmed().isEmpty() ? std::vector<pinyin::NameMatch>() : m_source(text));
}

void NameCompleter::open(const std::vector<pinyin::NameMatch> &matches)
{
    m_matches = matches;
    m_model->clear();
    for (size_t i = 0; i < m_matches.size(); ++i) {
        auto *item = new QStandardItem(m_matches[i].display());
        item->setData(qlonglong(i), Qt::UserRole);
        item->setEditable(false);
        m_model->appendRow(item);
    }
    if (m_matches.empty()) {
        close();
        return;
    }
    QAbstractItemView *list = popup();
    const int width = std::max(m_box->width(), list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                                                   list->verticalScrollBar()->sizeHint().width());
    m_completer->complete(QRect(0, 0, width, m_box->height()));
}

void NameCompleter::close()
{
    popup()->hide();
}

bool NameCompleter::isOpen() const
{
    return popup()->isVisible();
}

QAbstractItemView *NameCompleter::popup() const
{
    return m_completer->popup();
}

void NameCompleter::choose(const QModelIndex &index)
{
    const qlonglong row = index.data(Qt::UserRole).toLongLong();
    if (row < 0 || row >= qlonglong(m_matches.size()))
        return;
    const pinyin::NameMatch match = m_matches[size_t(row)];
    m_box->setText(match.name);
    emit chosen(match.id, match.name);
}

bool NameCompleter::eventFilter(QObject *watched, QEvent *event)
{
    // Down in the box opens the list again after Esc closed it.
    if (watched == m_box && event->type() == QEvent::KeyPress && !isOpen() && !m_matches.empty() &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Down) {
        open(m_matches);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
