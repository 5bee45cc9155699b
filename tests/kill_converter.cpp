// Converts an Access drug.mdb as the start-up does and says each step it
// reaches on a line of its own; at the step named it waits to be killed.
// At "importing" it goes on, so that the kill can fall while drugdb is at
// work, and waits at the next step.
//
// Usage: kill_converter DRUG_MDB STEP
#include "app/AccessConversion.h"
#include "core/Error.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    const QString stop = args[2];
    try {
        app::convertAccessDatabase(args[1], [&](app::ConversionStep step) {
            static const char *const names[] = {"importing", "imported", "verified", "backed up", "replaced"};
            const char *name = names[int(step)];
            std::printf("%s\n", name);
            std::fflush(stdout);
            const bool wait = step == app::ConversionStep::Imported && stop == QLatin1String("importing");
            if (wait || (stop == QLatin1String(name) && step != app::ConversionStep::Importing))
                for (;;)
                    QThread::sleep(60);
        });
    } catch (const core::Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
