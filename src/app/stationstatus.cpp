#include "app/stationstatus.h"

#include "app/applicationsetup.h"
#include "app/viewer.h"
#include "mc/connectioncheck.h"
#include "printing/labeljob.h"
#include "printing/printermonitor.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QMap>
#include <QMutexLocker>

const QString StationStatus::kMaxWaitKey = QStringLiteral("status/maxWaitSeconds");

namespace {

QString timeText(const QString& iso)
{
    const QDateTime time = QDateTime::fromString(iso, Qt::ISODate);
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                          : QStringLiteral("never");
}

QString ageText(qint64 seconds)
{
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 7200)
        return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h").arg(seconds / 3600);
}

QString labelsText(int count)
{
    return count == 1 ? QStringLiteral("1 label") : QStringLiteral("%1 labels").arg(count);
}

// A Prometheus label value: backslash, quote and line break escaped.
QString metricLabel(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return escaped;
}

} // namespace

StationStatus::StationStatus(Viewer* viewer, QObject* parent) : QObject(parent), m_viewer(viewer)
{
    m_consoleState = viewer->connectionState();
    m_consoleSince = QDateTime::currentDateTimeUtc();
    connect(viewer, &Viewer::connectionStateChanged, this, &StationStatus::onConnectionStateChanged);
    if (PrintHandler* handler = viewer->printHandler())
        connect(handler, &PrintHandler::pausedChanged, this, &StationStatus::refresh);
    // Ages grow without any event, and a backlog changes the spool with every label: a snapshot a
    // second is fine enough for a status and costs the window nothing per label.
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &StationStatus::refresh);
    m_timer.start();
    refresh();
}

void StationStatus::onConnectionStateChanged()
{
    const QString state = m_viewer->connectionState();
    if (state == m_consoleState)
        return;
    m_consoleState = state;
    m_consoleSince = QDateTime::currentDateTimeUtc();
    refresh();
}

QJsonObject StationStatus::refresh()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QJsonObject status;
    status[QStringLiteral("version")] = QString::fromLatin1(ApplicationSetup::kVersion);
    status[QStringLiteral("pid")] = QCoreApplication::applicationPid();
    status[QStringLiteral("time")] = now.toString(Qt::ISODate);

    QJsonObject console;
    console[QStringLiteral("state")] = m_consoleState;
    console[QStringLiteral("since")] = m_consoleSince.toString(Qt::ISODate);
    console[QStringLiteral("reachable")] =
        m_consoleState == ConnectionCheck::kConnected || m_consoleState == Viewer::kConsoleBehind;
    const QDateTime lastPoll = m_viewer->lastPoll();
    console[QStringLiteral("lastPoll")] =
        lastPoll.isValid() ? lastPoll.toUTC().toString(Qt::ISODate) : QString();
    status[QStringLiteral("console")] = console;

    PrintHandler* handler = m_viewer->printHandler();
    status[QStringLiteral("paused")] = handler->paused();
    // Waiting labels by the printer their job names now, with the oldest one's age.
    QHash<QString, JobListModel::Job> jobs;
    for (const JobListModel::Job& job : JobListModel::read(SettingsManager::instance()))
        jobs.insert(job.id, job);
    struct Backlog
    {
        int count = 0;
        QDateTime oldest;
    };
    QMap<QString, Backlog> backlog;
    int waiting = 0;
    for (const SpoolEntry& entry : handler->spool()->pending()) {
        QString layout, printer;
        PrintHandler::resolveJob(entry, jobs, &layout, &printer);
        Backlog& b = backlog[LabelJob::printerKeyOf(printer)];
        ++b.count;
        ++waiting;
        if (entry.spooledAt.isValid() && (!b.oldest.isValid() || entry.spooledAt < b.oldest))
            b.oldest = entry.spooledAt;
    }
    QJsonArray printers;
    qint64 oldestAge = 0;
    for (auto it = backlog.constBegin(); it != backlog.constEnd(); ++it) {
        QJsonObject p;
        p[QStringLiteral("printer")] = it.key();
        p[QStringLiteral("waiting")] = it->count;
        const PrinterMonitor* monitor = handler->monitor();
        p[QStringLiteral("reason")] = monitor->isHeld(it.key()) ? monitor->reason(it.key()) : QString();
        const qint64 age = it->oldest.isValid() ? std::max<qint64>(0, it->oldest.secsTo(now)) : 0;
        p[QStringLiteral("oldestSeconds")] = age;
        oldestAge = std::max(oldestAge, age);
        printers.append(p);
    }
    status[QStringLiteral("waiting")] = waiting;
    status[QStringLiteral("oldestWaitingSeconds")] = oldestAge;
    status[QStringLiteral("printers")] = printers;
    status[QStringLiteral("failed")] = handler->failedLabels();

    int today = 0;
    QDateTime last;
    if (const ReportListModel* log = ReportListModel::instance())
        log->printedSince(QDateTime(QDate::currentDate(), QTime(0, 0)), &today, &last);
    status[QStringLiteral("printedToday")] = today;
    status[QStringLiteral("lastPrinted")] = last.isValid() ? last.toUTC().toString(Qt::ISODate) : QString();
    const int maxWait =
        SettingsManager::instance()
            ? SettingsManager::instance()->getIntValue(kMaxWaitKey, kDefaultMaxWaitSeconds, true)
            : kDefaultMaxWaitSeconds;
    status[QStringLiteral("maxWaitSeconds")] = maxWait;
    status[QStringLiteral("healthy")] = healthy(status);
    {
        QMutexLocker locker(&m_lock);
        m_snapshot = status;
    }
    const QString line = oneLine(status);
    if (line != m_lastLine) {
        m_lastLine = line;
        emit summaryChanged(line);
    }
    return status;
}

QJsonObject StationStatus::snapshot() const
{
    QMutexLocker locker(&m_lock);
    return m_snapshot;
}

bool StationStatus::healthy(const QJsonObject& s)
{
    const bool reachable =
        s.value(QStringLiteral("console")).toObject().value(QStringLiteral("reachable")).toBool();
    const qint64 oldest = qint64(s.value(QStringLiteral("oldestWaitingSeconds")).toDouble());
    return reachable && oldest <= s.value(QStringLiteral("maxWaitSeconds")).toInt(kDefaultMaxWaitSeconds);
}

QString StationStatus::oneLine(const QJsonObject& s)
{
    QStringList parts;
    parts << s.value(QStringLiteral("console")).toObject().value(QStringLiteral("state")).toString();
    if (s.value(QStringLiteral("paused")).toBool())
        parts << QStringLiteral("printing paused");
    for (const QJsonValue& value : s.value(QStringLiteral("printers")).toArray()) {
        const QJsonObject p = value.toObject();
        const QString printer = p.value(QStringLiteral("printer")).toString();
        const QString reason = p.value(QStringLiteral("reason")).toString();
        parts << QStringLiteral("%1 waiting for %2%3")
                     .arg(labelsText(p.value(QStringLiteral("waiting")).toInt()),
                          printer.isEmpty() ? QStringLiteral("a printer to be set") : printer,
                          reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
    }
    const int failed = s.value(QStringLiteral("failed")).toInt();
    if (failed > 0)
        parts << QStringLiteral("%1 failed").arg(labelsText(failed));
    return parts.join(QStringLiteral(", "));
}

QString StationStatus::toText(const QJsonObject& s)
{
    const QJsonObject console = s.value(QStringLiteral("console")).toObject();
    QStringList lines;
    lines << QStringLiteral("Console:        %1 since %2 (last poll: %3)")
                 .arg(console.value(QStringLiteral("state")).toString(),
                      timeText(console.value(QStringLiteral("since")).toString()),
                      timeText(console.value(QStringLiteral("lastPoll")).toString()));
    lines << QStringLiteral("Printing:       %1")
                 .arg(s.value(QStringLiteral("paused")).toBool() ? QStringLiteral("paused")
                                                                 : QStringLiteral("running"));
    const QJsonArray printers = s.value(QStringLiteral("printers")).toArray();
    if (printers.isEmpty())
        lines << QStringLiteral("Waiting:        none");
    for (const QJsonValue& value : printers) {
        const QJsonObject p = value.toObject();
        const QString printer = p.value(QStringLiteral("printer")).toString();
        const QString reason = p.value(QStringLiteral("reason")).toString();
        lines << QStringLiteral("Waiting:        %1 for \"%2\"%3, oldest %4")
                     .arg(labelsText(p.value(QStringLiteral("waiting")).toInt()),
                          printer.isEmpty() ? QStringLiteral("(no printer set)") : printer,
                          reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason),
                          ageText(qint64(p.value(QStringLiteral("oldestSeconds")).toDouble())));
    }
    lines << QStringLiteral("Failed:         %1").arg(s.value(QStringLiteral("failed")).toInt());
    lines << QStringLiteral("Printed today:  %1 (last: %2)")
                 .arg(s.value(QStringLiteral("printedToday")).toInt())
                 .arg(timeText(s.value(QStringLiteral("lastPrinted")).toString()));
    lines << QStringLiteral("Version:        %1 (process %2)")
                 .arg(s.value(QStringLiteral("version")).toString())
                 .arg(qint64(s.value(QStringLiteral("pid")).toDouble()));
    lines << QStringLiteral("Health:         %1")
                 .arg(s.value(QStringLiteral("healthy")).toBool()
                          ? QStringLiteral("OK")
                          : QStringLiteral("ATTENTION (console unreachable or labels waiting over %1 s)")
                                .arg(s.value(QStringLiteral("maxWaitSeconds")).toInt()));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString StationStatus::toMetrics(const QJsonObject& s)
{
    const QJsonObject console = s.value(QStringLiteral("console")).toObject();
    QString text;
    const auto metric = [&text](const QString& name, const QString& help, const QString& type) {
        text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n").arg(name, help, type);
    };
    metric(QStringLiteral("labelprinter_printed_today"), QStringLiteral("Labels printed since midnight."),
           QStringLiteral("gauge"));
    text += QStringLiteral("labelprinter_printed_today %1\n")
                .arg(s.value(QStringLiteral("printedToday")).toInt());
    metric(QStringLiteral("labelprinter_waiting_labels"), QStringLiteral("Labels waiting, per printer."),
           QStringLiteral("gauge"));
    metric(QStringLiteral("labelprinter_oldest_waiting_seconds"),
           QStringLiteral("Age of the oldest waiting label, per printer."), QStringLiteral("gauge"));
    QString ages;
    for (const QJsonValue& value : s.value(QStringLiteral("printers")).toArray()) {
        const QJsonObject p = value.toObject();
        const QString label = metricLabel(p.value(QStringLiteral("printer")).toString());
        text += QStringLiteral("labelprinter_waiting_labels{printer=\"%1\"} %2\n")
                    .arg(label)
                    .arg(p.value(QStringLiteral("waiting")).toInt());
        ages += QStringLiteral("labelprinter_oldest_waiting_seconds{printer=\"%1\"} %2\n")
                    .arg(label)
                    .arg(qint64(p.value(QStringLiteral("oldestSeconds")).toDouble()));
    }
    text += ages;
    metric(QStringLiteral("labelprinter_failed_labels"), QStringLiteral("Labels in the failed list."),
           QStringLiteral("gauge"));
    text += QStringLiteral("labelprinter_failed_labels %1\n").arg(s.value(QStringLiteral("failed")).toInt());
    metric(QStringLiteral("labelprinter_console_up"), QStringLiteral("1 when the console is reached."),
           QStringLiteral("gauge"));
    text += QStringLiteral("labelprinter_console_up %1\n")
                .arg(console.value(QStringLiteral("reachable")).toBool() ? 1 : 0);
    metric(QStringLiteral("labelprinter_last_poll_timestamp_seconds"),
           QStringLiteral("When the console was last polled successfully (Unix time; 0: never)."),
           QStringLiteral("gauge"));
    const QDateTime lastPoll =
        QDateTime::fromString(console.value(QStringLiteral("lastPoll")).toString(), Qt::ISODate);
    text += QStringLiteral("labelprinter_last_poll_timestamp_seconds %1\n")
                .arg(lastPoll.isValid() ? lastPoll.toSecsSinceEpoch() : 0);
    metric(QStringLiteral("labelprinter_paused"), QStringLiteral("1 while printing is paused."),
           QStringLiteral("gauge"));
    text +=
        QStringLiteral("labelprinter_paused %1\n").arg(s.value(QStringLiteral("paused")).toBool() ? 1 : 0);
    metric(QStringLiteral("labelprinter_healthy"), QStringLiteral("1 when printing is healthy."),
           QStringLiteral("gauge"));
    text +=
        QStringLiteral("labelprinter_healthy %1\n").arg(s.value(QStringLiteral("healthy")).toBool() ? 1 : 0);
    return text;
}
