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
    // characters, line break included.
    void linesInTheFile()
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
    }

    // The real program in each mode, stopped the way a service is stopped or interrupted, one run after
    // the other in one data root: every start rotates the log before it, and six generations are kept.
    void programModesAndGenerations()
    {
        TestSupport::IsolatedDataRoot root;
        const QString logDir = root.dataRoot() + "/home/global/";
        const QString current = Logger::currentLogFile(logDir);
        const auto write = [](const QString& path, const QByteArray& text) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        };
        QVERIFY(QDir().mkpath(logDir));
        write(Logger::generationLogFile(logDir, 6), "oldest\n");
        int run = 0;
        const auto mode = [&](const QStringList& args, bool fileWritten, bool consoleLines,
                              int signal = SIGTERM, const QByteArray& named = {}) {
            const QByteArray before = "before run " + QByteArray::number(++run) + "\n";
            write(current, before);
            QProcess p;
            p.setProcessEnvironment(root.environment());
            p.start(TestSupport::programPath(), args);
            QVERIFY(p.waitForStarted(10000));
            QByteArray out;
            QTRY_VERIFY_WITH_TIMEOUT((out += p.readAllStandardOutput()).contains("Starting") ||
                                         readAll(current).contains("Starting"),
                                     15000);
            ::kill(pid_t(p.processId()), signal);
            QVERIFY(p.waitForFinished(15000));
            out += p.readAllStandardOutput();
            const QByteArray what = args.join(' ').toUtf8() + " gave: " + out;
            QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, what.constData());
            QVERIFY2(out.contains("Debug:Starting") == consoleLines && out.contains(named), what.constData());
            QVERIFY2(QFileInfo::exists(current) == fileWritten, what.constData());
            // The previous log is rotated in every mode.
            QCOMPARE(readAll(Logger::generationLogFile(logDir, 1)), before);
            // The log is complete up to the last line.
            QVERIFY(!fileWritten || readAll(current).contains("Leaving with exit code 0"));
        };
        mode({}, true, true); // dual
        mode({"--logto", "dual"}, true, true);
        mode({"--logto", "disk"}, true, false);
        // An ignored argument is named, so a typo in a service's command line shows up.
        mode({"--logto", "console", "--fulscreen"}, false, true, SIGTERM, "Unknown option 'fulscreen'");
        mode({"--ui-less", "--logto"}, false, true);
        mode({"--logto", "dual"}, true, true, SIGINT);
        // Six generations, newest first; the oldest log before these six starts is gone.
        for (int g = 1; g <= 6; ++g)
            QCOMPARE(readAll(Logger::generationLogFile(logDir, g)),
                     "before run " + QByteArray::number(7 - g) + "\n");
        QVERIFY(!QFileInfo::exists(Logger::generationLogFile(logDir, 7)));
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
