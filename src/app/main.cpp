// The desktop program. "--screenshot FILE" saves a picture of the main window once it has
// settled and quits: a smoke check that needs no one at the screen.
#include "app/KelvastraApp.h"
#include "app/MainFrame.h"

#include <QScreen>
#include <QTimer>

#include <cstring>

int main(int argc, char* argv[])
{
    CKelvastraApp app(argc, argv);
    QString screenshot;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0)
            screenshot = QString::fromLocal8Bit(argv[i + 1]);

    if (!app.InitInstance())
        return 1;
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(1500, &app, [&app, screenshot] {
            const bool saved = app.MainFrame()->grab().save(screenshot, "PNG");
            app.exit(saved ? 0 : 1);
        });
    }
    const int code = app.exec();
    return app.ExitInstance(code);
}
