#include "app/statusserver.h"

#include <QDebug>
#include <QDir>
#include <QJsonDocument>
#include <QLocalSocket>

StatusServer::StatusServer(const QString& dataRoot, std::function<QJsonObject()> snapshot, QObject* parent)
    : QObject(parent), m_path(pathFor(dataRoot)), m_snapshot(std::move(snapshot))
{
    // Only this user may connect: the status names printers, reports and the console's state.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &StatusServer::onConnection);
}

QString StatusServer::pathFor(const QString& dataRoot)
{
    return QDir(dataRoot).filePath(QStringLiteral("labelprinter.status"));
}

bool StatusServer::listen()
{
    // A socket file left by a program that crashed; the data root's lock says no other one runs.
    QLocalServer::removeServer(m_path);
    if (!m_server.listen(m_path)) {
        qWarning() << "The status socket" << m_path << "cannot be opened:" << m_server.errorString()
                   << "- labelprinter --status will not reach this program";
        return false;
    }
    qDebug() << "Status socket:" << m_path;
    return true;
}

void StatusServer::onConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(QJsonDocument(m_snapshot()).toJson(QJsonDocument::Compact) + '\n');
        socket->disconnectFromServer();
    }
}

StatusServer::Answer StatusServer::ask(const QString& dataRoot, QJsonObject* status, QString* error)
{
    QLocalSocket socket;
    const QString path = pathFor(dataRoot);
    socket.connectToServer(path, QIODevice::ReadOnly);
    if (!socket.waitForConnected(3000)) {
        const QLocalSocket::LocalSocketError code = socket.error();
        if (code == QLocalSocket::SocketAccessError) {
            *error =
                QStringLiteral("%1 belongs to another user: ask as the user the program runs as").arg(path);
            return Answer::Refused;
        }
        if (code == QLocalSocket::ServerNotFoundError || code == QLocalSocket::ConnectionRefusedError) {
            *error = QStringLiteral("No label printer runs for %1").arg(dataRoot);
            return Answer::NotRunning;
        }
        *error = QStringLiteral("%1: %2").arg(path, socket.errorString());
        return Answer::Failed;
    }
    QByteArray reply;
    // The program answers from its event loop; a hung program does not, and that is an answer too.
    while (!reply.endsWith('\n') && socket.waitForReadyRead(5000))
        reply += socket.readAll();
    reply += socket.readAll();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(reply, &parseError);
    if (!document.isObject()) {
        *error = QStringLiteral("The program at %1 did not answer within 5 s").arg(path);
        return Answer::Failed;
    }
    *status = document.object();
    return Answer::Answered;
}
