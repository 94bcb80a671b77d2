#include "app/healthserver.h"

#include "app/stationstatus.h"

#include <QDebug>
#include <QJsonDocument>

#include <httplib.h>

const QString HealthServer::kPortKey = QStringLiteral("health/port");

HealthServer::HealthServer(std::function<QJsonObject()> snapshot) : m_snapshot(std::move(snapshot)) {}

HealthServer::~HealthServer()
{
    stop();
}

bool HealthServer::start(int port)
{
    if (port <= 0 || port > 65535)
        return false;
    m_server = std::make_unique<httplib::Server>();
    m_server->Get("/health", [this](const httplib::Request&, httplib::Response& response) {
        const QJsonObject status = m_snapshot();
        response.status = StationStatus::healthy(status) ? 200 : 503;
        response.set_content(QJsonDocument(status).toJson(QJsonDocument::Indented).toStdString(),
                             "application/json");
    });
    m_server->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(StationStatus::toMetrics(m_snapshot()).toStdString(),
                             "text/plain; version=0.0.4; charset=utf-8");
    });
    // Loopback only: the endpoint has no authentication.
    if (!m_server->bind_to_port("127.0.0.1", port)) {
        qWarning() << "The health endpoint cannot listen on 127.0.0.1 port" << port
                   << "(in use, or not allowed); it stays off";
        m_server.reset();
        return false;
    }
    m_port = port;
    m_thread = std::thread([server = m_server.get()] { server->listen_after_bind(); });
    qDebug() << "Health endpoint on http://127.0.0.1:" << port << "/health and /metrics";
    return true;
}

void HealthServer::stop()
{
    if (!m_server)
        return;
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
    m_port = 0;
}
