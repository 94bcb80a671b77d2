#pragma once
// The stand-in Management Console started as a child process on a free loopback port.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace TestSupport {

class StandInProcess
{
public:
    explicit StandInProcess(const QStringList& extraArgs = {}); // adds --port 0 unless a port is given
    ~StandInProcess();                                          // terminates the server
    StandInProcess(const StandInProcess&) = delete;
    StandInProcess& operator=(const StandInProcess&) = delete;

    // Starts mc-standin and waits for its "listening on" line.
    bool start(int timeoutMs = 10000);
    QString baseUrl() const { return m_baseUrl; } // e.g. "http://127.0.0.1:41234"
    int port() const;

    // Control endpoints (blocking).
    int addReport(const QByteArray& xml, bool exported = false, const QString& date = {}); // id or -1
    // Stored as given, unread by the server (a console's bad report); exported; id or -1.
    int addRawReport(const QByteArray& xml);
    // One fault on the next request to `path`.
    bool setFault(const QString& path, const QString& kind, int status = 500);

private:
    // One control request; the reply body, with the HTTP status in *status (0 when none came).
    QByteArray control(const char* method, const QString& pathAndQuery, const QByteArray& body,
                       const char* contentType, long* status) const;

    QStringList m_args;
    QProcess m_process;
    QString m_baseUrl;
};

} // namespace TestSupport
