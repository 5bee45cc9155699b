#pragma once

#include "core/Error.h"

#include <QString>
#include <memory>

class QPaintDevice;

// A fault of the printer or of the print job.
class PrintError : public core::Error
{
public:
    using core::Error::Error;
};

// One print job: the surface to draw on, page by page. Ending the job (the
// destructor, or end()) hands it to the spooler.
class PrintJob
{
public:
    virtual ~PrintJob() = default;
    virtual QPaintDevice *device() = 0;
    // Called with a painter active on device().
    virtual void newPage() = 0;
};

// Where printing goes. The program uses the system's default printer; tests
// put in a surface of their own.
class PrinterProvider
{
public:
    virtual ~PrinterProvider() = default;
    // Throws when no job can be begun (no default printer, say).
    virtual std::unique_ptr<PrintJob> begin(const QString &title) = 0;
};

class DefaultPrinterProvider : public PrinterProvider
{
public:
    std::unique_ptr<PrintJob> begin(const QString &title) override;
};
