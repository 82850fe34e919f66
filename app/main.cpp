// darvent-map: the map program.
#include "AppSettings.h"
#include "MainWindow.h"
#include "Splash.h"
#include "Translation.h"
#include "display/RuntimeDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QScreen>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    dm::EnsureRuntimeDir();
    dm::IgnoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("darvent-map"));
    dm::InstallRussianTranslation(app);
    dm::AppOptions options;
    options.settingsFile = dm::AppSettings::defaultFile();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--all-tools") == 0) {
            options.allTools = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: darvent-map [--all-tools]\n"
                        "Starts in the current folder (the start folder) and opens the city map\n"
                        "Darvent/Darvent.or.  --all-tools shows the menu items and buttons that\n"
                        "the delivered layout hides.\n");
            return 0;
        } else {
            std::fprintf(stderr, "darvent-map: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    auto* splash = new dm::SplashWindow;
    splash->show();
    splash->repaint();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1200) QApplication::processEvents(QEventLoop::AllEvents, 20);
    int rc = 0;
    {
        dm::MainWindow* w = nullptr;
        try {
            w = new dm::MainWindow(options);
        } catch (...) {
            delete splash;
            throw;
        }
        delete splash;
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->showAsRemembered();
        rc = QApplication::exec();
    }
    return rc;
}
