#pragma once
// Fetches new reports from the console every 10 seconds, job by job, on its own thread, and hands
// each job's reports to printing.

#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>

class QThread;
class SettingsManager;

class XMLPoller : public QObject
{
    Q_OBJECT
public:
    explicit XMLPoller(QObject* parent = nullptr);
    ~XMLPoller() override;

    Q_INVOKABLE void checkNow();
    Q_INVOKABLE void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled.load(); }
    // Held polls do not start whatever the connection state (the settings panel is open); a
    // connection check may enable the poller meanwhile without a poll slipping through.
    Q_INVOKABLE void setHeld(bool held);
    bool isHeld() const { return m_held.load(); }
    // Waits until a running poll has ended; false when it still runs after `milliseconds`.
    bool waitForPoll(unsigned long milliseconds);

    // Newest report id above `fromId` that the console holds (0 when the search fails).
    qint64 getLatestReportId(qint64 fromId);
    // Every report id above `fromId`, ascending; empty when the search fails.
    QList<qint64> reportIdsAbove(qint64 fromId);
    // The id ranges (exclusive lower, inclusive upper) that export the reports above `fromId` up to
    // `newest`, at most `pageSize` of the known ids each, so a backlog is fetched a page at a time.
    static QList<QPair<qint64, qint64>> pageRanges(const QList<qint64>& ids, qint64 fromId, qint64 newest,
                                                   int pageSize);
    static constexpr int kPageSize = 200;

    static constexpr int kIntervalMs = 10000;

    // Where fetched reports are kept before the watermark may move past them. `stage` writes one
    // job's reports durably (on the poller thread) and collects what it made; `commit` makes them
    // printable once the watermark is stored, `discard` forgets them when it could not be stored.
    struct ReportStore
    {
        std::function<bool(const QString& jobId, const QString& jobName, const QString& layout,
                           const QString& printer, const QStringList& reports, qint64 rangeFrom,
                           qint64 rangeTo, QStringList* staged)>
            stage;
        std::function<void(const QStringList& staged)> commit;
        std::function<void(const QStringList& staged)> discard;
    };
    // Without a store the reports only go out with ReportsFetched.
    void setReportStore(const ReportStore& store) { m_store = store; }

    // The exclusive lower report id a job's next poll fetches from (its missed range, or the
    // watermark); a report at or below it is not fetched again for that job.
    static qint64 nextFetchFrom(SettingsManager* settings, const QString& job);

signals:
    // The console's newest report id is below the watermark (a console restored or reinstalled);
    // emitted on the poller thread when first seen and when the console's newest id grows, and with
    // -1 once reports above the watermark come again.
    void consoleBehind(qint64 consoleNewest, qint64 watermark);
    void ReportsFetched(QString jobName, QString label, QString printer, QStringList reps, int reportsFrom,
                        int reportsTo);
    // Progress text for the window's status bar; emitted on the poller thread.
    void statusBarMessage(QString message);

public slots:
    void timeout();
    void doCheck();
    void applyFilter(const QString& job, const QString& filterId, QStringList& list);

private:
    // Notes a console whose ids went back, given the newest id above the watermark.
    void checkConsoleBehind(qint64 lastId, qint64 newestAboveWatermark);

    std::atomic<bool> m_enabled{false};
    // The console's newest id while it is behind the watermark, else -1.
    std::atomic<qint64> m_consoleNewest{-1};
    std::atomic<bool> m_held{false};
    QTimer m_timer;
    QThread* m_thread;
    ReportStore m_store;
};
