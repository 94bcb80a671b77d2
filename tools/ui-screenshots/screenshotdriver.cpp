#include "screenshotdriver.h"

#include "app/viewer.h"
#include "printing/printhandler.h"
#include "printing/printspool.h"
#include "printing/reportlistmodel.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QImage>
#include <QQuickItem>
#include <QTcpServer>

#include <cstdio>

namespace {
constexpr int kPollMs = 500;
// Long enough for a resize or a view switch to be laid out and drawn.
constexpr int kSettleMs = 800;
} // namespace

ScreenshotDriver::ScreenshotDriver(Viewer* viewer, const QString& outputDir, int timeoutSeconds,
                                   QObject* parent)
    : QObject(parent), m_viewer(viewer), m_outputDir(outputDir), m_timeoutSeconds(timeoutSeconds)
{
    // The states an operator meets beyond the plain views: a new job (inactive, with a job whose
    // layout is gone beside it), the Report Log narrowed by a search, its help page and its list
    // of failed labels with their note. Last, the console gone while connected ("offline").
    const char* const views[] = {"jobs",   "layouts", "reports", "settings", "newjob",
                                 "search", "help",    "failed",  "offline"};
    for (int i = 0; i < int(sizeof(views) / sizeof(views[0])); ++i) {
        for (const QSize& size : {QSize(1200, 800), QSize(1920, 1080)})
            m_shots.append({size, QString::fromLatin1(views[i]), i + 1});
    }
    m_timer.setSingleShot(true);
}

void ScreenshotDriver::start()
{
    QDir().mkpath(m_outputDir);
    m_timer.disconnect();
    connect(&m_timer, &QTimer::timeout, this, &ScreenshotDriver::waitForStation);
    m_timer.start(kPollMs);
}

void ScreenshotDriver::waitForStation()
{
    const ReportListModel* reports = ReportListModel::instance();
    const bool printed = reports && reports->rowCount() > 0;
    if (m_viewer->isVisible() && m_viewer->connectionState() == QLatin1String("Connected") && printed) {
        std::printf("screenshots: window up, connected, %d report(s) printed\n", reports->rowCount());
        std::fflush(stdout);
        m_timer.disconnect();
        connect(&m_timer, &QTimer::timeout, this, &ScreenshotDriver::grabCurrent);
        prepareNext();
        return;
    }
    m_waitedMs += kPollMs;
    if (m_waitedMs >= m_timeoutSeconds * 1000) {
        std::fprintf(stderr, "screenshots: gave up after %d s (visible %d, state \"%s\", printed %d)\n",
                     m_timeoutSeconds, int(m_viewer->isVisible()), qPrintable(m_viewer->connectionState()),
                     int(printed));
        finish(1);
        return;
    }
    m_timer.start(kPollMs);
}

void ScreenshotDriver::prepareNext()
{
    QQuickItem* frame = m_viewer->rootObject();
    if (!frame) {
        std::fprintf(stderr, "screenshots: the window shows no interface\n");
        finish(1);
        return;
    }
    const Shot& shot = m_shots.at(m_next);
    if (m_viewer->size() != shot.size)
        m_viewer->resize(shot.size);
    QObject* search = frame->findChild<QObject*>(QStringLiteral("reportSearchField"));
    if (search)
        search->setProperty("text",
                            shot.view == QLatin1String("search") ? QStringLiteral("Apple") : QString());
    if (QObject* help = frame->findChild<QObject*>(QStringLiteral("helpPage")))
        QMetaObject::invokeMethod(help, "close");
    if (shot.view == QLatin1String("settings")) {
        QMetaObject::invokeMethod(frame, "showView", Q_ARG(QVariant, QStringLiteral("jobs")));
        QMetaObject::invokeMethod(frame, "openSettings");
    } else {
        if (QObject* panel = frame->property("settingsPanel").value<QObject*>())
            QMetaObject::invokeMethod(panel, "close");
        if (shot.view == QLatin1String("newjob")) {
            showNewJob(frame);
            QMetaObject::invokeMethod(frame, "showView", Q_ARG(QVariant, QStringLiteral("jobs")));
        } else if (shot.view == QLatin1String("offline")) {
            QMetaObject::invokeMethod(frame, "showView", Q_ARG(QVariant, QStringLiteral("jobs")));
            if (m_viewer->connectionState() != QLatin1String("Failed to connect")) {
                goOffline();
                return;
            }
        } else if (shot.view == QLatin1String("search")) {
            QMetaObject::invokeMethod(frame, "showView", Q_ARG(QVariant, QStringLiteral("reports")));
        } else if (shot.view == QLatin1String("failed")) {
            failSomeLabels();
            QMetaObject::invokeMethod(frame, "showView", Q_ARG(QVariant, QStringLiteral("reports")));
        } else if (shot.view == QLatin1String("help")) {
            QMetaObject::invokeMethod(frame, "showView", Q_ARG(QVariant, QStringLiteral("reports")));
            QMetaObject::invokeMethod(frame, "openHelp");
        } else {
            QMetaObject::invokeMethod(frame, "showView", Q_ARG(QVariant, shot.view));
        }
    }
    m_timer.start(kSettleMs);
}

void ScreenshotDriver::grabCurrent()
{
    const Shot& shot = m_shots.at(m_next);
    const QImage image = m_viewer->grabWindow();
    const QString file = QDir(m_outputDir)
                             .filePath(QStringLiteral("%1x%2-%3-%4.png")
                                           .arg(shot.size.width())
                                           .arg(shot.size.height())
                                           .arg(shot.order)
                                           .arg(shot.view));
    if (image.isNull() || !image.save(file)) {
        std::fprintf(stderr, "screenshots: could not save %s\n", qPrintable(file));
        finish(1);
        return;
    }
    std::printf("screenshot: %s (%dx%d)\n", qPrintable(file), image.width(), image.height());
    std::fflush(stdout);
    if (++m_next >= m_shots.size()) {
        finish(0);
        return;
    }
    prepareNext();
}

void ScreenshotDriver::showNewJob(QQuickItem* frame)
{
    QObject* jobsView = frame->findChild<QObject*>(QStringLiteral("jobsView"));
    JobListModel* jobs = m_viewer->jobs();
    if (!jobsView || !jobs)
        return;
    if (m_newJobId.isEmpty()) {
        const QString retired = jobs->createJob(QStringLiteral("Tablets (old label)"));
        jobs->setPrinter(retired, QStringLiteral("PDF files (label archive)"));
        jobs->setLayout(retired, QStringLiteral("Retired label"));
        QVariant id;
        QMetaObject::invokeMethod(jobsView, "createJob", Q_RETURN_ARG(QVariant, id));
        m_newJobId = id.toString();
    } else {
        QMetaObject::invokeMethod(jobsView, "selectJob", Q_ARG(QVariant, m_newJobId));
    }
}

void ScreenshotDriver::goOffline()
{
    if (!m_offline) {
        // A port nothing listens on: the next poll gets no answer, as with a console switched off.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        SettingsManager::instance()->setValue(QStringLiteral("MC/port"), QString::number(port), true);
        m_offline = true;
    }
    m_waitedMs += kPollMs;
    if (m_waitedMs >= m_timeoutSeconds * 1000) {
        std::fprintf(stderr, "screenshots: the window did not say \"Failed to connect\"\n");
        finish(1);
        return;
    }
    QTimer::singleShot(kPollMs, this, &ScreenshotDriver::prepareNext);
}

void ScreenshotDriver::finish(int exitCode)
{
    m_timer.stop();
    QCoreApplication::exit(exitCode);
}

void ScreenshotDriver::failSomeLabels()
{
    if (m_failed)
        return;
    m_failed = true;
    PrintSpool* spool = PrintSpool::instance();
    const QList<PrintedRecord> printed = spool->history();
    SpoolEntry archived;
    if (printed.isEmpty() || !spool->archivedEntry(printed.first().archiveId, &archived))
        return;
    const QString report = QString::fromUtf8(archived.report);
    m_viewer->printHandler()->printReports(
        QStringLiteral("Tablets (old label)"), QStringLiteral("Retired label"),
        QStringLiteral("PDF files (label archive)"), {report, report, report}, 0, 0);
}
