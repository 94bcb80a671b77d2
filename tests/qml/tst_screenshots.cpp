// The real window under a virtual X server: it comes up against the stand-in console, connects,
// prints, and every view saved by scripts/screenshots.sh shows something at the size asked for.

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestScreenshots : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
            QSKIP("xvfb-run is not installed (package xvfb)");
    }

    void windowComesUpAndEveryViewIsDrawn()
    {
        QTemporaryDir out;
        QProcess script;
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start(QStringLiteral(SCREENSHOTS_SCRIPT), {out.path()});
        QVERIFY2(script.waitForFinished(240000), "the screenshot script did not finish in time");
        const QString output = QString::fromLocal8Bit(script.readAll());
        QVERIFY2(script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("window up, connected")), qPrintable(output));

        const QStringList files =
            QDir(out.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
        // Nine views and states at two sizes, the last with the console gone.
        QCOMPARE(files.size(), 18);
        for (const QString& name : files) {
            const QImage image(QDir(out.path()).filePath(name));
            const QSize expected =
                name.startsWith(QLatin1String("1200x800")) ? QSize(1200, 800) : QSize(1920, 1080);
            QCOMPARE(image.size(), expected);
            // Not blank: a drawn screen has many colours (text edges, header, cards), and the
            // dark header at the top.
            QSet<QRgb> colours;
            for (int y = 0; y < image.height(); y += 3) {
                for (int x = 0; x < image.width(); x += 3)
                    colours.insert(image.pixel(x, y));
            }
            QVERIFY2(colours.size() > 50,
                     qPrintable(QStringLiteral("%1: %2 colours").arg(name).arg(colours.size())));
            QVERIFY2(qGray(image.pixel(image.width() / 2, 8)) < 80, qPrintable(name + ": no header"));
        }
    }

    void editorPicturesFromTheSameBuild()
    {
        QTemporaryDir out;
        // The pictures of this build, wherever it is.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BUILD_DIR"), QStringLiteral(BUILD_FOLDER));

        QProcess script;
        script.setProcessEnvironment(environment);
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start(QStringLiteral(SOURCE_FOLDER "/scripts/editor-screenshots.sh"), {out.path()});
        QVERIFY2(script.waitForFinished(240000), "the editor screenshot script did not finish in time");
        const QString output = QString::fromLocal8Bit(script.readAll());
        QVERIFY2(script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0, qPrintable(output));
        const QStringList files =
            QDir(out.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 5, qPrintable(output));
        for (const QString& name : files)
            QVERIFY2(!QImage(QDir(out.path()).filePath(name)).isNull(), qPrintable(name));
    }
};

QTEST_GUILESS_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
