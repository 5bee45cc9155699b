// The program's start, as app/main.cpp does it -- TFormMain, FormCreate,
// show -- except that it quits as soon as the window is exposed and
// painted. The program itself reads no arguments and never quits by
// itself, so the benchmark times this twin of it instead.
//
//   zelkano_start_probe [DATABASE]
//
// Without DATABASE it opens drug.mdb beside itself, as the program does.
// Prints "shown <peak RSS kB>", then closes the window (FormClose) and quits.
// Any message box the start would show is printed and fails the probe.
#include "BenchSupport.h"
#include "app/MainForm.h"
#include "app/Messages.h"

#include <QApplication>

namespace {

class FailingPresenter : public app::MessagePresenter
{
public:
    void show(const app::Message &message) override
    {
        std::fprintf(stderr, "zelkano_start_probe: message: %s\n", qPrintable(message.text));
        failed = true;
    }
    bool failed = false;
};

} // namespace

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    FailingPresenter presenter;
    app::MessagePresenter::setCurrent(&presenter);

    int result = 0;
    {
        TFormMain FormMain(args.size() > 1 ? args[1] : QString());
        if (FormMain.FormCreate() == TFormMain::StartResult::MissingDatabase)
            return 1;
        FormMain.show();
        if (!bench::waitExposed(&FormMain))
            return 3;
        std::printf("shown %lld\n", bench::peakRssKb());
        std::fflush(stdout);
        FormMain.close();
        result = presenter.failed ? 4 : 0;
    }
    app::MessagePresenter::setCurrent(nullptr);
    return result;
}
