#pragma once
// Watches the printers that hold labels back and the jobs handed to a print system. Every few
// seconds it asks them, from a thread of its own (a print system may not answer): a printer whose
// state cleared is released so its labels print by themselves, and a job that the print system
// aborted, canceled or kept stopped is reported, so its label can wait again.

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include "printing/labeloutput.h"

#include <memory>

class PrinterMonitor : public QObject
{
    Q_OBJECT
public:
    // Followed jobs are kept in `jobsFile` (when given), so a restart goes on following them.
    explicit PrinterMonitor(const QString& jobsFile = QString(), QObject* parent = nullptr);
    ~PrinterMonitor() override;

    // Labels for `printer` wait, for `reason` in words. A printer that refused a label is asked
    // again only after the retry time; one that was not ready is released once it reports ready.
    void hold(const QString& printer, const QString& reason, bool refused);
    bool isHeld(const QString& printer) const { return m_held.contains(printer); }
    bool holdsAny() const { return !m_held.isEmpty(); }
    QStringList heldPrinters() const { return m_held.keys(); }
    QString reason(const QString& printer) const { return m_held.value(printer).reason; }
    QDateTime heldSince(const QString& printer) const { return m_held.value(printer).since; }
    // Releases every held printer now (the user pressed Retry).
    void releaseAll();

    // Follows a job the print system accepted for a label until it ends.
    void follow(const QString& printer, int jobId, const QString& archiveId);
    // Stops asking; waits at most `milliseconds` for a round under way.
    void stop(int milliseconds);

    // Settings (global file): how long a refused printer rests before its labels are tried again,
    // and how long a job may stay stopped in the print system before it is taken back.
    static const QString kRetryKey;
    static const QString kStuckKey;
    static constexpr int kDefaultRetrySeconds = 30;
    static constexpr int kDefaultStuckSeconds = 60;
    static constexpr int kCheckMs = 2000;

signals:
    // The printer may take labels again.
    void released(QString printer);
    // Why a held printer waits changed (as it reports now).
    void reasonChanged(QString printer, QString reason);
    // A handed-over job did not print after all: its label must wait again.
    void jobFailed(QString archiveId, QString printer, QString reason);

private:
    struct Hold
    {
        QString reason;
        QDateTime since;
        QDateTime retryAt;
    };
    struct Followed
    {
        QString printer;
        int jobId = 0;
        QString archiveId;
        QDateTime stuckSince;
    };
    struct Round
    {
        QHash<QString, PrinterStatus> printers;
        QHash<int, JobFate> jobs; // by index into the followed list as sent
        QList<int> canceled;      // indexes whose job was taken back
    };
    void check();
    void load();
    void save() const;
    void apply(const QStringList& asked, const QList<Followed>& followed, const Round& round);
    static int seconds(const QString& key, int fallback);

    QString m_jobsFile;
    QHash<QString, Hold> m_held;
    QList<Followed> m_followed;
    QTimer m_timer;
    // The asking thread may outlive the monitor when a print system hangs: it reaches the monitor
    // only through this guard, and then ends and deletes itself.
    struct Guard;
    std::shared_ptr<Guard> m_guard;
    QThread* m_thread;
    QObject* m_asker = nullptr; // lives on m_thread
    bool m_asking = false;
    bool m_stopped = false;
};
