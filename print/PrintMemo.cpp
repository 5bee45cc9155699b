// Printing the record sheet shown on a query page.
#include "app/MainForm.h"
#include "print/Printing.h"
#include "widgets/Memo.h"
#include "widgets/PageControl.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>

namespace {

constexpr int Margin = 10;

QFont printingFont(QPaintDevice *device)
{
    // The printer's own default face, with faces that hold Chinese glyphs
    // behind it: the sheet is Chinese text.
    QFont font(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Noto Sans CJK SC"),
                           QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("WenQuanYi Zen Hei"),
                           QStringLiteral("SimSun")},
               8, QFont::Normal, false);
    return QFont(font, device);
}

// Pieces of `line` no wider than `width`, so nothing runs off the paper.
QStringList fitToWidth(const QString &line, const QFontMetrics &metrics, int width)
{
    if (line.isEmpty() || metrics.horizontalAdvance(line) <= width)
        return {line};
    QStringList pieces;
    QString piece;
    for (qsizetype i = 0; i < line.size(); ++i) {
        qsizetype n = (line[i].isHighSurrogate() && i + 1 < line.size()) ? 2 : 1;
        const QString ch = line.mid(i, n);
        if (!piece.isEmpty() && metrics.horizontalAdvance(piece + ch) > width) {
            pieces << piece;
            piece.clear();
        }
        piece += ch;
        i += n - 1;
    }
    pieces << piece;
    return pieces;
}

} // namespace

void TFormMain::setPrinterProvider(PrinterProvider *provider)
{
    m_printer = provider;
}

PrinterProvider &TFormMain::printerProvider() const
{
    static DefaultPrinterProvider systemPrinter;
    return m_printer ? *m_printer : systemPrinter;
}

void TFormMain::tbPrintClick()
{
    switch (Pc->activePage()) {
    case SimpleQueryPage:
        PrintMemo(Memo1);
        break;
    case CombinedQueryPage:
        PrintMemo(Memo2);
        break;
    default:
        break;
    }
}

void TFormMain::PrintMemo(Memo *memo)
{
    std::unique_ptr<PrintJob> job = printerProvider().begin(QStringLiteral("Zelkano中草药"));
    QPaintDevice *device = job->device();
    QPainter painter;
    if (!painter.begin(device))
        throw PrintError(QStringLiteral("无法开始打印作业"));
    const QFont font = printingFont(device);
    painter.setFont(font);
    const QFontMetrics metrics(font, device);
    // The line step is the height of "A" in the printing font.
    const int step = metrics.height();
    const int available = device->width() - Margin;
    const int height = device->height();
    int y = Margin;
    for (const QString &line : memo->displayLines()) {
        for (const QString &piece : fitToWidth(line, metrics, available)) {
            // Lines below the printable area go on to a new page.
            if (y + step > height && y > Margin) {
                job->newPage();
                y = Margin;
            }
            painter.drawText(QPoint(Margin, y + metrics.ascent()), piece);
            y += step;
        }
    }
    painter.end();
}
