#pragma once

#include "pinyin/NameFinder.h"

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QAbstractItemView;
class QCompleter;
class QLineEdit;
class QModelIndex;
class QStandardItemModel;

// The list that drops down under a name box while the user types: Qt's
// completer popup, a real list that screen readers read, filled from a
// source of matches rather than filtered by Qt. Up and Down move through
// it; Enter or a click chooses, which puts the drug's name in the box;
// Esc closes it and keeps the text.
class NameCompleter : public QObject
{
    Q_OBJECT
public:
    using Source = std::function<std::vector<pinyin::NameMatch>(const QString &typed)>;

    static constexpr int VisibleRows = 10;

    NameCompleter(QLineEdit *box, Source source);

    // Looks the box's text up and shows what matched; an empty answer closes
    // the list. The caller runs it when the user edits the text, under its
    // error guard, since the source may throw.
    void refresh();
    // Shows these matches (none: closes the list).
    void open(const std::vector<pinyin::NameMatch> &matches);
    void close();
    bool isOpen() const;

    QAbstractItemView *popup() const;
    const std::vector<pinyin::NameMatch> &matches() const { return m_matches; }

signals:
    // The user chose a row; the box already holds the name.
    void chosen(qint64 id, const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void choose(const QModelIndex &index);

    QLineEdit *m_box;
    Source m_source;
    QStandardItemModel *m_model;
    QCompleter *m_completer;
    std::vector<pinyin::NameMatch> m_matches;
};
