#pragma once
// The stand-in Management Console: console requests with Basic authentication, control endpoints,
// generated reports and injected faults, over HTTP or HTTPS.

#include "faultinjector.h"
#include "reportgenerator.h"
#include "reportstore.h"
#include "selfsignedcertificate.h"

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class StandInServer
{
public:
    struct Options
    {
        QString bindAddress = QStringLiteral("127.0.0.1");
        int port = 0; // 0: any free port
        QString user = QStringLiteral("demo");
        QString password = QStringLiteral("demo");
        int initialReports = 0;
        double ratePerSecond = 0.0; // reports arriving while the server runs
        bool tls = false;
        quint32 seed = 20261201;
        int reportKb = 0;     // generated reports padded to at least this size; 0: as generated
        bool verbose = false; // one line per request on stderr
    };

    explicit StandInServer(const Options& options);
    ~StandInServer();

    // Makes the initial reports (and the certificate for TLS) and binds the port.
    bool bind();
    int port() const { return m_port; }
    QString baseUrl() const;
    // Serves until stop(); false when the server could not run. A dropped-connection fault writes
    // to a closed socket, so the process should ignore SIGPIPE.
    bool run();
    // Safe from any thread.
    void stop();

    // New generated reports dated `date` (now when not given); returns their ids.
    QList<int> generate(int count, const std::optional<QDateTime>& date = std::nullopt);
    ReportStore& store() { return m_store; }

private:
    void registerRoutes();
    // Console requests meet faults first, then authentication.
    void serveConsole(const httplib::Request& request, httplib::Response& response,
                      void (StandInServer::*handler)(const httplib::Request&, httplib::Response&));
    // Replies for a fault that stands in for the reply; a fault that spoils the real reply comes back
    // in *spoil, for spoilReply after the handler.
    bool applyFault(const httplib::Request& request, httplib::Response& response,
                    std::optional<FaultInjector::Fault>* spoil);
    static void spoilReply(const FaultInjector::Fault& fault, httplib::Response& response);
    bool authorised(const httplib::Request& request) const;

    void handleTime(const httplib::Request& request, httplib::Response& response);
    void handleLegacyTime(const httplib::Request& request, httplib::Response& response);
    void handleCsvExport(const httplib::Request& request, httplib::Response& response);
    void handleXmlExport(const httplib::Request& request, httplib::Response& response);
    void handleAddReport(const httplib::Request& request, httplib::Response& response);
    void handleGenerate(const httplib::Request& request, httplib::Response& response);
    void handleListReports(const httplib::Request& request, httplib::Response& response);
    void handleSetFault(const httplib::Request& request, httplib::Response& response);
    void handleClearFaults(const httplib::Request& request, httplib::Response& response);

    void arrivals();

    Options m_options;
    ReportStore m_store;
    FaultInjector m_faults;
    std::mutex m_generatorMutex; // keeps the generator's sequence and the ids in step
    ReportGenerator m_generator;
    SelfSignedCertificate m_certificate;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = -1;

    std::mutex m_stopMutex;
    std::condition_variable m_stopCondition;
    bool m_stopping = false;
    std::thread m_arrivalThread;
};
