// zpl-standin: a stand-in ZPL label printer for demos and tests.

#include "controlserver.h"
#include "labelstore.h"
#include "zplprinter.h"
#include "zpltcpserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

struct Options
{
    QString bindAddress = QStringLiteral("127.0.0.1");
    int port = 9100;
    int controlPort = 9180;
    QString outDir = QStringLiteral("zpl-labels");
    bool verbose = false;
};

bool validPort(int port)
{
    return port >= 0 && port <= 65535;
}

bool parseOptions(const QCoreApplication& app, Options* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in ZPL label printer: takes ZPL on a raw TCP port, prints each format's ^GF graphics as a\n"
        "PNG file, answers ~HS, and lets its state be set over HTTP.\n"
        "Control endpoints (no authentication): GET /state, POST /state (JSON), GET /labels,\n"
        "DELETE /labels, GET /health."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Raw TCP port; 0 picks a free one."),
                                  QStringLiteral("port"), QString::number(options->port));
    const QCommandLineOption controlPort(QStringLiteral("control-port"),
                                         QStringLiteral("HTTP control port; 0 picks a free one."),
                                         QStringLiteral("port"), QString::number(options->controlPort));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Folder for the label PNG files."),
                                 QStringLiteral("dir"), options->outDir);
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Address to listen on."),
                                  QStringLiteral("address"), options->bindAddress);
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Log connections, commands and labels on stderr."));
    parser.addOptions({port, controlPort, out, bind, verbose});
    parser.process(app);

    bool portOk = false;
    bool controlPortOk = false;
    options->port = parser.value(port).toInt(&portOk);
    options->controlPort = parser.value(controlPort).toInt(&controlPortOk);
    options->outDir = parser.value(out);
    options->bindAddress = parser.value(bind);
    options->verbose = parser.isSet(verbose);
    if (!portOk || !validPort(options->port) || !controlPortOk || !validPort(options->controlPort) ||
        QHostAddress(options->bindAddress).isNull() || options->outDir.isEmpty()) {
        std::fprintf(stderr, "zpl-standin: invalid option value (see --help)\n");
        return false;
    }
    return true;
}

QString hostPart(const QString& address)
{
    return address.contains(QLatin1Char(':')) ? QLatin1Char('[') + address + QLatin1Char(']') : address;
}

} // namespace

int main(int argc, char* argv[])
{
    // Termination signals are taken by one waiting thread; block them before any thread starts so
    // that all threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A client that goes away leaves writes to a closed socket behind.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zpl-standin"));

    Options options;
    if (!parseOptions(app, &options))
        return 2;

    LabelStore store(options.outDir);
    QString error;
    if (!store.prepare(&error)) {
        std::fprintf(stderr, "zpl-standin: %s\n", qPrintable(error));
        return 1;
    }
    ZplPrinter printer(&store, options.verbose);
    ZplTcpServer tcp(&printer, options.verbose);
    if (!tcp.listen(QHostAddress(options.bindAddress), quint16(options.port)))
        return 1;

    ControlServer::Hooks hooks;
    // The control thread waits until the port has followed the state, so a client that set
    // "refuse" is refused from the moment the answer comes.
    hooks.setListening = [&tcp](bool listening) {
        bool ok = false;
        QMetaObject::invokeMethod(
            &tcp, [&tcp, &ok, listening] { ok = tcp.setListening(listening); }, Qt::BlockingQueuedConnection);
        return ok;
    };
    hooks.connectionCount = [&tcp] {
        return tcp.connectionCount();
    };
    ControlServer control(&printer, &store, hooks, options.verbose);
    if (!control.bind(options.bindAddress, options.controlPort))
        return 1;

    printer.start();
    std::thread controlThread([&control] {
        if (!control.run())
            kill(getpid(), SIGTERM);
    });
    const QString host = hostPart(options.bindAddress);
    std::fprintf(stdout, "listening on %s:%d control http://%s:%d\n", qPrintable(host), tcp.port(),
                 qPrintable(host), control.port());
    std::fflush(stdout);
    if (options.verbose)
        std::fprintf(stderr, "zpl-standin: labels go to %s\n", qPrintable(store.directory()));

    std::thread signalWaiter([&control, &controlThread, &stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        // The control thread may be waiting for the event loop, so it ends before the loop does.
        control.stop();
        controlThread.join();
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    });
    const int code = app.exec();
    signalWaiter.join();
    printer.stop();
    return code;
}
