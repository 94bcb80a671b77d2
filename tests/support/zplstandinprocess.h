#pragma once
// The stand-in ZPL printer started as a child process on free loopback ports, its labels in a
// temporary folder.

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace TestSupport {

class ZplStandInProcess
{
public:
    explicit ZplStandInProcess(const QStringList& extraArgs = {});
    ~ZplStandInProcess(); // terminates the printer
    ZplStandInProcess(const ZplStandInProcess&) = delete;
    ZplStandInProcess& operator=(const ZplStandInProcess&) = delete;

    // Starts zpl-standin and waits for its "listening on" line.
    bool start(int timeoutMs = 10000);
    int port() const { return m_port; }                 // raw TCP
    QString controlUrl() const { return m_controlUrl; } // e.g. "http://127.0.0.1:41234"
    QString outDir() const { return m_outDir.path(); }

    // Control requests (blocking). setState returns the new state, empty when it was refused.
    QJsonObject setState(const QJsonObject& changes);
    QJsonObject state();
    QJsonArray labels();

private:
    QStringList m_args;
    QTemporaryDir m_outDir;
    QProcess m_process;
    int m_port = -1;
    QString m_controlUrl;
};

} // namespace TestSupport
