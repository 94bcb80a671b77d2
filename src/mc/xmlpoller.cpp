#include "mc/xmlpoller.h"

#include "mc/mccomm.h"
#include "mc/mcconnectionsettings.h"
#include "mc/mcrequest.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"
#include "shared/durationlog.h"

#include <QDebug>
#include <QMap>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

// Exclusive lower bound of a job's id range that an export failed to fetch; the job fetches from
// there again until an export succeeds.
const QString kRetryFrom = QStringLiteral("retryFromId");

QString jobKey(const QString& job, const QString& key)
{
    return QStringLiteral("jobs/%1/%2").arg(job, key);
}

// The lowest id after which an active job fetches this poll: the watermark or a missed range's start.
qint64 firstFetchStart(SettingsManager* settings, const QStringList& jobs, qint64 lastId)
{
    qint64 from = lastId;
    for (const QString& job : jobs) {
        if (settings->getBooleanValue(jobKey(job, QStringLiteral("active")), true, true) &&
            settings->contains(jobKey(job, kRetryFrom), true))
            from = qMin(from, settings->getValue(jobKey(job, kRetryFrom), QString(), true).toLongLong());
    }
    return from;
}

} // namespace

XMLPoller::XMLPoller(QObject* parent) : QObject(parent), m_thread(new QThread(this))
{
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

qint64 XMLPoller::nextFetchFrom(SettingsManager* settings, const QString& job)
{
    qint64 from = settings->getIntValue(QStringLiteral("MC/lastReportId"), -1, true);
    if (settings->contains(jobKey(job, kRetryFrom), true))
        from = std::min(from, settings->getValue(jobKey(job, kRetryFrom), QString(), true).toLongLong());
    return from;
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

void XMLPoller::doCheck()
{
    SettingsManager* settings = SettingsManager::instance();
    if (!settings) {
        m_thread->quit();
        return;
    }
    const MCConnectionSettings connection = MCConnectionSettings::read(settings);
    std::unique_ptr<MCComm> mc = connection.createClient();

    if (!mc->checkConnection()) {
        qDebug() << "Cant not communicate to Management Console";
        m_thread->quit();
        return;
    }

    const qint64 lastId = settings->getIntValue(QStringLiteral("MC/lastReportId"), -1, true);
    const QList<JobListModel::Job> storedJobs = JobListModel::read(settings);
    QStringList jobs;
    for (const JobListModel::Job& stored : storedJobs)
        jobs.append(stored.id);
    bool retryPending = false;
    for (const QString& job : jobs) {
        if (settings->getBooleanValue(jobKey(job, QStringLiteral("active")), true, true) &&
            settings->contains(jobKey(job, kRetryFrom), true))
            retryPending = true;
    }

    // The ids above the lowest point any job fetches from: the newest of them ends this poll, and
    // they cut a backlog into pages.
    const qint64 searchFrom = firstFetchStart(settings, jobs, lastId);
    const QList<qint64> ids = reportIdsAbove(searchFrom);
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
        emit statusBarMessage(QStringLiteral("Fetching Reports: %2 - %3")
                                  .arg(firstFetchStart(settings, jobs, lastId) + 1)
                                  .arg(newest));

        bool anyActive = false;
        QStringList staged;
        QMap<QString, QString> retrySnapshot;
        for (const QString& job : jobs) {
            if (settings->contains(jobKey(job, kRetryFrom), true))
                retrySnapshot.insert(job, settings->getValue(jobKey(job, kRetryFrom), QString(), true));
        }
        for (const JobListModel::Job& stored : storedJobs) {
            const QString& job = stored.id;
            if (!stored.active)
                continue;
            anyActive = true;

            qint64 fromId = lastId;
            bool retrying = false;
            if (settings->contains(jobKey(job, kRetryFrom), true)) {
                const qint64 retryFrom =
                    settings->getValue(jobKey(job, kRetryFrom), QString(), true).toLongLong();
                if (retryFrom < fromId) {
                    fromId = retryFrom;
                    retrying = true;
                }
            }
            if (fromId >= newest) {
                settings->removeKey(jobKey(job, kRetryFrom), true);
                continue;
            }

            const QString& jobName = stored.name;
            const QString& layout = stored.layout;
            const QString& printer = stored.printer;

            // A page at a time: only one page of report texts is held, and each is on disk before
            // the next is asked for.
            bool complete = true;
            for (const auto& page : pageRanges(ids, fromId, newest, kPageSize)) {
                QStringList lines;
                if (connection.onlyReported)
                    lines.append(McRequest::onlyExportedLine());
                lines.append(McRequest::idLine(QStringLiteral("gt"), page.first));
                lines.append(McRequest::idLine(QStringLiteral("lte"), page.second));
                for (const JobListModel::Filter& filter : stored.filters)
                    lines.append(McRequest::filterLine(filter.field, filter.value, filter.op));

                QStringList reports;
                const bool exported = mc->exportReports(lines, &reports);
                const int fetched = reports.size();
                reports.erase(std::remove_if(reports.begin(), reports.end(),
                                             [](const QString& r) {
                                                 return r.contains(QLatin1String("<korvex_issue_report>"));
                                             }),
                              reports.end());
                qDebug() << "Job:" << (jobName.isEmpty() ? QStringLiteral("Unknown") : jobName) << "Printing"
                         << fetched << "Reports"
                         << "(" << page.first + 1 << "-" << page.second << ")";

                // The labels are on disk before the watermark moves past their reports.
                const bool kept =
                    !exported || reports.isEmpty() || !m_store.stage ||
                    m_store.stage(job, jobName, layout, printer, reports, page.first, page.second, &staged);
                if (!exported || !kept) {
                    // Keep the range from this page on: the next poll asks for it again instead of
                    // losing these labels (the pages before it are kept).
                    settings->setValue(jobKey(job, kRetryFrom), QString::number(page.first), true);
                    qDebug() << "Job:" << jobName
                             << (exported ? "reports could not be spooled" : "export failed") << "; reports"
                             << page.first + 1 << "-" << newest << "will be fetched again";
                    complete = false;
                    break;
                }
                if (!reports.isEmpty())
                    emit ReportsFetched(jobName, layout, printer, reports, int(page.first + 1),
                                        int(page.second));
            }
            if (complete && retrying)
                settings->removeKey(jobKey(job, kRetryFrom), true);
        }
        if (anyActive)
            settings->setValue(QStringLiteral("MC/lastReportId"), newest, true);
        // Printable only once the watermark that passes them is stored; otherwise they are fetched
        // again and these copies go.
        if (settings->syncGlobal()) {
            if (m_store.commit && !staged.isEmpty())
                m_store.commit(staged);
        } else {
            qWarning() << "The settings file cannot be written; reports" << lastId + 1 << "-" << newest
                       << "will be fetched again";
            if (m_store.discard && !staged.isEmpty())
                m_store.discard(staged);
            settings->setValue(QStringLiteral("MC/lastReportId"), lastId, true);
            for (const QString& job : jobs) {
                if (retrySnapshot.contains(job))
                    settings->setValue(jobKey(job, kRetryFrom), retrySnapshot.value(job), true);
                else
                    settings->removeKey(jobKey(job, kRetryFrom), true);
            }
        }
    }
    settings->flush();
    m_thread->quit();
}
