#include "zpltcpserver.h"

#include <QTcpSocket>

#include <cstdio>

ZplTcpServer::ZplTcpServer(ZplPrinter* printer, bool verbose, QObject* parent)
    : QObject(parent), m_printer(printer), m_verbose(verbose)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ZplTcpServer::accept);
}

bool ZplTcpServer::listen(const QHostAddress& address, quint16 port)
{
    if (!m_server.listen(address, port)) {
        std::fprintf(stderr, "zpl-standin: cannot listen on %s port %d: %s\n", qPrintable(address.toString()),
                     port, qPrintable(m_server.errorString()));
        return false;
    }
    m_address = address;
    m_port = m_server.serverPort();
    return true;
}

bool ZplTcpServer::setListening(bool listening)
{
    if (listening == m_server.isListening())
        return true;
    log(listening ? QStringLiteral("taking connections again") : QStringLiteral("refusing connections"));
    if (!listening) {
        m_server.close();
        return true;
    }
    return listen(m_address, m_port);
}

void ZplTcpServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        Connection& connection = m_connections[socket];
        connection.number = ++m_accepted;
        connection.dropAfter = m_printer->takeDropAfterBytes();
        log(QStringLiteral("connection %1 from port %2%3")
                .arg(connection.number)
                .arg(socket->peerPort())
                .arg(connection.dropAfter > 0
                         ? QStringLiteral(", to be dropped after %1 bytes").arg(connection.dropAfter)
                         : QString()));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            // Data that came with the end of the stream is still to be read.
            read(socket);
            close(socket, "closed by the client");
        });
    }
}

void ZplTcpServer::read(QTcpSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& connection = it->second;
    QByteArray data = socket->readAll();
    bool cut = false;
    if (connection.dropAfter > 0 && connection.received + data.size() >= connection.dropAfter) {
        data.truncate(int(connection.dropAfter - connection.received));
        cut = true;
    }
    connection.received += data.size();
    for (const ZplCommand& command : connection.splitter.feed(data))
        handle(socket, connection, command);
    if (cut)
        close(socket, "dropped on purpose");
}

void ZplTcpServer::handle(QTcpSocket* socket, Connection& connection, const ZplCommand& command)
{
    if (m_verbose && !command.is("^GF"))
        log(QStringLiteral("connection %1: %2").arg(connection.number).arg(command.summary()));
    // Tilde commands act at once, inside a format or not.
    if (command.is("~HS")) {
        const QByteArray answer = m_printer->hostStatus(anyPartialFormat());
        if (!answer.isEmpty())
            socket->write(answer);
    } else if (command.is("~JA")) {
        for (auto& entry : m_connections)
            entry.second.format.reset();
        m_printer->cancelAll();
    } else if (command.is("~SD")) {
        m_printer->applySetting(command);
    } else if (command.is("~PS")) {
        m_printer->resume();
    }

    if (command.is("^XA")) {
        // A second ^XA starts over.
        connection.format.emplace();
    }
    if (!connection.format)
        return; // outside a format only tilde commands mean something
    connection.format->add(command);
    if (command.is("^XZ")) {
        m_printer->submit(*connection.format, connection.number);
        connection.format.reset();
    }
}

void ZplTcpServer::close(QTcpSocket* socket, const char* why)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& connection = it->second;
    log(QStringLiteral("connection %1 %2 after %3 bytes%4")
            .arg(connection.number)
            .arg(QLatin1String(why))
            .arg(connection.received)
            .arg(connection.format ? QStringLiteral("; its unfinished format is not printed") : QString()));
    m_connections.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

bool ZplTcpServer::anyPartialFormat() const
{
    for (const auto& entry : m_connections)
        if (entry.second.format)
            return true;
    return false;
}

void ZplTcpServer::log(const QString& text) const
{
    if (m_verbose)
        std::fprintf(stderr, "zpl-standin: %s\n", qPrintable(text));
}
