// The print spool and the driver around it: staged entries, crash recovery, waiting and failed
// labels, pause across a restart, reprints, and the order of hand-offs to a printer.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/fileprinter.h"
#include "printing/labeljob.h"
#include "printing/printhandler.h"
#include "printing/printspool.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace {

using TestSupport::variantDocumentId;

SpoolEntry entryFor(int n, const QString& job = QStringLiteral("apple"))
{
    SpoolEntry e;
    e.jobId = job;
    e.jobName = "Apple phones";
    e.layout = "Station label";
    e.printer = FilePrinter::kName;
    e.reportUuid = variantDocumentId(n);
    e.report = TestSupport::sampleReportVariant("Apple", n);
    return e;
}

QStringList uuids(const QList<SpoolEntry>& entries)
{
    QStringList list;
    for (const SpoolEntry& e : entries)
        list << e.reportUuid;
    return list;
}

QStringList decoded(const QString& pdf)
{
    return TestSupport::decodeBarcodes(TestSupport::rasterisePdf(pdf, 300));
}

// A spool in its own folder and the driver printing from it.
struct Printing
{
    QTemporaryDir dir;
    PrintSpool spool{dir.path()};
    PrintHandler handler{nullptr, &spool};
    QSignalSpy written{&handler, &PrintHandler::labelFileWritten};
    QSignalSpy notes{PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText};

    QString add(SpoolEntry e) { return spool.add(&e) ? e.id : QString(); }
};

} // namespace

class TestPrintSpool : public QObject
{
    Q_OBJECT
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QString m_labels;
    QString m_csv;
    int csvLines() const { return TestSupport::readAll(m_csv).count('\n'); }

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        m_labels = m_root->path() + "/labels";
        m_csv = m_root->path() + "/log.csv";
        QVERIFY(TestSupport::preparePrinting(m_labels, m_csv));
    }

    // Staged entries are invisible until committed; at start-up a staged entry is kept only when
    // the stored watermark has passed its range. A torn file: tst_endtoend.
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
            QCOMPARE(uuids(spool.pending()), QStringList{variantDocumentId(1)});
        }
        // A new start, as after a crash: "apple" passed its range, "other" did not.
        PrintSpool spool(dir.path());
        spool.recoverStaged([](const SpoolEntry& e) { return e.jobId == "apple"; });
        QCOMPARE(uuids(spool.pending()), (QStringList{variantDocumentId(1), variantDocumentId(2)}));
        QVERIFY(QDir(dir.path()).entryList({"*.staged"}, QDir::Files).isEmpty());
        // Each entry is handed out once.
        const auto any = [](const SpoolEntry&) {
            return true;
        };
        SpoolEntry first, second;
        QVERIFY(spool.claimNext(any, &first) && spool.claimNext(any, &second));
        QVERIFY(!spool.claimNext(any, &second));
        QString error;
        QVERIFY(spool.readReport(&first, &error));
        QCOMPARE(first.report, TestSupport::sampleReportVariant("Apple", 1));
    }

    // Labels whose printer is missing wait (a note says how many) unlogged, then print once each, in
    // order. A reprint repeats the archived label with a log line. A label missing an object prints
    // flagged, and the user is told. A missing layout fails the label (Retry: tst_edges); a discarded
    // one is gone. Paused printing stays paused across a restart; resuming prints what arrived.
    void waitingReprintFailedAndPaused()
    {
        QDir(m_labels).removeRecursively();
        // A file where the label folder should be: the built-in printer cannot write.
        QFile blocker(m_labels);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Printing p;
        int lines = csvLines();
        QString id;
        for (int n = 1; n <= 4; ++n)
            QVERIFY(!(id = p.add(entryFor(n))).isEmpty());
        QTRY_VERIFY(p.handler.spoolState().contains("labels waiting for PDF files"));
        QCOMPARE(p.notes.count(), 1);
        QVERIFY(p.notes.last().at(1).toString().contains("4 labels wait"));
        QCOMPARE(p.spool.pendingCount(), 4);
        QCOMPARE(csvLines(), lines);
        QVERIFY(QFile::remove(m_labels));
        p.handler.retryWaiting();
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 30000);
        QCOMPARE(p.written.count(), 4);
        for (int n = 1; n <= 4; ++n) {
            const QString pdf = p.written.at(n - 1).at(0).toString();
            QVERIFY2(pdf.contains(variantDocumentId(n)) && !pdf.endsWith(".part"), qPrintable(pdf));
        }
        QCOMPARE(TestSupport::labelFiles(m_labels).size(), 4);
        QCOMPARE(csvLines(), lines + 4 + (lines == 0 ? 1 : 0));
        QCOMPARE(p.spool.history().size(), 4);
        // The row of the last label, ticked in the Report Log, names what to print again.
        lines = csvLines();
        ReportListModel* log = ReportListModel::instance();
        QVERIFY(log->setData(log->index(log->rowCount() - 1), true, ReportListModel::SelectedRole));
        QCOMPARE(log->selectedArchiveIds(), QStringList{id});
        QCOMPARE(p.handler.reprint(log->selectedArchiveIds()), 1);
        log->clearSelection();
        QTRY_COMPARE_WITH_TIMEOUT(p.written.count(), 5, 20000);
        QCOMPARE(csvLines(), lines + 1);
        const QString first = p.written.at(3).at(0).toString();
        const QString second = p.written.at(4).at(0).toString();
        QVERIFY(first != second);
        QCOMPARE(decoded(second), decoded(first));
        QVERIFY(decoded(first).contains(TestSupport::variantImei(4)));
        QCOMPARE(p.handler.reprint({"no-such-entry"}), 0);
        // A report without IMEI or serial under a layout whose barcodes need them.
        SpoolEntry gap = entryFor(9);
        gap.report.replace("<entry name=\"imei\"", "<entry name=\"nothing\"");
        gap.report.replace("<entry name=\"serial\"", "<entry name=\"nothing\"");
        QVERIFY(!p.add(gap).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(p.written.count(), 6, 20000);
        QVERIFY(!p.notes.isEmpty());
        const QString text = p.notes.last().at(1).toString();
        QVERIFY2(text.contains("BarCode.qml") && text.contains(variantDocumentId(9)), qPrintable(text));
        QVERIFY(
            !log->data(log->index(log->rowCount() - 1), ReportListModel::AttentionRole).toString().isEmpty());
        // A layout that is not there.
        SpoolEntry e = entryFor(5);
        e.layout = "Not yet made";
        const QString failed = p.add(e);
        QTRY_COMPARE(p.handler.failedLabels(), 1);
        QVERIFY(p.spool.failed().first().reason.contains("Not yet made"));
        QVERIFY(p.handler.discardEntry(failed));
        QCOMPARE(PrintSpool(p.dir.path()).failed().size(), 0); // gone from disk too
        QCOMPARE(p.spool.failed().size() + p.spool.pendingCount(), 0);
        // Paused, and a new start of the driver on the same spool.
        p.handler.setPaused(true);
        PrintHandler restarted(nullptr, &p.spool);
        QVERIFY(restarted.paused());
        QVERIFY(!p.add(entryFor(7)).isEmpty());
        QTest::qWait(500);
        QCOMPARE(p.spool.pendingCount(), 1);
        restarted.setPaused(false);
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 20000);
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
