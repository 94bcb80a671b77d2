// The whole station against the stand-in console: the real program from a fresh data root to label
// files, the printed-reports log and the watermark, then the failures a station meets, in-process.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/fileprinter.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "standinprocess.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>

namespace {

using TestSupport::labelFiles;
using TestSupport::readAll;
using TestSupport::sampleReportVariant;

// A job printing the station label on the built-in printer, for one manufacturer or for all.
void addJob(const QString& id, const QString& name, bool active, const QString& manufacturer = {})
{
    TestSupport::addJob(id, name, active, "Station label", FilePrinter::kName,
                        manufacturer.isEmpty() ? QString()
                                               : "korvex_data.korvex_hardware_report.system.manufacturer",
                        "==", manufacturer);
}

// The watermark the program stored.
int storedWatermark()
{
    return QSettings(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat)
        .value("MC/lastReportId")
        .toInt();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QString m_labels;
    QString m_csv;

    // A fresh station: the demo layout, output into the test's folder, no jobs, no watermark.
    void prepareStation(const QString& labels, const QString& csv)
    {
        QVERIFY(TestSupport::installStationLayout());
        SettingsManager* s = SettingsManager::instance();
        s->removeKey("jobs", true);
        s->removeKey("MC", true);
        s->setValue(FilePrinter::kFolderKey, labels, true);
        s->setValue("ReportView/reportLogPath", csv, true);
    }

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
        m_labels = m_root->path() + "/labels";
        m_csv = m_root->path() + "/PrintedReports.csv";
    }

    // One program run through a station's life. At the first start the history is not printed; new
    // reports print once per matching active job, with barcodes a scanner reads. A backlog fetched
    // while paused stays in the spool across a restart; printing it is stopped by SIGTERM and later
    // killed with SIGKILL in the middle: after each new start every report has exactly one label file
    // and one CSV line, and no partial file is left. A spool file cut short on disk is moved aside.
    void programPrintsEachReportOnce()
    {
        SettingsManager* s = SettingsManager::instance();
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        // History: one old report, two from the last 27 days; the newest of those becomes the watermark.
        const std::pair<int, int> history[] = {{1, 40}, {2, 10}, {3, 2}}; // report, days ago
        for (auto [n, days] : history) {
            const QString date = QDateTime::currentDateTime().addDays(-days).toString("yyyy-MM-dd hh:mm:ss");
            QCOMPARE(server.addReport(sampleReportVariant(n == 3 ? "Samsung" : "Apple", n), true, date), n);
        }
        prepareStation(m_labels, m_csv);
        addJob("apple", "Apple phones", true, "Apple");
        addJob("samsung", "Samsung phones", true, "Samsung");
        // The backlog has a maker of its own and a small layout, so it prints quickly.
        QVERIFY(TestSupport::writeLayout("Small label", TestSupport::smallLayout("Small label")));
        addJob("backlog", "Backlog phones", true, "Nokia");
        s->setValue("jobs/backlog/layout", "Small label", true);
        TestSupport::setConsole(server.port());
        TestSupport::ProgramProcess program(*m_root);
        program.start();
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("MC Connection: \"Connected\""), 15000);
        // New reports while the station runs: two Apple, one Samsung, one nobody prints, one issue report.
        const char* makers[] = {"Apple", "Samsung", "Google", "Apple", "Apple"};
        for (int n = 4; n <= 8; ++n)
            QCOMPARE(server.addReport(sampleReportVariant(makers[n - 4], n, n == 7), true), n);
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(m_labels).size(), 3, 40000);
        QCOMPARE(program.stop(), 0);
        QCOMPARE(storedWatermark(), 8);
        // Each label carries its report's IMEI (and the serial in a second barcode).
        QStringList jobAndCode;
        for (const QString& f : labelFiles(m_labels))
            for (const QString& code :
                 TestSupport::decodeBarcodes(TestSupport::rasterisePdf(m_labels + "/" + f, 300)))
                jobAndCode << f.section('_', 1, 1) + " " + code;
        for (const QString& expected :
             {"Apple-phones " + TestSupport::variantImei(4), "Apple-phones " + TestSupport::variantImei(8),
              "Samsung-phones " + TestSupport::variantImei(5)})
            QVERIFY2(jobAndCode.contains(expected), qPrintable(jobAndCode.join(", ")));
        QVERIFY(readAll(m_csv).contains(",Apple phones,Station label,PDF files (label archive),"));
        // Paused: a backlog is fetched into the spool and the watermark moves; nothing prints.
        QSettings(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat)
            .setValue("printing/paused", true);
        const int backlog = 120, torn = 8 + backlog, printed = 3; // reports 9 to 8 + 2 * backlog follow
        const auto addBacklog = [&](int from) {
            for (int n = from; n < from + backlog; ++n)
                QCOMPARE(server.addReport(sampleReportVariant("Nokia", n), true), n);
        };
        addBacklog(9);
        const QString spool = m_root->dataRoot() + "/spool";
        const auto spooled = [&] {
            return QDir(spool).entryList({"*.entry"}, QDir::Files, QDir::Name);
        };
        program.start();
        QTRY_COMPARE_WITH_TIMEOUT(spooled().size(), backlog, 40000);
        QCOMPARE(program.stop(), 0);
        QCOMPARE(storedWatermark(), torn);
        QCOMPARE(labelFiles(m_labels).size(), printed);
        // One entry is cut short on disk (the last one, report `torn`); printing resumes and is stopped.
        QFile cut(spool + "/" + spooled().last());
        QVERIFY(cut.open(QIODevice::ReadWrite) && cut.resize(100));
        cut.close();
        QSettings(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat)
            .setValue("printing/paused", false);
        program.start();
        QTRY_VERIFY_WITH_TIMEOUT(labelFiles(m_labels).size() >= printed + 20, 60000);
        QElapsedTimer stopping;
        stopping.start();
        QCOMPARE(program.stop(), 0);
        QVERIFY(stopping.elapsed() < 10000);
        QVERIFY(labelFiles(m_labels).size() < printed + backlog - 1);
        QCOMPARE(QDir(spool + "/damaged").entryList(QDir::Files).size(), 1);
        // The rest prints; a second backlog is killed in the middle of printing, then finished.
        program.start();
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(m_labels).size(), printed + backlog - 1, 90000);
        addBacklog(torn + 1);
        QTRY_VERIFY_WITH_TIMEOUT(labelFiles(m_labels).size() >= printed + backlog + 20, 60000);
        QCOMPARE(program.stop(SIGKILL), -1);
        program.start();
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(m_labels).size(), printed + 2 * backlog - 1, 90000);
        QTRY_COMPARE_WITH_TIMEOUT(spooled().size(), 0, 10000);
        QTest::qWait(1000);
        QCOMPARE(program.stop(), 0);
        // The history, the report nobody prints, the issue report and the torn entry have none.
        for (int n = 1; n <= torn + backlog; ++n) {
            const int expected = (n > 8 && n != torn) || n == 4 || n == 5 || n == 8 ? 1 : 0;
            QCOMPARE(TestSupport::labelsOf(m_labels, n), expected);
            QCOMPARE(TestSupport::linesOf(m_csv, n), expected);
        }
        QCOMPARE(readAll(m_csv).trimmed().count('\n'), printed + 2 * backlog - 1); // and the header
        for (const QFileInfo& f : QDir(m_labels).entryInfoList(QDir::Files))
            QVERIFY2(f.suffix() == "pdf" && f.size() > 0, qPrintable(f.fileName()));
        // The program wrote the settings file; the in-process store reads it again.
        s->removeKey("printing/paused", true);
        s->flush();
    }

    // The same window and services in this process, for the failures. A console that goes away or
    // answers an export with 500: tst_edges' consoleDownAtStartAndHangUp and unusableRepliesAndReports.
    void failuresAreShownAndRecovered()
    {
        QDir(m_labels).removeRecursively();
        QFile::remove(m_csv);
        SettingsManager* s = SettingsManager::instance();
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        prepareStation(m_labels, m_csv);
        addJob("a", "Apple phones", true, "Apple");
        s->setValue("MC/lastReportId", 0, true);
        TestSupport::setConsole(server.port());
        TestSupport::Station station;
        QVERIFY(station.connected());
        QSignalSpy errors(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        QSignalSpy popups(PopupNoteProvider::instance(), &PopupNoteProvider::showPopup);
        PrintHandler* handler = station.handler();
        const auto printNext = [&](int n, int waiting = 0) {
            QCOMPARE(server.addReport(sampleReportVariant("Apple", n), true), n - 10);
            station.pollNow(waiting);
        };
        const auto lastNote = [&] {
            return errors.last().at(2).value<PopupNoteProvider::PopupNoteTypes>();
        };
        printNext(11);
        // A layout that does not exist: the user is told, the label goes to the failed list and
        // nothing is logged as printed.
        s->setValue("jobs/a/layout", "No such layout", true);
        printNext(12);
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.last().at(1).toString().contains("No such layout"));
        QCOMPARE(handler->failedLabels(), 1);
        // No printer at all: the label waits, and the user is told why.
        s->setValue("jobs/a/layout", "Station label", true);
        s->setValue("jobs/a/printer", "", true);
        printNext(13, 1);
        QTRY_COMPARE(errors.count(), 2);
        QCOMPARE(lastNote(), PopupNoteProvider::PrinterNotConfigured);
        // A printer that is not there: the waiting labels (the job's, with its new printer) wait on.
        s->setValue("jobs/a/printer", "Printer that was unplugged", true);
        handler->retryWaiting();
        printNext(14, 2);
        QTRY_COMPARE(errors.count(), 3);
        QCOMPARE(lastNote(), PopupNoteProvider::PrinterRemoved);
        QVERIFY(handler->spoolState().contains("2 labels waiting for Printer that was unplugged"));
        QCOMPARE(readAll(m_csv).count('\n'), 2); // the header and report 11
        QCOMPARE(labelFiles(m_labels).size(), 1);
        // The job gets a working printer: both print, and the failed label prints after Retry.
        s->setValue("jobs/a/printer", FilePrinter::kName, true);
        handler->retryWaiting();
        QTRY_COMPARE_WITH_TIMEOUT(handler->pendingReports(), 0, 30000);
        QVERIFY(handler->retryFailed(handler->spool()->failed().first().id));
        QTRY_COMPARE_WITH_TIMEOUT(handler->pendingReports(), 0, 30000);
        for (int n : {11, 12, 13, 14})
            QCOMPARE(TestSupport::labelsOf(m_labels, n), 1);
        QCOMPARE(readAll(m_csv).count('\n'), 5);
        // An unwritable printed-reports log: the user is told and the label still prints.
        ReportListModel::instance()->setReportLogPath(m_root->path() + "/no/such/folder/log.csv");
        printNext(15);
        QCOMPARE(TestSupport::labelsOf(m_labels, 15), 1);
        QVERIFY(std::any_of(popups.cbegin(), popups.cend(), [](const QVariantList& args) {
            return args.at(0).value<PopupNoteProvider::PopupNoteTypes>() ==
                   PopupNoteProvider::PrintedReportsWritingToLogFailed;
        }));
        ReportListModel::instance()->setReportLogPath(m_csv);
        // The status bar followed the printing.
        QVERIFY(station.viewer().statusBarMessage() != QString("Ready"));
        QVERIFY(station.viewer().waitForWorkers(30000));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
