// The program's command line (the options, the older "width=N" forms, what is ignored and why),
// --help and --version of the real program, and the icon the window shows the desktop.

#include "app/applicationsetup.h"
#include "app/commandline.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(CommandLine::Action)

namespace {

struct ProgramOutput
{
    int exitCode = -1;
    QByteArray out;
};

ProgramOutput runToEnd(const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(TestSupport::programPath(), args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput()};
}

} // namespace

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
        using A = CommandLine::Action;
        QTest::newRow("service") << QStringList() << A::Run << false << -1 << -1 << 0;
        QTest::newRow("window with size")
            << QStringList({"--ui", "width=1500", "height=900"}) << A::Run << true << 1500 << 900 << 0;
        QTest::newRow("fullscreen drops the size")
            << QStringList({"width=1500", "--fullscreen", "height=900"}) << A::Run << false << -1 << -1 << 0;
        QTest::newRow("text up to a second =")
            << QStringList({"widthPx=640=2", "height=0"}) << A::Run << false << 640 << 0 << 0;
        QTest::newRow("later size wins")
            << QStringList({"width=100", "width=200"}) << A::Run << false << 200 << -1 << 0;
        QTest::newRow("size not a number")
            << QStringList({"width=wide", "height=9x"}) << A::Run << false << -1 << -1 << 2;
        QTest::newRow("log destination")
            << QStringList({"--logto", "disk", "width=5"}) << A::Run << false << 5 << -1 << 0;
        QTest::newRow("unknown destination")
            << QStringList({"--logto", "paper"}) << A::Run << false << -1 << -1 << 1;
        QTest::newRow("destination missing")
            << QStringList({"--ui", "--logto"}) << A::Run << true << -1 << -1 << 1;
        QTest::newRow("destination after =")
            << QStringList({"--logto=disk"}) << A::Run << false << -1 << -1 << 1;
        QTest::newRow("unknown option")
            << QStringList({"--ui-less", "--ui"}) << A::Run << true << -1 << -1 << 1;
        QTest::newRow("stray argument") << QStringList({"report.xml"}) << A::Run << false << -1 << -1 << 1;
        QTest::newRow("help before all")
            << QStringList({"--ui", "--help"}) << A::ShowHelp << true << -1 << -1 << 0;
        QTest::newRow("help with Qt's options")
            << QStringList({"--help-all"}) << A::ShowHelp << false << -1 << -1 << 0;
        QTest::newRow("version") << QStringList({"--version"}) << A::ShowVersion << false << -1 << -1 << 0;
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

    // Both answer without a display, even with --ui, and before anything is set up: no data root.
    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("version") << QStringList({"--version"})
                                 << QStringList(
                                        {QStringLiteral("labelprinter %1\n").arg(LABELPRINTER_VERSION)});
        QTest::newRow("help") << QStringList({"--ui", "--help"})
                              << QStringList({"--ui", "--fullscreen", "--logto <console|disk|dual>",
                                              "width=N", "height=N", "--version"});
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), dir.path());
        env.insert(QStringLiteral("HOME"), dir.path());
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));

        const ProgramOutput run = runToEnd(args, env);
        QCOMPARE(run.exitCode, 0);
        for (const QString& text : expected)
            QVERIFY2(run.out.contains(text.toUtf8()), run.out.constData());
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // Ignored arguments are named in the log, so a typo in a service's command line shows up there.
    void ignoredArgumentIsLogged()
    {
        TestSupport::IsolatedDataRoot root;
        QProcess p;
        p.setProcessEnvironment(root.environment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(TestSupport::programPath(), {"--logto", "console", "--fulscreen"});
        QVERIFY(p.waitForStarted());
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += p.readAll()).contains("Starting"), 15000);
        p.terminate();
        QVERIFY(p.waitForFinished(20000));
        out += p.readAll();
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(out.contains("Command line: Unknown option 'fulscreen'."), out.constData());
    }

    // The desktop entry's icon is drawn from this picture; it must load and draw at desktop sizes.
    void windowIcon()
    {
        ApplicationSetup::applyIdentity();
        const QIcon icon = QGuiApplication::windowIcon();
        for (int size : {16, 48, 256}) {
            const QImage image = icon.pixmap(size, size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            QVERIFY(image.pixelColor(size / 2, size / 2).alpha() > 0);
        }
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("labelprinter"));
    }
};

QTEST_MAIN(TestProgramStart)
#include "tst_programstart.moc"
