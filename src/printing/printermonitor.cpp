#include "printing/printermonitor.h"

#include "settings/settingsmanager.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <QMutex>

#include <memory>

struct PrinterMonitor::Guard
{
    QMutex lock;
    PrinterMonitor* owner = nullptr;
};

const QString PrinterMonitor::kRetryKey = QStringLiteral("printing/retrySeconds");
const QString PrinterMonitor::kStuckKey = QStringLiteral("printing/stuckJobSeconds");

PrinterMonitor::PrinterMonitor(const QString& jobsFile, QObject* parent)
    : QObject(parent), m_jobsFile(jobsFile)
{
    m_guard = std::make_shared<Guard>();
    m_guard->owner = this;
    m_thread = new QThread;
    m_asker = new QObject;
    m_asker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_asker, &QObject::deleteLater);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("printer monitor"));
    m_thread->start();
    m_timer.setInterval(kCheckMs);
    connect(&m_timer, &QTimer::timeout, this, &PrinterMonitor::check);
    load();
}

void PrinterMonitor::load()
{
    QFile file(m_jobsFile);
    if (m_jobsFile.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QJsonArray jobs = QJsonDocument::fromJson(file.readAll()).array();
    for (const QJsonValue& value : jobs) {
        const QJsonObject job = value.toObject();
        const int id = job.value(QLatin1String("job")).toInt();
        if (id > 0)
            m_followed.append({job.value(QLatin1String("printer")).toString(), id,
                               job.value(QLatin1String("archiveId")).toString(), QDateTime()});
    }
    if (!m_followed.isEmpty()) {
        qDebug() << m_followed.size() << "print jobs of an earlier run are followed until they end";
        m_timer.start();
    }
}

void PrinterMonitor::save() const
{
    if (m_jobsFile.isEmpty())
        return;
    QJsonArray jobs;
    for (const Followed& job : m_followed)
        jobs.append(QJsonObject{{QStringLiteral("printer"), job.printer},
                                {QStringLiteral("job"), job.jobId},
                                {QStringLiteral("archiveId"), job.archiveId}});
    QSaveFile file(m_jobsFile);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(jobs).toJson(QJsonDocument::Compact)) < 0 || !file.commit())
        qWarning() << "The followed print jobs cannot be kept in" << m_jobsFile << ":" << file.errorString();
}

PrinterMonitor::~PrinterMonitor()
{
    stop(5000);
    QMutexLocker locker(&m_guard->lock);
    m_guard->owner = nullptr;
}

int PrinterMonitor::seconds(const QString& key, int fallback)
{
    SettingsManager* settings = SettingsManager::instance();
    const int value = settings ? settings->getIntValue(key, fallback, true) : fallback;
    return value > 0 ? value : fallback;
}

void PrinterMonitor::stop(int milliseconds)
{
    m_timer.stop();
    if (m_stopped)
        return;
    m_stopped = true;
    // The thread deletes itself once it has finished, now or after a hanging call.
    m_thread->quit();
    if (!m_thread->wait(std::max(milliseconds, 1)))
        qWarning() << "The printer monitor is still waiting for the print system";
}

void PrinterMonitor::hold(const QString& printer, const QString& reason, bool refused)
{
    const QDateTime now = QDateTime::currentDateTime();
    Hold& held = m_held[printer];
    if (held.since.isNull())
        held.since = now;
    held.reason = reason;
    held.retryAt = refused ? now.addSecs(seconds(kRetryKey, kDefaultRetrySeconds)) : now;
    if (!m_timer.isActive() && !m_stopped)
        m_timer.start();
}

void PrinterMonitor::releaseAll()
{
    const QStringList printers = m_held.keys();
    m_held.clear();
    for (const QString& printer : printers)
        emit released(printer);
}

void PrinterMonitor::follow(const QString& printer, int jobId, const QString& archiveId)
{
    m_followed.append({printer, jobId, archiveId, QDateTime()});
    save();
    if (!m_timer.isActive() && !m_stopped)
        m_timer.start();
}

void PrinterMonitor::check()
{
    if (m_held.isEmpty() && m_followed.isEmpty()) {
        m_timer.stop();
        return;
    }
    if (m_asking)
        return; // the last round has not come back: the print system is slow
    m_asking = true;
    QStringList asked;
    for (auto it = m_held.cbegin(); it != m_held.cend(); ++it) {
        if (!it.key().isEmpty())
            asked << it.key();
    }
    const QList<Followed> followed = m_followed;
    const qint64 stuckMs = qint64(seconds(kStuckKey, kDefaultStuckSeconds)) * 1000;
    const QDateTime now = QDateTime::currentDateTime();
    QMetaObject::invokeMethod(m_asker, [guard = m_guard, asked, followed, stuckMs, now] {
        Round round;
        for (const QString& printer : asked)
            round.printers.insert(printer, LabelOutput::create(printer)->status());
        for (int i = 0; i < followed.size(); ++i) {
            const Followed& job = followed.at(i);
            std::unique_ptr<LabelOutput> output = LabelOutput::create(job.printer);
            const JobFate fate = output->follow(job.jobId);
            round.jobs.insert(i, fate);
            // A job stopped for too long is taken back, so it cannot print later beside its retry.
            if (fate.state == JobFate::Stuck && job.stuckSince.isValid() &&
                job.stuckSince.msecsTo(now) >= stuckMs && output->cancel(job.jobId))
                round.canceled << i;
        }
        LabelOutput::closeConnections();
        QMutexLocker locker(&guard->lock);
        if (PrinterMonitor* monitor = guard->owner)
            QMetaObject::invokeMethod(
                monitor, [monitor, asked, followed, round] { monitor->apply(asked, followed, round); },
                Qt::QueuedConnection);
    });
}

void PrinterMonitor::apply(const QStringList& asked, const QList<Followed>& followed, const Round& round)
{
    m_asking = false;
    const QDateTime now = QDateTime::currentDateTime();
    // Jobs: the list may have grown meanwhile; those asked about are its first entries.
    QList<Followed> still;
    for (int i = 0; i < m_followed.size(); ++i) {
        Followed job = m_followed.at(i);
        if (i >= followed.size() || !round.jobs.contains(i)) {
            still << job;
            continue;
        }
        const JobFate fate = round.jobs.value(i);
        if (round.canceled.contains(i)) {
            emit jobFailed(
                job.archiveId, job.printer,
                QStringLiteral("%1; the job was taken back from the print queue").arg(fate.reason));
            continue;
        }
        switch (fate.state) {
        case JobFate::Finished:
            break;
        case JobFate::Failed:
            emit jobFailed(job.archiveId, job.printer, fate.reason);
            break;
        case JobFate::Stuck:
            if (!job.stuckSince.isValid())
                job.stuckSince = now;
            still << job;
            break;
        case JobFate::Pending:
            job.stuckSince = QDateTime();
            still << job;
            break;
        }
    }
    const bool someEnded = still.size() != m_followed.size();
    m_followed = still;
    if (someEnded)
        save();

    // Printers: ready ones are released (a refused one once its rest is over); the rest wait on.
    for (auto it = m_held.begin(); it != m_held.end();) {
        const QString printer = it.key();
        const bool wasAsked = asked.contains(printer);
        const PrinterStatus status = round.printers.value(printer);
        const bool ready = wasAsked ? status.ready : true; // no printer set: the rest alone decides
        if (ready && it->retryAt <= now) {
            it = m_held.erase(it);
            qDebug() << "Printer" << printer << "is ready again";
            emit released(printer);
            continue;
        }
        if (!ready) {
            // Whatever held it, it prints as soon as this state clears.
            it->retryAt = now;
            if (status.reason != it->reason) {
                it->reason = status.reason;
                emit reasonChanged(printer, status.reason);
            }
        }
        ++it;
    }
    if (m_held.isEmpty() && m_followed.isEmpty())
        m_timer.stop();
}
