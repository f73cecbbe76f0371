// The desktop program. "--screenshot FILE" saves a picture of the main window once it has
// settled (after 1.5 s, or "--screenshot-after MS"), prints what the view shows on standard
// output and quits: a smoke check that needs no one at the screen. "--plot FILE.csv" shows a
// plot of a converted test data file instead (with --screenshot, a picture of the plot).
#include "app/KelvastraApp.h"
#include "app/MainFrame.h"
#include "common/BuildInfo.h"
#include "document/KelvastraDoc.h"
#include "protocol/ui/StageView.h"
#include "recordings/ui/PlotWindow.h"

#include <QLineEdit>
#include <QTimer>

#include <clocale>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: kelvastra [OPTIONS] [FILE.tmt]\n"
    "\n"
    "The Kelvastra desktop program: design test protocols of up to ten sets, program them into\n"
    "the controller and read them back, download and convert test data, calibrate the device\n"
    "and describe its hardware. The controller (or a running kelvastra-sim) is found by itself;\n"
    "without one, protocols are opened, edited and saved against the limits of the controller\n"
    "connected last. FILE.tmt is opened at start.\n"
    "\n"
    "Options:\n"
    "  -h, --help               Show this help and exit\n"
    "  --version                Show the version and the build's commit, then exit\n"
    "  --screenshot FILE        Save a picture of the main window once it has settled, print\n"
    "                           what the view shows, and quit\n"
    "  --screenshot-after MS    Take the picture after MS milliseconds (default 1500)\n"
    "\n"
    "Environment:\n"
    "  KELVASTRA_HOME           Root folder for calibration files and the serial traffic\n"
    "                           record (default ~/Quillmark/Kelvastra)\n"
    "  KELVASTRA_PORTS_DIR      Where simulators register their ports\n";

// Without any display Qt would abort; say what to do instead.
bool DisplayAvailable() {
#if defined(Q_OS_LINUX)
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before any window system is needed: the man page is made from them at build time.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", VersionLine("kelvastra").c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "kelvastra: no display is available (DISPLAY is not set).\n"
                     "Run it in a desktop session, under xvfb-run, or use kelvastra-cli.\n");
        return 1;
    }
    CKelvastraApp app(argc, argv);
    // Qt takes the number format from the environment; files and wire texts need the C one.
    std::setlocale(LC_NUMERIC, "C");
    QString screenshot;
    QString plot;
    std::string protocol;
    int delayMs = 1500;
    for (int i = 1; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (valued && std::strcmp(argv[i], "--screenshot") == 0)
            screenshot = QString::fromLocal8Bit(argv[++i]);
        else if (valued && std::strcmp(argv[i], "--plot") == 0)
            plot = QString::fromLocal8Bit(argv[++i]);
        else if (valued && std::strcmp(argv[i], "--screenshot-after") == 0)
            delayMs = std::max(0, std::atoi(argv[++i]));
        else if (argv[i][0] != '-')
            protocol = argv[i];
    }

    if (!plot.isEmpty()) {
        // A quick look at a converted file: no document, no device.
        CPlotWindow window;
        std::string error;
        if (!window.Open(plot.toLocal8Bit().toStdString(), error)) {
            std::fprintf(stderr, "kelvastra: %s\n", error.c_str());
            return 1;
        }
        window.show();
        if (!screenshot.isEmpty()) {
            QTimer::singleShot(delayMs, &app, [&app, &window, screenshot] {
                std::string failure;
                const bool saved =
                    SaveWidgetPng(window, screenshot.toLocal8Bit().toStdString(), failure);
                if (!saved)
                    std::fprintf(stderr, "kelvastra: %s\n", failure.c_str());
                app.exit(saved ? 0 : 1);
            });
        }
        return app.exec();
    }
    if (!app.InitInstance())
        return 1;
    if (!protocol.empty())
        app.OpenFile(protocol);
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(delayMs, &app, [&app, screenshot] {
            const bool saved = app.MainFrame()->grab().save(screenshot, "PNG");
            if (CStageView* view = app.View()) {
                std::printf("connected: %d\nlink: %s\ntest name: %s\nsets: %zu\nmessages:\n%s\n",
                            app.Document()->m_bDeviceConnected ? 1 : 0,
                            app.Document()->LinkStatusText().c_str(),
                            view->TestNameEdit()->text().toUtf8().constData(),
                            view->WorkingSequence().sets.size(),
                            view->MessageText().toUtf8().constData());
                std::fflush(stdout);
            }
            app.exit(saved ? 0 : 1);
        });
    }
    const int code = app.exec();
    return app.ExitInstance(code);
}
