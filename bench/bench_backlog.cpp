// A backlog on the console printed by the station: N new reports on the stand-in console, one job
// without filters on the built-in PDF printer. Prints labels per second from the start of the poll
// (the export included) to the last label file, the longest time the window's event loop was
// blocked meanwhile, and the peak memory of the process.
// The station's own processor time per label is printed too, a figure that holds on a busy machine.
// Then one more report, and how long it takes to become a label file (the poll interval is 10 s).
// With --zpl the job prints on the stand-in ZPL printer instead, and the bytes sent per label are
// printed too.
// With --report-kb N the console's reports are padded to about N kB each.
//   bench_backlog [reports=1000] [workers=all cores] [--zpl] [--report-kb N]

#include "app/applicationsetup.h"
#include "app/viewer.h"
#include "logging/logger.h"
#include "mc/xmlpoller.h"
#include "printing/fileprinter.h"
#include "printing/printhandler.h"
#include "printing/printspool.h"
#include "printing/zplprinters.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Processor seconds a child process has used so far (user and system), from /proc.
double processSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// Processor seconds per thread name of this process (user and system), from /proc; threads that
// ended are missing, and the caller counts them as the rest.
QMap<QString, double> threadSeconds()
{
    QMap<QString, double> byName;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const int open = line.indexOf('(');
        const int close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        byName[QString::fromUtf8(line.mid(open + 1, close - open - 1))] +=
            (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return byName;
}

void waitFor(const std::function<bool()>& done, int timeoutMs)
{
    // Sleeps in the event loop between checks, as the program does, instead of spinning a core.
    if (done())
        return;
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer check;
    check.setInterval(20);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || timer.elapsed() >= timeoutMs)
            loop.quit();
    });
    check.start();
    loop.exec();
}

bool post(QNetworkAccessManager& net, const QString& url)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = net.post(request, QByteArray("{}"));
    waitFor([reply] { return reply->isFinished(); }, 600000);
    const bool ok = reply->error() == QNetworkReply::NoError;
    reply->deleteLater();
    return ok;
}

QJsonDocument get(QNetworkAccessManager& net, const QString& url)
{
    QNetworkReply* reply = net.get(QNetworkRequest{QUrl(url)});
    waitFor([reply] { return reply->isFinished(); }, 60000);
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    reply->deleteLater();
    return document;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const bool zpl = args.removeAll(QStringLiteral("--zpl")) > 0;
    QString reportKb = QStringLiteral("0");
    const int kbAt = args.indexOf(QStringLiteral("--report-kb"));
    if (kbAt >= 0) {
        reportKb = args.value(kbAt + 1);
        args.erase(args.begin() + kbAt, args.begin() + std::min(int(args.size()), kbAt + 2));
    }
    const int reports = args.size() > 0 ? std::max(1, args.at(0).toInt()) : 1000;
    const int workers = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 0;
    QTemporaryDir dir;
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.path() + "/share"));
    qputenv("HOME", QFile::encodeName(dir.path() + "/home"));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ApplicationSetup::keepLargeBlocks(); // as the program does
    QApplication app(argc, argv);
    ApplicationSetup::applyIdentity();
    ApplicationSetup::registerResources();
    SystemPaths::selectComputedLayout();
    Logger logger(&app); // into the temporary data root, with the console
    const SystemPaths& paths = SystemPaths::instance();
    QFile::copy(LABELPRINTER_SOURCE_DIR "/resources/demo/Station label.lyson",
                paths.layoutDir + "Station label.lyson");
    QDir().mkpath(paths.rootDir + "/custom/userapps/logos");
    QFile::copy(LABELPRINTER_SOURCE_DIR "/resources/demo/korvex-logo.png",
                paths.rootDir + "/custom/userapps/logos/korvex-logo.png");

    QProcess server;
    server.start(MC_STANDIN_BIN, {"--port", "0", "--seed", "3", "--report-kb", reportKb});
    server.waitForReadyRead(10000);
    const QString line = QString::fromLatin1(server.readLine()).trimmed();
    const QString base = line.section(' ', -1);
    const QString port = base.section(':', -1);
    QNetworkAccessManager net;
    for (int left = reports; left > 0; left -= 1000) {
        if (!post(net, QString("%1/standin/generate?count=%2").arg(base).arg(std::min(left, 1000)))) {
            fprintf(stderr, "could not generate reports on %s\n", qPrintable(base));
            return 1;
        }
    }

    const QString labels = dir.path() + "/labels";
    SettingsManager* s = SettingsManager::instance();
    s->setValue("MC/address", "http://127.0.0.1", true);
    s->setValue("MC/port", port, true);
    s->setValue("MC/username", "demo", true);
    s->setValue("MC/password", "demo", true);
    s->setValue("MC/onlyreported", false, true);
    s->setValue("MC/lastReportId", 0, true);
    s->setValue("jobs/all/jobname", "All reports", true);
    s->setValue("jobs/all/layout", "Station label", true);
    s->setValue("jobs/all/printer", FilePrinter::kName, true);
    s->setValue(FilePrinter::kFolderKey, labels, true);
    s->setValue("ReportView/reportLogPath", dir.path() + "/log.csv", true);
    if (workers > 0)
        s->setValue(PrintHandler::kWorkersKey, workers, true);

    // The stand-in ZPL printer, and the job on it.
    QProcess zplPrinter;
    QString zplControl;
    if (zpl) {
        zplPrinter.start(ZPL_STANDIN_BIN,
                         {"--port", "0", "--control-port", "0", "--out", dir.path() + "/zpl"});
        zplPrinter.waitForReadyRead(10000);
        const QString ready =
            QString::fromLatin1(zplPrinter.readLine()).trimmed(); // listening on A control URL
        zplControl = ready.section(' ', -1);
        ZplPrinterConfig printer;
        printer.name = QStringLiteral("Bench ZPL printer");
        printer.address = ready.section(' ', 2, 2);
        QString error;
        if (!ZplPrinters::write(s, printer, QString(), &error)) {
            fprintf(stderr, "the ZPL printer cannot be set up (%s): %s\n", qPrintable(ready),
                    qPrintable(error));
            return 1;
        }
        s->setValue("jobs/all/printer", printer.name, true);
    }
    const auto zplPrinted = [&] {
        return get(net, zplControl + "/state").object().value("printed").toInt();
    };

    QQmlEngine engine;
    Viewer viewer(&app, &engine);
    waitFor([&] { return viewer.connectionState() == "Connected"; }, 30000);
    if (viewer.connectionState() != "Connected") {
        fprintf(stderr, "no connection: %s\n", qPrintable(viewer.connectionState()));
        return 1;
    }

    // The event loop's longest stall: a 10 ms timer that records the largest gap between its ticks.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
    });

    int labelsWritten = 0;
    QObject::connect(viewer.printHandler(), &PrintHandler::labelFileWritten, [&] { ++labelsWritten; });
    const auto printed = [&] {
        return zpl ? zplPrinted() : labelsWritten;
    };
    qint64 fetchedAt = -1;
    QElapsedTimer clock;
    // The first page in the spool (the reports themselves no longer go out as texts).
    QObject::connect(viewer.printHandler()->spool(), &PrintSpool::changed, &app, [&] {
        if (fetchedAt < 0)
            fetchedAt = clock.elapsed();
    });

    // Under `perf record -D -1 --control fifo:F`, with BENCH_PERF_CTL=F, only the backlog is profiled.
    const auto perfControl = [](const char* command) {
        const QByteArray fifo = qgetenv("BENCH_PERF_CTL");
        QFile control(QString::fromLocal8Bit(fifo));
        if (!fifo.isEmpty() && control.open(QIODevice::WriteOnly))
            control.write(command);
    };
    perfControl("enable\n");
    rusage startUsage{};
    getrusage(RUSAGE_SELF, &startUsage);
    const QMap<QString, double> threadsStart = threadSeconds();
    const double consoleStart = processSeconds(server.processId());
    clock.start();
    sinceTick.start();
    probe.start();
    viewer.poller()->checkNow();
    waitFor(
        [&] {
            return fetchedAt >= 0 && viewer.printHandler()->pendingReports() == 0 &&
                   viewer.poller()->waitForPoll(0);
        },
        3600000);
    const qint64 total = clock.elapsed();
    perfControl("disable\n");
    const qint64 backlogGap = longestGap;
    rusage backlogUsage{};
    getrusage(RUSAGE_SELF, &backlogUsage);
    const QMap<QString, double> threadsEnd = threadSeconds();
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + t.tv_usec / 1e6;
    };
    const double consoleSeconds = processSeconds(server.processId()) - consoleStart;
    const double cpuSeconds = seconds(backlogUsage.ru_utime) + seconds(backlogUsage.ru_stime) -
                              seconds(startUsage.ru_utime) - seconds(startUsage.ru_stime);

    // A single new report: from its arrival on the console to its label.
    const int before = printed();
    QElapsedTimer latency;
    latency.start();
    post(net, QString("%1/standin/generate?count=1").arg(base));
    waitFor([&] { return printed() > before; }, 60000);
    const qint64 newReportMs = latency.elapsed();
    probe.stop();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    printf("reports on the console: %d (at least %s kB each), labels printed: %d (issue reports are not "
           "printed), %d workers\n",
           reports, qPrintable(reportKb), before, viewer.printHandler()->workerCount());
    printf("first page in the spool: %.2f s; all labels: %.2f s\n", fetchedAt / 1000.0, total / 1000.0);
    printf("labels per second (poll start to last file): %.2f\n",
           before * 1000.0 / std::max<qint64>(1, total));
    printf("station CPU per label: %.2f ms\n", cpuSeconds * 1000.0 / std::max(1, before));
    // Which threads it went to: the pool's workers, the page fetch thread and the window's thread by
    // name; the poller's thread ends with the poll, so it is the rest.
    double named = 0;
    for (auto it = threadsEnd.cbegin(); it != threadsEnd.cend(); ++it) {
        const double spent = it.value() - threadsStart.value(it.key());
        named += spent;
        if (spent * 1000.0 / std::max(1, before) >= 0.01)
            printf("  of it in threads named \"%s\": %.2f ms\n", qPrintable(it.key()),
                   spent * 1000.0 / std::max(1, before));
    }
    printf("  of it in threads that ended meanwhile: %.2f ms\n",
           std::max(0.0, cpuSeconds - named) * 1000.0 / std::max(1, before));
    // Fresh memory is slow on virtual machines: each first touch of a page is a fault.
    printf("station page faults per label: %.0f\n",
           double(backlogUsage.ru_minflt - startUsage.ru_minflt) / std::max(1, before));
    printf("stand-in console CPU per label (its exports, on the same cores): %.2f ms\n",
           consoleSeconds * 1000.0 / std::max(1, before));
    printf("longest event-loop block: %lld ms\n", static_cast<long long>(backlogGap));
    printf("a new report became a label file after %.2f s (poll interval 10 s)\n", newReportMs / 1000.0);
    printf("peak memory: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    if (zpl) {
        const QJsonArray records = get(net, zplControl + "/labels").array();
        double bytes = 0;
        for (const QJsonValue& record : records)
            bytes += record.toObject().value("bytes").toDouble();
        printf("ZPL printer: %d labels printed, %.0f bytes sent per label on average\n", int(records.size()),
               bytes / std::max<int>(1, records.size()));
        zplPrinter.terminate();
        zplPrinter.waitForFinished(5000);
    }
    viewer.waitForWorkers(30000);
    server.terminate();
    server.waitForFinished(5000);
    return before > 0 ? 0 : 1;
}
