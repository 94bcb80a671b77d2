#include "zplcapture.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

namespace {

const QByteArray kDownloadGraphic = QByteArrayLiteral("~DG");

// The rows of one graphic as they are decoded, a hex digit (four dots) at a time.
class Rows
{
public:
    Rows(int bytesPerRow, int rows)
        : m_image(bytesPerRow * 8, rows, QImage::Format_Mono), m_row(2 * bytesPerRow, 0),
          m_previous(2 * bytesPerRow, 0)
    {
        m_image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    }
    bool done() const { return m_rowIndex == m_image.height(); }
    const QImage& image() const { return m_image; }

    // A repeat running past the end of a row goes on in the next one.
    void put(char nibble, int count)
    {
        for (; count > 0 && !done(); --count) {
            m_row[m_at++] = nibble;
            if (m_at == m_row.size())
                endRow();
        }
    }
    void fillRow(char nibble)
    {
        if (done())
            return;
        std::fill(m_row.begin() + m_at, m_row.end(), nibble);
        endRow();
    }
    void repeatRow()
    {
        if (done())
            return;
        std::copy(m_previous.begin() + m_at, m_previous.end(), m_row.begin() + m_at);
        endRow();
    }

private:
    void endRow()
    {
        uchar* line = m_image.scanLine(m_rowIndex);
        for (int byte = 0; byte < m_row.size() / 2; ++byte)
            line[byte] = uchar(m_row[2 * byte] << 4 | m_row[2 * byte + 1]);
        m_previous = m_row;
        m_at = 0;
        ++m_rowIndex;
    }

    QImage m_image;
    QByteArray m_row;
    QByteArray m_previous; // a row before the first is blank
    int m_at = 0;
    int m_rowIndex = 0;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

enum class Parsed
{
    Nothing,
    Partial,
    Complete,
    Broken
};

// The first ~DG graphic at or after `from`. `next` is where a later graphic may start: past the graphic
// (Complete, Broken) or near the end of the data (Nothing); unchanged when more data must come first.
Parsed parseGraphic(const QByteArray& data, int from, QImage* image, int* next)
{
    const int start = data.indexOf(kDownloadGraphic, from);
    if (start < 0) {
        *next = std::max(from, int(data.size()) - int(kDownloadGraphic.size() - 1));
        return Parsed::Nothing;
    }
    const int afterCommand = start + kDownloadGraphic.size();
    // Header: name, total bytes and bytes per row, each ended by a comma.
    QList<QByteArray> header;
    int pos = afterCommand;
    while (header.size() < 3) {
        const int comma = data.indexOf(',', pos);
        const QByteArray field = data.mid(pos, comma < 0 ? -1 : comma - pos);
        if (field.contains('^') || field.contains('~')) {
            *next = afterCommand;
            return Parsed::Broken;
        }
        if (comma < 0)
            return Parsed::Partial;
        header << field;
        pos = comma + 1;
    }
    bool totalOk = false;
    bool perRowOk = false;
    const int total = header[1].trimmed().toInt(&totalOk);
    const int perRow = header[2].trimmed().toInt(&perRowOk);
    if (!totalOk || !perRowOk || total <= 0 || perRow <= 0 || total % perRow != 0) {
        *next = afterCommand;
        return Parsed::Broken;
    }

    Rows rows(perRow, total / perRow);
    int count = 0; // repeat characters add up until the digit they repeat
    for (; pos < data.size() && !rows.done(); ++pos) {
        const char c = data.at(pos);
        const int nibble = hexValue(c);
        if (nibble >= 0) {
            rows.put(char(nibble), count > 0 ? count : 1);
            count = 0;
        } else if (c >= 'G' && c <= 'Y') {
            count += c - 'G' + 1;
        } else if (c >= 'g' && c <= 'z') {
            count += (c - 'g' + 1) * 20;
        } else if (c == ',' || c == '!' || c == ':') {
            if (c == ':')
                rows.repeatRow();
            else
                rows.fillRow(c == ',' ? 0 : 0xF);
            count = 0;
        } else if (!QChar::isSpace(uchar(c))) {
            break; // another command: the graphic ended early
        }
    }
    if (rows.done()) {
        *image = rows.image();
        *next = pos;
        return Parsed::Complete;
    }
    if (pos >= data.size())
        return Parsed::Partial;
    *next = pos;
    return Parsed::Broken;
}

} // namespace

ZplCapture::ZplCapture(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ZplCapture::accept);
}

ZplCapture::~ZplCapture()
{
    // The server deletes open sockets after this object's members are gone: they must not call back.
    for (QTcpSocket* socket : m_index.keys())
        socket->disconnect(this);
}

bool ZplCapture::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

QList<QByteArray> ZplCapture::connections() const
{
    QList<QByteArray> result;
    for (const Connection& connection : m_connections)
        result << connection.data;
    return result;
}

QByteArray ZplCapture::all() const
{
    QByteArray result;
    for (const Connection& connection : m_connections)
        result += connection.data;
    return result;
}

void ZplCapture::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        m_index.insert(socket, m_connections.size());
        m_connections.append(Connection());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        // CUPS's socket backend waits for the printer to close after it stopped sending.
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            read(socket);
            m_index.remove(socket);
            socket->deleteLater();
        });
    }
}

void ZplCapture::read(QTcpSocket* socket)
{
    if (!m_index.contains(socket))
        return;
    Connection& connection = m_connections[m_index.value(socket)];
    connection.data += socket->readAll();
    for (;;) {
        QImage image;
        int next = connection.scanFrom;
        const Parsed parsed = parseGraphic(connection.data, connection.scanFrom, &image, &next);
        if (parsed == Parsed::Partial)
            return;
        connection.scanFrom = next;
        if (parsed == Parsed::Nothing)
            return;
        if (parsed == Parsed::Complete)
            emit labelReceived(++m_labels);
    }
}

QList<QImage> ZplCapture::decodeGraphics(const QByteArray& zpl)
{
    QList<QImage> graphics;
    int from = 0;
    for (;;) {
        QImage image;
        int next = from;
        const Parsed parsed = parseGraphic(zpl, from, &image, &next);
        if (parsed == Parsed::Nothing || parsed == Parsed::Partial)
            return graphics;
        if (parsed == Parsed::Complete)
            graphics << image;
        from = next;
    }
}

QList<int> ZplCapture::runLengths(const QImage& image, const QRect& box, bool barsAcross)
{
    const QRect area = box & image.rect();
    if (area.isEmpty())
        return {};
    const int line = barsAcross ? area.center().x() : area.center().y();
    const int first = barsAcross ? area.top() : area.left();
    const int last = barsAcross ? area.bottom() : area.right();
    const auto black = [&](int i) {
        return qGray(barsAcross ? image.pixel(line, i) : image.pixel(i, line)) < 128;
    };
    int begin = first;
    while (begin <= last && !black(begin))
        ++begin;
    int end = last;
    while (end >= begin && !black(end))
        --end;
    QList<int> runs;
    for (int i = begin; i <= end; ++i) {
        if (i == begin || black(i) != black(i - 1))
            runs << 0;
        ++runs.last();
    }
    return runs;
}

QString ZplCapture::wholeModuleProblem(const QImage& image, const QRect& box, bool barsAcross)
{
    const QList<int> runs = runLengths(image, box, barsAcross);
    if (runs.isEmpty())
        return QStringLiteral("no bars along the middle of the box");
    const int module = *std::min_element(runs.begin(), runs.end());
    if (std::all_of(runs.begin(), runs.end(), [module](int run) { return run % module == 0; }))
        return {};
    QStringList lengths;
    for (int run : runs)
        lengths << QString::number(run);
    return QStringLiteral("runs not whole multiples of %1 dots: %2").arg(module).arg(lengths.join(' '));
}
