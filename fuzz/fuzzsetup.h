#pragma once
// Process set-up shared by the fuzz targets: a core application and a quiet log.

#include <QCoreApplication>

#include <cstdio>

namespace FuzzSetup {

inline void start()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // Log lines go to standard output and debug messages to standard error; both would drown
    // the fuzzer's own report and slow every run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!std::freopen("/dev/null", "w", stdout))
        std::fprintf(stderr, "fuzz: could not silence standard output\n");
}

} // namespace FuzzSetup
