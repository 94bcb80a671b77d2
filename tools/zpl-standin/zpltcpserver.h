#pragma once
// The raw TCP port: any number of connections, one after another and at once, each a ZPL stream cut
// into commands. Complete formats go to the printer; ~HS is answered on the connection that asked.
// Lives on the thread that runs its event loop.

#include "zplformat.h"
#include "zplprinter.h"
#include "zplstreamsplitter.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <atomic>
#include <map>
#include <optional>

class QTcpSocket;

class ZplTcpServer : public QObject
{
    Q_OBJECT
public:
    ZplTcpServer(ZplPrinter* printer, bool verbose, QObject* parent = nullptr);

    // Port 0 picks a free one.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_port; }
    // Stops or resumes taking connections on the same port, as a printer switched off and on again;
    // connections already open go on.
    bool setListening(bool listening);
    // Connections accepted so far; safe from any thread.
    int connectionCount() const { return m_accepted.load(); }

private:
    struct Connection
    {
        int number = 0;
        ZplStreamSplitter splitter;
        std::optional<ZplFormat> format; // open between ^XA and ^XZ
        qint64 received = 0;
        qint64 dropAfter = 0; // 0: never
    };

    void accept();
    void read(QTcpSocket* socket);
    void handle(QTcpSocket* socket, Connection& connection, const ZplCommand& command);
    // Forgets the connection and closes it; an open format is not printed.
    void close(QTcpSocket* socket, const char* why);
    bool anyPartialFormat() const;
    void log(const QString& text) const;

    ZplPrinter* m_printer;
    bool m_verbose;
    QTcpServer m_server;
    QHostAddress m_address;
    quint16 m_port = 0;
    std::map<QTcpSocket*, Connection> m_connections;
    std::atomic<int> m_accepted{0};
};
