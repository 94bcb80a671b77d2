// The log: line formats, the 999-character cut, start-up rotation, the size roll-over with its
// clean-up, and the modes of the real program. (Its log/delayed signals have no receiver.)

#include "logging/logger.h"
#include "settings/systempaths.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QApplication>
#include <QtTest>

#include <csignal>

namespace {

using TestSupport::readAll;

QList<QByteArray> lines(const QString& path)
{
    return readAll(path).trimmed().split('\n');
}

} // namespace

class TestLogging : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QString m_logDir;
    QString current() const { return Logger::currentLogFile(m_logDir); }

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(m_root->isValid());
        m_logDir = SystemPaths::instance().globalHomeDir;
    }

    // Each kind of message is one stamped line, also from a worker thread; logPrintf cuts at 999
    // characters, line break included. Seven starts keep six generations.
    void linesAndGenerations()
    {
        {
            Logger logger(qApp);
            qDebug("plain debug");
            std::unique_ptr<QThread> worker(QThread::create([] { qWarning("a warning"); }));
            worker->start();
            QVERIFY(worker->wait(5000));
            qCritical("a critical");
            qInfo("some info");
            logPrintf("printf %d %s\n", 42, "text");
            const QRegularExpression line(
                "^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d (Debug:plain debug|Warning:a warning|"
                "Critical:a critical|default:some info|printf 42 text)$");
            const QList<QByteArray> l = lines(current());
            QCOMPARE(l.size(), 5);
            for (const QByteArray& text : l)
                QVERIFY2(line.match(QString::fromLatin1(text)).hasMatch(), text.constData());
        }
        {
            Logger logger(qApp);
            logPrintf("%s\n", QByteArray(1500, 'x').constData());
            QCOMPARE(lines(current()).size(), 1);
            QCOMPARE(lines(current()).at(0).size(), 13 + 999); // the cut also drops the line break
            logPrintf("%s", QByteArray(999, 'y').constData());
            QCOMPARE(lines(current()).last().size(), 13 + 999 + 13 + 999);
        }
        for (int run = 1; run <= 7; ++run) {
            Logger logger(qApp);
            qDebug("run %d", run);
        }
        for (int g = 0; g <= 6; ++g) // generation 0: the current log
            QVERIFY2(readAll(g ? Logger::generationLogFile(m_logDir, g) : current())
                         .contains("run " + QByteArray::number(7 - g)),
                     qPrintable(QString("generation %1").arg(g)));
        QVERIFY(!QFileInfo::exists(Logger::generationLogFile(m_logDir, 7)));
        // The first log written before these seven runs is gone.
        for (const QString& f : QDir(m_logDir).entryList({"TVKRsupport*"}))
            QVERIFY(!readAll(m_logDir + f).contains("printf 42 text"));
    }

    void rollOverStaysInLogDirectory()
    {
        // Twelve reaped logs of 14 MiB each (sparse): the clean-up removes the two oldest.
        for (int i = 0; i < 12; ++i) {
            QFile f(m_logDir + QString("ReapLog%1").arg(i, 2, 10, QChar('0')));
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(14 * 1024 * 1024));
            f.setFileTime(QDateTime::currentDateTime().addSecs(-1000 + i), QFileDevice::FileModificationTime);
        }

        Logger logger(qApp);
        qDebug("before the roll-over");
        const QString chunk(Logger::kMaxMessageChars - 100, QChar('r'));
        for (qint64 written = 0; written < 16 * 1024 * 1024; written += chunk.size())
            qDebug("%s", qPrintable(chunk));
        qDebug("after the roll-over");
        const QByteArray now = readAll(current());
        QVERIFY(now.contains("after the roll-over"));
        QVERIFY(!now.contains("before the roll-over"));
        QVERIFY(now.size() < 3 * 1024 * 1024);
        const QByteArray previous = readAll(Logger::generationLogFile(m_logDir, 1));
        QVERIFY(previous.contains("before the roll-over"));
        QVERIFY(previous.size() <= Logger::kRollOverBytes);
        QVERIFY(!readAll("/var/log/quillon.log").contains("after the roll-over"));
        const QStringList reaped = QDir(m_logDir).entryList({"ReapLog*"}, QDir::Files, QDir::Name);
        QCOMPARE(reaped.size(), 10);
        QCOMPARE(reaped.first(), QStringLiteral("ReapLog02"));
        // Under 150 MiB in all nothing is removed, and a missing folder is no harm.
        QTemporaryDir dir;
        for (int i = 0; i < 11; ++i) {
            QFile f(dir.path() + QString("/ReapLog%1").arg(i));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("small") == 5);
        }
        Logger::logCleanup(dir.path());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 11);
        Logger::logCleanup(dir.path() + "/missing");
    }

    // The real program, in each mode, stopped the way a service is stopped or interrupted.
    void programModes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("fileWritten");
        QTest::addColumn<bool>("consoleLines");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("named"); // what the console output must name
        const auto row = [](const char* name, const QStringList& args, bool file, bool console,
                            int signal = SIGTERM, const QString& named = {}) {
            QTest::newRow(name) << args << file << console << signal << named;
        };
        row("default is dual", {}, true, true);
        row("dual", {"--logto", "dual"}, true, true);
        row("disk", {"--logto", "disk"}, true, false);
        // An ignored argument is named, so a typo in a service's command line shows up.
        row("console", {"--logto", "console", "--fulscreen"}, false, true, SIGTERM,
            "Unknown option 'fulscreen'");
        row("last argument", {"--ui-less", "--logto"}, false, true);
        row("interrupted", {"--logto", "dual"}, true, true, SIGINT);
    }
    void programModes()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, fileWritten);
        QFETCH(bool, consoleLines);
        QFETCH(int, signal);
        QFETCH(QString, named);
        TestSupport::IsolatedDataRoot root;
        const QString logDir = root.dataRoot() + "/home/global/";
        QDir().mkpath(logDir);
        QFile previous(Logger::currentLogFile(logDir));
        QVERIFY(previous.open(QIODevice::WriteOnly) && previous.write("previous run\n") == 13);
        previous.close();
        QProcess p;
        p.setProcessEnvironment(root.environment());
        p.start(TestSupport::programPath(), args);
        QVERIFY(p.waitForStarted(10000));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("Starting") ||
                                     readAll(Logger::currentLogFile(logDir)).contains("Starting"),
                                 15000);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(15000));
        out += p.readAllStandardOutput();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(out.contains("Debug:Starting"), consoleLines);
        QVERIFY2(out.contains(named.toUtf8()), out.constData());
        // The previous log is rotated in every mode.
        QCOMPARE(readAll(Logger::generationLogFile(logDir, 1)), QByteArray("previous run\n"));
        QCOMPARE(QFileInfo::exists(Logger::currentLogFile(logDir)), fileWritten);
        // The log is complete up to the last line.
        if (fileWritten)
            QVERIFY(readAll(Logger::currentLogFile(logDir)).contains("Leaving with exit code 0"));
        for (const char* dir : {"/active", "/home/global/customlayouts", "/home/global/customprocesses"})
            QVERIFY2(QFileInfo(root.dataRoot() + dir).isDir(), dir);
    }
};

int main(int argc, char* argv[])
{
    // The logger reads its mode from the application's arguments; QtTest must not see it.
    QVector<char*> appArgs(argv, argv + argc);
    char logto[] = "--logto";
    char disk[] = "disk";
    appArgs << logto << disk;
    int appArgc = appArgs.size();
    QApplication app(appArgc, appArgs.data());
    TestLogging test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_logging.moc"
