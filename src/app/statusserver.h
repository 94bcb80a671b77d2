#pragma once
// Answers "labelprinter --status": a local socket in the data root, reachable only by the user the
// program runs as, that returns the station's last status snapshot as one JSON document.

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

class StatusServer : public QObject
{
    Q_OBJECT
public:
    // `snapshot` is asked on this object's thread for each request.
    StatusServer(const QString& dataRoot, std::function<QJsonObject()> snapshot, QObject* parent = nullptr);

    // Listens on the socket; false (with a log line) when it cannot.
    bool listen();
    QString socketPath() const { return m_path; }

    enum class Answer
    {
        Answered,
        NotRunning, // nothing listens: no program runs for this data root
        Refused,    // the socket belongs to another user
        Failed      // a program listens but did not answer in time
    };
    // Asks the program that runs for `dataRoot`; the snapshot goes to `status`, a reason to `error`.
    static Answer ask(const QString& dataRoot, QJsonObject* status, QString* error);
    // The socket's path for a data root.
    static QString pathFor(const QString& dataRoot);

private:
    void onConnection();

    QString m_path;
    std::function<QJsonObject()> m_snapshot;
    QLocalServer m_server;
};
