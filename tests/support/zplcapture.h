#pragma once
// A stand-in for a ZPL label printer behind a CUPS socket queue: a raw TCP listener on loopback that
// keeps what each connection sent and counts the label graphics in it, and the tools to read those
// graphics back as a scanner and a ruler would. Needs the event loop (QTRY_*, QTest::qWaitFor).

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

class ZplCapture : public QObject
{
    Q_OBJECT
public:
    explicit ZplCapture(QObject* parent = nullptr);
    ~ZplCapture() override;

    // Listens on 127.0.0.1:`port`, or on a port the system chooses when 0; false when it cannot.
    bool listen(quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }

    // The bytes of each connection, in the order they were accepted, and all of them in one.
    QList<QByteArray> connections() const;
    QByteArray all() const;
    // Complete ~DG graphics received so far, over all connections.
    int labelCount() const { return m_labels; }

    // Every complete ~DG graphic in `zpl`, in order, as a one-bit image (black where a bit is 1) of
    // bytes-per-row * 8 dots by its rows. A graphic cut short is left out.
    static QList<QImage> decodeGraphics(const QByteArray& zpl);

    // Black and white run lengths along the middle line of the code in `box`, from its first to its
    // last black dot: across vertical bars, or down the image when `barsAcross` (a code turned a
    // quarter turn).
    static QList<int> runLengths(const QImage& image, const QRect& box, bool barsAcross);
    // Empty when every run is a whole multiple of the smallest; otherwise what is wrong, with the runs.
    static QString wholeModuleProblem(const QImage& image, const QRect& box, bool barsAcross);

signals:
    // Another graphic was complete; `count` is labelCount().
    void labelReceived(int count);

private:
    struct Connection
    {
        QByteArray data;
        int scanFrom = 0; // where the next graphic may start
    };
    void accept();
    void read(QTcpSocket* socket);

    QTcpServer m_server;
    QList<Connection> m_connections;
    QHash<QTcpSocket*, int> m_index; // socket to its entry in m_connections
    int m_labels = 0;
};
