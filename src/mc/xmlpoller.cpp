#include "mc/xmlpoller.h"

#include "mc/mccomm.h"
#include "mc/mcconnectionsettings.h"
#include "mc/mcrequest.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"
#include "settings/watermark.h"
#include "shared/durationlog.h"

#include <QDebug>
#include <QHash>
#include <QMap>
#include <QMetaMethod>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <future>
#include <memory>
#include <pthread.h>

namespace {

// The lowest id after which an active job fetches this poll: the watermark or a restart point.
qint64 firstFetchStart(const Watermark& watermark, const QList<JobListModel::Job>& jobs)
{
    qint64 from = watermark.lastId();
    for (const JobListModel::Job& job : jobs) {
        if (job.active)
            from = std::min(from, watermark.nextFetchFrom(job.id));
    }
    return from;
}

struct Export
{
    bool exported = false;
    QByteArrayList reports;
};

// Issue reports get no label. The marker is looked for with the C library's search: a plain scan of
// every fetched byte, which Qt's own search made a visible cost of large reports.
bool isIssueReport(const QByteArray& report)
{
    static const char kMarker[] = "<korvex_issue_report>";
    return memmem(report.constData(), size_t(report.size()), kMarker, sizeof kMarker - 1) != nullptr;
}

} // namespace

XMLPoller::XMLPoller(QObject* parent) : QObject(parent), m_thread(new QThread(this))
{
    // One fetch thread for good: a thread started per page took its memory from a fresh malloc
    // arena again and again, and each first touch of a page is slow on a virtual machine.
    m_fetcher.setMaxThreadCount(1);
    m_fetcher.setExpiryTimeout(-1);
    m_timer.setInterval(kIntervalMs);
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &XMLPoller::timeout);
    connect(m_thread, &QThread::started, this, &XMLPoller::doCheck, Qt::DirectConnection);
    m_timer.start();
}

XMLPoller::~XMLPoller()
{
    // A poll may be waiting for the console; let it finish rather than destroy a running thread.
    m_enabled = false;
    m_thread->wait();
}

bool XMLPoller::waitForPoll(unsigned long milliseconds)
{
    return m_thread->wait(milliseconds);
}

void XMLPoller::timeout()
{
    if (m_enabled.load() && !m_held.load() && !m_thread->isRunning())
        m_thread->start();
}

void XMLPoller::checkNow()
{
    m_timer.start();
    timeout();
}

void XMLPoller::setEnabled(bool enabled)
{
    m_enabled = enabled;
}

void XMLPoller::setHeld(bool held)
{
    m_held = held;
}

void XMLPoller::applyFilter(const QString& job, const QString& filterId, QStringList& list)
{
    SettingsManager* settings = SettingsManager::instance();
    if (!settings)
        return;
    const QString base = QStringLiteral("jobs/%1/%2/").arg(job, filterId);
    const QString line = McRequest::filterLine(
        settings->getValue(base + QStringLiteral("filterName"), QString(), true),
        settings->getValue(base + QStringLiteral("filterValue"), QString(), true),
        settings->getValue(base + QStringLiteral("operator"), QStringLiteral("=="), true));
    if (!line.isEmpty())
        list.append(line);
}

QList<qint64> XMLPoller::reportIdsAbove(qint64 fromId)
{
    const MCConnectionSettings connection = MCConnectionSettings::read(SettingsManager::instance());
    std::unique_ptr<MCComm> mc = connection.createClient();
    QString reply;
    if (!mc->searchReports({McRequest::idSearch(connection.onlyReported, fromId)}, QStringLiteral("csv"),
                           &reply))
        return {};
    return MCConnectionSettings::ids(reply);
}

QList<QPair<qint64, qint64>> XMLPoller::pageRanges(const QList<qint64>& ids, qint64 fromId, qint64 newest,
                                                   int pageSize)
{
    QList<QPair<qint64, qint64>> pages;
    qint64 from = fromId;
    int inPage = 0;
    for (const qint64 id : ids) {
        if (id <= from || id > newest)
            continue;
        if (++inPage == pageSize && id < newest) {
            pages.append({from, id});
            from = id;
            inPage = 0;
        }
    }
    if (from < newest)
        pages.append({from, newest});
    return pages;
}

int XMLPoller::nextPageSize(qint64 chars, int reports)
{
    if (reports <= 0 || chars <= 0)
        return kPageSize;
    return int(std::clamp<qint64>(kPageChars * reports / chars, 1, kPageSize));
}

QMap<qint64, QString> XMLPoller::reportsAbove(qint64 fromId)
{
    const MCConnectionSettings connection = MCConnectionSettings::read(SettingsManager::instance());
    std::unique_ptr<MCComm> mc = connection.createClient();
    QString reply;
    if (!mc->searchReports({McRequest::idAndDocumentSearch(connection.onlyReported, fromId)},
                           QStringLiteral("csv"), &reply)) {
        noteUnreachable(*mc);
        return {};
    }
    return MCConnectionSettings::idsWithDocuments(reply);
}

qint64 XMLPoller::getLatestReportId(qint64 fromId)
{
    const MCConnectionSettings connection = MCConnectionSettings::read(SettingsManager::instance());
    std::unique_ptr<MCComm> mc = connection.createClient();
    QString reply;
    if (!mc->searchReports({McRequest::idSearch(connection.onlyReported, fromId)}, QStringLiteral("csv"),
                           &reply))
        return 0;
    return MCConnectionSettings::largestId(reply);
}

bool XMLPoller::noteUnreachable(const MCComm& mc)
{
    if (mc.lastHttpStatus() != 0 || mc.certificateRefused())
        return false;
    if (!m_unreachableNoted.exchange(true))
        emit consoleUnreachable();
    return true;
}

void XMLPoller::checkConsoleBehind(qint64 lastId, qint64 newestAboveWatermark)
{
    if (newestAboveWatermark > lastId || lastId <= 0) {
        if (m_consoleNewest.exchange(-1) >= 0)
            emit consoleBehind(-1, lastId);
        return;
    }
    // Nothing above the watermark. A console restored or reinstalled numbers its reports below it
    // again; they would never be fetched, so say so instead of waiting silently.
    const MCConnectionSettings connection = MCConnectionSettings::read(SettingsManager::instance());
    std::unique_ptr<MCComm> mc = connection.createClient();
    // The newest id above `from`, or -1 when the search failed (a failure proves nothing).
    const auto newestAbove = [&](qint64 from) -> qint64 {
        QString reply;
        if (!mc->searchReports({McRequest::idSearch(connection.onlyReported, from)}, QStringLiteral("csv"),
                               &reply))
            return -1;
        return MCConnectionSettings::largestId(reply);
    };
    const qint64 known = m_consoleNewest.load();
    qint64 consoleNewest = known;
    if (known < 0) {
        const qint64 probe = newestAbove(lastId - 1);
        if (probe < 0 || probe >= lastId)
            return; // the watermark's own report is there: nothing went back
        consoleNewest = newestAbove(0);
        if (consoleNewest < 0)
            return;
    } else {
        consoleNewest = std::max(known, newestAbove(known));
    }
    if (consoleNewest >= lastId || consoleNewest == known)
        return;
    m_consoleNewest = consoleNewest;
    qWarning() << "The console's newest report id" << consoleNewest << "is below the watermark" << lastId
               << "(MC/lastReportId): its reports are not fetched until the watermark is moved";
    emit consoleBehind(consoleNewest, lastId);
}

bool XMLPoller::checkIdsReset(qint64 lastId, const QString& document, const QMap<qint64, QString>& reports)
{
    // A watermark moved since the last note: a reset found at the new one is news again.
    qint64 noted = m_resetAt.load();
    if (noted >= 0 && noted != lastId)
        m_resetAt.compare_exchange_strong(noted, -1);
    if (document.isEmpty() || lastId <= 0 || reports.isEmpty()) {
        // Not known, or the search failed: a failure proves nothing.
        return false;
    }
    const auto at = reports.constFind(lastId);
    const bool replaced = at != reports.constEnd() ? !at.value().isEmpty() && at.value() != document
                                                   : reports.lastKey() > lastId;
    if (!replaced) {
        if (m_resetAt.exchange(-1) >= 0)
            emit idsReset(-1, lastId);
        return false;
    }
    if (m_resetAt.exchange(lastId) == lastId)
        return true; // already said
    // Where the report fetched last is now decides what the user may continue from: after it, or,
    // when the console no longer holds it, from its first report.
    const MCConnectionSettings connection = MCConnectionSettings::read(SettingsManager::instance());
    std::unique_ptr<MCComm> mc = connection.createClient();
    QString reply;
    qint64 continueFrom = 0;
    if (mc->searchReports({McRequest::documentSearch(document)}, QStringLiteral("csv"), &reply)) {
        const QList<qint64> ids = MCConnectionSettings::ids(reply);
        if (!ids.isEmpty() && ids.first() < lastId)
            continueFrom = ids.first();
    }
    qWarning() << "The console's report" << lastId << "is not the report" << document
               << "fetched there (its ids started again): nothing is fetched until the watermark is moved;"
               << "the console's reports after" << continueFrom << "are new";
    emit idsReset(continueFrom, lastId);
    return true;
}

void XMLPoller::doCheck()
{
    SettingsManager* settings = SettingsManager::instance();
    if (!settings) {
        m_thread->quit();
        return;
    }
    const MCConnectionSettings connection = MCConnectionSettings::read(settings);
    std::unique_ptr<MCComm> mc = connection.createClient();

    m_unreachableNoted = false;
    if (!mc->checkConnection()) {
        qDebug() << "Cant not communicate to Management Console";
        // A refused user counts as not reachable too, as in the connection check.
        if (!mc->certificateRefused() && !m_unreachableNoted.exchange(true))
            emit consoleUnreachable();
        m_thread->quit();
        return;
    }
    emit consoleAnswered();

    Watermark watermark(settings);
    const qint64 lastId = watermark.lastId();
    const QString lastDocument = watermark.document();
    const QList<JobListModel::Job> storedJobs = JobListModel::read(settings);
    bool retryPending = false;
    for (const JobListModel::Job& job : storedJobs)
        retryPending = retryPending || (job.active && watermark.restartPoint(job.id) >= 0);

    // The reports from the watermark's own on (to tell whether it is still the report fetched there)
    // and above the lowest point any job fetches from: the newest of them ends this poll, and they cut
    // a backlog into pages.
    const qint64 fetchStart = firstFetchStart(watermark, storedJobs);
    const qint64 searchFrom =
        lastDocument.isEmpty() || lastId <= 0 ? fetchStart : std::min(fetchStart, lastId - 1);
    const QMap<qint64, QString> found = reportsAbove(searchFrom);
    if (m_unreachableNoted.load() || checkIdsReset(lastId, lastDocument, found)) {
        m_thread->quit();
        return;
    }
    const QList<qint64> ids = found.keys();
    QHash<QString, qint64> consoleIds;
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        if (!it.value().isEmpty())
            consoleIds.insert(it.value(), it.key());
    }
    qint64 newest = ids.isEmpty() ? 0 : ids.last();
    checkConsoleBehind(lastId, newest);
    if (newest <= lastId) {
        if (!retryPending) {
            m_thread->quit();
            return;
        }
        // Nothing new, but a job still misses an earlier range: fetch that range again.
        newest = lastId;
    }

    {
        DurationLog duration("SingleRequest");
        // Where each active job's fetch stands (the id it has fetched up to): each page is stored as
        // it comes, with the watermark and restart points that pass it, so its labels print while
        // the rest of a backlog is still fetched. The watermark is the furthest point any job
        // reached; a job behind it keeps its point as restart point.
        QHash<QString, qint64> reachedBy;
        for (const JobListModel::Job& stored : storedJobs) {
            if (stored.active)
                reachedBy.insert(stored.id, watermark.nextFetchFrom(stored.id));
        }
        qint64 storedId = lastId;
        QHash<QString, qint64> storedPoints;
        for (auto it = reachedBy.cbegin(); it != reachedBy.cend(); ++it)
            storedPoints.insert(it.key(), watermark.restartPoint(it.key()));
        // Stores the watermark at `to` (at least) and every job's point; the staged labels print once
        // it is stored, and go (they are fetched again) when it cannot be.
        bool stopped = false;
        const auto storeProgress = [&](qint64 to, const QStringList& staged) {
            for (const qint64 at : qAsConst(reachedBy))
                to = std::max(to, at);
            to = std::max(to, storedId);
            QHash<QString, qint64> points;
            for (auto it = reachedBy.cbegin(); it != reachedBy.cend(); ++it)
                points.insert(it.key(), it.value() < to ? it.value() : -1);
            if (to == storedId && points == storedPoints && staged.isEmpty())
                return true;
            const QString document = to == lastId ? lastDocument : found.value(to);
            if (!watermark.advance(storedId, to, document, points)) {
                qWarning() << "The report id watermark could not be stored (" << settings->saveProblem()
                           << "); reports" << firstFetchStart(watermark, storedJobs) + 1 << "-" << newest
                           << "will be fetched again";
                if (m_store.discard && !staged.isEmpty())
                    m_store.discard(staged);
                stopped = true;
                return false;
            }
            storedId = to;
            storedPoints = points;
            if (m_store.commit && !staged.isEmpty())
                m_store.commit(staged);
            return true;
        };
        // Set once an export got no answer: the jobs after it keep their points for the next poll
        // instead of each waiting for a console that is gone.
        bool unreachable = false;
        for (const JobListModel::Job& stored : storedJobs) {
            const QString& job = stored.id;
            if (!stored.active || unreachable || stopped)
                continue;
            const qint64 fromId = reachedBy.value(job);
            const QString& jobName = stored.name;
            const QString& layout = stored.layout;
            const QString& printer = stored.printer;

            // A page is stored while the next one is fetched: the console's answer and the disk's
            // syncs overlap, and at most two pages of report texts are held. The fetch runs on its
            // own thread; this one does not touch `mc` until it has joined.
            const auto exportLines = [&](const QPair<qint64, qint64>& page) {
                QStringList lines;
                if (connection.onlyReported)
                    lines.append(McRequest::onlyExportedLine());
                lines.append(McRequest::idLine(QStringLiteral("gt"), page.first));
                lines.append(McRequest::idLine(QStringLiteral("lte"), page.second));
                for (const JobListModel::Filter& filter : stored.filters)
                    lines.append(McRequest::filterLine(filter.field, filter.value, filter.op));
                emit statusBarMessage(QStringLiteral("Fetching Reports: %1 - %2 (%3)")
                                          .arg(page.first + 1)
                                          .arg(page.second)
                                          .arg(jobName));
                return lines;
            };
            MCComm* client = mc.get();
            const auto startExport = [this, client](const QStringList& lines) {
                auto promise = std::make_shared<std::promise<Export>>();
                std::future<Export> result = promise->get_future();
                m_fetcher.start([client, lines, promise] {
#ifdef Q_OS_LINUX
                    pthread_setname_np(pthread_self(), "Page fetch");
#endif
                    Export fetched;
                    fetched.exported = client->exportReports(lines, &fetched.reports);
                    promise->set_value(std::move(fetched));
                });
                return result;
            };
            int pageSize = kFirstPageSize;
            QPair<qint64, qint64> page;
            std::future<Export> fetching;
            if (fromId < newest) {
                page = pageRanges(ids, fromId, newest, pageSize).constFirst();
                fetching = startExport(exportLines(page));
            }
            while (fetching.valid()) {
                // Reports stay in the reply's UTF-8 all the way into the spool.
                Export fetched = fetching.get();
                const bool exported = fetched.exported;
                QByteArrayList& reports = fetched.reports;
                if (!exported)
                    unreachable = noteUnreachable(*mc);
                const int fetchedCount = reports.size();
                qint64 chars = 0;
                for (const QByteArray& report : qAsConst(reports))
                    chars += report.size();
                pageSize = nextPageSize(chars, fetchedCount);
                const QPair<qint64, qint64> current = page;
                if (exported && current.second < newest) {
                    page = pageRanges(ids, current.second, newest, pageSize).constFirst();
                    fetching = startExport(exportLines(page));
                }
                reports.erase(std::remove_if(reports.begin(), reports.end(), isIssueReport), reports.end());
                qDebug() << "Job:" << (jobName.isEmpty() ? QStringLiteral("Unknown") : jobName) << "Printing"
                         << fetchedCount << "Reports"
                         << "(" << current.first + 1 << "-" << current.second << ")";

                // The labels are on disk before the watermark moves past their reports.
                QStringList staged;
                const bool kept = !exported || reports.isEmpty() || !m_store.stage ||
                                  m_store.stage(job, jobName, layout, printer, reports, consoleIds,
                                                current.first, current.second, &staged);
                if (!exported || !kept) {
                    // The job keeps its point at this page: the next poll asks for it again instead
                    // of losing these labels (the pages before it are kept).
                    qDebug() << "Job:" << jobName
                             << (exported ? "reports could not be spooled" : "export failed") << "; reports"
                             << current.first + 1 << "-" << newest << "will be fetched again";
                    break;
                }
                reachedBy.insert(job, current.second);
                if (!storeProgress(storedId, staged))
                    break;
                // As texts only for whoever listens: the spool has them already.
                if (!reports.isEmpty() &&
                    isSignalConnected(QMetaMethod::fromSignal(&XMLPoller::ReportsFetched))) {
                    QStringList texts;
                    for (const QByteArray& report : qAsConst(reports))
                        texts << QString::fromUtf8(report);
                    emit ReportsFetched(jobName, layout, printer, texts, current.first + 1, current.second);
                }
            }
            // A page still on its way when the job stopped early: `mc` must outlive its fetch.
            if (fetching.valid())
                fetching.wait();
        }
        // Reports pass inactive jobs by, also when no job is active: a job made active later prints
        // from the start point chosen then (its restart point), not a backlog nobody expected.
        if (!stopped)
            storeProgress(newest, {});
    }
    settings->flush();
    m_thread->quit();
}
