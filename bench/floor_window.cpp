// The floor of a process start: the toolkit showing a window of the main
// window's size with one label of Chinese text, and the engine opening the
// same encrypted file with the same key; nothing of the program's own.
//
//   zelkano_floor_window DATABASE WIDTH HEIGHT
//
// Prints "shown <peak RSS kB>" once the window is exposed and painted, then
// quits.
#include "BenchSupport.h"
#include "data/Connection.h"
#include "data/DrugFile.h"
#include "data/DbError.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() != 4) {
        std::fputs("usage: zelkano_floor_window DATABASE WIDTH HEIGHT\n", stderr);
        return 2;
    }

    QWidget window;
    window.setFont(bench::windowFont());
    window.setWindowTitle(QStringLiteral("Zelkano中草药查询大全 Ver5.1105"));
    window.resize(args[2].toInt(), args[3].toInt());
    auto *label = new QLabel(QStringLiteral("中草药查询大全"), &window);
    label->move(10, 10);

    // The program's open: key, cipher settings, and a read of the schema
    // that makes the engine derive the key; then the drug file's own step.
    data::Connection connection(args[1]);
    data::useDrugFile(connection);
    try {
        connection.open();
    } catch (const data::DbError &e) {
        std::fprintf(stderr, "zelkano_floor_window: %s\n", e.what());
        return 1;
    }

    window.show();
    if (!bench::waitExposed(&window))
        return 3;
    std::printf("shown %lld\n", bench::peakRssKb());
    std::fflush(stdout);
    connection.close();
    return 0;
}
