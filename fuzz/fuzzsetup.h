#pragma once
// Process set-up shared by the fuzz targets: a core application and a quiet log.

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

namespace FuzzSetup {

inline void silence()
{
    // The fuzzer leaves through exit() once its time is up (a finding ends it through _Exit with
    // its own code). Qt's network thread, started by the XML query engine, crashes when the
    // application is torn down under it, so the run ends here, before any teardown.
    std::atexit([] { std::_Exit(0); });
    // Log lines go to standard output and debug messages to standard error; both would drown
    // the fuzzer's own report and slow every run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!std::freopen("/dev/null", "w", stdout))
        std::fprintf(stderr, "fuzz: could not silence standard output\n");
}

inline void start()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    silence();
}

// Painting text needs fonts, so targets that render a label run a headless GUI application.
inline void startGui()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    silence();
}

} // namespace FuzzSetup
