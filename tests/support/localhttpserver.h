#pragma once
// A scripted HTTP server on an ephemeral loopback port (cpp-httplib), recording every request.

#include <QString>

#include <httplib.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace TestSupport {

class LocalHttpServer
{
public:
    LocalHttpServer()
    {
        // Runs before each answer is written, so a client that got its answer finds the request here.
        m_server.set_post_routing_handler([this](const httplib::Request& req, httplib::Response&) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(req);
        });
    }
    ~LocalHttpServer()
    {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    // Add the handlers here before start().
    httplib::Server& server() { return m_server; }

    bool start()
    {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            return false;
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }

    int port() const { return m_port; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    std::string url(const std::string& path) const { return baseUrl().toStdString() + path; }

    std::vector<httplib::Request> requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    httplib::Server m_server;
    int m_port = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<httplib::Request> m_requests;
};

} // namespace TestSupport
