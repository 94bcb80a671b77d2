// Faults of a real print system: a private CUPS server that stops answering while the real program
// prints, and a job that CUPS aborts after it took the label. Skipped without root and CUPS.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/fileprinter.h"
#include "printing/printermonitor.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "standinprocess.h"
#include "stationfixture.h"
#include "testsupport.h"
#include "zplcapture.h"

#include <QApplication>
#include <QTcpServer>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <unistd.h>

namespace {
QTemporaryDir* g_cupsDir = nullptr;
const QString kPdfQueue = QStringLiteral("PdfFaults%1").arg(getpid());
const QString kHeld = QStringLiteral("ZplHeld%1").arg(getpid());
const QString kAborting = QStringLiteral("ZplAborting%1").arg(getpid());
const QString kMakerField = QStringLiteral("korvex_data.korvex_hardware_report.system.manufacturer");

bool lpadmin(const QStringList& arguments)
{
    return QProcess::execute("lpadmin", arguments) == 0;
}

// The report numbers whose IMEI the printer's label graphics carry, in the order they came.
QList<int> printedReports(const ZplCapture& printer, int upTo)
{
    QList<int> reports;
    for (const QImage& label : ZplCapture::decodeGraphics(printer.all())) {
        const QStringList codes = TestSupport::decodeBarcodes(label);
        for (int n = 1; n <= upTo; ++n)
            if (codes.contains(TestSupport::variantImei(n)))
                reports << n;
    }
    return reports;
}
} // namespace

class TestCupsFaults : public QObject
{
    Q_OBJECT
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QProcess m_cups;
    ZplCapture m_printer;
    pid_t m_cupsd = 0;

private slots:
    void initTestCase()
    {
        if (geteuid() != 0 || !QFile::exists("/usr/sbin/cupsd") ||
            !QFile::exists("/usr/lib/cups/backend/cups-pdf"))
            QSKIP("CUPS tests need root, cupsd and the cups-pdf backend; skipped");
        QVERIFY(m_printer.listen());
        const QString zpl = QStringLiteral("%1=%2@203");
        m_cups.setProcessChannelMode(QProcess::MergedChannels);
        m_cups.start("bash",
                     {LABELPRINTER_SOURCE_DIR "/scripts/cups-label-queue.sh", g_cupsDir->path(), kPdfQueue,
                      zpl.arg(kHeld).arg(m_printer.port()), zpl.arg(kAborting).arg(m_printer.port())});
        QByteArray out;
        if (!QTest::qWaitFor([&] { return (out += m_cups.readAll()).contains("ready"); }, 60000))
            QSKIP(qPrintable("CUPS could not be started here: " + QString::fromLocal8Bit(out).trimmed()));
        m_cupsd = pid_t(TestSupport::readAll(g_cupsDir->path() + "/cupsd.pid").trimmed().toInt());
        QVERIFY(m_cupsd > 0);
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
        QVERIFY(TestSupport::installStationLayout());
        PopupNoteProvider::instance()->ready();
    }

    void cleanupTestCase()
    {
        if (m_cupsd > 0)
            ::kill(m_cupsd, SIGCONT);
        if (m_cups.state() == QProcess::Running) {
            m_cups.terminate();
            m_cups.waitForFinished(10000);
        }
        delete m_root;
    }

    // The real program prints one job into label files and one on a ZPL queue. While cupsd is
    // frozen the file labels go on printing and the queue's labels wait in the spool; a stop does
    // not wait for the print system. After it answers again, a new start prints each waiting label
    // once, and nothing is printed twice.
    void frozenPrintSystemHoldsOnlyItsOwnLabels()
    {
        SettingsManager* s = SettingsManager::instance();
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        const QString labels = m_root->path() + "/labels";
        const QString csv = m_root->path() + "/frozen.csv";
        s->setValue(FilePrinter::kFolderKey, labels, true);
        s->setValue("ReportView/reportLogPath", csv, true);
        TestSupport::addJob("files", "Apple phones", true, "Station label", FilePrinter::kName, kMakerField,
                            "==", "Apple");
        TestSupport::addJob("zpl", "Samsung phones", true, "Station label", kHeld, kMakerField,
                            "==", "Samsung");
        // Every report on the console is new to the station.
        s->setValue("MC/lastReportId", 0, true);
        TestSupport::setConsole(server.port());
        const QString makers[] = {"Apple", "Samsung", "Samsung", "Apple", "Samsung", "Apple"};
        const auto add = [&](int n) {
            return server.addReport(TestSupport::sampleReportVariant(makers[n - 1], n), true) == n;
        };
        QVERIFY(add(1) && add(2));
        TestSupport::ProgramProcess program(*m_root);
        program.start();
        QTRY_COMPARE_WITH_TIMEOUT(m_printer.labelCount(), 1, 40000);
        QTRY_COMPARE_WITH_TIMEOUT(TestSupport::labelsOf(labels, 1), 1, 10000);

        QCOMPARE(::kill(m_cupsd, SIGSTOP), 0);
        for (int n = 3; n <= 6; ++n)
            QVERIFY(add(n));
        QTRY_VERIFY_WITH_TIMEOUT(
            TestSupport::labelsOf(labels, 4) == 1 && TestSupport::labelsOf(labels, 6) == 1, 40000);
        const QString spool = m_root->dataRoot() + "/spool";
        QTRY_COMPARE_WITH_TIMEOUT(QDir(spool).entryList({"*.entry"}, QDir::Files).size(), 2, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains(kHeld) && program.log().contains("does not answer"),
                                 20000);
        QElapsedTimer stopping;
        stopping.start();
        const int exitCode = program.stop();
        const qint64 stopMs = stopping.elapsed();
        QCOMPARE(::kill(m_cupsd, SIGCONT), 0);
        QCOMPARE(exitCode, 0);
        QVERIFY2(stopMs < 10000, qPrintable(QStringLiteral("the stop took %1 ms").arg(stopMs)));
        QCOMPARE(TestSupport::linesOf(csv, 3) + TestSupport::linesOf(csv, 5), 0);

        program.start();
        QTRY_COMPARE_WITH_TIMEOUT(m_printer.labelCount(), 3, 40000);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(spool).entryList({"*.entry"}, QDir::Files).size(), 0, 10000);
        QTest::qWait(3000); // settle: a copy printed twice would come within a monitor round
        QCOMPARE(program.stop(), 0);
        QCOMPARE(m_printer.labelCount(), 3);
        QCOMPARE(printedReports(m_printer, 6), (QList<int>{2, 3, 5}));
        for (int n = 1; n <= 6; ++n) {
            const bool onFile = makers[n - 1] == "Apple";
            QCOMPARE(TestSupport::linesOf(csv, n), 1);
            QCOMPARE(TestSupport::labelsOf(labels, n), onFile ? 1 : 0);
        }
    }

    // CUPS takes the label and later aborts the job (its backend cannot reach the printer). The label
    // counted as printed first; then its row says it did not come out, a note names the reason, and
    // it waits again. Once the queue reaches a printer it prints there once.
    void abortedJobBringsItsLabelBack()
    {
        ZplCapture printer;
        QVERIFY(printer.listen());
        QTcpServer unused; // a loopback port nothing listens on, not the printer's
        QVERIFY(unused.listen(QHostAddress::LocalHost));
        const quint16 deadPort = unused.serverPort();
        unused.close();
        // The socket backend gives up after its first retry; CUPS then aborts the job.
        QVERIFY(lpadmin({"-p", kAborting, "-v",
                         QStringLiteral("socket://127.0.0.1:%1/?contimeout=1").arg(deadPort), "-o",
                         "printer-error-policy=abort-job"}));
        SettingsManager::instance()->setValue(PrinterMonitor::kRetryKey, 2, true);
        const QString csv = m_root->path() + "/aborted.csv";
        ReportListModel* log = ReportListModel::instance();
        log->setReportLogPath(csv);
        PrintHandler handler;
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        const int n = 31;
        const int row = log->rowCount();
        handler.printReports("Apple phones", "Station label", kAborting,
                             {QString::fromUtf8(TestSupport::sampleReportVariant("Apple", n))}, n, n);
        // The row comes once the whole record is on the disk: the line, then the archive.
        QTRY_COMPARE_WITH_TIMEOUT(log->rowCount(), row + 1, 30000);
        QCOMPARE(TestSupport::linesOf(csv, n), 1);
        QCOMPARE(handler.pendingReports(), 0);
        QVERIFY(log->data(log->index(row), ReportListModel::AttentionRole).toString().isEmpty());

        const auto abortNoted = [&] {
            return std::any_of(notes.cbegin(), notes.cend(), [](const QVariantList& note) {
                const QString text = note.at(1).toString();
                return text.contains(kAborting) && text.contains("aborted");
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(abortNoted(), 20000);
        QCOMPARE(handler.pendingReports(), 1);
        QVERIFY(
            log->data(log->index(row), ReportListModel::AttentionRole).toString().contains("not printed"));

        QVERIFY(
            lpadmin({"-p", kAborting, "-v", QStringLiteral("socket://127.0.0.1:%1").arg(printer.port())}));
        QTRY_COMPARE_WITH_TIMEOUT(printer.labelCount(), 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(handler.pendingReports(), 0, 10000);
        QTest::qWait(3000); // settle: a second copy would come within a retry round
        QCOMPARE(printer.labelCount(), 1);
        QCOMPARE(printedReports(printer, n), QList<int>{n});
        QCOMPARE(TestSupport::linesOf(csv, n), 2); // one line per hand-off
    }
};

int main(int argc, char* argv[])
{
    // The private server must be known before Qt's print support first asks CUPS; the program
    // started by the test inherits it.
    g_cupsDir = new QTemporaryDir;
    qputenv("CUPS_SERVER", QFile::encodeName(g_cupsDir->path() + "/cups.sock"));
    QApplication app(argc, argv);
    int result = 0;
    {
        TestCupsFaults test;
        result = QTest::qExec(&test, argc, argv);
    }
    delete g_cupsDir;
    return result;
}
#include "tst_cupsfaults.moc"
