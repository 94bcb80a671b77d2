#pragma once
// Fetches new reports from the console every 10 seconds, job by job, on its own thread, and hands
// each job's reports to printing.

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>

class MCComm;
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
    // The console's reports above `fromId` by id, with their document ids; empty when the search fails.
    QMap<qint64, QString> reportsAbove(qint64 fromId);
    // The id ranges (exclusive lower, inclusive upper) that export the reports above `fromId` up to
    // `newest`, at most `pageSize` of the known ids each, so a backlog is fetched a page at a time.
    static QList<QPair<qint64, qint64>> pageRanges(const QList<qint64>& ids, qint64 fromId, qint64 newest,
                                                   int pageSize);
    // A page's reports are held in memory while they are spooled, so pages are sized by the reports'
    // length: the first page is small, and each next one holds about kPageChars of report text as
    // the page before it suggests, at most kPageSize reports.
    static constexpr int kFirstPageSize = 10;
    static constexpr int kPageSize = 50;
    static constexpr qint64 kPageChars = 8 * 1024 * 1024;
    static int nextPageSize(qint64 chars, int reports);

    static constexpr int kIntervalMs = 10000;

    // Where fetched reports are kept before the watermark may move past them. `stage` writes one
    // job's reports durably (on the poller thread) and collects what it made; `commit` makes them
    // printable once the watermark is stored, `discard` forgets them when it could not be stored.
    // `consoleIds` gives the console's id of each report by its document id (the export has none).
    struct ReportStore
    {
        std::function<bool(const QString& jobId, const QString& jobName, const QString& layout,
                           const QString& printer, const QByteArrayList& reports,
                           const QHash<QString, qint64>& consoleIds, qint64 rangeFrom, qint64 rangeTo,
                           QStringList* staged)>
            stage;
        std::function<void(const QStringList& staged)> commit;
        std::function<void(const QStringList& staged)> discard;
    };
    // Without a store the reports only go out with ReportsFetched.
    void setReportStore(const ReportStore& store) { m_store = store; }

signals:
    // The console's newest report id is below the watermark (a console restored or reinstalled);
    // emitted on the poller thread when first seen and when the console's newest id grows, and with
    // -1 once reports above the watermark come again.
    void consoleBehind(qint64 consoleNewest, qint64 watermark);
    // The console holds another report at the watermark's id, or none while it has newer ones (its
    // ids started again, e.g. restored empty): nothing is fetched until the user moves the watermark.
    // `continueFrom` is where the remembered report is now, or 0. Emitted once per watermark, and
    // with -1 when a poll finds the watermark's report in place again.
    void idsReset(qint64 continueFrom, qint64 watermark);
    void ReportsFetched(QString jobName, QString label, QString printer, QStringList reps, qint64 reportsFrom,
                        qint64 reportsTo);
    // The console answered a poll; emitted on the poller thread.
    void consoleAnswered();
    // A request of a poll got no answer from the console (down, unreachable or refusing the user);
    // emitted on the poller thread, at most once per poll.
    void consoleUnreachable();
    // Progress text for the window's status bar; emitted on the poller thread.
    void statusBarMessage(QString message);

public slots:
    void timeout();
    void doCheck();
    void applyFilter(const QString& job, const QString& filterId, QStringList& list);

private:
    // Notes a console whose ids went back, given the newest id above the watermark.
    void checkConsoleBehind(qint64 lastId, qint64 newestAboveWatermark);
    // True when the console's report at the watermark is not the one fetched there (the note is
    // sent once); `reports` are the console's reports from the watermark's id on.
    bool checkIdsReset(qint64 lastId, const QString& document, const QMap<qint64, QString>& reports);
    // After a failed request: true, and consoleUnreachable once per poll, when no answer came at all
    // (an error status is an answer; a refused certificate has a note of its own).
    bool noteUnreachable(const MCComm& mc);

    std::atomic<bool> m_enabled{false};
    // The console's newest id while it is behind the watermark, else -1.
    std::atomic<qint64> m_consoleNewest{-1};
    // The watermark at which the console's ids were found reset, else -1.
    std::atomic<qint64> m_resetAt{-1};
    std::atomic<bool> m_held{false};
    // consoleUnreachable was emitted during the running poll.
    std::atomic<bool> m_unreachableNoted{false};
    QTimer m_timer;
    QThread* m_thread;
    // Fetches the next page of a backlog while the poller thread stores the last one.
    QThreadPool m_fetcher;
    ReportStore m_store;
};
