#include "print/Printing.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace {

class PrinterJob : public PrintJob
{
public:
    explicit PrinterJob(const QPrinterInfo &info) : m_printer(info, QPrinter::HighResolution) {}
    QPrinter &printer() { return m_printer; }
    QPaintDevice *device() override { return &m_printer; }
    void newPage() override
    {
        if (!m_printer.newPage())
            throw PrintError(QStringLiteral("打印机无法开始新的一页"));
    }

private:
    QPrinter m_printer;
};

} // namespace

std::unique_ptr<PrintJob> DefaultPrinterProvider::begin(const QString &title)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        throw PrintError(QStringLiteral("没有默认打印机，无法打印。请先在系统中安装并设置默认打印机"));
    auto job = std::make_unique<PrinterJob>(info);
    job->printer().setDocName(title);
    job->printer().setFullPage(false);
    if (!job->printer().isValid())
        throw PrintError(QStringLiteral("默认打印机“%1”不可用").arg(info.printerName()));
    return job;
}
