// The whole station against the stand-in console: the real program from a fresh data root to label
// files, the printed-reports log and the watermark, also while its settings cannot be written. The
// failures a station meets, in-process: tst_edges.

#include "barcodedecode.h"
#include "printing/fileprinter.h"
#include "readonlyfolder.h"
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
        // A fresh station: the demo layout, output into the test's folder, no jobs, no watermark.
        QVERIFY(TestSupport::installStationLayout());
        s->setValue(FilePrinter::kFolderKey, m_labels, true);
        s->setValue("ReportView/reportLogPath", m_csv, true);
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
        program.start(QString(), 40); // paced: the stop must come before the backlog is through
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
        QCOMPARE(program.stop(), 0);
        program.start(QString(), 40);
        addBacklog(torn + 1);
        QTRY_VERIFY_WITH_TIMEOUT(labelFiles(m_labels).size() >= printed + backlog + 20, 60000);
        QCOMPARE(program.stop(SIGKILL), -1);
        QVERIFY(labelFiles(m_labels).size() < printed + 2 * backlog - 2);
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
    }

    // The settings folder read-only while reports 3 to 5 arrive: the station says the settings cannot
    // be saved, and once the folder is writable again it prints every report once, without a restart.
    void settingsReadOnlyForAPoll()
    {
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        const QString labels = m_root->path() + "/labels-readonly";
        const QString csv = m_root->path() + "/PrintedReports-readonly.csv";
        QVERIFY(TestSupport::prepareStation(server.port(), labels, csv, FilePrinter::kName));
        const auto add = [&](int from, int to) {
            for (int n = from; n <= to; ++n)
                QCOMPARE(server.addReport(sampleReportVariant("Apple", n), true), n);
        };
        add(1, 2);
        TestSupport::ProgramProcess program(*m_root);
        program.start();
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(labels).size(), 2, 40000);

        // The program's log stays open for writing; the settings file beside it cannot be replaced.
        TestSupport::ReadOnlyFolder folder(SystemPaths::instance().globalHomeDir);
        QString why;
        if (!folder.makeReadOnly(&why)) {
            program.stop();
            QSKIP(qPrintable("the settings folder cannot be made read-only here: " + why));
        }
        add(3, 5);
        QTRY_VERIFY_WITH_TIMEOUT(program.log().contains("MC Connection: \"Settings cannot be saved\""),
                                 30000);
        QVERIFY(program.log().contains("Read-only file system"));
        folder.makeWritable();
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(labels).size(), 5, 40000);
        add(6, 7);
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(labels).size(), 7, 40000);
        const QString log = program.log();
        QVERIFY(log.mid(log.lastIndexOf("MC Connection:")).startsWith("MC Connection: \"Connected\""));
        QCOMPARE(program.stop(), 0);
        QCOMPARE(storedWatermark(), 7);
        for (int n = 1; n <= 7; ++n) {
            QCOMPARE(TestSupport::labelsOf(labels, n), 1);
            QCOMPARE(TestSupport::linesOf(csv, n), 1);
        }
    }

    // The program dies right after the log lines of handed-over labels were written, before their
    // spool entries were archived: after the next start every report still has exactly one label
    // file and one log line.
    void crashAfterTheLogLineRepeatsNothing()
    {
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        const int reports = 30;
        for (int n = 1; n <= reports; ++n)
            QCOMPARE(server.addReport(sampleReportVariant("Nokia", n), true), n);
        const QString labels = m_root->path() + "/crash-labels";
        const QString csv = m_root->path() + "/crash-log.csv";
        QVERIFY(TestSupport::prepareStation(server.port(), labels, csv, FilePrinter::kName));
        TestSupport::ProgramProcess program(*m_root);
        program.start("csv-line");
        QVERIFY(program.waitForExit(60000));
        QVERIFY(!labelFiles(labels).isEmpty());
        QVERIFY(readAll(csv).contains("All phones"));
        program.start();
        QTRY_COMPARE_WITH_TIMEOUT(labelFiles(labels).size(), reports, 60000);
        const QString spool = m_root->dataRoot() + "/spool";
        QTRY_COMPARE_WITH_TIMEOUT(QDir(spool).entryList({"*.entry"}, QDir::Files).size(), 0, 10000);
        QCOMPARE(program.stop(), 0);
        for (int n = 1; n <= reports; ++n) {
            QCOMPARE(TestSupport::labelsOf(labels, n), 1);
            QCOMPARE(TestSupport::linesOf(csv, n), 1);
        }
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
