// The print spool and the driver around it: staged entries, crash recovery, torn files, waiting and
// failed labels, pause across a restart, reprints, and the order of hand-offs to a printer.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/fileprinter.h"
#include "printing/labeljob.h"
#include "printing/printhandler.h"
#include "printing/printspool.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace {

SpoolEntry entryFor(int n, const QString& job = QStringLiteral("apple"))
{
    SpoolEntry e;
    e.jobId = job;
    e.jobName = "Apple phones";
    e.layout = "Station label";
    e.printer = FilePrinter::kName;
    e.reportUuid = TestSupport::variantDocumentId(n);
    e.report = TestSupport::sampleReportVariant("Apple", n);
    e.rangeFrom = 0;
    e.rangeTo = 10;
    return e;
}

QStringList uuids(const QList<SpoolEntry>& entries)
{
    QStringList list;
    for (const SpoolEntry& e : entries)
        list << e.reportUuid;
    return list;
}

int csvLines(const QString& path)
{
    return TestSupport::readAll(path).count('\n');
}

QStringList decoded(const QString& pdf)
{
    return TestSupport::decodeBarcodes(TestSupport::rasterisePdf(pdf, 300));
}

} // namespace

class TestPrintSpool : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QString m_labels;
    QString m_csv;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        m_labels = m_root->path() + "/labels";
        m_csv = m_root->path() + "/log.csv";
        QVERIFY(TestSupport::preparePrinting(m_labels, m_csv));
    }

    // Staged entries are invisible until committed; at start-up a staged entry is kept only when
    // the stored watermark has passed its range, and a torn file is moved aside.
    void stagingAndRecovery()
    {
        QTemporaryDir dir;
        QStringList staged;
        {
            PrintSpool spool(dir.path());
            for (int n : {1, 2, 3}) {
                SpoolEntry e = entryFor(n, n == 3 ? "other" : "apple");
                QVERIFY(spool.stage(&e));
                staged << e.id;
            }
            QCOMPARE(spool.pendingCount(), 0);
            spool.commitStaged({staged.at(0)});
            QCOMPARE(uuids(spool.pending()), QStringList{TestSupport::variantDocumentId(1)});
        }
        // A new start, as after a crash: "apple" passed its range (watermark 10), "other" did not.
        PrintSpool spool(dir.path());
        spool.recoverStaged([](const SpoolEntry& e) { return e.jobId == "apple"; });
        QCOMPARE(uuids(spool.pending()),
                 (QStringList{TestSupport::variantDocumentId(1), TestSupport::variantDocumentId(2)}));
        QVERIFY(QDir(dir.path()).entryList({"*.staged"}, QDir::Files).isEmpty());

        // A file cut short on disk is moved aside when read; the others stay.
        const QString torn = dir.path() + "/" + staged.at(1) + ".entry";
        QFile file(torn);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() / 2));
        file.close();
        PrintSpool again(dir.path());
        QCOMPARE(again.pendingCount(), 1);
        QCOMPARE(QDir(dir.path() + "/damaged").entryList(QDir::Files).size(), 1);

        SpoolEntry claimed;
        QVERIFY(again.claimNext([](const SpoolEntry&) { return true; }, &claimed));
        QVERIFY(!again.claimNext([](const SpoolEntry&) { return true; }, &claimed)); // held once
        QString error;
        QVERIFY(again.readReport(&claimed, &error));
        QCOMPARE(claimed.report, TestSupport::sampleReportVariant("Apple", 1));
    }

    // The printer of a job is missing: its labels wait (a note says how many), nothing is logged;
    // once it is back they print once each, in order, and the log follows the hand-off.
    void missingPrinterWaitsThenPrintsInOrder()
    {
        QTemporaryDir dir;
        PrintSpool spool(dir.path());
        QDir(m_labels).removeRecursively();
        // A file where the label folder should be: the built-in printer cannot write.
        QFile blocker(m_labels);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        PrintHandler handler(nullptr, &spool);
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        QSignalSpy written(&handler, &PrintHandler::labelFileWritten);
        const int lines = csvLines(m_csv);
        for (int n = 1; n <= 4; ++n) {
            SpoolEntry e = entryFor(n);
            QVERIFY(spool.add(&e));
        }
        QTRY_VERIFY(handler.spoolState().contains("labels waiting for PDF files"));
        QCOMPARE(notes.count(), 1);
        QVERIFY(notes.last().at(1).toString().contains("4 labels wait"));
        QCOMPARE(spool.pendingCount(), 4);
        QCOMPARE(csvLines(m_csv), lines);

        QVERIFY(QFile::remove(m_labels));
        handler.retryWaiting();
        QTRY_COMPARE_WITH_TIMEOUT(spool.pendingCount(), 0, 30000);
        QCOMPARE(written.count(), 4);
        for (int n = 1; n <= 4; ++n) {
            const QString pdf = written.at(n - 1).at(0).toString();
            QVERIFY2(pdf.contains(TestSupport::variantDocumentId(n)), qPrintable(pdf));
            QVERIFY(!pdf.endsWith(".part"));
        }
        QCOMPARE(TestSupport::labelFiles(m_labels).size(), 4);
        QCOMPARE(csvLines(m_csv), lines + 4 + (lines == 0 ? 1 : 0));
        QCOMPARE(spool.history().size(), 4);
    }

    // A missing layout moves the label to the failed list, and a discarded one is gone for good.
    // Retry after the fix: tst_endtoend's failuresAreShownAndRecovered.
    void failedLabelDiscarded()
    {
        QTemporaryDir dir;
        PrintSpool spool(dir.path());
        PrintHandler handler(nullptr, &spool);
        SpoolEntry e = entryFor(5);
        e.layout = "Not yet made";
        QVERIFY(spool.add(&e));
        QTRY_COMPARE(handler.failedLabels(), 1);
        QVERIFY(spool.failed().first().reason.contains("Not yet made"));
        QVERIFY(handler.discardEntry(e.id));
        QCOMPARE(spool.failed().size(), 0);
        QCOMPARE(spool.pendingCount(), 0);
        QCOMPARE(PrintSpool(dir.path()).failed().size(), 0); // gone from disk too
    }

    // Paused printing stays paused across a restart; resuming prints what arrived meanwhile.
    void pauseSurvivesRestart()
    {
        QTemporaryDir dir;
        PrintSpool spool(dir.path());
        {
            PrintHandler handler(nullptr, &spool);
            handler.setPaused(true);
        }
        PrintHandler handler(nullptr, &spool);
        QVERIFY(handler.paused());
        SpoolEntry e = entryFor(7);
        QVERIFY(spool.add(&e));
        QTest::qWait(500);
        QCOMPARE(spool.pendingCount(), 1);
        QVERIFY(handler.spoolState().contains("Printing paused"));
        handler.setPaused(false);
        QTRY_COMPARE_WITH_TIMEOUT(spool.pendingCount(), 0, 20000);
    }

    // A reprint uses the archived report: a second label identical to the first, and a log line.
    // A label missing an object still prints but is flagged and the user is told.
    void reprintAndLabelsWithGaps()
    {
        QTemporaryDir dir;
        PrintSpool spool(dir.path());
        PrintHandler handler(nullptr, &spool);
        QSignalSpy written(&handler, &PrintHandler::labelFileWritten);
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        SpoolEntry e = entryFor(8);
        QVERIFY(spool.add(&e));
        QTRY_COMPARE_WITH_TIMEOUT(written.count(), 1, 20000);
        const int lines = csvLines(m_csv);
        // The row of the printed label, ticked in the Report Log, names what to print again.
        ReportListModel* log = ReportListModel::instance();
        const QModelIndex row = log->index(log->rowCount() - 1);
        QVERIFY(log->setData(row, true, ReportListModel::SelectedRole));
        QCOMPARE(log->selectedArchiveIds(), QStringList{e.id});
        QCOMPARE(handler.reprint(log->selectedArchiveIds()), 1);
        log->clearSelection();
        QTRY_COMPARE_WITH_TIMEOUT(written.count(), 2, 20000);
        QCOMPARE(csvLines(m_csv), lines + 1);
        const QString first = written.at(0).at(0).toString();
        const QString second = written.at(1).at(0).toString();
        QVERIFY(first != second);
        QCOMPARE(decoded(second), decoded(first));
        QVERIFY(decoded(first).contains(TestSupport::variantImei(8)));
        QCOMPARE(handler.reprint({"no-such-entry"}), 0);

        // A report without IMEI or serial under a layout whose barcodes need them.
        QByteArray report = TestSupport::sampleReportVariant("Apple", 9);
        report.replace("<entry name=\"imei\"", "<entry name=\"nothing\"");
        report.replace("<entry name=\"serial\"", "<entry name=\"nothing\"");
        SpoolEntry gap = entryFor(9);
        gap.report = report;
        QVERIFY(spool.add(&gap));
        QTRY_COMPARE_WITH_TIMEOUT(written.count(), 3, 20000);
        QVERIFY(!notes.isEmpty());
        const QString text = notes.last().at(1).toString();
        QVERIFY2(text.contains("BarCode.qml") && text.contains(TestSupport::variantDocumentId(9)),
                 qPrintable(text));
        QVERIFY(
            !log->data(log->index(log->rowCount() - 1), ReportListModel::AttentionRole).toString().isEmpty());
    }

    // Labels rendered at once by several workers reach a platform printer in ticket order, even
    // when a later one is ready first or an earlier one ends without printing.
    void handOffKeepsSpoolOrder()
    {
        HandOffGate gate;
        QList<quint64> order;
        QMutex lock;
        for (int i = 0; i < 6; ++i)
            gate.nextTicket("Label printer");
        QCOMPARE(gate.nextTicket("Other printer"), quint64(0)); // each printer has its own line
        std::vector<std::unique_ptr<QThread>> threads;
        for (quint64 ticket : {5, 3, 1, 4, 2}) {
            threads.emplace_back(QThread::create([&, ticket] {
                gate.waitForTurn("Label printer", ticket);
                QMutexLocker locker(&lock);
                order << ticket;
                locker.unlock();
                gate.pass("Label printer", ticket);
            }));
            threads.back()->start();
        }
        QTest::qWait(100);
        QVERIFY(order.isEmpty());      // all wait for ticket 0
        gate.pass("Label printer", 0); // ended without printing (a layout that failed, say)
        for (auto& thread : threads)
            QVERIFY(thread->wait(5000));
        QCOMPARE(order, (QList<quint64>{1, 2, 3, 4, 5}));
    }
};

QTEST_MAIN(TestPrintSpool)
#include "tst_printspool.moc"
