#include "standinserver.h"

#include "reportfilter.h"
#include "searchrequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char* const realm = "Basic realm=\"Management Console\"";
const char* const textType = "text/plain; charset=utf-8";
const char* const jsonType = "application/json";
const char* const formField = "xmlRequest";
const int maxGenerateCount = 10000;

void replyText(httplib::Response& response, int status, const QString& text)
{
    response.status = status;
    response.set_content(text.toStdString(), textType);
}

void replyJson(httplib::Response& response, int status, const QJsonValue& value)
{
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    response.status = status;
    response.set_content(document.toJson(QJsonDocument::Compact).toStdString(), jsonType);
}

void replyJsonError(httplib::Response& response, const QString& error)
{
    replyJson(response, 400, QJsonObject{{QStringLiteral("error"), error}});
}

QString param(const httplib::Request& request, const char* name)
{
    return QString::fromStdString(request.get_param_value(name));
}

int portOf(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

// The server does not hand out the socket of a request, so find it by its two ports.
int findSocket(int localPort, int remotePort)
{
    rlimit limit{};
    const rlim_t highest =
        getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, 65536) : 1024;
    for (int fd = 0; fd < int(highest); ++fd) {
        sockaddr_storage local{};
        socklen_t length = sizeof(local);
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 || portOf(local) != localPort)
            continue;
        sockaddr_storage peer{};
        length = sizeof(peer);
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && portOf(peer) == remotePort)
            return fd;
    }
    return -1;
}

// Closes the connection under the server's feet: the client sees it end without any reply.
void dropConnection(const httplib::Request& request)
{
    const int fd =
        request.ssl ? SSL_get_fd(request.ssl) : findSocket(request.local_port, request.remote_port);
    if (fd < 0) {
        qWarning("mc-standin: could not find the connection to drop (port %d)", request.remote_port);
        return;
    }
    ::shutdown(fd, SHUT_RDWR);
}

QString csvField(QString value)
{
    value.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

} // namespace

StandInServer::StandInServer(const Options& options) : m_options(options), m_generator(options.seed)
{
    m_generator.setMinimumSize(options.reportKb * 1024);
}

StandInServer::~StandInServer()
{
    stop();
    if (m_arrivalThread.joinable())
        m_arrivalThread.join();
}

QString StandInServer::baseUrl() const
{
    const QString host = m_options.bindAddress.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + m_options.bindAddress + QLatin1Char(']')
                             : m_options.bindAddress;
    return QStringLiteral("%1://%2:%3")
        .arg(m_options.tls ? QStringLiteral("https") : QStringLiteral("http"), host)
        .arg(m_port);
}

QList<int> StandInServer::generate(int count, const std::optional<QDateTime>& date)
{
    QList<int> ids;
    std::lock_guard<std::mutex> lock(m_generatorMutex);
    for (int i = 0; i < count; ++i) {
        const ReportGenerator::Report report = m_generator.next(date.value_or(QDateTime::currentDateTime()));
        QString error;
        const int id = m_store.add(report.xml, report.exported, std::nullopt, &error);
        if (id < 0) {
            qWarning("mc-standin: a generated report was refused: %s", qPrintable(error));
            continue;
        }
        ids.append(id);
    }
    return ids;
}

bool StandInServer::bind()
{
    // The initial reports spread over the last 40 days, oldest first, so that some are older than
    // the 27 days a client looks back when it first connects.
    const qint64 span = 40LL * 24 * 3600;
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < m_options.initialReports; ++i) {
        const qint64 age = span - i * span / m_options.initialReports - (i * 7919LL) % 3600;
        generate(1, now.addSecs(-age));
    }

    if (m_options.tls) {
        if (!m_certificate.generate(m_options.bindAddress))
            return false;
        m_server =
            std::make_unique<httplib::SSLServer>(m_certificate.certificatePath().toLocal8Bit().constData(),
                                                 m_certificate.keyPath().toLocal8Bit().constData());
        std::fprintf(stderr, "mc-standin: TLS certificate %s\n", qPrintable(m_certificate.certificatePath()));
    } else {
        m_server = std::make_unique<httplib::Server>();
    }
    if (!m_server->is_valid()) {
        qWarning("mc-standin: the server could not be set up");
        return false;
    }
    // Delay faults hold a worker each; leave enough for the other requests.
    m_server->new_task_queue = [] {
        return new httplib::ThreadPool(16);
    };
    m_server->set_payload_max_length(64 * 1024 * 1024);
    registerRoutes();

    const std::string host = m_options.bindAddress.toStdString();
    if (m_options.port > 0)
        m_port = m_server->bind_to_port(host, m_options.port) ? m_options.port : -1;
    else
        m_port = m_server->bind_to_any_port(host);
    if (m_port <= 0) {
        qWarning("mc-standin: cannot listen on %s port %d", host.c_str(), m_options.port);
        return false;
    }
    return true;
}

bool StandInServer::run()
{
    if (!m_server || m_port <= 0)
        return false;
    if (m_options.ratePerSecond > 0.0)
        m_arrivalThread = std::thread([this] { arrivals(); });
    const bool ok = m_server->listen_after_bind();
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopCondition.notify_all();
    if (m_arrivalThread.joinable())
        m_arrivalThread.join();
    return ok;
}

void StandInServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopCondition.notify_all();
    if (m_server)
        m_server->stop();
}

void StandInServer::arrivals()
{
    const auto interval =
        std::chrono::milliseconds(qMax<qint64>(1, qint64(1000.0 / m_options.ratePerSecond)));
    std::unique_lock<std::mutex> lock(m_stopMutex);
    while (!m_stopCondition.wait_for(lock, interval, [this] { return m_stopping; })) {
        lock.unlock();
        const QList<int> ids = generate(1);
        if (m_options.verbose && !ids.isEmpty())
            std::fprintf(stderr, "mc-standin: report %d arrived\n", ids.first());
        lock.lock();
    }
}

void StandInServer::registerRoutes()
{
    using httplib::Request;
    using httplib::Response;
    httplib::Server& server = *m_server;

    server.Get("/mc/time",
               [this](const Request& q, Response& r) { serveConsole(q, r, &StandInServer::handleTime); });
    server.Get("/bls/bls.asp", [this](const Request& q, Response& r) {
        serveConsole(q, r, &StandInServer::handleLegacyTime);
    });
    server.Post("/rest-service/report/export/csv", [this](const Request& q, Response& r) {
        serveConsole(q, r, &StandInServer::handleCsvExport);
    });
    server.Post("/rest-service/report/export/xml", [this](const Request& q, Response& r) {
        serveConsole(q, r, &StandInServer::handleXmlExport);
    });

    server.Post("/standin/reports", [this](const Request& q, Response& r) { handleAddReport(q, r); });
    server.Get("/standin/reports", [this](const Request& q, Response& r) { handleListReports(q, r); });
    server.Post("/standin/generate", [this](const Request& q, Response& r) { handleGenerate(q, r); });
    server.Post("/standin/faults", [this](const Request& q, Response& r) { handleSetFault(q, r); });
    server.Delete("/standin/faults", [this](const Request& q, Response& r) { handleClearFaults(q, r); });

    // Errors the routes did not describe themselves (unknown path, unreadable request) get a short body.
    const httplib::Server::HandlerWithResponse errorHandler = [](const Request&, Response& r) {
        if (r.body.empty())
            r.set_content(std::to_string(r.status) + (r.status == 404 ? " Not Found" : " Error"), textType);
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(errorHandler);
    server.set_exception_handler([](const Request&, Response& r, std::exception_ptr) {
        replyText(r, 500, QStringLiteral("internal error"));
    });
    if (m_options.verbose) {
        server.set_logger([](const Request& q, const Response& r) {
            std::fprintf(stderr, "mc-standin: %s %s -> %d\n", q.method.c_str(), q.target.c_str(), r.status);
        });
    }
}

void StandInServer::serveConsole(const httplib::Request& request, httplib::Response& response,
                                 void (StandInServer::*handler)(const httplib::Request&, httplib::Response&))
{
    std::optional<FaultInjector::Fault> spoil;
    if (applyFault(request, response, &spoil))
        return;
    if (!authorised(request)) {
        response.set_header("WWW-Authenticate", realm);
        replyText(response, 401, QStringLiteral("401 Unauthorized"));
        return;
    }
    (this->*handler)(request, response);
    if (spoil && response.status == 200)
        spoilReply(*spoil, response);
}

void StandInServer::spoilReply(const FaultInjector::Fault& fault, httplib::Response& response)
{
    std::string body = response.body;
    if (response.content_provider_) {
        // A streamed reply (an export) is gathered first, to be cut like any other.
        httplib::DataSink sink;
        sink.write = [&body](const char* data, size_t length) {
            body.append(data, length);
            return true;
        };
        sink.is_writable = [] {
            return true;
        };
        while (body.size() < response.content_length_ &&
               response.content_provider_(body.size(), response.content_length_ - body.size(), sink)) {
        }
        response.content_provider_ = nullptr;
        response.content_length_ = 0;
    }
    const std::string contentType = response.get_header_value("Content-Type");
    const size_t half = body.size() / 2;
    if (fault.kind == FaultInjector::Kind::Truncate) {
        response.set_content(body.substr(0, half), contentType.c_str());
        return;
    }
    // The whole length is announced; the provider stops after half of it, which closes the connection.
    response.body.clear();
    response.set_content_provider(body.size(), contentType.c_str(),
                                  [body, half](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset >= half)
                                          return false;
                                      sink.write(body.data() + offset, half - offset);
                                      return true;
                                  });
}

bool StandInServer::applyFault(const httplib::Request& request, httplib::Response& response,
                               std::optional<FaultInjector::Fault>* spoil)
{
    const std::optional<FaultInjector::Fault> fault = m_faults.take(QString::fromStdString(request.path));
    if (!fault)
        return false;
    switch (fault->kind) {
    case FaultInjector::Kind::Truncate:
    case FaultInjector::Kind::Cut:
        *spoil = fault;
        return false;
    case FaultInjector::Kind::Delay:
        std::this_thread::sleep_for(std::chrono::milliseconds(fault->delayMs));
        return false;
    case FaultInjector::Kind::Status:
        replyText(response, fault->status, QStringLiteral("injected fault: status %1").arg(fault->status));
        return true;
    case FaultInjector::Kind::Garbage:
        replyText(response, 200, QStringLiteral("%%GARBAGE%% \x7f not xml, not a number ~~ @@"));
        return true;
    case FaultInjector::Kind::Drop:
        dropConnection(request);
        response.status = 500;
        return true;
    }
    return false;
}

bool StandInServer::authorised(const httplib::Request& request) const
{
    const QByteArray header = QByteArray::fromStdString(request.get_header_value("Authorization")).trimmed();
    const int space = header.indexOf(' ');
    if (space < 0 || header.left(space).toLower() != "basic")
        return false;
    const QByteArray credentials = QByteArray::fromBase64(header.mid(space + 1).trimmed());
    const int colon = credentials.indexOf(':');
    return colon >= 0 && credentials.left(colon) == m_options.user.toUtf8() &&
           credentials.mid(colon + 1) == m_options.password.toUtf8();
}

void StandInServer::handleTime(const httplib::Request&, httplib::Response& response)
{
    replyText(response, 200, QString::number(QDateTime::currentSecsSinceEpoch()));
}

void StandInServer::handleLegacyTime(const httplib::Request& request, httplib::Response& response)
{
    if (param(request, "cmd") != QLatin1String("time")) {
        replyText(response, 400, QStringLiteral("unknown command"));
        return;
    }
    handleTime(request, response);
}

namespace {

// Parses the form part of an export request and selects the reports; false after replying 400.
bool selectReports(const httplib::Request& request, httplib::Response& response, const ReportStore& store,
                   SearchRequest* search, QVector<ReportStore::Record>* selected)
{
    if (!request.has_file(formField)) {
        replyText(response, 400, QStringLiteral("missing the multipart/form-data part \"xmlRequest\""));
        return false;
    }
    QString error;
    if (!search->parse(QByteArray::fromStdString(request.get_file_value(formField).content), &error)) {
        replyText(response, 400, error);
        return false;
    }
    const ReportFilter filter(search->lines());
    for (const ReportStore::Record& record : store.records()) {
        if (filter.matches(record))
            selected->append(record);
    }
    return true;
}

} // namespace

void StandInServer::handleCsvExport(const httplib::Request& request, httplib::Response& response)
{
    SearchRequest search;
    QVector<ReportStore::Record> selected;
    if (!selectReports(request, response, m_store, &search, &selected))
        return;

    // Lines end in "\n" alone: the client splits at it and reads each line as a number.
    const QStringList columns = search.columns();
    QStringList fields;
    for (const QString& column : columns)
        fields.append(csvField(column));
    QString csv = fields.join(search.delimiter()) + QLatin1Char('\n');
    for (const ReportStore::Record& record : selected) {
        fields.clear();
        for (const QString& column : columns)
            fields.append(csvField(ReportFilter::values(record, column).join(search.subDelimiter())));
        csv += fields.join(search.delimiter()) + QLatin1Char('\n');
    }
    response.status = 200;
    response.set_content(csv.toStdString(), "text/csv; charset=utf-8");
}

void StandInServer::handleXmlExport(const httplib::Request& request, httplib::Response& response)
{
    SearchRequest search;
    QVector<ReportStore::Record> selected;
    if (!selectReports(request, response, m_store, &search, &selected))
        return;

    // Sent straight from the stored texts: joining them into one body copied a page of large
    // reports, tens of megabytes, into fresh memory for every request.
    struct Export
    {
        std::vector<QByteArray> pieces;
        std::vector<size_t> starts; // where each piece begins in the body
    };
    auto body = std::make_shared<Export>();
    body->pieces.reserve(size_t(selected.size()) + 2);
    body->pieces.emplace_back("<root>");
    for (const ReportStore::Record& record : selected)
        body->pieces.push_back(record.utf8);
    body->pieces.emplace_back("</root>");
    size_t size = 0;
    for (const QByteArray& piece : body->pieces) {
        body->starts.push_back(size);
        size += size_t(piece.size());
    }
    response.status = 200;
    response.set_content_provider(
        size, "application/xml; charset=utf-8", [body](size_t offset, size_t, httplib::DataSink& sink) {
            const auto at = std::upper_bound(body->starts.cbegin(), body->starts.cend(), offset);
            const size_t k = size_t(at - body->starts.cbegin()) - 1;
            const QByteArray& piece = body->pieces[k];
            const size_t within = offset - body->starts[k];
            // Sent through one reused buffer per thread: on a virtual machine the kernel's first
            // read of each page of the stored text costs microseconds, several times the copy.
            thread_local std::vector<char> staging(256 * 1024);
            const size_t n = std::min(staging.size(), size_t(piece.size()) - within);
            std::memcpy(staging.data(), piece.constData() + within, n);
            return sink.write(staging.data(), n);
        });
}

void StandInServer::handleAddReport(const httplib::Request& request, httplib::Response& response)
{
    bool exported = false;
    if (request.has_param("exported")) {
        const QString value = param(request, "exported");
        if (value != QLatin1String("0") && value != QLatin1String("1")) {
            replyJsonError(response, QStringLiteral("exported must be 0 or 1"));
            return;
        }
        exported = value == QLatin1String("1");
    }
    std::optional<QDateTime> date;
    if (request.has_param("date")) {
        date = SearchRequest::parseDate(param(request, "date"));
        if (!date->isValid()) {
            replyJsonError(response, QStringLiteral("date must be yyyy-MM-dd hh:mm:ss"));
            return;
        }
    }
    const QString body = QString::fromUtf8(request.body.data(), int(request.body.size()));
    if (param(request, "raw") == QLatin1String("1")) {
        replyJson(response, 200, QJsonObject{{QStringLiteral("id"), m_store.addRaw(body, exported)}});
        return;
    }
    QString error;
    const int id = m_store.add(body, exported, date, &error);
    if (id < 0) {
        replyJsonError(response, error);
        return;
    }
    replyJson(response, 200, QJsonObject{{QStringLiteral("id"), id}});
}

void StandInServer::handleGenerate(const httplib::Request& request, httplib::Response& response)
{
    int count = 1;
    if (request.has_param("count")) {
        bool ok = false;
        count = param(request, "count").toInt(&ok);
        if (!ok || count < 1 || count > maxGenerateCount) {
            replyJsonError(response, QStringLiteral("count must be 1 to %1").arg(maxGenerateCount));
            return;
        }
    }
    QJsonArray ids;
    for (int id : generate(count))
        ids.append(id);
    replyJson(response, 200, QJsonObject{{QStringLiteral("ids"), ids}});
}

void StandInServer::handleListReports(const httplib::Request&, httplib::Response& response)
{
    QJsonArray list;
    for (const ReportStore::Record& record : m_store.records()) {
        list.append(QJsonObject{{QStringLiteral("id"), record.id},
                                {QStringLiteral("date"), ReportStore::formatDate(record.date)},
                                {QStringLiteral("exported"), record.exported},
                                {QStringLiteral("uuid"), record.uuid},
                                {QStringLiteral("issue"), record.issue}});
    }
    replyJson(response, 200, list);
}

void StandInServer::handleSetFault(const httplib::Request& request, httplib::Response& response)
{
    QString error;
    if (!m_faults.set(QByteArray::fromStdString(request.body), &error)) {
        replyJsonError(response, error);
        return;
    }
    replyJson(response, 200, QJsonObject{{QStringLiteral("ok"), true}});
}

void StandInServer::handleClearFaults(const httplib::Request&, httplib::Response& response)
{
    replyJson(response, 200, QJsonObject{{QStringLiteral("cleared"), m_faults.clear()}});
}
