#include "app/stationwatch.h"

#include "app/healthserver.h"
#include "app/stationstatus.h"
#include "app/statusserver.h"
#include "app/systemdnotifier.h"
#include "app/viewer.h"
#include "mc/connectioncheck.h"
#include "settings/settingsmanager.h"

#include <QDebug>
#include <QJsonDocument>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {
// A console that does not answer takes up to a minute to time out; the service counts as started
// well before that.
constexpr int kReadyAtLatestMs = 20000;
} // namespace

StationWatch::StationWatch(Viewer* viewer, const QString& dataRoot, QObject* parent)
    : QObject(parent), m_status(new StationStatus(viewer, this)),
      m_server(new StatusServer(
          dataRoot, [this] { return m_status->refresh(); }, this)),
      m_notifier(new SystemdNotifier(this))
{
    m_server->listen();
    connect(m_status, &StationStatus::summaryChanged, m_notifier, &SystemdNotifier::status);
    m_notifier->status(StationStatus::oneLine(m_status->snapshot()));
    // Ready once the start-up check of the console has an answer.
    const auto settled = [viewer] {
        const QString state = viewer->connectionState();
        return !state.isEmpty() && state != ConnectionCheck::kConnecting;
    };
    connect(viewer, &Viewer::connectionStateChanged, this, [this, settled] {
        if (settled())
            sendReady();
    });
    if (settled())
        sendReady();
    QTimer::singleShot(kReadyAtLatestMs, this, &StationWatch::sendReady);

    const int port = SettingsManager::instance()
                         ? SettingsManager::instance()->getIntValue(HealthServer::kPortKey, 0, true)
                         : 0;
    if (port > 0) {
        StationStatus* status = m_status;
        m_health = std::make_unique<HealthServer>([status] { return status->snapshot(); });
        m_health->start(port);
    }
}

StationWatch::~StationWatch()
{
    shutDown();
}

void StationWatch::sendReady()
{
    if (m_ready)
        return;
    m_ready = true;
    m_notifier->ready();
    bool ok = false;
    const int blockMs = qEnvironmentVariableIntValue(kBlockLoopVariable, &ok);
    if (ok && blockMs > 0)
        QTimer::singleShot(1000, this, [blockMs] {
            qWarning() << "Test hook: blocking the event loop for" << blockMs << "ms";
            QThread::msleep(static_cast<unsigned long>(blockMs));
        });
}

void StationWatch::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_health)
        m_health->stop();
    m_notifier->stopping();
}

int StationWatch::printStatus(const QString& dataRoot, bool json)
{
    QJsonObject status;
    QString error;
    const StatusServer::Answer answer = StatusServer::ask(dataRoot, &status, &error);
    if (answer != StatusServer::Answer::Answered) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    const QByteArray text =
        json ? QJsonDocument(status).toJson(QJsonDocument::Indented) : StationStatus::toText(status).toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
    return StationStatus::healthy(status) ? 0 : 1;
}
