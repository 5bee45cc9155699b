// Changes made on the server by any client reach every running program.
#include "app/MainForm.h"
#include "core/Guard.h"

void TFormMain::DatabaseChanged(const data::DatabaseChanges &changes)
{
    // Each part on its own: one that fails (the server gone again) leaves
    // the others done, and the error report says why.
    if (changes.categories || changes.everyDrug || !changes.drugs.isEmpty()) {
        core::guarded([&] { RefreshTv1(changes); });
        core::guarded([&] { RefreshTv2(changes); });
    }
    core::guarded([&] { RefreshSheets(changes); });
    if (changes.categories && SQL_LB.isActive())
        core::guarded([this] { SQL_LB.open(); });
    if (changes.helpTopics || changes.helpTexts)
        core::guarded([&] { RefreshHelp(changes); });
}
