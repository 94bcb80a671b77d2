#pragma once
// The durable queue of labels to print. Every report an active job will print is written here
// before the report-id watermark moves past it, and leaves only when its label was handed over, so
// neither a stop nor a crash loses a label. Printed entries are kept in an archive for a while so a
// label can be printed again with the console offline.
//
// Folder layout: "<id>.staged" (written by a poll, not yet committed), "<id>.entry" (waiting to
// print), "failed/<id>.entry", "damaged/" (files that could not be read), "printed/<id>.entry" and
// "printed/index.jsonl" (the archive). Ids sort in spool order.
//
// A handed-over label is recorded in three steps: its print record goes into the index (synced),
// then its line into the printed-reports log, then its entry into the archive. A waiting entry
// whose record is in the index was handed over already: it is never printed again, only its log
// line is written if it is missing.
//
// Thread-safe: the poller thread adds entries while the print side takes them.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include "report/reportidentity.h"

#include <functional>

struct SpoolEntry
{
    QString id;
    QString jobId;
    QString jobName;
    QString layout;
    QString printer;
    QString reportUuid;
    // The console's id of the report; 0 when not known (not from a poll, or spooled before it was kept).
    qint64 reportId = 0;
    // The exclusive lower and the inclusive upper report id of the poll that fetched it; -1 when
    // it did not come from a poll (a reprint, or reports handed to the print driver directly).
    qint64 rangeFrom = -1;
    qint64 rangeTo = -1;
    QDateTime spooledAt;
    // Failed entries: why, and since when.
    QString reason;
    QDateTime failedAt;
    // The report XML; only filled by PrintSpool::readReport.
    QByteArray report;

    // Base name of the entry's label file on the built-in PDF printer: derived from the entry, so
    // a resumed entry finds a label it completed before a crash.
    QString labelBaseName() const;
    // A print job title naming the job and the report.
    QString title() const;
};

// One label in the archive of printed labels.
struct PrintedRecord
{
    QString archiveId;
    QDateTime printedAt;
    QString jobId;
    QString jobName;
    QString layout;
    QString printer;
    QString reportUuid;
    // The console's id of the report; 0 when not known (also in records written before it was kept).
    qint64 reportId = 0;
    QMap<QString, QString> customContent;
    // The device as the label shows it; empty in records written before it was kept.
    ReportIdentity identity;
    // The printed-reports log line written for it, to tell after a crash whether it was written.
    QString logLine;
};

class PrintSpool : public QObject
{
    Q_OBJECT
public:
    explicit PrintSpool(const QString& folder, QObject* parent = nullptr);

    // The spool under the data root ("spool"), created on first use.
    static PrintSpool* instance();
    QString folder() const { return m_folder; }

    // Writes a poll's entry but keeps it from printing until commitStaged; assigns its id. The
    // entries are durable once syncStaged returned true for them: a page's files are flushed
    // together, not one by one.
    bool stage(SpoolEntry* entry, QString* error = nullptr);
    bool syncStaged(const QStringList& ids);
    // Makes staged entries printable (after the watermark has been stored).
    void commitStaged(const QStringList& ids);
    // Forgets staged entries whose range is fetched again anyway.
    void discardStaged(const QStringList& ids);
    // Writes an entry that may print at once; assigns its id.
    bool add(SpoolEntry* entry, QString* error = nullptr);
    // At start-up: a staged entry whose range the stored settings have passed is committed (the
    // crash came after the watermark moved), any other is removed (its range is fetched again).
    void recoverStaged(const std::function<bool(const SpoolEntry&)>& rangePassed);

    // Waiting entries in spool order (without report text), handed-over ones still to be logged
    // included.
    QList<SpoolEntry> pending() const;
    int pendingCount() const;
    int pendingCountForJob(const QString& jobId) const;
    bool isWaiting(const QString& id) const;
    // Failed entries, and spool files that could not be read (ids "damaged/<file>"; Discard only).
    QList<SpoolEntry> failed() const;
    // Files moved aside while the spool was loaded, before anyone listened to entryDamaged.
    QList<SpoolEntry> takeDamagedAtLoad();
    // Records of waiting entries found handed over at load (a crash before they were archived).
    QList<PrintedRecord> handedOver() const;

    // Claims the first waiting entry that `eligible` accepts and no one else holds; false if none.
    bool claimNext(const std::function<bool(const SpoolEntry&)>& eligible, SpoolEntry* out);
    // Gives a claimed entry back (it prints later).
    void release(const QString& id);
    // Reads the report text of a claimed entry. A torn or unreadable file is moved to "damaged/"
    // with a log line and false; the caller then drops the entry.
    bool readReport(SpoolEntry* entry, QString* error);

    // Labels were handed over: their records go into the index, synced, and their entries are never
    // handed out again. False (with the reason) when the index could not be written.
    bool recordPrinted(const QList<PrintedRecord>& records, QString* error);
    // Their log lines are written: the entries move into the archive (one folder sync for all).
    void archivePrinted(const QList<PrintedRecord>& records);
    // The entry cannot print as it is (a missing layout, a report that cannot be rendered).
    bool moveToFailed(const QString& id, const QString& reason);
    // A failed entry waits again.
    bool retryFailed(const QString& id);
    // Removes a waiting or failed entry for good; a claimed one only `evenClaimed` (its worker
    // then finds no report). A handed-over entry stays.
    bool discard(const QString& id, bool evenClaimed = false);
    // Removes every waiting entry of a job, claimed ones too, except `keep`; the number removed.
    int discardJob(const QString& jobId, const QSet<QString>& keep = {});

    // The archived entry of a printed label, report text included; false when it is gone.
    bool archivedEntry(const QString& archiveId, SpoolEntry* out) const;
    // Print records of the archive, oldest first.
    QList<PrintedRecord> history() const;
    // Removes archived labels printed more than `days` days ago; the number removed.
    int pruneArchive(int days);

    // Settings (global file): printing paused, and how long printed reports are kept.
    static const QString kPausedKey;
    static const QString kKeepDaysKey;
    static constexpr int kDefaultKeepDays = 30;

signals:
    // Waiting or failed entries changed; emitted on the thread that changed them.
    void changed();
    // A spool file could not be read and was moved aside.
    void entryDamaged(QString file, QString reason);

private:
    QString nextId();
    // Durable: synced under a temporary name and renamed, its folder synced; else written plainly.
    bool write(SpoolEntry* entry, const QString& suffix, QString* error, bool durable = true);
    void load();
    QString path(const QString& id, const QString& suffix = QStringLiteral(".entry")) const;
    void moveAside(const QString& file, const QString& reason);
    QString damagedId(const QString& fileName) const;
    void loadDamaged();
    void loadHandedOver();

    QString m_folder;
    mutable QMutex m_lock;
    QMap<QString, SpoolEntry> m_pending; // by id: spool order
    QMap<QString, SpoolEntry> m_failed;
    QMap<QString, SpoolEntry> m_staged; // headers of this run's staged entries, by id
    QSet<QString> m_claimed;
    QMap<QString, PrintedRecord> m_handed; // by id: recorded in the index, not archived yet
    QMap<QString, SpoolEntry> m_damaged;   // by "damaged/<file>"
    QList<SpoolEntry> m_damagedAtLoad;
    bool m_loading = false;
    qint64 m_lastSerial = 0;
};
