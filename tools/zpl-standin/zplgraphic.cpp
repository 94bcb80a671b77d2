#include "zplgraphic.h"

#include <QtEndian>

namespace {

const int kMaxBytesPerRow = 4096; // 32768 dots
const int kMaxRows = 32767;
const QByteArray kZ64 = QByteArrayLiteral(":Z64:");
const QByteArray kB64 = QByteArrayLiteral(":B64:");

QImage blankImage(int bytesPerRow, int rows)
{
    QImage image(bytesPerRow * 8, rows, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    return image;
}

void copyRows(const QByteArray& bytes, int bytesPerRow, QImage* image)
{
    for (int row = 0; row < image->height(); ++row) {
        const int from = row * bytesPerRow;
        if (from >= bytes.size())
            break;
        memcpy(image->scanLine(row), bytes.constData() + from,
               size_t(qMin(bytesPerRow, bytes.size() - from)));
    }
}

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

// How many copies a repeat character adds: G..Y are 1..19, g..z are 20, 40 .. 400.
int repeatValue(char c)
{
    if (c >= 'G' && c <= 'Y')
        return c - 'G' + 1;
    if (c >= 'g' && c <= 'z')
        return (c - 'g' + 1) * 20;
    return 0;
}

// Writes compressed ASCII hex into the image four dots at a time.
class NibbleWriter
{
public:
    explicit NibbleWriter(QImage* image) : m_image(image), m_perRow(image->width() / 4) {}
    bool done() const { return m_row >= m_image->height(); }

    // A repeat that runs past the end of a row goes on in the next one.
    void put(int nibble, int count)
    {
        for (; count > 0 && !done(); --count) {
            set(m_row, m_at, nibble);
            if (++m_at == m_perRow)
                nextRow();
        }
    }
    void fillRow(int nibble)
    {
        if (done())
            return;
        for (; m_at < m_perRow; ++m_at)
            set(m_row, m_at, nibble);
        nextRow();
    }
    // The row before the first is blank.
    void repeatRow()
    {
        if (done())
            return;
        for (; m_at < m_perRow; ++m_at)
            set(m_row, m_at, m_row == 0 ? 0 : get(m_row - 1, m_at));
        nextRow();
    }

private:
    void set(int row, int index, int nibble)
    {
        uchar& byte = m_image->scanLine(row)[index / 2];
        byte = index % 2 == 0 ? uchar((byte & 0x0F) | nibble << 4) : uchar((byte & 0xF0) | nibble);
    }
    int get(int row, int index) const
    {
        const uchar byte = m_image->constScanLine(row)[index / 2];
        return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
    }
    void nextRow()
    {
        ++m_row;
        m_at = 0;
    }

    QImage* m_image;
    int m_perRow; // nibbles
    int m_row = 0;
    int m_at = 0;
};

void decodeAsciiHex(const QByteArray& data, QImage* image)
{
    NibbleWriter writer(image);
    int count = 0;
    for (const char c : data) {
        if (writer.done())
            return;
        const int nibble = hexValue(c);
        if (nibble >= 0) {
            writer.put(nibble, qMax(count, 1));
            count = 0;
        } else if (const int repeat = repeatValue(c)) {
            count += repeat;
        } else if (c == ',' || c == '!' || c == ':') {
            // A count before a row mark means nothing; it is dropped.
            count = 0;
            if (c == ':')
                writer.repeatRow();
            else
                writer.fillRow(c == ',' ? 0x0 : 0xF);
        }
        // Anything else (spaces, tabs) is not data.
    }
}

// The bytes of ":Z64:<base64>:<crc>" or ":B64:<base64>:<crc>". The CRC is not checked: zlib's own
// checksum catches a damaged Z64 payload, and base64 that does not decode is refused.
QByteArray decodeBase64Payload(const QByteArray& data, int expectedSize, QString* error)
{
    const bool compressed = data.startsWith(kZ64);
    QByteArray text = data.mid(kZ64.size());
    const int crcMark = text.indexOf(':');
    if (crcMark >= 0)
        text.truncate(crcMark);
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty()) {
        *error = QStringLiteral("graphic field: the base64 data does not decode");
        return {};
    }
    if (!compressed)
        return decoded.decoded;
    // qUncompress wants the expected size, big-endian, before the zlib stream.
    QByteArray framed(4, '\0');
    qToBigEndian<quint32>(quint32(expectedSize), framed.data());
    const QByteArray inflated = qUncompress(framed + decoded.decoded);
    if (inflated.isEmpty())
        *error = QStringLiteral("graphic field: the Z64 data does not inflate");
    return inflated;
}

} // namespace

QImage ZplGraphic::decode(const QByteArray& params, QString* error)
{
    // a,b,c,d,data: the data may hold commas itself, so split off the four fields only.
    QList<QByteArray> fields;
    int from = 0;
    for (int i = 0; i < 4; ++i) {
        const int comma = params.indexOf(',', from);
        if (comma < 0) {
            *error = QStringLiteral("graphic field: fewer than five parameters");
            return {};
        }
        fields.append(params.mid(from, comma - from).trimmed());
        from = comma + 1;
    }
    const QByteArray data = params.mid(from);
    const QByteArray format = fields.at(0).toUpper();
    bool totalOk = false;
    bool perRowOk = false;
    const int total = fields.at(2).toInt(&totalOk);
    const int perRow = fields.at(3).toInt(&perRowOk);
    if (!totalOk || !perRowOk || total <= 0 || perRow <= 0 || perRow > kMaxBytesPerRow ||
        total / perRow > kMaxRows || total < perRow) {
        *error = QStringLiteral("graphic field: unusable sizes (total %1, per row %2)")
                     .arg(QString::fromLatin1(fields.at(2)), QString::fromLatin1(fields.at(3)));
        return {};
    }
    QImage image = blankImage(perRow, total / perRow);
    if (format == "B") {
        copyRows(data, perRow, &image);
    } else if (format != "A") {
        *error =
            QStringLiteral("graphic field: format \"%1\" is not supported").arg(QString::fromLatin1(format));
        return {};
    } else if (data.startsWith(kZ64) || data.startsWith(kB64)) {
        const QByteArray bytes = decodeBase64Payload(data, total, error);
        if (bytes.isEmpty())
            return {};
        copyRows(bytes, perRow, &image);
    } else {
        decodeAsciiHex(data, &image);
    }
    return image;
}
