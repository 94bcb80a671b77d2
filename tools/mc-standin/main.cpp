// mc-standin: a stand-in Management Console for demos and tests.

#include "standinserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

bool parseOptions(const QCoreApplication& app, StandInServer::Options* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in Management Console: answers the console's time, report search and report export requests\n"
        "with Basic authentication, keeps generated or posted reports and injects faults on request.\n"
        "Control endpoints (no authentication): POST /standin/reports, GET /standin/reports,\n"
        "POST /standin/generate?count=N, POST /standin/faults, DELETE /standin/faults."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port to listen on; 0 picks a free one."),
                                  QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Address to listen on."),
                                  QStringLiteral("address"), options->bindAddress);
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name clients must send."),
                                  QStringLiteral("name"), options->user);
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("Password clients must send."),
                                      QStringLiteral("password"), options->password);
    const QCommandLineOption reports(
        QStringLiteral("reports"),
        QStringLiteral("Reports to generate at start, dated over the last 40 days."), QStringLiteral("count"),
        QStringLiteral("0"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("New reports per second while running; 0 for none."),
                                  QStringLiteral("per-second"), QStringLiteral("0"));
    const QCommandLineOption tls(
        QStringLiteral("tls"),
        QStringLiteral("Serve HTTPS with a freshly generated self-signed certificate."));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the report generator."),
                                  QStringLiteral("number"), QString::number(options->seed));
    const QCommandLineOption reportKb(QStringLiteral("report-kb"),
                                      QStringLiteral("Pad generated reports to at least this many kB."),
                                      QStringLiteral("kB"), QStringLiteral("0"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Log every request on stderr."));
    parser.addOptions({port, bind, user, password, reports, rate, tls, seed, reportKb, verbose});
    parser.process(app);

    bool portOk = false;
    bool reportsOk = false;
    bool rateOk = false;
    bool seedOk = false;
    bool reportKbOk = false;
    options->port = parser.value(port).toInt(&portOk);
    options->initialReports = parser.value(reports).toInt(&reportsOk);
    options->ratePerSecond = parser.value(rate).toDouble(&rateOk);
    options->seed = parser.value(seed).toUInt(&seedOk);
    options->reportKb = parser.value(reportKb).toInt(&reportKbOk);
    options->bindAddress = parser.value(bind);
    options->user = parser.value(user);
    options->password = parser.value(password);
    options->tls = parser.isSet(tls);
    options->verbose = parser.isSet(verbose);
    if (!portOk || options->port < 0 || options->port > 65535 || !reportsOk || options->initialReports < 0 ||
        !rateOk || options->ratePerSecond < 0 || options->ratePerSecond > 1000 || !seedOk || !reportKbOk ||
        options->reportKb < 0 || options->reportKb > 100000) {
        std::fprintf(stderr, "mc-standin: invalid option value (see --help)\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // Termination signals are taken by one waiting thread instead of interrupting a worker;
    // block them before any thread starts so that all threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A dropped-connection fault leaves writes to a closed socket behind.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mc-standin"));

    StandInServer::Options options;
    if (!parseOptions(app, &options))
        return 2;

    StandInServer server(options);
    if (!server.bind())
        return 1;

    std::fprintf(stdout, "mc-standin listening on %s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);

    std::thread signalWaiter([&server, &stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    const bool ok = server.run();
    // Wakes the waiter when the server ended by itself.
    kill(getpid(), SIGTERM);
    signalWaiter.join();
    return ok ? 0 : 1;
}
