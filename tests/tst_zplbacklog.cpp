// A backlog printed by the real program on the stand-in ZPL printer and interrupted twice: by a stop
// and by a crash. A ZPL printer cannot say which labels it already printed, so a report may come out
// twice, but only the one being handed over when the program went away; none is lost.

#include "barcodedecode.h"
#include "printing/printermonitor.h"
#include "printing/zplprinters.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "standinprocess.h"
#include "stationfixture.h"
#include "testsupport.h"
#include "zplstandinprocess.h"

#include <QtTest>

#include <csignal>

namespace {

const QString kPrinter = QStringLiteral("Backlog printer");
const int kBacklog = 200;
// Labels that must reach the printer in a run before it is interrupted.
const int kBeforeInterrupt = 20;

int storedWatermark()
{
    return QSettings(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat)
        .value("MC/lastReportId")
        .toInt();
}

QString numbers(const QList<int>& reports)
{
    QStringList list;
    for (int n : reports)
        list << QString::number(n);
    return list.join(", ");
}

} // namespace

class TestZplBacklog : public QObject
{
    Q_OBJECT
    TestSupport::IsolatedDataRoot* m_root = nullptr;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
    }

    void cleanupTestCase() { delete m_root; }

    // 200 new reports for one job on a ZPL printer. The program is stopped (SIGTERM) after some
    // labels, started again, killed (SIGKILL) after some more, and started to finish. Every report
    // reaches the printer, at most one twice per interruption; each CSV line stands for a label that
    // came out, and every report has one.
    void backlogSurvivesStopAndCrash()
    {
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        TestSupport::ZplStandInProcess printer;
        QVERIFY(printer.start());
        SettingsManager* s = SettingsManager::instance();
        ZplPrinterConfig zpl;
        zpl.name = kPrinter;
        zpl.address = QStringLiteral("127.0.0.1:%1").arg(printer.port());
        // Two dots per module for the small layout's Code 128 (one at 203 dpi, which zbarimg misreads
        // for some IMEIs).
        zpl.dotsPerInch = 300;
        QString error;
        QVERIFY2(ZplPrinters::write(s, zpl, kPrinter, &error), qPrintable(error));
        // A printer that was slow to answer once is tried again soon, not after half a minute.
        s->setValue(PrinterMonitor::kRetryKey, 1, true);
        const QString csv = m_root->path() + "/PrintedReports.csv";
        QVERIFY(TestSupport::prepareStation(server.port(), m_root->path() + "/labels", csv, kPrinter));
        // Each report a variant of its own, so the IMEI on a label names it.
        for (int n = 1; n <= kBacklog; ++n)
            QCOMPARE(server.addReport(TestSupport::sampleReportVariant("Nokia", n), true), n);

        // Like a real one, the printer takes formats into its buffer and prints them later: a label
        // is handed over once its format was received, and counted here from then on.
        const auto received = [&] {
            return printer.state().value("formats").toInt();
        };
        const QString spool = m_root->dataRoot() + "/spool";
        const auto waiting = [&] {
            return QDir(spool).entryList({"*.entry", "*.staged"}, QDir::Files).size();
        };
        TestSupport::ProgramProcess program(*m_root);
        program.start();
        QTRY_VERIFY_WITH_TIMEOUT(received() >= kBeforeInterrupt, 40000);
        QElapsedTimer stopping;
        stopping.start();
        QCOMPARE(program.stop(SIGTERM), 0);
        QVERIFY2(stopping.elapsed() < 10000,
                 qPrintable(QStringLiteral("the stop took %1 ms").arg(stopping.elapsed())));
        QVERIFY2(waiting() > 0, "the stop came after the backlog was handed over");
        const int afterStop = received();

        program.start();
        QTRY_VERIFY_WITH_TIMEOUT(received() >= afterStop + kBeforeInterrupt, 40000);
        QCOMPARE(program.stop(SIGKILL), -1);
        QVERIFY2(waiting() > 0, "the crash came after the backlog was handed over");

        program.start();
        QTRY_VERIFY_WITH_TIMEOUT(storedWatermark() == kBacklog && waiting() == 0, 60000);
        QCOMPARE(program.stop(), 0);
        // The printer prints what it took, and nothing it took is lost.
        QTRY_COMPARE_WITH_TIMEOUT(printer.state().value("labelsRemaining").toInt(), 0, 30000);
        const QJsonObject state = printer.state();
        QCOMPARE(state.value("printed").toInt(), state.value("formats").toInt());

        // Every label scans as one of the reports' IMEIs.
        QHash<QString, int> reportOf;
        for (int n = 1; n <= kBacklog; ++n)
            reportOf.insert(TestSupport::variantImei(n), n);
        QVector<int> copies(kBacklog + 1, 0);
        for (const QJsonValue& label : printer.labels()) {
            const QString file = label.toObject().value("file").toString();
            const QStringList codes = TestSupport::decodeBarcodes(QImage(file));
            QVERIFY2(codes.size() == 1 && reportOf.contains(codes.first()),
                     qPrintable(file + ": " + codes.join(", ")));
            ++copies[reportOf.value(codes.first())];
        }
        QList<int> missing, twice;
        for (int n = 1; n <= kBacklog; ++n) {
            QVERIFY2(copies[n] <= 2,
                     qPrintable(QStringLiteral("report %1 printed %2 times").arg(n).arg(copies[n])));
            if (copies[n] == 0)
                missing << n;
            else if (copies[n] == 2)
                twice << n;
        }
        QVERIFY2(missing.isEmpty(), qPrintable("never printed: " + numbers(missing)));
        // At most the label being handed over at each of the two interruptions.
        QVERIFY2(twice.size() <= 2, qPrintable("printed twice: " + numbers(twice)));
        if (!twice.isEmpty())
            qInfo() << "Printed twice:" << numbers(twice);

        // A line is written after each hand-off and the entry leaves the spool after its line, so a
        // crash in between prints the report again with a second line; a crash before the line
        // prints it twice with one line.
        int lines = 0;
        for (int n = 1; n <= kBacklog; ++n) {
            const int ofReport = TestSupport::linesOf(csv, n);
            QVERIFY2(
                ofReport >= 1 && ofReport <= copies[n],
                qPrintable(
                    QStringLiteral("report %1: %2 lines, %3 labels").arg(n).arg(ofReport).arg(copies[n])));
            lines += ofReport;
        }
        QCOMPARE(TestSupport::readAll(csv).trimmed().count('\n'), lines); // and the header
    }
};

QTEST_MAIN(TestZplBacklog)
#include "tst_zplbacklog.moc"
