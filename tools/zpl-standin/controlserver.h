#pragma once
// The HTTP control endpoint: the printer's state, the printed labels and a health check, without a
// password, meant for loopback.

#include "labelstore.h"
#include "zplprinter.h"

#include <QString>

#include <functional>
#include <memory>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class ControlServer
{
public:
    struct Hooks
    {
        // Stops or resumes taking TCP connections; false when the port cannot be taken again.
        std::function<bool(bool listening)> setListening;
        std::function<int()> connectionCount;
    };

    ControlServer(ZplPrinter* printer, LabelStore* store, Hooks hooks, bool verbose);
    ~ControlServer();

    // Port 0 picks a free one.
    bool bind(const QString& address, int port);
    int port() const { return m_port; }
    // Serves until stop(); call on a thread of its own.
    bool run();
    // Safe from any thread.
    void stop();

private:
    void registerRoutes();
    void getState(const httplib::Request& request, httplib::Response& response);
    void postState(const httplib::Request& request, httplib::Response& response);
    void getLabels(const httplib::Request& request, httplib::Response& response);
    void deleteLabels(const httplib::Request& request, httplib::Response& response);
    void getHealth(const httplib::Request& request, httplib::Response& response);

    ZplPrinter* m_printer;
    LabelStore* m_store;
    Hooks m_hooks;
    bool m_verbose;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = -1;
};
