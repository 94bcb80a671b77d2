#pragma once
// The optional local health endpoint: GET /health (the status as JSON; 200 when printing is
// healthy, else 503) and GET /metrics (Prometheus text), on 127.0.0.1 only, from a thread of its own.
// Off unless the setting kPortKey names a port.

#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace httplib {
class Server;
}

class HealthServer
{
public:
    // `snapshot` is called on the server's thread: it must be safe from any thread.
    explicit HealthServer(std::function<QJsonObject()> snapshot);
    ~HealthServer();

    // Listens on 127.0.0.1:`port`; false (with a log line) when the port cannot be bound.
    bool start(int port);
    void stop();
    int port() const { return m_port; }

    // Global setting: the port, 0 or missing for off.
    static const QString kPortKey;

private:
    std::function<QJsonObject()> m_snapshot;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};
