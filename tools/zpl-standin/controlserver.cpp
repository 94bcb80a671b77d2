#include "controlserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>

#include <cstdio>

namespace {

const char* const kJsonType = "application/json";

void replyJson(httplib::Response& response, int status, const QJsonDocument& document)
{
    response.status = status;
    response.set_content(document.toJson(QJsonDocument::Compact).toStdString(), kJsonType);
}

void replyError(httplib::Response& response, int status, const QString& error)
{
    replyJson(response, status, QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}));
}

} // namespace

ControlServer::ControlServer(ZplPrinter* printer, LabelStore* store, Hooks hooks, bool verbose)
    : m_printer(printer), m_store(store), m_hooks(std::move(hooks)), m_verbose(verbose)
{}

ControlServer::~ControlServer() = default;

bool ControlServer::bind(const QString& address, int port)
{
    m_server = std::make_unique<httplib::Server>();
    registerRoutes();
    const std::string host = address.toStdString();
    m_port = port > 0 ? (m_server->bind_to_port(host, port) ? port : -1) : m_server->bind_to_any_port(host);
    if (m_port <= 0) {
        std::fprintf(stderr, "zpl-standin: cannot listen for control requests on %s port %d\n", host.c_str(),
                     port);
        return false;
    }
    return true;
}

bool ControlServer::run()
{
    return m_server && m_server->listen_after_bind();
}

void ControlServer::stop()
{
    if (m_server)
        m_server->stop();
}

void ControlServer::registerRoutes()
{
    using httplib::Request;
    using httplib::Response;
    m_server->Get("/state", [this](const Request& q, Response& r) { getState(q, r); });
    m_server->Post("/state", [this](const Request& q, Response& r) { postState(q, r); });
    m_server->Get("/labels", [this](const Request& q, Response& r) { getLabels(q, r); });
    m_server->Delete("/labels", [this](const Request& q, Response& r) { deleteLabels(q, r); });
    m_server->Get("/health", [this](const Request& q, Response& r) { getHealth(q, r); });
    const httplib::Server::HandlerWithResponse errorHandler = [](const Request&, Response& r) {
        if (r.body.empty())
            replyError(r, r.status, QStringLiteral("no such request"));
        return httplib::Server::HandlerResponse::Handled;
    };
    m_server->set_error_handler(errorHandler);
    if (m_verbose) {
        m_server->set_logger([](const Request& q, const Response& r) {
            std::fprintf(stderr, "zpl-standin: control %s %s -> %d\n", q.method.c_str(), q.target.c_str(),
                         r.status);
        });
    }
}

void ControlServer::getState(const httplib::Request&, httplib::Response& response)
{
    QJsonObject state = m_printer->stateJson();
    state.insert(QStringLiteral("connections"), m_hooks.connectionCount());
    replyJson(response, 200, QJsonDocument(state));
}

void ControlServer::postState(const httplib::Request& request, httplib::Response& response)
{
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &parseError);
    if (!document.isObject()) {
        replyError(response, 400,
                   parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                : QStringLiteral("expected a JSON object"));
        return;
    }
    QString error;
    if (!m_printer->setState(document.object(), &error)) {
        replyError(response, 400, error);
        return;
    }
    // Whether or not "refuse" was named, the port follows the state.
    if (!m_hooks.setListening(!m_printer->state().refuse)) {
        replyError(response, 500, QStringLiteral("the TCP port could not be taken again"));
        return;
    }
    getState(request, response);
}

void ControlServer::getLabels(const httplib::Request&, httplib::Response& response)
{
    replyJson(response, 200, QJsonDocument(m_store->records()));
}

void ControlServer::deleteLabels(const httplib::Request&, httplib::Response& response)
{
    replyJson(response, 200, QJsonDocument(QJsonObject{{QStringLiteral("deleted"), m_store->clear()}}));
}

void ControlServer::getHealth(const httplib::Request&, httplib::Response& response)
{
    replyJson(response, 200, QJsonDocument(QJsonObject{{QStringLiteral("ok"), true}}));
}
