// darvent-map: the map program.
#include "AppSettings.h"
#include "MainWindow.h"
#include "MapImageWidget.h"
#include "Splash.h"
#include "StartupPreload.h"
#include "Translation.h"
#include "display/RuntimeDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

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
    // With DARVENT_STARTUP_TRACE set the program says on its output when the
    // splash's wait ended and when the map was first painted, and ends then
    // (the start-up benchmark).
    const bool trace = std::getenv("DARVENT_STARTUP_TRACE") != nullptr;
    auto say = [](const char* what) {
        std::printf("%s\n", what);
        std::fflush(stdout);
    };
    auto* splash = new dm::SplashWindow;
    splash->show();
    splash->repaint();
    QElapsedTimer t;
    t.start();
    // The city map is read and drawn while the splash shows.
    dm::StartupPreload preload;
    {
        const QScreen* s = QGuiApplication::primaryScreen();
        if (trace) {
            preload.trace = say;
            say("preload-started");
        }
        preload.start(std::filesystem::current_path(), "Darvent", s ? s->geometry().width() : 1024);
        options.preload = &preload;
    }
    // Events are handled as they come while waiting, a timer waking the
    // loop every few milliseconds: polling for them would take a core from
    // the reading and drawing.
    auto waitUntil = [](auto done) {
        QTimer tick;
        tick.start(4);
        while (!done()) QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    };
    waitUntil([&] { return t.elapsed() >= 1200; });
    if (trace) say("splash-wait-ended");
    waitUntil([&] { return !preload.running(); });
    if (trace) say("preload-done");
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
        if (trace) {
            bool said = false;
            w->imageWidget()->afterPaint = [say, said]() mutable {
                if (said) return;
                said = true;
                say("map-shown");
                QTimer::singleShot(0, [] { QApplication::exit(0); });
            };
        }
        w->showAsRemembered();
        rc = QApplication::exec();
    }
    return rc;
}
