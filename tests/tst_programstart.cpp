// The program's command line (the options, the older "width=N" forms, what is ignored), --help and
// --version of the real program, one program per data root. Ignored options in the log: tst_logging.

#include "app/applicationsetup.h"
#include "app/commandline.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QtTest>

Q_DECLARE_METATYPE(CommandLine::Action)

class TestProgramStart : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<bool>("ui");
        QTest::addColumn<int>("width"); // -1: none
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("warnings");
        const auto row = [](const char* name, const QStringList& args, CommandLine::Action action, bool ui,
                            int width, int height, int warnings) {
            QTest::newRow(name) << args << action << ui << width << height << warnings;
        };
        const auto run = CommandLine::Action::Run;
        row("service", {}, run, false, -1, -1, 0);
        row("window with size", {"--ui", "width=1500", "height=900"}, run, true, 1500, 900, 0);
        row("fullscreen drops the size", {"width=1500", "--fullscreen", "height=900"}, run, false, -1, -1, 0);
        row("size not a number", {"width=wide", "height=9x"}, run, false, -1, -1, 2);
        row("log destination", {"--logto", "disk", "width=5"}, run, false, 5, -1, 0);
        row("unknown destination", {"--logto", "paper"}, run, false, -1, -1, 1);
        row("destination missing", {"--ui", "--logto"}, run, true, -1, -1, 1);
        row("unknown option", {"--ui-less", "--ui"}, run, true, -1, -1, 1);
        row("stray argument", {"report.xml"}, run, false, -1, -1, 1);
        row("help before all", {"--ui", "--help"}, CommandLine::Action::ShowHelp, true, -1, -1, 0);
        row("version", {"--version"}, CommandLine::Action::ShowVersion, false, -1, -1, 0);
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(CommandLine::Action, action);
        QFETCH(bool, ui);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, warnings);
        const CommandLine commandLine(QStringList({"labelprinter"}) + args);
        QCOMPARE(commandLine.action(), action);
        QCOMPARE(commandLine.showUi(), ui);
        QCOMPARE(commandLine.windowWidth().value_or(-1), width);
        QCOMPARE(commandLine.windowHeight().value_or(-1), height);
        QVERIFY2(commandLine.warnings().size() == warnings, qPrintable(commandLine.warnings().join(" | ")));
    }

    // --help and --version answer in one branch, before anything is set up: no display even with --ui,
    // and no data root.
    void versionBeforeSetUp()
    {
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), dir.path());
        env.insert(QStringLiteral("HOME"), dir.path());
        for (const char* display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(display));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(TestSupport::programPath(), {"--ui", "--version"});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
                 QStringLiteral("labelprinter %1\n").arg(LABELPRINTER_VERSION));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // A second program on the same data root would print every label again: it leaves naming the
    // holder. Once the holder was killed, its stale lock does not keep the next start out.
    void secondProgramIsRefusedUntilTheFirstIsGone()
    {
        TestSupport::IsolatedDataRoot root;
        const QString lockFile = root.dataRoot() + QStringLiteral("/labelprinter.lock");
        TestSupport::ProgramProcess first(root);
        first.start();
        QTRY_VERIFY_WITH_TIMEOUT(first.log().contains(QStringLiteral("Holding the data root")), 20000);

        QProcess second;
        second.setProcessEnvironment(root.environment());
        second.start(TestSupport::programPath(), {QStringLiteral("--logto"), QStringLiteral("disk")});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), ApplicationSetup::kExitDataRootInUse);
        QVERIFY2(second.readAllStandardError().contains(QByteArray::number(first.pid())),
                 "the refusal names the holder's process");
        QVERIFY2(!first.log().contains(QStringLiteral("Another label printer")),
                 "the refused program leaves the holder's log alone");

        QCOMPARE(first.stop(SIGKILL), -1);
        QVERIFY(QFile::exists(lockFile));
        TestSupport::ProgramProcess third(root);
        third.start();
        QTRY_VERIFY_WITH_TIMEOUT(third.log().contains(QStringLiteral("Holding the data root")), 20000);
        QCOMPARE(third.stop(), 0);
        QVERIFY2(!QFile::exists(lockFile), "a clean stop leaves no lock behind");
    }
};

QTEST_MAIN(TestProgramStart)
#include "tst_programstart.moc"
