// The print spool and the driver around it: staged entries, crash recovery, resumed labels, waiting
// and failed labels, pause across a restart, reprints and the archive, a full disk, and the order of
// labels in the log and at a printer.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/crashpoint.h"
#include "printing/fileprinter.h"
#include "printing/labeljob.h"
#include "printing/layoutmanager.h"
#include "printing/printermonitor.h"
#include "printing/printhandler.h"
#include "printing/printnotes.h"
#include "printing/printspool.h"
#include "printing/reportlistmodel.h"
#include "printing/spoollistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QScopeGuard>
#include <QtTest>

#include <memory>
#include <vector>

#include <sys/mount.h>
#include <unistd.h>

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

// A spool in its own folder (or in `folder`) and the driver printing from it.
struct Printing
{
    explicit Printing(const QString& folder = QString()) : spool(folder.isEmpty() ? dir.path() : folder) {}
    QTemporaryDir dir;
    PrintSpool spool;
    PrintHandler handler{nullptr, &spool};
    QSignalSpy written{&handler, &PrintHandler::labelFileWritten};
    QSignalSpy notes{PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText};

    QString add(SpoolEntry e) { return spool.add(&e) ? e.id : QString(); }
};

// A small tmpfs mounted for the test's life; not mounted where the test may not mount.
struct SmallDisk
{
    QTemporaryDir dir;
    bool mounted = false;
    explicit SmallDisk(const char* size)
    {
        mounted = ::geteuid() == 0 && dir.isValid() &&
                  ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0,
                          (QByteArray("size=") + size).constData()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    QString path() const { return dir.path(); }
    // Takes every free byte.
    bool fill()
    {
        QFile filler(path() + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray page(4096, 'x');
        while (filler.write(page) == page.size()) {
        }
        while (filler.write("x", 1) == 1) {
        }
        return true;
    }
    void free() { QFile::remove(path() + "/filler"); }
};

// Label files and the printed-reports log in a case's own folder while it runs, the suite's again
// afterwards, also when the case fails.
struct OwnOutput
{
    OwnOutput(const QString& folder, const QString& suiteLabels, const QString& suiteCsv)
        : labels(folder + "/labels"), csv(folder + "/log.csv"), m_labels(suiteLabels), m_csv(suiteCsv)
    {
        SettingsManager::instance()->setValue(FilePrinter::kFolderKey, labels, true);
        ReportListModel::instance()->setReportLogPath(csv);
    }
    ~OwnOutput()
    {
        ReportListModel::instance()->setReportLogPath(m_csv);
        SettingsManager::instance()->setValue(FilePrinter::kFolderKey, m_labels, true);
    }
    const QString labels;
    const QString csv;

private:
    const QString m_labels;
    const QString m_csv;
};

// The notes of one kind raised so far.
int notesOf(const QSignalSpy& notes, PrintNotes::Kind kind)
{
    return int(std::count_if(notes.cbegin(), notes.cend(), [kind](const QList<QVariant>& note) {
        return note.at(0).value<PrintNotes::Kind>() == kind;
    }));
}

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
        // The first report is long: written in pieces, none is lost, doubled or moved.
        QByteArray first = TestSupport::sampleReportVariant("Apple", 1);
        first.insert(first.lastIndexOf("</report>"),
                     "<notes>" + TestSupport::unrepeatedText(700 * 1024) + "</notes>");
        {
            PrintSpool spool(dir.path());
            for (int n : {1, 2, 3}) {
                SpoolEntry e = entryFor(n, n == 3 ? "other" : "apple");
                if (n == 1)
                    e.report = first;
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
        SpoolEntry claimed, second;
        QVERIFY(spool.claimNext(any, &claimed) && spool.claimNext(any, &second));
        QVERIFY(!spool.claimNext(any, &second));
        QString error;
        QVERIFY(spool.readReport(&claimed, &error));
        QVERIFY(claimed.report == first);
    }

    // A poll's entries are written faster than one a millisecond on a fast disk: each keeps a file
    // of its own, in the order they came.
    void entriesOfOneMillisecondStayApart()
    {
        SmallDisk disk("4m");
        if (!disk.mounted)
            QSKIP("This test mounts a small tmpfs file system, which needs root and a kernel that lets it");
        PrintSpool spool(disk.path());
        QStringList staged, expected;
        for (int n = 1; n <= 100; ++n) {
            SpoolEntry e = entryFor(n);
            e.report = "<report/>";
            QVERIFY(spool.stage(&e));
            staged << e.id;
            expected << e.reportUuid;
        }
        spool.commitStaged(staged);
        QCOMPARE(uuids(PrintSpool(disk.path()).pending()), expected);
    }

    // Labels whose printer cannot take them wait (a note says how many), unlogged; once it can, each
    // prints once, in spool order, with one log line.
    void waitingLabelsPrintOnceInOrder()
    {
        QDir(m_labels).removeRecursively();
        // A file where the label folder should be: the built-in printer cannot write.
        QFile blocker(m_labels);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Printing p;
        const int lines = csvLines();
        for (int n = 1; n <= 4; ++n)
            QVERIFY(!p.add(entryFor(n)).isEmpty());
        QTRY_VERIFY(p.handler.spoolState().contains("labels waiting for PDF files"));
        QCOMPARE(p.notes.count(), 1);
        QVERIFY(p.notes.last().at(1).toString().contains("4 labels wait"));
        QCOMPARE(p.spool.pendingCount(), 4);
        QCOMPARE(csvLines(), lines);
        QVERIFY(QFile::remove(m_labels));
        p.handler.retryWaiting();
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 30000);
        // Told once the round of recording is back on this thread, just after the archive move.
        QTRY_COMPARE(p.written.count(), 4);
        for (int n = 1; n <= 4; ++n) {
            const QString pdf = p.written.at(n - 1).at(0).toString();
            QVERIFY2(pdf.contains(variantDocumentId(n)) && !pdf.endsWith(".part"), qPrintable(pdf));
            QCOMPARE(TestSupport::labelsOf(m_labels, n), 1);
            QCOMPARE(TestSupport::linesOf(m_csv, n), 1);
        }
    }

    // A report without the values a layout's barcodes need prints with a gap: the user is told which
    // object is missing, and its Report Log row says so.
    void labelWithAGapIsFlagged()
    {
        Printing p;
        SpoolEntry gap = entryFor(9);
        gap.report.replace("<entry name=\"imei\"", "<entry name=\"nothing\"");
        gap.report.replace("<entry name=\"serial\"", "<entry name=\"nothing\"");
        QSignalSpy gaps(PopupNoteProvider::instance(), &PopupNoteProvider::showGroupedNote);
        QVERIFY(!p.add(gap).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(p.written.count(), 1, 20000);
        QTRY_COMPARE(p.spool.pendingCount(), 0);
        QCOMPARE(gaps.count(), 1);
        const QString text = gaps.last().at(2).toString();
        QVERIFY2(text.contains("BarCode.qml") && text.contains(variantDocumentId(9)), qPrintable(text));
        ReportListModel* log = ReportListModel::instance();
        QVERIFY(
            !log->data(log->index(log->rowCount() - 1), ReportListModel::AttentionRole).toString().isEmpty());
    }

    // Paused printing stays paused when the driver starts again; resuming prints what arrived.
    void pauseSurvivesARestart()
    {
        Printing p;
        p.handler.setPaused(true);
        PrintHandler restarted(nullptr, &p.spool);
        QVERIFY(restarted.paused());
        QVERIFY(!p.add(entryFor(7)).isEmpty());
        // The spool's change reaches the driver through queued calls and a zero timer.
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(restarted.labelsInFlight(), 0);
        QCOMPARE(p.spool.pendingCount(), 1);
        restarted.setPaused(false);
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 20000);
        QCOMPARE(TestSupport::labelsOf(m_labels, 7), 1);
    }

    // What a crash leaves is settled at the next start: entries handed over and recorded before it
    // are not printed again and get their log line once (written already or not); an entry that was
    // both waiting and failed (a crash inside Retry) waits and prints; a torn file is named in a note
    // once the driver listens and is listed with the failed labels until discarded. A waiting label
    // whose file was completed is finished without writing the file again; one whose file was cut
    // short while it was written is written whole under its own name.
    void startAfterACrash()
    {
        QTemporaryDir dir;
        const OwnOutput out(dir.path(), m_labels, m_csv);
        const QString& labels = out.labels;
        const QString& csv = out.csv;
        QStringList ids, files;
        {
            PrintSpool spool(dir.path());
            for (int n = 1; n <= 6; ++n) {
                SpoolEntry e = entryFor(n);
                QVERIFY(spool.add(&e));
                ids << e.id;
                files << labels + "/" + e.labelBaseName() + ".pdf";
            }
        }
        const auto logLine = [](int n) {
            return QString("Tue Dec 8 10:00:0%1 2026,Apple phones,Station label,%2,%3,\n")
                .arg(n)
                .arg(FilePrinter::kName, variantDocumentId(n))
                .toUtf8();
        };
        QFile index(dir.path() + "/printed/index.jsonl");
        QVERIFY(index.open(QIODevice::WriteOnly));
        for (int n : {1, 2}) {
            const QJsonObject record{{"archiveId", ids.at(n - 1)},
                                     {"printedAt", "2026-12-08T10:00:00.000"},
                                     {"jobId", "apple"},
                                     {"jobName", "Apple phones"},
                                     {"layout", "Station label"},
                                     {"printer", FilePrinter::kName},
                                     {"reportUuid", variantDocumentId(n)},
                                     {"logLine", QString(logLine(n))}};
            index.write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
        }
        index.close();
        QFile log(csv);
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write(QByteArray(ReportListModel::kHeaderLine) + logLine(1));
        log.close();
        QVERIFY(QFile::copy(dir.path() + "/" + ids.at(2) + ".entry",
                            dir.path() + "/failed/" + ids.at(2) + ".entry"));
        // Cut inside the report, past a whole header.
        const QString torn = dir.path() + "/" + ids.at(3) + ".entry";
        QVERIFY(QFile::resize(torn, QFileInfo(torn).size() - 40));
        const QByteArray completed = "%PDF-1.4 written before the crash";
        QVERIFY(QDir().mkpath(labels));
        QFile done(files.at(4));
        QVERIFY(done.open(QIODevice::WriteOnly) && done.write(completed) == completed.size());
        done.close();
        QFile part(files.at(5) + ".part");
        QVERIFY(part.open(QIODevice::WriteOnly) && part.write("%PDF-1.4 cut") > 0);
        part.close();

        QSignalSpy notes(PrintNotes::instance(), &PrintNotes::note);
        PrintSpool spool(dir.path());
        PrintHandler handler(nullptr, &spool);
        QTRY_COMPARE_WITH_TIMEOUT(spool.pendingCount(), 0, 20000);
        for (int n = 1; n <= 6; ++n) {
            QCOMPARE(TestSupport::labelsOf(labels, n), n == 3 || n >= 5 ? 1 : 0);
            QCOMPARE(TestSupport::linesOf(csv, n), n == 4 ? 0 : 1);
        }
        QCOMPARE(TestSupport::readAll(files.at(4)), completed);
        QVERIFY(QDir(labels).entryList({"*.part"}, QDir::Files).isEmpty());
        QVERIFY(decoded(files.at(5)).contains(TestSupport::variantImei(6)));
        QCOMPARE(notes.count(), 1);
        QVERIFY(notes.first().at(2).toString().contains(ids.at(3)));
        QCOMPARE(QDir(dir.path() + "/damaged").entryList(QDir::Files).size(), 1);
        QCOMPARE(spool.failed().size(), 1);
        QVERIFY(handler.discardEntry(spool.failed().first().id));
        QVERIFY(QDir(dir.path() + "/damaged").isEmpty());
        QVERIFY(QDir(dir.path() + "/failed").isEmpty());
    }

    // A label file that cannot be flushed to the disk does not count as printed: the label waits,
    // unlogged and without a file, and prints once when the file can be written whole. The labels
    // of its batch, flushed with it, are printed.
    void unsyncedLabelFileWaits()
    {
        Printing p;
        CrashPoint::setFailing("sync:" + variantDocumentId(41).toUtf8());
        const auto unset = qScopeGuard([] { CrashPoint::setFailing(QByteArray()); });
        p.handler.setPaused(true);
        for (int n : {40, 41, 42})
            QVERIFY(!p.add(entryFor(n)).isEmpty());
        p.handler.setPaused(false);
        QTRY_VERIFY_WITH_TIMEOUT(p.handler.spoolState().contains("1 label waiting for PDF files"), 20000);
        // The two printed ones are logged and leave the spool on the recorder's thread.
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 1, 20000);
        CrashPoint::setFailing(QByteArray());
        QCOMPARE(TestSupport::labelsOf(m_labels, 41), 0);
        QCOMPARE(TestSupport::linesOf(m_csv, 41), 0);
        for (int n : {40, 42}) {
            QCOMPARE(TestSupport::labelsOf(m_labels, n), 1);
            QCOMPARE(TestSupport::linesOf(m_csv, n), 1);
        }
        QVERIFY(QDir(m_labels).entryList({"*.part"}).isEmpty());
        p.handler.retryWaiting();
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 20000);
        for (int n : {40, 41, 42}) {
            QCOMPARE(TestSupport::labelsOf(m_labels, n), 1);
            QCOMPARE(TestSupport::linesOf(m_csv, n), 1);
        }
    }

    // Labels rendered by several workers at once are logged and archived in spool order, whichever
    // worker finishes first. Every tenth report is large, parsed and let go within its batch: each
    // label still carries its own report's code.
    void spoolOrderIsLogOrder()
    {
        Printing p;
        const OwnOutput out(p.dir.path(), m_labels, m_csv);
        QVERIFY(TestSupport::writeLayout("Small label", TestSupport::smallLayout("Small label")));
        p.handler.setPaused(true);
        QList<int> spooled;
        for (int n = 201; n <= 260; ++n) {
            SpoolEntry e = entryFor(n);
            e.layout = "Small label";
            if (n % 10 == 0)
                e.report.insert(e.report.lastIndexOf("</report>"),
                                "<padding>" + QByteArray(3 * 1024 * 1024, 'x') + "</padding>");
            QVERIFY(!p.add(e).isEmpty());
            spooled << n;
        }
        p.handler.setPaused(false);
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 60000);
        QList<int> logged, archived;
        static const QRegularExpression documentId("00000000-0000-4000-8000-(\\d{12})");
        for (const QByteArray& line : TestSupport::readAll(out.csv).split('\n')) {
            const QRegularExpressionMatch match = documentId.match(QString::fromUtf8(line));
            if (match.hasMatch())
                logged << match.captured(1).toInt();
        }
        for (const PrintedRecord& record : p.spool.history())
            archived << documentId.match(record.reportUuid).captured(1).toInt();
        QCOMPARE(logged, spooled);
        QCOMPARE(archived, spooled);
        for (int n = 210; n <= 260; n += 10) {
            const QStringList files = TestSupport::labelFiles(out.labels).filter(variantDocumentId(n));
            QCOMPARE(files.size(), 1);
            QVERIFY(decoded(out.labels + "/" + files.first()).contains(TestSupport::variantImei(n)));
        }
    }

    // Printed reports are kept for reprinting as long as the setting says: the next start removes
    // those printed before, and the Report Log's recent ones can still be printed again.
    void archiveKeepsRecentReportsForReprint()
    {
        QTemporaryDir dir;
        QStringList ids;
        {
            PrintSpool spool(dir.path());
            QList<PrintedRecord> records;
            for (int daysAgo : {40, 2}) {
                SpoolEntry e = entryFor(300 + daysAgo);
                QVERIFY(spool.add(&e));
                PrintedRecord record;
                record.archiveId = e.id;
                record.printedAt = QDateTime::currentDateTime().addDays(-daysAgo);
                record.jobId = e.jobId;
                record.jobName = e.jobName;
                record.reportUuid = e.reportUuid;
                records << record;
                ids << e.id;
            }
            QString error;
            QVERIFY(spool.recordPrinted(records, &error));
            spool.archivePrinted(records);
        }
        SettingsManager::instance()->setValue(PrintSpool::kKeepDaysKey, 30, true);
        Printing p(dir.path());
        QCOMPARE(p.spool.history().size(), 1);
        QCOMPARE(p.spool.history().first().archiveId, ids.at(1));
        QCOMPARE(p.handler.reprint({ids.at(0)}), 0);
        QCOMPARE(p.handler.reprint({ids.at(1)}), 1);
        SettingsManager::instance()->removeKey(PrintSpool::kKeepDaysKey, true);
    }

    // A full disk under the label folder, then under the printed-reports log: the labels wait with
    // a note saying why (one, however often it is tried again), nothing moves past them, and once
    // there is room again each prints once with one log line, without a restart.
    void fullDiskKeepsLabelsWaiting()
    {
        SmallDisk disk("1m"), logDisk("64k");
        if (!disk.mounted || !logDisk.mounted)
            QSKIP("This test mounts small tmpfs file systems, which needs root and a kernel that lets it");
        SettingsManager* s = SettingsManager::instance();
        const QString labels = disk.path() + "/labels";
        QVERIFY(QDir().mkpath(labels));
        s->setValue(FilePrinter::kFolderKey, labels, true);
        s->setValue(PrinterMonitor::kRetryKey, 1, true);
        QSignalSpy notes(PrintNotes::instance(), &PrintNotes::note);
        Printing p(disk.path() + "/spool");
        p.handler.setPaused(true);
        for (int n = 11; n <= 15; ++n)
            QVERIFY(!p.add(entryFor(n)).isEmpty());
        QVERIFY(disk.fill());
        p.handler.setPaused(false);
        QTRY_VERIFY_WITH_TIMEOUT(p.handler.spoolState().contains("labels waiting for PDF files"), 20000);
        QVERIFY2(notes.last().at(2).toString().contains("No space left on device"),
                 qPrintable(notes.last().at(2).toString()));
        QCOMPARE(TestSupport::labelFiles(labels).size(), 0);
        QCOMPARE(p.spool.pendingCount(), 5);
        disk.free();
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 20000);
        for (int n = 11; n <= 15; ++n) {
            QCOMPARE(TestSupport::labelsOf(labels, n), 1);
            QCOMPARE(TestSupport::linesOf(m_csv, n), 1);
        }

        const QString csv = logDisk.path() + "/log.csv";
        ReportListModel::instance()->setReportLogPath(csv);
        QVERIFY(logDisk.fill());
        for (int n = 16; n <= 18; ++n)
            QVERIFY(!p.add(entryFor(n)).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(p.handler.spoolState().contains("printed-reports log"), 20000);
        QVERIFY(!p.add(entryFor(19)).isEmpty());
        QTest::qWait(2500); // at least one more attempt to write the log
        QCOMPARE(notesOf(notes, PrintNotes::LogNotWritten), 1);
        QCOMPARE(TestSupport::labelsOf(labels, 19), 0); // nothing moves past the unlogged labels
        QCOMPARE(p.spool.pendingCount(), 4);
        logDisk.free();
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 20000);
        for (int n = 16; n <= 19; ++n) {
            QCOMPARE(TestSupport::labelsOf(labels, n), 1);
            QCOMPARE(TestSupport::linesOf(csv, n), 1);
        }
        QCOMPARE(p.spool.history().size(), 9);
        ReportListModel::instance()->setReportLogPath(m_csv);
        s->setValue(FilePrinter::kFolderKey, m_labels, true);
        s->removeKey(PrinterMonitor::kRetryKey, true);
    }

    // Pause hands the labels claimed by workers back unprinted: none appears after setPaused
    // returns. Discarding a job while it prints removes its claimed labels too: none of them
    // appears afterwards. In the end every report has at most one label, and a log line exactly
    // when it has one.
    void pauseAndDiscardLetNoClaimedLabelLeave()
    {
        Printing p;
        const OwnOutput out(p.dir.path(), m_labels, m_csv);
        const QString& labels = out.labels;
        const QString& csv = out.csv;
        // A failure here must not leave the next cases' stations paused.
        const auto unpause =
            qScopeGuard([] { SettingsManager::instance()->setValue(PrintSpool::kPausedKey, false, true); });
        QVERIFY(TestSupport::writeLayout("Small label", TestSupport::smallLayout("Small label")));
        const int backlog = 300;
        p.handler.setPaused(true);
        for (int n = 1; n <= backlog; ++n) {
            SpoolEntry e = entryFor(n, n % 2 ? "apple" : "pear");
            e.jobName = n % 2 ? "Apple phones" : "Pear phones";
            e.layout = "Small label";
            QVERIFY(!p.add(e).isEmpty());
        }
        const auto printed = [&](const QString& job = QString()) {
            return TestSupport::labelFiles(labels).filter(job).size();
        };
        // Paused right after the first label: a poll of the folder could come hundreds of labels
        // later on a fast run.
        bool pausing = false;
        QObject::connect(
            &p.handler, &PrintHandler::labelFileWritten, &p.handler,
            [&] {
                if (!pausing) {
                    pausing = true;
                    p.handler.setPaused(true);
                }
            },
            Qt::QueuedConnection);
        p.handler.setPaused(false);
        QTRY_VERIFY_WITH_TIMEOUT(pausing, 30000);
        const int beforePause = printed();
        QTRY_COMPARE_WITH_TIMEOUT(p.handler.labelsInFlight(), 0, 30000);
        QCOMPARE(printed(), beforePause);
        QVERIFY2(beforePause < backlog / 2, qPrintable(QString::number(beforePause)));
        // Printed labels leave the spool once their round of recording is done, on its own thread.
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), backlog - beforePause, 30000);

        p.handler.setPaused(false);
        QTRY_VERIFY_WITH_TIMEOUT(printed() >= beforePause + 20, 30000);
        p.handler.discardJob("pear");
        const int pears = printed("Pear-phones");
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 60000);
        QCOMPARE(printed("Pear-phones"), pears);
        QCOMPARE(printed("Apple-phones"), backlog / 2);
        for (int n = 1; n <= backlog; ++n) {
            const int labelsOfN = TestSupport::labelsOf(labels, n);
            QVERIFY(labelsOfN <= 1);
            QCOMPARE(TestSupport::linesOf(csv, n), labelsOfN);
        }
    }

    // Fifty labels failing for one missing layout give one note, kept up to date with the count
    // (the same count as the status bar, also after a discard), and no note per label. Retry all,
    // once the layout is back, prints each once: one label file and one log line each; the note
    // then closes. The next start neither lists a label as failed nor prints one again, and the
    // discarded one never prints.
    void failuresOfOneCauseShareANoteAndRetryAllPrintsThemOnce()
    {
        constexpr int kLabels = 50;
        Printing p;
        QSignalSpy grouped(PopupNoteProvider::instance(), &PopupNoteProvider::showGroupedNote);
        QSignalSpy closed(PopupNoteProvider::instance(), &PopupNoteProvider::dismissGroupedNote);
        const int labelsBefore = TestSupport::labelFiles(m_labels).size();
        const int linesBefore = csvLines();
        for (int n = 1; n <= kLabels; ++n) {
            SpoolEntry e = entryFor(100 + n);
            e.layout = "Made later";
            QVERIFY(!p.add(e).isEmpty());
        }
        QTRY_COMPARE_WITH_TIMEOUT(p.handler.failedLabels(), kLabels, 60000);
        QCOMPARE(p.notes.count(), 0);
        QVERIFY(!grouped.isEmpty());
        for (const QList<QVariant>& note : qAsConst(grouped))
            QCOMPARE(note.at(0).toString(), grouped.first().at(0).toString());
        QVERIFY2(grouped.first().at(2).toString().startsWith("1 label of job Apple phones failed"),
                 qPrintable(grouped.first().at(2).toString()));
        const QString last = grouped.last().at(2).toString();
        QVERIFY2(last.startsWith("50 labels of job Apple phones failed: layout \"Made later\" is missing"),
                 qPrintable(last));
        QVERIFY2(p.handler.spoolState().contains("50 labels failed"), qPrintable(p.handler.spoolState()));
        QVERIFY(p.spool.failed().first().reason.contains("Made later"));

        // One discarded: the note on show counts one less.
        QSignalSpy updated(PopupNoteProvider::instance(), &PopupNoteProvider::updateGroupedNote);
        const SpoolEntry discarded = p.spool.failed().first();
        QVERIFY(p.handler.discardEntry(discarded.id));
        QCOMPARE(updated.count(), 1);
        QVERIFY2(updated.last().at(1).toString().startsWith("49 labels of job"),
                 qPrintable(updated.last().at(1).toString()));

        const QString layouts = SystemPaths::instance().layoutDir;
        QVERIFY(QFile::copy(layouts + "Station label.lyson", layouts + "Made later.lyson"));
        QCOMPARE(p.handler.retryAllFailed(), kLabels - 1);
        QCOMPARE(p.handler.failedLabels(), 0);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(closed.first().at(0).toString(), grouped.first().at(0).toString());
        QTRY_COMPARE_WITH_TIMEOUT(p.spool.pendingCount(), 0, 180000);
        QTRY_COMPARE(p.written.count(), kLabels - 1);
        QCOMPARE(TestSupport::labelFiles(m_labels).size(), labelsBefore + kLabels - 1);
        QCOMPARE(csvLines(), linesBefore + kLabels - 1 + (linesBefore == 0 ? 1 : 0));
        QCOMPARE(p.handler.failedLabels(), 0);
        const PrintSpool restarted(p.dir.path());
        QCOMPARE(restarted.failed().size(), 0);
        QCOMPARE(restarted.pendingCount(), 0);
        QVERIFY(TestSupport::labelFiles(m_labels).filter(discarded.reportUuid).isEmpty());
        QVERIFY(!TestSupport::readAll(m_csv).contains(discarded.reportUuid.toUtf8()));
        QFile::remove(layouts + "Made later.lyson");
    }

    // The Report Log finds a label by the IMEI printed on it and shows its model. Ticked there, the
    // label prints again from the archive, with a log line of its own. A label archived before the
    // device was kept with its record gets it from its archived report. A record from before the
    // console's id was kept shows none.
    void reportLogFindsAndReprintsALabel()
    {
        Printing p;
        QStringList ids;
        // Numbers no other test prints, so the process-wide log holds one row of each.
        for (int n = 401; n <= 403; ++n) {
            SpoolEntry e = entryFor(n);
            e.reportId = n + 5000;
            ids << p.add(e);
        }
        QVERIFY(!ids.contains(QString()));
        QTRY_COMPARE_WITH_TIMEOUT(p.written.count(), 3, 30000);
        QTRY_COMPARE(p.spool.history().size(), 3);
        ReportListModel* log = ReportListModel::instance();
        auto* shown = qobject_cast<QSortFilterProxyModel*>(log->shownRows());
        shown->setProperty("searchText", TestSupport::variantImei(402));
        QCOMPARE(shown->rowCount(), 1);
        const QModelIndex row = shown->index(0, 0);
        QCOMPARE(row.data(ReportListModel::ReportUuidRole).toString(), variantDocumentId(402));
        QCOMPARE(row.data(ReportListModel::DeviceIdRole).toString(), TestSupport::variantImei(402));
        QCOMPARE(row.data(ReportListModel::ModelRole).toString(), QStringLiteral("iPhone 12 128GB Blue"));
        QCOMPARE(row.data(ReportListModel::ReportIdRole).toString(), QStringLiteral("5402"));

        const int lines = csvLines();
        QVERIFY(shown->setData(row, true, ReportListModel::SelectedRole));
        shown->setProperty("searchText", QString());
        QCOMPARE(log->selectedArchiveIds(), QStringList{ids.at(1)});
        QSignalSpy progress(&p.handler, &PrintHandler::statusBarMessage);
        QCOMPARE(p.handler.reprint(log->selectedArchiveIds()), 1);
        log->clearSelection();
        QTRY_COMPARE_WITH_TIMEOUT(p.written.count(), 4, 20000);
        QTRY_COMPARE(p.spool.history().size(), 4);
        // A reprint comes from no fetched range, and its progress names none.
        QVERIFY(!progress.isEmpty());
        for (const QList<QVariant>& message : progress)
            QVERIFY2(!message.at(0).toString().contains("-1"), qPrintable(message.at(0).toString()));
        QCOMPARE(csvLines(), lines + 1);
        const QString first = p.written.at(1).at(0).toString();
        const QString again = p.written.at(3).at(0).toString();
        QVERIFY(first != again);
        QCOMPARE(decoded(again), decoded(first));
        QVERIFY(decoded(first).contains(TestSupport::variantImei(402)));

        // The same archive with records that name no device.
        QFile index(p.dir.path() + "/printed/index.jsonl");
        QVERIFY(index.open(QIODevice::ReadOnly));
        QByteArray records = index.readAll();
        index.close();
        for (const char* key : {"imei", "serial", "model", "reportId"})
            records.replace(QByteArray("\"") + key + "\":", QByteArray("\"old_") + key + "\":");
        QVERIFY(index.open(QIODevice::WriteOnly | QIODevice::Truncate));
        index.write(records);
        index.close();
        const QList<ReportListModel::Entry> rows = ReportListModel::historyRows(PrintSpool(p.dir.path()));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.at(1).identity.deviceId(), TestSupport::variantImei(402));
        QCOMPARE(rows.at(1).identity.serial, QStringLiteral("SER000402"));
        QCOMPARE(rows.at(1).reportId, qint64(0));
    }

    // The list of labels not printed yet changes row by row, so a view keeps its place and the
    // buttons under the pointer: a retried label leaves its row, the others keep theirs. A waiting
    // label says why it waits: its turn, or printing paused.
    void spoolListChangesRowByRow()
    {
        QTemporaryDir dir;
        PrintSpool spool(dir.path());
        QStringList ids;
        for (int n = 1; n <= 3; ++n) {
            SpoolEntry e = entryFor(n);
            QVERIFY(spool.add(&e));
            QVERIFY(spool.moveToFailed(e.id, "layout missing"));
            ids << e.id;
        }
        SpoolListModel model(&spool);
        QCOMPARE(model.rowCount(), 3);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        const QPersistentModelIndex last = model.index(2);
        QVERIFY(spool.retryFailed(ids.at(1)));
        model.refresh();
        QCOMPARE(resets.count(), 0);
        QVERIFY(last.isValid());
        QCOMPARE(last.data(SpoolListModel::EntryIdRole).toString(), ids.at(2));
        QCOMPARE(model.index(0).data(SpoolListModel::EntryIdRole).toString(), ids.at(0));
        // The retried label waits below the failed ones.
        QCOMPARE(model.index(2).data(SpoolListModel::EntryIdRole).toString(), ids.at(1));
        QCOMPARE(model.index(2).data(SpoolListModel::StateRole).toString(), QStringLiteral("waiting"));
        QCOMPARE(model.index(2).data(SpoolListModel::ReasonRole).toString(),
                 QStringLiteral("waiting for its turn"));
        model.setPaused(true);
        QCOMPARE(model.index(2).data(SpoolListModel::ReasonRole).toString(),
                 QStringLiteral("printing is paused"));
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
