#pragma once
// The print driver: schedules the labels of the print spool in spool order, each with its job's
// layout on its job's printer, records each handed-over label in the printed-reports log, keeps the
// labels of a printer that is not ready waiting (PrinterMonitor), brings back labels whose job the
// print system dropped, and serves printers (PrinterCatalogue), test prints (TestPrint), previews and
// the spool's state to the interface.

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QWaitCondition>

#include "printing/labeljob.h"
#include "printing/printnotes.h"
#include "printing/printspool.h"
#include "settings/joblistmodel.h"

#include <QThreadPool>

#include <atomic>
#include <memory>

class PrinterCatalogue;
class PrinterMonitor;
class ReportListModel;
class SpoolListModel;
class TestPrint;
class ZplPrinterListModel;

class PrintHandler : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int waitingLabels READ waitingLabels NOTIFY spoolChanged)
    Q_PROPERTY(int failedLabels READ failedLabels NOTIFY spoolChanged)
    Q_PROPERTY(QString spoolState READ spoolState NOTIFY spoolChanged)
    Q_PROPERTY(bool paused READ paused WRITE setPaused NOTIFY pausedChanged)
    Q_PROPERTY(QObject* spoolModel READ spoolModel CONSTANT)
    // The ZPL label printers, for the settings panel.
    Q_PROPERTY(QObject* zplPrinters READ zplPrinters CONSTANT)
public:
    // Prints from `spool`, or from the process-wide spool when none is given.
    explicit PrintHandler(QObject* parent = nullptr, PrintSpool* spool = nullptr);
    ~PrintHandler() override;

    // Labels in the spool that are not printed yet (waiting for their turn or for their printer).
    int pendingReports() const;
    int waitingLabels() const { return pendingReports(); }
    int failedLabels() const;
    // One line for the status bar: how many labels wait, and for which printer.
    QString spoolState() const;
    bool paused() const { return m_paused; }
    void setPaused(bool paused);
    QObject* spoolModel() const;
    QObject* zplPrinters() const;
    PrintSpool* spool() const { return m_spool; }

    // The layout document of a job's layout name; empty when it cannot be loaded.
    static QJsonObject loadLayoutFile(const QString& layoutName);

    // Writes a poll's reports of one job into the spool (not yet printable); the ids made go to
    // `staged`. False when they could not all be kept (none of them is then kept). Any thread.
    // Each label keeps its report's console id from `consoleIds` (by document id).
    bool stageReports(const QString& jobId, const QString& jobName, const QString& layout,
                      const QString& printer, const QByteArrayList& reports,
                      const QHash<QString, qint64>& consoleIds, qint64 rangeFrom, qint64 rangeTo,
                      QStringList* staged);

    // Rendering threads: the setting kWorkersKey, at most the number of cores, at least one.
    int workerCount() const;
    static const QString kWorkersKey;
    // Stops taking labels and waits (at most `milliseconds`) for the labels being handed over;
    // the rest stay in the spool. Used when the program ends. False when a call to the print
    // system is still under way (it does not answer).
    bool stopPrinting(int milliseconds);
    PrinterMonitor* monitor() const { return m_monitor; }
    // The layout and printer an entry prints with: its job's current ones while the job exists.
    static void resolveJob(const SpoolEntry& entry, const QHash<QString, JobListModel::Job>& jobs,
                           QString* layout, QString* printer);
    // Labels claimed by workers (being rendered or handed over, or handed back).
    int labelsInFlight() const { return int(m_inFlight.size()); }

public slots:
    // Reports handed over directly (not through the poller): spooled and printed in order.
    void printReports(const QString& jobname, const QString& label, const QString& printer,
                      const QStringList& rp, int reportsFrom, int reportsTo);
    // Prints one report at once, outside the spool; false when it was not handed over.
    bool doPrint(const QByteArray& data, const QString& jobname, const QString& layout,
                 const QString& printer, QString& error);
    QStringList activePrinters();
    QString formatText(const QString& text, bool tickBox);
    void createPreviewImage(const QJsonObject& json);
    QStringList getAllPagesizes();
    // Prints a layout once with example values (no report) so its look can be checked on paper;
    // false, with a popup note and a status text, when it could not be printed.
    // Prints with example values, or for a report's device (a Device) when one is given.
    Q_INVOKABLE bool testPrint(const QJsonObject& layout, const QString& printer, QObject* report = nullptr);
    // Where the last successful test print went: its PDF file, or empty for a platform printer.
    Q_INVOKABLE QString lastTestPrintFile() const;

    // Tries the waiting labels now instead of at the end of their back-off.
    Q_INVOKABLE void retryWaiting();
    Q_INVOKABLE bool retryFailed(const QString& entryId);
    Q_INVOKABLE bool discardEntry(const QString& entryId);
    // Every failed label waits again (files that could not be read stay); the number retried.
    Q_INVOKABLE int retryAllFailed();
    // Removes every failed label; the number removed.
    Q_INVOKABLE int discardAllFailed();
    // "1 label", "12 labels", for texts that count labels.
    Q_INVOKABLE QString labelsText(int count) const;
    // Prints archived labels again with their job's current layout and printer; the number queued.
    Q_INVOKABLE int reprint(const QStringList& archiveIds);
    Q_INVOKABLE int waitingForJob(const QString& jobId) const;
    // While the user is asked what becomes of a job's waiting labels, none of them leaves (those
    // being handed over at the call finish first); the number waiting.
    Q_INVOKABLE int holdJob(const QString& jobId);
    Q_INVOKABLE void releaseJob(const QString& jobId);
    // Removes a job's waiting labels, those claimed by workers too, but none already handed over.
    Q_INVOKABLE int discardJob(const QString& jobId);

signals:
    // Progress and failure texts for the window's status bar.
    void statusBarMessage(QString message);
    // Every PDF the built-in file printer wrote (path), for whoever archives or shows them.
    void labelFileWritten(QString path);
    void spoolChanged();
    void pausedChanged();

private:
    // One spool entry on its way through a worker.
    struct Flight
    {
        SpoolEntry entry;
        QString jobPrinter; // the printer as the job names it, for the log
        std::shared_ptr<LabelJob> job;
        bool done = false;
        bool discarded = false;            // its entry was discarded while it was claimed
        std::atomic<bool> recorded{false}; // its outcome is in the log and the spool
    };
    // A handed-over label on its way into the log and the archive.
    struct Recording
    {
        std::shared_ptr<Flight> flight; // none for a label handed over before the last stop
        PrintedRecord record;
        QString attention;
        bool indexed = false; // its record is in the spool's index
    };

    // Hands the next spool entries to the workers, a batch at a time.
    void schedulePrint();
    void printNext();
    void onBatchDone();
    void applyOutcome(const std::shared_ptr<Flight>& flight);
    // Records the handed-over labels in order: index, log line, archive. The disk work runs on the
    // recorder's thread, one round at a time, unless `wait` (start and stop) does it here. False
    // when the spool or the log cannot be written: the rest wait, and nothing new is handed over,
    // until a retry works.
    bool recordPrinted(bool wait = false);
    // What a round of recording came to.
    struct RecordRound
    {
        int count = 0; // the first labels waiting to be recorded, taken by the round
        bool indexed = false;
        int logged = 0; // of those, how many have their line (and are archived)
        PrintNotes::Kind kind = PrintNotes::Error;
        QString problem; // why the round stopped short; empty when it did not
    };
    // The disk work of a round (any thread): the spool's index, the CSV lines, the archive.
    RecordRound recordDurably(const QList<Recording>& recordings, ReportListModel* log,
                              const QString& logPath);
    // Applies the round's outcome on this thread: rows, finished entries, the storage problem.
    bool applyRound();
    void pruneArchive();
    void storageFailed(PrintNotes::Kind kind, const QString& problem);
    void updateJobHold(const QString& jobId);
    void noteDamaged(const QString& file, const QString& reason);
    // Blocks a worker until the flight's outcome is recorded (or printing stops).
    void waitRecorded(const Flight& flight);
    void finishEntry(const SpoolEntry& entry, const LabelJob& job);
    // The jobs as stored, by id.
    static QHash<QString, JobListModel::Job> storedJobs();
    void printerUnavailable(const QString& printerKey, const LabelJob& job);
    void onPrinterReleased(const QString& printerKey);
    // A job the print system accepted did not print: its label waits again.
    void onJobFailed(const QString& archiveId, const QString& printerKey, const QString& reason);
    // Labels waiting for a printer (by the printer their job names now).
    int waitingFor(const QString& printerKey) const;

    // The user must learn that a label was not printed: a popup note and a status-bar text.
    void reportFailure(PrintNotes::Kind kind, const QString& title, const QString& text);
    // A label failed: the note of its job and cause counts the failed labels it stands for.
    void noteFailed(const SpoolEntry& entry, const QString& reason, PrintNotes::Kind kind);
    // A label printed without some of its objects: one note per job and missing part, counting them.
    void notePrintedWithGap(const SpoolEntry& entry, const LabelJob& job);
    // Failed labels were retried or discarded: notes whose labels are all gone close.
    void withdrawSettledNotes();

    PrintSpool* m_spool;
    SpoolListModel* m_model;
    PrinterCatalogue* m_catalogue;
    PrinterMonitor* m_monitor;
    TestPrint* m_testPrint;
    ZplPrinterListModel* m_zplPrinters;
    QTimer m_pruneTimer;
    bool m_scheduled = false;
    int m_runPrinted = 0;
    QList<std::shared_ptr<Flight>> m_inFlight; // in spool order
    QThreadPool m_pool;
    std::shared_ptr<HandOffGate> m_gate;
    std::atomic<bool> m_stopping{false};
    QMutex m_recordLock;
    QWaitCondition m_recorded;
    bool m_paused = false;
    QList<Recording> m_toRecord;
    QThreadPool m_recorder;   // one thread: rounds of recording, in order
    bool m_recording = false; // a round runs on the recorder's thread
    int m_roundNumber = 0;
    QMutex m_roundLock;
    RecordRound m_round; // the last round's outcome, written by the recorder
    // Why handed-over labels cannot be recorded (a full disk); empty when they can.
    QString m_storageProblem;
    QTimer m_storageRetry;
    QTimer m_recordSoon;
    QSet<QString> m_askedJobs;      // jobs whose labels are held while the user is asked
    QSet<QString> m_discardingJobs; // jobs held until their discarded claims are back
    struct FailureGroup
    {
        QString jobKey; // the job's id, or its name when it has none
        QString reason;
        QString jobName;
        int count = 0; // its labels in the failed list
    };
    static QString failureText(const FailureGroup& group);
    QHash<QString, FailureGroup> m_failureNotes; // by note key: the failure notes raised
    QHash<QString, int> m_gapNotes;              // by note key: labels printed with that gap
};
