#include "printing/printhandler.h"

#include "printing/crashpoint.h"
#include "printing/fileprinter.h"
#include "printing/printercatalogue.h"
#include "printing/printermonitor.h"
#include "printing/printworker.h"
#include "printing/reportlistmodel.h"
#include "printing/spoollistmodel.h"
#include "printing/testprint.h"
#include "printing/textprintitem_.h"
#include "printing/zplprinterlistmodel.h"
#include "report/device.h"
#include "report/reportdocument.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

// Labels a worker takes at once: their barcodes are encoded in one run of the barcode program.
constexpr int kBatchSize = 25;
// How often handed-over labels are tried to be recorded while the disk is full.
constexpr int kStorageRetryMs = 2000;

} // namespace

const QString PrintHandler::kWorkersKey = QStringLiteral("printing/workers");

PrintHandler::PrintHandler(QObject* parent, PrintSpool* spool)
    : QObject(parent), m_spool(spool ? spool : PrintSpool::instance()),
      m_catalogue(new PrinterCatalogue(this)),
      m_monitor(new PrinterMonitor(m_spool->folder() + QStringLiteral("/followed-jobs.json"), this)),
      m_testPrint(new TestPrint(this)), m_zplPrinters(new ZplPrinterListModel(this)),
      m_gate(std::make_shared<HandOffGate>())
{
    m_pool.setMaxThreadCount(workerCount());
    connect(m_monitor, &PrinterMonitor::released, this, &PrintHandler::onPrinterReleased);
    connect(m_monitor, &PrinterMonitor::jobFailed, this, &PrintHandler::onJobFailed);
    connect(m_monitor, &PrinterMonitor::reasonChanged, this,
            [this](const QString& printer, const QString& reason) {
                m_model->setWaiting(printer, reason, m_monitor->heldSince(printer));
                emit spoolChanged();
            });
    connect(m_testPrint, &TestPrint::statusBarMessage, this, &PrintHandler::statusBarMessage);
    connect(m_testPrint, &TestPrint::labelFileWritten, this, &PrintHandler::labelFileWritten);

    if (SettingsManager* settings = SettingsManager::instance())
        m_paused = settings->getBooleanValue(PrintSpool::kPausedKey, false, true);

    m_model = new SpoolListModel(m_spool, this);
    m_model->setPaused(m_paused);
    // The poller adds entries from its own thread; printing continues on this one.
    connect(m_spool, &PrintSpool::changed, this, &PrintHandler::schedulePrint, Qt::QueuedConnection);
    connect(m_spool, &PrintSpool::changed, this, &PrintHandler::spoolChanged, Qt::QueuedConnection);
    connect(m_spool, &PrintSpool::entryDamaged, this, &PrintHandler::noteDamaged);
    // Files moved aside while the spool loaded, before this connection.
    for (const SpoolEntry& damaged : m_spool->takeDamagedAtLoad())
        noteDamaged(damaged.reportUuid, damaged.reason);
    if (m_paused)
        m_gate->hold(QString(), true);
    m_recordSoon.setSingleShot(true);
    m_recordSoon.setInterval(0);
    connect(&m_recordSoon, &QTimer::timeout, this, [this] {
        if (m_storageProblem.isEmpty())
            recordPrinted();
    });
    m_recorder.setMaxThreadCount(1);
    m_storageRetry.setSingleShot(true);
    m_storageRetry.setInterval(kStorageRetryMs);
    connect(&m_storageRetry, &QTimer::timeout, this, [this] { recordPrinted(); });
    // Labels handed over before the last stop whose entries were not archived: logged once, never
    // printed again.
    for (const PrintedRecord& record : m_spool->handedOver()) {
        Recording recording;
        recording.record = record;
        recording.indexed = true;
        m_toRecord << recording;
    }
    recordPrinted(true);

    // Printed reports are kept for reprinting for a while; pruned at start and once a day.
    pruneArchive();
    m_pruneTimer.setInterval(24 * 60 * 60 * 1000);
    connect(&m_pruneTimer, &QTimer::timeout, this, &PrintHandler::pruneArchive);
    m_pruneTimer.start();

    // Labels left from an earlier run print first.
    if (m_spool->pendingCount() > 0) {
        qDebug() << m_spool->pendingCount() << "labels wait in the spool from an earlier run";
        schedulePrint();
    }
}

void PrintHandler::pruneArchive()
{
    // The archive's index is rewritten: not while a round of recording appends to it.
    if (m_recording) {
        QTimer::singleShot(1000, this, &PrintHandler::pruneArchive);
        return;
    }
    int days = PrintSpool::kDefaultKeepDays;
    if (SettingsManager* settings = SettingsManager::instance())
        days = settings->getIntValue(PrintSpool::kKeepDaysKey, PrintSpool::kDefaultKeepDays, true);
    m_spool->pruneArchive(std::max(days, 0));
}

PrintHandler::~PrintHandler()
{
    stopPrinting(10000);
}

int PrintHandler::workerCount() const
{
    const int cores = std::max(1, QThread::idealThreadCount());
    int wanted = cores;
    if (SettingsManager* settings = SettingsManager::instance())
        wanted = settings->getIntValue(kWorkersKey, cores, true);
    return std::clamp(wanted, 1, cores);
}

bool PrintHandler::stopPrinting(int milliseconds)
{
    if (m_stopping.exchange(true))
        return !m_catalogue->busy();
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] {
        return std::max(1, milliseconds - int(clock.elapsed()));
    };
    // Labels being handed over get half the time; then calls to a print system that does not
    // answer are cut short (those labels stay in the spool), and the monitor's with them.
    const bool handedOver = m_pool.waitForDone(milliseconds / 2);
    LabelOutput::abortCalls(true);
    if (!handedOver)
        m_pool.waitForDone(left() / 2);
    m_monitor->stop(left());
    LabelOutput::abortCalls(false);
    // What was handed over meanwhile is logged and leaves the spool now, not at the next start.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    for (const auto& flight : qAsConst(m_inFlight)) {
        if (flight->done && flight->job->outcome == LabelJob::Outcome::Printed && !flight->discarded)
            applyOutcome(flight);
        else
            m_spool->release(flight->entry.id);
    }
    m_inFlight.clear();
    recordPrinted(true);
    return m_pool.activeThreadCount() == 0 && !m_catalogue->busy();
}

int PrintHandler::pendingReports() const
{
    return m_spool->pendingCount();
}

int PrintHandler::failedLabels() const
{
    return m_spool->failed().size();
}

QObject* PrintHandler::spoolModel() const
{
    return m_model;
}

QObject* PrintHandler::zplPrinters() const
{
    return m_zplPrinters;
}

QString PrintHandler::spoolState() const
{
    const int waiting = pendingReports();
    QStringList parts;
    if (m_paused)
        parts << QStringLiteral("Printing paused");
    if (waiting > 0) {
        QStringList printers;
        for (const QString& printer : m_monitor->heldPrinters())
            printers << (printer.isEmpty() ? QStringLiteral("a printer to be set") : printer);
        printers.sort();
        parts << (printers.isEmpty()
                      ? QStringLiteral("%1 waiting").arg(PrintNotes::labels(waiting))
                      : QStringLiteral("%1 waiting for %2")
                            .arg(PrintNotes::labels(waiting), printers.join(QStringLiteral(", "))));
    }
    if (!m_storageProblem.isEmpty())
        parts << QStringLiteral("Labels wait: %1").arg(m_storageProblem);
    const int failed = failedLabels();
    if (failed > 0)
        parts << QStringLiteral("%1 failed").arg(PrintNotes::labels(failed));
    return parts.join(QStringLiteral(" · "));
}

void PrintHandler::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    // Labels claimed by workers are handed back unprinted; one being handed over finishes first.
    m_gate->hold(QString(), paused);
    m_model->setPaused(paused);
    if (SettingsManager* settings = SettingsManager::instance()) {
        settings->setValue(PrintSpool::kPausedKey, paused, true);
        settings->syncGlobal();
    }
    qDebug() << (paused ? "Printing paused" : "Printing resumed");
    emit pausedChanged();
    emit spoolChanged();
    if (!paused)
        schedulePrint();
}

void PrintHandler::reportFailure(PrintNotes::Kind kind, const QString& title, const QString& text)
{
    emit statusBarMessage(text);
    PrintNotes::instance()->raise(kind, title, text);
}

bool PrintHandler::stageReports(const QString& jobId, const QString& jobName, const QString& layout,
                                const QString& printer, const QByteArrayList& reports,
                                const QHash<QString, qint64>& consoleIds, qint64 rangeFrom, qint64 rangeTo,
                                QStringList* staged)
{
    QStringList ids;
    for (const QByteArray& report : reports) {
        SpoolEntry entry;
        entry.jobId = jobId;
        entry.jobName = jobName;
        entry.layout = layout;
        entry.printer = printer;
        entry.reportUuid = ReportDocument::scanDocumentId(report);
        entry.reportId = consoleIds.value(entry.reportUuid);
        entry.rangeFrom = rangeFrom;
        entry.rangeTo = rangeTo;
        entry.report = report;
        QString error;
        if (!m_spool->stage(&entry, &error)) {
            qWarning() << "Job" << jobName << ": cannot write a label to the spool:" << error;
            m_spool->discardStaged(ids);
            return false;
        }
        ids << entry.id;
    }
    // The page's files are on the disk before the poller may store the watermark past them.
    if (!ids.isEmpty() && !m_spool->syncStaged(ids)) {
        qWarning() << "Job" << jobName << ": the spool folder cannot be synced";
        m_spool->discardStaged(ids);
        return false;
    }
    *staged += ids;
    return true;
}

void PrintHandler::printReports(const QString& jobname, const QString& label, const QString& printer,
                                const QStringList& rp, int reportsFrom, int reportsTo)
{
    for (const QString& report : rp) {
        SpoolEntry entry;
        entry.jobName = jobname;
        entry.layout = label;
        entry.printer = printer;
        entry.reportUuid = ReportDocument::scanDocumentId(report);
        entry.rangeFrom = reportsFrom - 1;
        entry.rangeTo = reportsTo;
        entry.report = report.toUtf8();
        QString error;
        if (!m_spool->add(&entry, &error))
            reportFailure(
                PrintNotes::Error, QStringLiteral("Label not printed"),
                QStringLiteral("Job %1: the label could not be kept for printing (%2)").arg(jobname, error));
    }
    schedulePrint();
}

void PrintHandler::schedulePrint()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &PrintHandler::printNext);
}

QHash<QString, JobListModel::Job> PrintHandler::storedJobs()
{
    QHash<QString, JobListModel::Job> jobs;
    for (const JobListModel::Job& job : JobListModel::read(SettingsManager::instance()))
        jobs.insert(job.id, job);
    return jobs;
}

void PrintHandler::resolveJob(const SpoolEntry& entry, const QHash<QString, JobListModel::Job>& jobs,
                              QString* layout, QString* printer)
{
    const auto job = jobs.constFind(entry.jobId);
    // A job that is gone leaves its labels to print as they were spooled.
    *layout = job == jobs.constEnd() ? entry.layout : job->layout;
    *printer = job == jobs.constEnd() ? entry.printer : job->printer;
}

void PrintHandler::printNext()
{
    m_scheduled = false;
    // Nothing moves past labels that are handed over but not recorded yet.
    if (m_paused || m_stopping || !m_storageProblem.isEmpty())
        return;
    // Enough labels in flight to keep every worker busy, a batch each, and the next batch ready.
    const int workers = m_pool.maxThreadCount();
    const int batchSize = kBatchSize;
    const ReportListModel* log = ReportListModel::instance();
    const QString customKey = log ? log->selectedCustomContentKey() : QString();
    if (m_inFlight.size() >= 2 * workers * batchSize)
        return;
    // A backlog holds many entries of few jobs: each job is read and looked up once per round.
    const QHash<QString, JobListModel::Job> jobs = storedJobs();
    QHash<QString, bool> jobWaits;
    while (m_inFlight.size() < 2 * workers * batchSize) {
        QList<std::shared_ptr<Flight>> batch;
        while (batch.size() < batchSize) {
            // Labels for a printer that waits stay where they are; other printers go on.
            SpoolEntry entry;
            const bool found = m_spool->claimNext(
                [this, &jobs, &jobWaits](const SpoolEntry& e) {
                    if (m_askedJobs.contains(e.jobId) || m_discardingJobs.contains(e.jobId))
                        return false;
                    if (!m_monitor->holdsAny())
                        return true;
                    const QString key = e.jobId + QLatin1Char('\n') + e.printer;
                    auto known = jobWaits.constFind(key);
                    if (known == jobWaits.constEnd()) {
                        QString layout, printer;
                        resolveJob(e, jobs, &layout, &printer);
                        known = jobWaits.insert(key, m_monitor->isHeld(LabelJob::printerKeyOf(printer)));
                    }
                    return !known.value();
                },
                &entry);
            if (!found)
                break;
            auto flight = std::make_shared<Flight>();
            flight->entry = entry;
            flight->job = std::make_shared<LabelJob>();
            LabelJob& job = *flight->job;
            resolveJob(entry, jobs, &job.layoutName, &job.printerName);
            flight->jobPrinter = job.printerName;
            job.printerKey = LabelJob::printerKeyOf(job.printerName);
            job.ticket = m_gate->nextTicket(job.printerKey);
            job.title = entry.title();
            job.labelBaseName = entry.labelBaseName();
            job.customKey = customKey;
            job.holdGroup = entry.jobId;
            batch << flight;
            m_inFlight << flight;
        }
        if (batch.isEmpty())
            break;
        // The worker reads the reports from the spool, renders and hands over; this thread only
        // learns the outcomes.
        PrintSpool* spool = m_spool;
        std::shared_ptr<HandOffGate> gate = m_gate;
        const std::atomic<bool>* stopping = &m_stopping;
        m_pool.start([this, batch, spool, gate, stopping] {
            QList<LabelJob*> jobs;
            QHash<LabelJob*, std::shared_ptr<Flight>> flights;
            const auto ended = [this, &flights](LabelJob* job) {
                // One outcome per event, so this thread never holds the window for a whole batch.
                const std::shared_ptr<Flight> flight = flights.value(job);
                job->report.clear();
                QMetaObject::invokeMethod(
                    this,
                    [this, flight] {
                        flight->done = true;
                        onBatchDone();
                    },
                    Qt::QueuedConnection);
                // A printer that takes labels in line gets the next one only when this one is in the
                // log and out of the spool: a crash then repeats at most the label in flight.
                if (job->outcome == LabelJob::Outcome::Printed && job->handedInOrder)
                    waitRecorded(*flight);
            };
            for (const auto& flight : batch) {
                flights.insert(flight->job.get(), flight);
                // Read when its turn comes: the batch holds one report's text at a time. One that
                // cannot be read is moved aside and its label ends as dropped.
                flight->job->readReport = [spool, entry = flight->entry](QByteArray* report,
                                                                         QString* error) mutable {
                    if (!spool->readReport(&entry, error))
                        return false;
                    *report = std::move(entry.report);
                    return true;
                };
                jobs << flight->job.get();
            }
            LabelJob::runBatch(jobs, gate.get(), stopping, ended);
        });
    }
    if (m_inFlight.isEmpty())
        m_runPrinted = 0;
}

void PrintHandler::onBatchDone()
{
    // Outcomes are applied in spool order, so the log lists labels as the spool held them. A label
    // a printer took in line is recorded at once: the printer gets its next label only then, and a
    // crash repeats at most the label being handed over.
    bool inOrder = true;
    for (int i = 0; i < m_inFlight.size();) {
        const std::shared_ptr<Flight> flight = m_inFlight.at(i);
        if (!flight->done) {
            inOrder = false;
            ++i;
            continue;
        }
        const bool inLine = flight->job->outcome == LabelJob::Outcome::Printed && flight->job->handedInOrder;
        if (!inOrder && !inLine) {
            ++i;
            continue;
        }
        m_inFlight.removeAt(i);
        applyOutcome(flight);
    }
    // Recorded after the outcomes already queued are in: one sync of the index and the log for all.
    if (m_storageProblem.isEmpty())
        m_recordSoon.start();
    // A job's labels discarded while claimed are held until their workers have handed them back.
    for (const QString& jobId : QSet<QString>(m_discardingJobs)) {
        const bool claimed =
            std::any_of(m_inFlight.cbegin(), m_inFlight.cend(),
                        [&](const std::shared_ptr<Flight>& f) { return f->entry.jobId == jobId; });
        if (!claimed) {
            m_discardingJobs.remove(jobId);
            updateJobHold(jobId);
        }
    }
    schedulePrint();
}

void PrintHandler::applyOutcome(const std::shared_ptr<Flight>& flight)
{
    if (flight->job->outcome == LabelJob::Outcome::Dropped || flight->discarded) {
        m_spool->release(flight->entry.id);
        return;
    }
    ++m_runPrinted;
    // Reprints and test labels come from no fetched range.
    const QString range =
        flight->entry.rangeTo >= 0
            ? QStringLiteral("Reports: %1 - %2").arg(flight->entry.rangeFrom + 1).arg(flight->entry.rangeTo)
            : QStringLiteral("Reprint");
    emit statusBarMessage(QStringLiteral("Job: %1, %2, Printing Report: %3/%4")
                              .arg(flight->entry.jobName, range)
                              .arg(m_runPrinted)
                              .arg(m_runPrinted - 1 + m_spool->pendingCount()));
    if (flight->job->outcome != LabelJob::Outcome::Printed) {
        finishEntry(flight->entry, *flight->job);
        return;
    }
    const LabelJob& job = *flight->job;
    Recording recording;
    recording.flight = flight;
    PrintedRecord& record = recording.record;
    record.archiveId = flight->entry.id;
    record.printedAt = QDateTime::currentDateTime();
    record.jobId = flight->entry.jobId;
    record.jobName = flight->entry.jobName;
    record.layout = job.usedLayout;
    record.printer = flight->jobPrinter;
    record.reportUuid = job.reportUuid;
    record.reportId = flight->entry.reportId;
    record.customContent = job.customContent;
    record.identity = job.identity;
    recording.attention = job.problems.join(QStringLiteral(", "));
    if (const ReportListModel* log = ReportListModel::instance())
        record.logLine = log->logLine(ReportListModel::entryOf(record));
    m_toRecord << recording;
}

bool PrintHandler::recordPrinted(bool wait)
{
    if (m_recording) {
        if (!wait)
            return m_storageProblem.isEmpty(); // the round under way records these after it
        m_recorder.waitForDone();
        if (!applyRound())
            return false;
    }
    if (m_toRecord.isEmpty()) {
        if (!m_storageProblem.isEmpty()) {
            qDebug() << "Handed-over labels can be recorded again";
            m_storageProblem.clear();
            emit spoolChanged();
            schedulePrint();
        }
        return true;
    }
    ReportListModel* log = ReportListModel::instance();
    if (!log)
        return false; // shutting down: the records in the index get their lines at the next start
    const QList<Recording> recordings = m_toRecord;
    const QString logPath = log->reportLogPath();
    m_recording = true;
    const int round = ++m_roundNumber;
    if (wait) {
        m_round = recordDurably(recordings, log, logPath);
        return applyRound() && recordPrinted(true);
    }
    // The disk waits on the recorder's thread, never in the window's event loop.
    m_recorder.start([this, recordings, log, logPath, round] {
        const RecordRound outcome = recordDurably(recordings, log, logPath);
        {
            QMutexLocker locker(&m_roundLock);
            m_round = outcome;
        }
        QMetaObject::invokeMethod(
            this,
            [this, round] {
                // Applied already when a stop waited for it.
                if (m_recording && round == m_roundNumber && applyRound())
                    recordPrinted(); // what was handed over meanwhile, or clearing the problem
            },
            Qt::QueuedConnection);
    });
    return true;
}

PrintHandler::RecordRound PrintHandler::recordDurably(const QList<Recording>& recordings,
                                                      ReportListModel* log, const QString& logPath)
{
    RecordRound round;
    round.count = recordings.size();
    // First the mark that keeps each label from printing again, then its log line, then the
    // archive: a crash at any point repeats neither the label nor its line.
    QList<PrintedRecord> fresh;
    for (const Recording& recording : recordings) {
        if (!recording.indexed)
            fresh << recording.record;
    }
    QString error;
    if (!fresh.isEmpty() && !m_spool->recordPrinted(fresh, &error)) {
        round.problem =
            QStringLiteral("the spool folder %1 cannot be written (%2)").arg(m_spool->folder(), error);
        return round;
    }
    round.indexed = true;
    for (; round.logged < recordings.size(); ++round.logged) {
        const Recording& recording = recordings.at(round.logged);
        const QString& line = recording.record.logLine;
        if (!(recording.flight ? log->writeLogLine(line) : log->addLineOnce(line)))
            break;
    }
    if (round.logged > 0) {
        log->syncLog();
        CrashPoint::reached("csv-line");
        QList<PrintedRecord> records;
        for (int i = 0; i < round.logged; ++i)
            records << recordings.at(i).record;
        m_spool->archivePrinted(records);
    }
    if (round.logged < recordings.size()) {
        round.kind = PrintNotes::LogNotWritten;
        round.problem = QStringLiteral("the printed-reports log %1 cannot be written").arg(logPath);
    }
    return round;
}

bool PrintHandler::applyRound()
{
    RecordRound round;
    {
        QMutexLocker locker(&m_roundLock);
        round = m_round;
    }
    m_recording = false;
    if (round.indexed) {
        for (int i = 0; i < round.count && i < m_toRecord.size(); ++i)
            m_toRecord[i].indexed = true;
    }
    ReportListModel* log = ReportListModel::instance();
    const QList<Recording> recorded = m_toRecord.mid(0, round.logged);
    m_toRecord.erase(m_toRecord.begin(), m_toRecord.begin() + recorded.size());
    for (const Recording& recording : recorded) {
        if (!recording.flight)
            continue;
        ReportListModel::Entry row = ReportListModel::entryOf(recording.record);
        row.attention = recording.attention;
        if (log)
            log->addRow(row);
        finishEntry(recording.flight->entry, *recording.flight->job);
        QMutexLocker locker(&m_recordLock);
        recording.flight->recorded = true;
        m_recorded.wakeAll();
    }
    if (!round.problem.isEmpty()) {
        storageFailed(round.kind, round.problem);
        return false;
    }
    return true;
}

void PrintHandler::storageFailed(PrintNotes::Kind kind, const QString& problem)
{
    const bool first = m_storageProblem.isEmpty();
    m_storageProblem = problem;
    m_storageRetry.start();
    if (!first)
        return;
    qWarning() << "Handed-over labels cannot be recorded:" << problem << "- printing waits";
    reportFailure(kind, QStringLiteral("Labels waiting"),
                  QStringLiteral("Labels wait: %1. Printing goes on by itself once it can be written again.")
                      .arg(problem));
    emit spoolChanged();
}

void PrintHandler::noteDamaged(const QString& file, const QString& reason)
{
    reportFailure(PrintNotes::Error, QStringLiteral("Spool file damaged"),
                  QStringLiteral("The waiting label %1 could not be read (%2) and was moved aside; it is "
                                 "listed with the failed labels")
                      .arg(file, reason));
}

void PrintHandler::waitRecorded(const Flight& flight)
{
    QMutexLocker locker(&m_recordLock);
    while (!flight.recorded && !m_stopping)
        m_recorded.wait(&m_recordLock, 100);
}

void PrintHandler::finishEntry(const SpoolEntry& entry, const LabelJob& job)
{
    switch (job.outcome) {
    case LabelJob::Outcome::Printed:
        // Recorded by now (recordPrinted). The print system may still drop the job: it is
        // followed until it ends.
        if (job.printJobId > 0)
            m_monitor->follow(job.printerKey, job.printJobId, entry.id);
        if (!job.labelFile.isEmpty())
            emit labelFileWritten(job.labelFile);
        if (!job.problems.isEmpty())
            notePrintedWithGap(entry, job);
        break;
    case LabelJob::Outcome::PrinterUnavailable:
        m_spool->release(entry.id);
        printerUnavailable(job.printerKey, job);
        break;
    case LabelJob::Outcome::Failed:
        if (!m_spool->moveToFailed(entry.id, job.reason)) {
            // Still waiting when the failed list cannot be written: tried again after a rest.
            if (m_spool->isWaiting(entry.id))
                storageFailed(PrintNotes::Error,
                              QStringLiteral("the spool folder %1 cannot be written").arg(m_spool->folder()));
            break;
        }
        noteFailed(entry, job.reason, job.noteType);
        break;
    case LabelJob::Outcome::Dropped:
        m_spool->release(entry.id);
        break;
    }
}

int PrintHandler::waitingFor(const QString& printerKey) const
{
    int count = 0;
    const QHash<QString, JobListModel::Job> jobs = storedJobs();
    for (const SpoolEntry& e : m_spool->pending()) {
        QString layout, printer;
        resolveJob(e, jobs, &layout, &printer);
        count += LabelJob::printerKeyOf(printer) == printerKey ? 1 : 0;
    }
    return count;
}

void PrintHandler::printerUnavailable(const QString& printerKey, const LabelJob& result)
{
    const bool first = !m_monitor->isHeld(printerKey);
    // A printer that reported a state is released when the state clears; one that refused a
    // label, or is not set at all, rests first.
    const bool refused = printerKey.isEmpty() || result.refusedByPrinter;
    m_monitor->hold(printerKey, result.reason, refused);
    const int count = waitingFor(printerKey);
    qDebug() << "Printer" << printerKey << "unavailable:" << result.reason << "-" << count << "labels wait";
    if (first)
        reportFailure(result.noteType, QStringLiteral("Labels waiting"),
                      QStringLiteral("%1 for printer \"%2\": %3. %4 when it is ready again.")
                          .arg(count == 1 ? QStringLiteral("1 label waits")
                                          : QStringLiteral("%1 labels wait").arg(count),
                               printerKey.isEmpty() ? QStringLiteral("(none set)") : printerKey,
                               result.reason,
                               count == 1 ? QStringLiteral("It prints") : QStringLiteral("They print")));
    m_model->setWaiting(printerKey, result.reason, m_monitor->heldSince(printerKey));
    emit spoolChanged();
}

void PrintHandler::onPrinterReleased(const QString& printerKey)
{
    m_model->setWaiting(printerKey, QString(), QDateTime());
    m_gate->unblock(printerKey);
    emit spoolChanged();
    schedulePrint();
}

void PrintHandler::onJobFailed(const QString& archiveId, const QString& printerKey, const QString& reason)
{
    qWarning() << "Printer" << printerKey << "did not print the label of" << archiveId << ":" << reason;
    if (ReportListModel* log = ReportListModel::instance())
        log->markNotPrinted(archiveId, QStringLiteral("not printed: %1; printed again").arg(reason));
    SpoolEntry entry;
    QString error;
    if (!m_spool->archivedEntry(archiveId, &entry)) {
        reportFailure(
            PrintNotes::PrinterNotWorking, QStringLiteral("Label not printed"),
            QStringLiteral("Printer \"%1\" did not print a label (%2) and its report is no longer kept: "
                           "print it again from the console")
                .arg(printerKey, reason));
        return;
    }
    entry.id.clear();
    entry.spooledAt = QDateTime();
    entry.rangeFrom = entry.rangeTo = -1;
    if (!m_spool->add(&entry, &error)) {
        reportFailure(
            PrintNotes::Error, QStringLiteral("Label not printed"),
            QStringLiteral("Job %1, report %2: printer \"%3\" did not print it (%4), and it could not be "
                           "kept to print again: %5")
                .arg(entry.jobName, entry.reportUuid, printerKey, reason, error));
        return;
    }
    const bool first = !m_monitor->isHeld(printerKey);
    m_monitor->hold(printerKey, reason, true);
    m_model->setWaiting(printerKey, reason, m_monitor->heldSince(printerKey));
    if (first)
        reportFailure(
            PrintNotes::PrinterNotWorking, QStringLiteral("Label not printed"),
            QStringLiteral("Job %1, report %2: printer \"%3\" did not print the label: %4. It waits and "
                           "prints again.")
                .arg(entry.jobName, entry.reportUuid, printerKey, reason));
    emit spoolChanged();
}

void PrintHandler::retryWaiting()
{
    m_monitor->releaseAll();
    emit spoolChanged();
    schedulePrint();
}

bool PrintHandler::retryFailed(const QString& entryId)
{
    const bool retried = m_spool->retryFailed(entryId);
    withdrawSettledNotes();
    return retried;
}

bool PrintHandler::discardEntry(const QString& entryId)
{
    const bool discarded = m_spool->discard(entryId);
    withdrawSettledNotes();
    return discarded;
}

int PrintHandler::retryAllFailed()
{
    int retried = 0;
    for (const SpoolEntry& entry : m_spool->failed())
        retried += m_spool->retryFailed(entry.id) ? 1 : 0;
    qDebug() << "Retrying" << retried << "failed labels";
    withdrawSettledNotes();
    return retried;
}

int PrintHandler::discardAllFailed()
{
    int discarded = 0;
    for (const SpoolEntry& entry : m_spool->failed())
        discarded += m_spool->discard(entry.id) ? 1 : 0;
    qDebug() << "Discarded" << discarded << "failed labels";
    withdrawSettledNotes();
    return discarded;
}

QString PrintHandler::labelsText(int count) const
{
    return PrintNotes::labels(count);
}

namespace {

QString jobKeyOf(const SpoolEntry& entry)
{
    return entry.jobId.isEmpty() ? QStringLiteral("name:") + entry.jobName : entry.jobId;
}

} // namespace

void PrintHandler::noteFailed(const SpoolEntry& entry, const QString& reason, PrintNotes::Kind kind)
{
    const QString jobKey = jobKeyOf(entry);
    const QString key = QStringLiteral("failed\n%1\n%2").arg(jobKey, reason);
    auto group = m_failureNotes.find(key);
    if (group == m_failureNotes.end()) {
        // A new cause counts the labels it already holds (from before a restart) once; then each.
        FailureGroup fresh{jobKey, reason, entry.jobName, 0};
        for (const SpoolEntry& failed : m_spool->failed())
            fresh.count += jobKeyOf(failed) == jobKey && failed.reason == reason ? 1 : 0;
        group = m_failureNotes.insert(key, fresh);
    } else {
        ++group->count;
    }
    const QString text = failureText(*group);
    qWarning() << "Job" << entry.jobName << ", report" << entry.reportUuid << "not printed:" << reason;
    emit statusBarMessage(text);
    PrintNotes::instance()->raiseGrouped(kind, key, QStringLiteral("Labels not printed"), text);
}

QString PrintHandler::failureText(const FailureGroup& group)
{
    return QStringLiteral("%1 of job %2 failed: %3. %4 in the Report Log's failed list.")
        .arg(PrintNotes::labels(group.count), group.jobName, group.reason,
             group.count == 1 ? QStringLiteral("It waits") : QStringLiteral("They wait"));
}

void PrintHandler::notePrintedWithGap(const SpoolEntry& entry, const LabelJob& job)
{
    const QString problems = job.problems.join(QStringLiteral(", "));
    const QString key = QStringLiteral("gap\n%1\n%2").arg(jobKeyOf(entry), problems);
    const int count = ++m_gapNotes[key];
    const QString text =
        QStringLiteral(
            "%1 of job %2 printed without %3 (the last: report %4); %5 marked in the Report Log: reprint "
            "%6 once the layout or the job's filter is fixed")
            .arg(PrintNotes::labels(count), entry.jobName, problems, job.reportUuid,
                 count == 1 ? QStringLiteral("its row is") : QStringLiteral("their rows are"),
                 count == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    qWarning() << "Job" << entry.jobName << ", report" << job.reportUuid << "printed without" << problems;
    emit statusBarMessage(text);
    PrintNotes::instance()->raiseGrouped(PrintNotes::Error, key, QStringLiteral("Labels printed with a gap"),
                                         text);
}

void PrintHandler::withdrawSettledNotes()
{
    if (m_failureNotes.isEmpty())
        return;
    QHash<QString, int> left; // by job and reason
    for (const SpoolEntry& failed : m_spool->failed())
        ++left[jobKeyOf(failed) + QLatin1Char('\n') + failed.reason];
    for (auto it = m_failureNotes.begin(); it != m_failureNotes.end();) {
        const int count = left.value(it->jobKey + QLatin1Char('\n') + it->reason);
        if (count == 0) {
            PrintNotes::instance()->withdraw(it.key());
            it = m_failureNotes.erase(it);
            continue;
        }
        // The note on show counts what is left; a closed one stays closed.
        if (count != it->count) {
            it->count = count;
            PrintNotes::instance()->update(it.key(), failureText(*it));
        }
        ++it;
    }
}

int PrintHandler::waitingForJob(const QString& jobId) const
{
    return m_spool->pendingCountForJob(jobId);
}

int PrintHandler::holdJob(const QString& jobId)
{
    m_askedJobs.insert(jobId);
    updateJobHold(jobId);
    return waitingForJob(jobId);
}

void PrintHandler::releaseJob(const QString& jobId)
{
    m_askedJobs.remove(jobId);
    updateJobHold(jobId);
    schedulePrint();
}

void PrintHandler::updateJobHold(const QString& jobId)
{
    m_gate->hold(jobId, m_askedJobs.contains(jobId) || m_discardingJobs.contains(jobId));
}

int PrintHandler::discardJob(const QString& jobId)
{
    // Held first: what is being handed over now has left when this returns, nothing else will.
    m_discardingJobs.insert(jobId);
    updateJobHold(jobId);
    QSet<QString> handedOver;
    for (const auto& flight : qAsConst(m_inFlight)) {
        if (flight->entry.jobId != jobId)
            continue;
        if (flight->job->taken)
            handedOver.insert(flight->entry.id);
        else
            flight->discarded = true;
    }
    const int removed = m_spool->discardJob(jobId, handedOver);
    qDebug() << "Discarded" << removed << "waiting labels of job" << jobId;
    onBatchDone(); // lets the hold go when none of the job's labels is claimed
    return removed;
}

int PrintHandler::reprint(const QStringList& archiveIds)
{
    int queued = 0;
    for (const QString& id : archiveIds) {
        SpoolEntry entry;
        if (!m_spool->archivedEntry(id, &entry)) {
            reportFailure(PrintNotes::Error, QStringLiteral("Reprint not possible"),
                          QStringLiteral("The report of this label is no longer kept"));
            continue;
        }
        entry.id.clear();
        entry.spooledAt = QDateTime();
        entry.rangeFrom = entry.rangeTo = -1;
        QString error;
        if (m_spool->add(&entry, &error))
            ++queued;
        else
            reportFailure(PrintNotes::Error, QStringLiteral("Reprint not possible"), error);
    }
    if (queued > 0) {
        emit statusBarMessage(QStringLiteral("%1 queued for reprint").arg(PrintNotes::labels(queued)));
        schedulePrint();
    }
    return queued;
}

QJsonObject PrintHandler::loadLayoutFile(const QString& layoutName)
{
    return LabelJob::loadLayoutFile(layoutName);
}

bool PrintHandler::doPrint(const QByteArray& data, const QString& jobname, const QString& layout,
                           const QString& printer, QString& error)
{
    LabelJob job;
    job.layoutName = layout;
    job.printerName = printer;
    job.title = QStringLiteral("%1: direct print").arg(jobname);
    job.report = data;
    if (const ReportListModel* log = ReportListModel::instance())
        job.customKey = log->selectedCustomContentKey();
    job.run(nullptr);
    if (job.outcome != LabelJob::Outcome::Printed) {
        if (job.layoutMissing)
            error = QStringLiteral("Failed to load layout:") + job.usedLayout;
        reportFailure(job.noteType, QStringLiteral("Label not printed"),
                      QStringLiteral("Job %1: %2").arg(jobname, job.reason));
        return false;
    }
    ReportListModel::Entry row;
    row.jobName = jobname;
    row.layoutName = job.usedLayout;
    row.printerName = printer;
    row.reportUuid = job.reportUuid;
    row.customContent = job.customContent;
    row.identity = job.identity;
    row.attention = job.problems.join(QStringLiteral(", "));
    if (!ReportListModel::instance()->addReport(row))
        PrintNotes::instance()->raise(PrintNotes::LogNotWritten, QString(),
                                      ReportListModel::instance()->reportLogPath());
    if (!job.labelFile.isEmpty())
        emit labelFileWritten(job.labelFile);
    return true;
}

QStringList PrintHandler::activePrinters()
{
    return m_catalogue->printers();
}

QString PrintHandler::formatText(const QString& text, bool tickBox)
{
    const QJsonObject record{{QStringLiteral("unformattedString"), text},
                             {QStringLiteral("tickBoxFormat"), tickBox}};
    QObject quietParent;
    TextPrintItem_ item(nullptr, record, 1, &quietParent);
    return item.text();
}

void PrintHandler::createPreviewImage(const QJsonObject& json)
{
    PrintWorker::createPreviewImage(json, SystemPaths::instance().layoutDir);
}

QStringList PrintHandler::getAllPagesizes()
{
    return m_catalogue->pageSizes();
}

bool PrintHandler::testPrint(const QJsonObject& layout, const QString& printer, QObject* report)
{
    return m_testPrint->print(layout, printer, qobject_cast<Device*>(report));
}

QString PrintHandler::lastTestPrintFile() const
{
    return m_testPrint->lastFile();
}
