#include "app/Guard.h"
#include "app/Messages.h"
#include "data/DbError.h"

#include <cstdio>

namespace app {

void reportException(std::exception_ptr error) noexcept
{
    try {
        try {
            std::rethrow_exception(error);
        } catch (const data::DbError &e) {
            Messages::errorReport(e.message());
        } catch (const std::exception &e) {
            Messages::errorReport(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            Messages::errorReport(QStringLiteral("未知错误"));
        }
    } catch (...) {
        // Showing the report failed too; the console is all that is left.
        std::fputs("error report could not be shown\n", stderr);
    }
}

} // namespace app
