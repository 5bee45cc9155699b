#pragma once

#include <QPlainTextEdit>
#include <QStringList>

// A multi-line text area that wraps long lines at its width and has a
// vertical scroll bar only. Like the platform's edit control it shows whole
// lines only: no line is drawn cut off at the bottom.
class Memo : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit Memo(QWidget *parent = nullptr);

    void setLines(const QStringList &lines);
    QStringList lines() const;
    // The lines as the area shows them: a wrapped paragraph gives one line
    // per piece, broken where the area breaks it at its current width.
    QStringList displayLines() const;
    // The width at which the area breaks lines.
    int wrapWidth() const;
    int firstVisibleLine() const;
    void scrollToTop();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitWholeLines();
};
