#pragma once

#include "widgets/FieldLink.h"
#include "widgets/Memo.h"

#include <limits>

// A multi-line editor bound to a text field. The first change typed, pasted
// or cut puts the dataset into editing (or inserts a record when it has
// none); the text goes into the field when the editor loses the focus and
// when the dataset posts. With the dataset closed it is blank and takes no
// input.
class DbMemo : public Memo
{
    Q_OBJECT
public:
    explicit DbMemo(QWidget *parent = nullptr);

    void setDataSource(data::DataSource *source) { m_link.setDataSource(source); }
    void setDataField(const QString &field);
    FieldLink &link() { return m_link; }
    // Ctrl+Enter: a line break, taken as any other change.
    void insertLineBreak();

    // What the area holds, as the user entered it: a no-break space and a
    // line separator (U+2028) stay what they are, a paragraph separator
    // (U+2029) typed, pasted or stored stays one, and every other line break
    // is a line feed.
    QString enteredText() const;

    // The text area shows a stored value with CR LF and a lone CR each as
    // one line break and gives them back as a line feed. shownText() is that
    // folded form; storedText() is the value to store for the text `shown`
    // now holds: `stored` itself when nothing was changed, else `stored`
    // with only the changed stretch replaced, its line breaks in the form
    // `stored` uses (CR LF, or CR, where it has them). Of stretches as small,
    // the one that ends at `cursor` (a position in `shown`), or nearest to
    // it, is taken.
    static QString shownText(const QString &stored);
    static QString storedText(const QString &stored, const QString &shown,
                              qsizetype cursor = std::numeric_limits<qsizetype>::max());

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    void showField();
    void writeField();
    void onTextChanged();
    // The document makes every paragraph separator a line break; these two
    // remember which breaks were one.
    void insertEntered(const QString &text);
    void markParagraphSeparators(const QString &stored);

    FieldLink m_link;
    bool m_showing = false;
};
