// The stand-in ZPL printer as the label printer meets it: ZPL over TCP, printed dots read back from
// the PNG files, ~HS answers and the faults set through its control endpoint.

#include "zplstandinprocess.h"

#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

using TestSupport::ZplStandInProcess;

std::unique_ptr<QTcpSocket> connectTo(int port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    if (!socket->waitForConnected(3000))
        qWarning() << "no connection to the printer:" << socket->errorString();
    return socket;
}

void send(QTcpSocket& socket, const QByteArray& data)
{
    socket.write(data);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(3000)) {
    }
}

// The three ~HS strings that arrive next, split at their commas; fewer when no full answer came.
QList<QByteArrayList> readStatus(QTcpSocket& socket, int timeoutMs = 3000)
{
    QByteArray reply = socket.readAll();
    QElapsedTimer timer;
    timer.start();
    while (reply.count('\x03') < 3 && timer.elapsed() < timeoutMs)
        if (socket.waitForReadyRead(50))
            reply += socket.readAll();
    QList<QByteArrayList> strings;
    static const QRegularExpression frame(QStringLiteral("\x02([^\x03]*)\x03\r\n"));
    for (auto it = frame.globalMatch(QString::fromLatin1(reply)); it.hasNext();)
        strings.append(it.next().captured(1).toLatin1().split(','));
    return strings;
}

QList<QByteArrayList> askStatus(QTcpSocket& socket, int timeoutMs = 3000)
{
    send(socket, "~HS");
    return readStatus(socket, timeoutMs);
}

// '#' for a black dot, '.' for white, one string per row.
QStringList dots(const QImage& image, const QRect& area)
{
    QStringList rows;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        QString row;
        for (int x = area.left(); x <= area.right(); ++x)
            row += image.valid(x, y) && qGray(image.pixel(x, y)) < 128 ? QLatin1Char('#') : QLatin1Char('.');
        rows.append(row);
    }
    return rows;
}

QStringList dotsOfHex(const QStringList& hexRows)
{
    QStringList rows;
    for (const QString& hex : hexRows) {
        QString row;
        for (const QChar digit : hex)
            row += QString::number(QString(digit).toInt(nullptr, 16), 2).rightJustified(4, QLatin1Char('0'));
        rows.append(
            row.replace(QLatin1Char('1'), QLatin1Char('#')).replace(QLatin1Char('0'), QLatin1Char('.')));
    }
    return rows;
}

int blackCount(const QStringList& rows)
{
    return rows.join(QString()).count(QLatin1Char('#'));
}

// Five rows of 30 bytes: the picture the compressed rows below describe.
const QStringList kPictureRows = {
    QString(43, QLatin1Char('B')) + QString(17, QLatin1Char('F')),
    QString(43, QLatin1Char('B')) + QString(17, QLatin1Char('F')),
    QString(20, QLatin1Char('A')) + QLatin1Char('F') + QString(39, QLatin1Char('0')),
    QLatin1Char('0') + QString(59, QLatin1Char('F')),
    QString(60, QLatin1Char('0')),
};
// 40 + 3 copies of B and 17 of F; the row again; 20 copies of A, F and the rest white; 0 and the rest
// black; a white row.
const QByteArray kCompressedPicture = "hIBWF\r\n:gAF,0!,";

// Binary rows holding the bytes that would end ASCII data or a command: ^ ~ CR LF and a comma.
const QStringList kBinaryRows = {QStringLiteral("5E7E0D0A"), QStringLiteral("0A0D7E5E"),
                                 QStringLiteral("FF2C00FF")};

QByteArray labelFormat(const QByteArray& graphicField)
{
    return "^XA\r\n^PW300^LL40^LH5,3\r\n^FO20,10" + graphicField + "^FS\r\n^XZ\r\n";
}

} // namespace

class TestZplStandIn : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_printer = std::make_unique<ZplStandInProcess>();
        QVERIFY(m_printer->start());
    }
    void cleanup() { m_printer.reset(); }

    // The only graphic field the product sends: compressed ASCII rows.
    void graphicFieldsPrintTheirDots()
    {
        const QStringList& hexRows = kPictureRows;
        auto socket = connectTo(m_printer->port());
        send(*socket, labelFormat("^GFA,150,150,30," + kCompressedPicture));
        QTRY_COMPARE_WITH_TIMEOUT(m_printer->labels().size(), 1, 5000);

        const QJsonObject record = m_printer->labels().first().toObject();
        const QImage page(record.value(QStringLiteral("file")).toString());
        QCOMPARE(page.size(), QSize(300, 40));
        const QStringList expected = dotsOfHex(hexRows);
        // Field origin 20,10 from label home 5,3; nothing else on the page.
        QCOMPARE(dots(page, QRect(25, 13, expected.first().size(), expected.size())), expected);
        QCOMPARE(blackCount(dots(page, page.rect())), blackCount(expected));
    }

    void hostStatusReflectsTheState_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("string");
        QTest::addColumn<int>("position");
        QTest::newRow("paper out") << "paperOut" << 0 << 1;
        QTest::newRow("paused") << "paused" << 0 << 2;
        QTest::newRow("buffer full") << "bufferFull" << 0 << 5;
        QTest::newRow("head open") << "headOpen" << 1 << 2;
        QTest::newRow("ribbon out") << "ribbonOut" << 1 << 3;
    }
    void hostStatusReflectsTheState()
    {
        QFETCH(QString, field);
        QFETCH(int, string);
        QFETCH(int, position);
        auto socket = connectTo(m_printer->port());
        const QList<QByteArrayList> ready = askStatus(*socket);
        QCOMPARE(ready.size(), 3);
        QCOMPARE(ready[0].size(), 12);
        QCOMPARE(ready[1].size(), 11);
        QCOMPARE(ready[2].size(), 2);
        QCOMPARE(ready[string][position], QByteArray("0"));

        QVERIFY(!m_printer->setState({{field, true}}).isEmpty());
        const QList<QByteArrayList> fault = askStatus(*socket);
        QCOMPARE(fault.size(), 3);
        QCOMPARE(fault[string][position], QByteArray("1"));
        // Only that flag changed.
        for (int s = 0; s < 3; ++s)
            for (int p = 0; p < ready[s].size(); ++p)
                if (s != string || p != position)
                    QCOMPARE(fault[s][p], ready[s][p]);
    }

    // Two connections at once, fed a byte at a time: every cut falls somewhere awkward (inside a
    // command's name, binary data, a CR LF pair, a repeat count, ~HS).
    void streamsSplitAnywhereStillParse()
    {
        const QByteArray binary = QByteArray::fromHex(kBinaryRows.join(QString()).toLatin1());
        const QByteArray streams[2] = {
            labelFormat("^GFB,12,12,4," + binary) + "~HS",
            labelFormat("^GFA,150,150,30," + kCompressedPicture) + "~HS",
        };
        std::unique_ptr<QTcpSocket> sockets[2] = {connectTo(m_printer->port()), connectTo(m_printer->port())};
        for (int i = 0; i < streams[1].size(); ++i) {
            for (int s = 0; s < 2; ++s) {
                if (i < streams[s].size()) {
                    send(*sockets[s], streams[s].mid(i, 1));
                    QThread::usleep(300);
                }
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_printer->labels().size(), 2, 5000);
        for (auto& socket : sockets)
            QCOMPARE(readStatus(*socket).size(), 3);
        for (const QJsonValue& value : m_printer->labels()) {
            const QJsonObject record = value.toObject();
            const int connection = record.value("connection").toInt();
            const QStringList expected = dotsOfHex(connection == 1 ? kBinaryRows : kPictureRows);
            const QImage page(record.value("file").toString());
            QCOMPARE(dots(page, QRect(25, 13, expected.first().size(), expected.size())), expected);
            QCOMPARE(record.value("bytes").toInt(),
                     streams[connection - 1].size() - 3 - 2); // without ~HS and CR LF
        }
    }

private:
    std::unique_ptr<ZplStandInProcess> m_printer;
};

QTEST_GUILESS_MAIN(TestZplStandIn)
#include "tst_zplstandin.moc"
