// Watching a station without its window: `labelprinter --status` against the running program, the
// service manager's notifications and watchdog, and the local health endpoint.

#include "app/statusserver.h"
#include "printing/printspool.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "standinprocess.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QTcpServer>
#include <QtTest>

#include <httplib.h>

#include <future>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kMissingPrinter = QStringLiteral("Printer that is not there");

struct StatusRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

StatusRun runStatus(const TestSupport::IsolatedDataRoot& root, const QStringList& extra = {})
{
    QProcess p;
    p.setProcessEnvironment(root.environment());
    p.start(TestSupport::programPath(), QStringList{QStringLiteral("--status")} + extra);
    StatusRun run;
    if (!p.waitForFinished(20000))
        return run;
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

int freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// Labels of a job whose printer is missing wait in the spool; `failed` of them are in the failed list.
void spoolWaitingLabels(int waiting, int failed)
{
    TestSupport::addJob(QStringLiteral("waits"), QStringLiteral("Waiting job"), true,
                        QStringLiteral("Station label"), kMissingPrinter);
    PrintSpool spool(SystemPaths::instance().rootDir + QStringLiteral("/spool"));
    for (int n = 0; n < waiting + failed; ++n) {
        SpoolEntry entry;
        entry.jobId = QStringLiteral("waits");
        entry.jobName = QStringLiteral("Waiting job");
        entry.layout = QStringLiteral("Station label");
        entry.printer = kMissingPrinter;
        entry.reportUuid = QStringLiteral("report-%1").arg(n);
        entry.report = TestSupport::sampleReportVariant("Apple", n + 1);
        QVERIFY(spool.add(&entry));
        if (n >= waiting)
            QVERIFY(spool.moveToFailed(entry.id, QStringLiteral("layout missing")));
    }
}

// Datagrams a program sends to the notification socket, with the time each one came.
class NotifySocket
{
public:
    explicit NotifySocket(const QString& path) : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path));
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    }
    ~NotifySocket() { ::close(m_fd); }
    // Collects messages until `until` returns true or `timeoutMs` passed.
    void collect(int timeoutMs, const std::function<bool()>& until)
    {
        QElapsedTimer clock;
        clock.start();
        if (!m_started.isValid())
            m_started.start();
        while (clock.elapsed() < timeoutMs && !until()) {
            timeval wait{0, 100000};
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), 0);
            if (n > 0)
                messages.append({m_started.elapsed(), QString::fromUtf8(buffer, int(n))});
        }
    }
    QStringList starting(const QString& prefix) const
    {
        QStringList found;
        for (const auto& m : messages)
            if (m.second.startsWith(prefix))
                found << m.second;
        return found;
    }
    QList<QPair<qint64, QString>> messages;

private:
    QString m_path;
    int m_fd = -1;
    QElapsedTimer m_started;
};

} // namespace

class TestStationWatch : public QObject
{
    Q_OBJECT
    TestSupport::IsolatedDataRoot* m_root = nullptr;

private slots:
    void init()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
        QVERIFY(TestSupport::installStationLayout());
    }
    void cleanup()
    {
        delete SettingsManager::instance();
        delete m_root;
        m_root = nullptr;
    }

    // The counts come from the spool the program holds, and the exit code says whether printing is
    // healthy: 1 while the console is not reached, 0 once it is, 2 with no program. While a port is
    // set, /health and /metrics say what --status says; without one nothing listens.
    void statusAndHealthReportTheSpool()
    {
        spoolWaitingLabels(3, 2);
        const int port = freeTcpPort();
        QVERIFY(port > 0);
        SettingsManager::instance()->setValue(QStringLiteral("status/maxWaitSeconds"), 3600, true);
        SettingsManager::instance()->setValue(QStringLiteral("health/port"), port, true);
        SettingsManager::instance()->flush();
        httplib::Client client("127.0.0.1", port);
        {
            TestSupport::ProgramProcess program(*m_root);
            program.start();
            QTRY_VERIFY_WITH_TIMEOUT(
                program.log().contains(QStringLiteral("MC Connection: \"Invalid settings\"")), 20000);
            const StatusRun run = runStatus(*m_root);
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.out.contains("Invalid settings"), run.out.constData());

            int healthStatus = 0;
            QString lastError;
            QTRY_VERIFY2_WITH_TIMEOUT(
                [&] {
                    const auto health = client.Get("/health");
                    healthStatus = health ? health->status : 0;
                    lastError = health ? QString::fromStdString(health->body)
                                       : QString::fromStdString(httplib::to_string(health.error()));
                    return health && QJsonDocument::fromJson(QByteArray::fromStdString(health->body))
                                             .object()
                                             .value("waiting")
                                             .toInt() == 3;
                }(),
                qPrintable(lastError), 20000);
            QCOMPARE(healthStatus, 503); // no console set
            const auto metrics = client.Get("/metrics");
            QVERIFY2(metrics && metrics->status == 200, metrics
                                                            ? std::to_string(metrics->status).c_str()
                                                            : httplib::to_string(metrics.error()).c_str());
            const QString text = QString::fromStdString(metrics->body);
            QVERIFY2(
                text.contains(
                    QStringLiteral("labelprinter_waiting_labels{printer=\"%1\"} 3").arg(kMissingPrinter)),
                qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("labelprinter_failed_labels 2")));
            QVERIFY(text.contains(QStringLiteral("labelprinter_console_up 0")));
        }

        SettingsManager::instance()->removeKey(QStringLiteral("health/port"), true);
        TestSupport::StandInProcess console;
        QVERIFY(console.start());
        TestSupport::setConsole(console.port());
        SettingsManager::instance()->flush();
        TestSupport::ProgramProcess program(*m_root);
        program.start();
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains(QStringLiteral("MC Connection: \"Connected\"")),
                                 20000);
        // The labels wait once the program found their printer missing.
        QJsonObject status;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const StatusRun run = runStatus(*m_root, {QStringLiteral("--json")});
                status = QJsonDocument::fromJson(run.out).object();
                const QJsonArray printers = status.value("printers").toArray();
                return run.exitCode == 0 && printers.size() == 1 &&
                       !printers.at(0).toObject().value("reason").toString().isEmpty();
            }(),
            20000);
        QCOMPARE(status.value("waiting").toInt(), 3);
        QCOMPARE(status.value("failed").toInt(), 2);
        const QJsonObject printer = status.value("printers").toArray().at(0).toObject();
        QCOMPARE(printer.value("printer").toString(), kMissingPrinter);
        QCOMPARE(printer.value("waiting").toInt(), 3);
        QCOMPARE(status.value("console").toObject().value("state").toString(), QStringLiteral("Connected"));
        QCOMPARE(qint64(status.value("pid").toDouble()), program.pid());
        QTRY_VERIFY_WITH_TIMEOUT(!QJsonDocument::fromJson(runStatus(*m_root, {QStringLiteral("--json")}).out)
                                      .object()
                                      .value("console")
                                      .toObject()
                                      .value("lastPoll")
                                      .toString()
                                      .isEmpty(),
                                 30000);

        QVERIFY2(!client.Get("/health"), "nothing listens while the endpoint is off");
        const StatusRun text = runStatus(*m_root);
        QCOMPARE(text.exitCode, 0);
        QVERIFY2(text.out.contains(QStringLiteral("3 labels for \"%1\"").arg(kMissingPrinter).toUtf8()),
                 text.out.constData());

        QCOMPARE(program.stop(), 0);
        const StatusRun none = runStatus(*m_root);
        QCOMPARE(none.exitCode, 2);
        QVERIFY2(none.err.contains("No label printer runs"), none.err.constData());
    }

    // The socket answers only the user the program runs as.
    void statusIsRefusedToAnotherUser()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to try the socket as another user");
        StatusServer server(m_root->path(), [] { return QJsonObject{{"secret", 1}}; });
        // With no mask, only the server's own access setting keeps the socket from others.
        const mode_t mask = ::umask(0);
        const bool listening = server.listen();
        ::umask(mask);
        QVERIFY(listening);
        // Every folder on the way may be entered, so only the socket's own access decides.
        QFile::setPermissions(m_root->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ExeOther);
        const QByteArray path = QFile::encodeName(server.socketPath());
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
            const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
            ::_exit(rc == 0 ? 0 : (errno == EACCES ? 1 : 2));
        }
        int wstatus = 0;
        QCOMPARE(::waitpid(child, &wstatus, 0), child);
        QVERIFY(WIFEXITED(wstatus));
        QVERIFY2(WEXITSTATUS(wstatus) == 1, qPrintable(QStringLiteral("child %1").arg(WEXITSTATUS(wstatus))));
        // The owner is answered (asked from another thread: this one runs the server).
        QJsonObject status;
        QString error;
        auto answer = std::async(std::launch::async,
                                 [&] { return StatusServer::ask(m_root->path(), &status, &error); });
        QTRY_VERIFY(answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QCOMPARE(answer.get(), StatusServer::Answer::Answered);
        QCOMPARE(status.value("secret").toInt(), 1);
    }

    // Under a service manager: READY, a STATUS line per change of state, and watchdog pings from the
    // event loop that stop while the loop is blocked.
    void serviceManagerHearsReadyStatusAndWatchdog()
    {
        const QString socketPath = m_root->path() + QStringLiteral("/notify");
        NotifySocket notify(socketPath);
        QProcess program;
        QProcessEnvironment env = m_root->environment();
        env.insert(QStringLiteral("NOTIFY_SOCKET"), socketPath);
        env.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("400000")); // a ping every 200 ms
        env.insert(QStringLiteral("LABELPRINTER_TEST_BLOCK_LOOP_MS"), QStringLiteral("2500"));
        program.setProcessEnvironment(env);
        program.start(TestSupport::programPath(), {QStringLiteral("--logto"), QStringLiteral("disk")});
        QVERIFY(program.waitForStarted());
        notify.collect(30000, [&] { return notify.starting("WATCHDOG=1").size() >= 25; });
        program.terminate();
        QVERIFY(program.waitForFinished(30000));

        QVERIFY(!notify.starting("READY=1").isEmpty());
        const QStringList statuses = notify.starting("STATUS=");
        QVERIFY2(statuses.size() >= 2 && statuses.first() != statuses.last(),
                 qPrintable(statuses.join(" | ")));
        QVERIFY2(statuses.last().contains("Invalid settings"), qPrintable(statuses.last()));
        // The longest pause between two pings covers the blocked loop; the others are short.
        qint64 previous = -1, longest = 0;
        int pings = 0;
        for (const auto& m : notify.messages) {
            if (m.second != QStringLiteral("WATCHDOG=1"))
                continue;
            if (previous >= 0)
                longest = std::max(longest, m.first - previous);
            previous = m.first;
            ++pings;
        }
        QVERIFY(pings >= 25);
        QVERIFY2(longest >= 2000, qPrintable(QString::number(longest)));
    }
};

QTEST_MAIN(TestStationWatch)
#include "tst_stationwatch.moc"
