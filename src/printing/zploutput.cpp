#include "printing/zploutput.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTcpSocket>

#include <cmath>
#include <memory>

namespace {

constexpr int kConnectMs = 3000;
constexpr int kSliceMs = 200;

// One open channel to a printer: a TCP connection, or a device file that takes writes only.
class Link
{
public:
    explicit Link(const ZplPrinterConfig& printer) : m_printer(printer) {}

    bool open(QString* error)
    {
        if (m_printer.isDeviceFile()) {
            m_file = std::make_unique<QFile>(m_printer.address);
            if (!m_file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
                *error = QStringLiteral("the device %1 cannot be written").arg(m_printer.address);
                m_file.reset();
                return false;
            }
            return true;
        }
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->connectToHost(m_printer.host(), m_printer.port());
        if (!m_socket->waitForConnected(kConnectMs)) {
            *error = QStringLiteral("the printer cannot be reached at %1 (%2)")
                         .arg(m_printer.address, m_socket->errorString());
            m_socket.reset();
            return false;
        }
        // The short status question after each label must not wait for the label's acknowledgement.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }

    bool isOpen() const
    {
        return m_file || (m_socket && m_socket->state() == QAbstractSocket::ConnectedState);
    }

    bool write(const QByteArray& data, QString* error)
    {
        if (m_file) {
            if (m_file->write(data) != data.size()) {
                *error = QStringLiteral("the device %1 did not take the label").arg(m_printer.address);
                return false;
            }
            return true;
        }
        if (m_socket->write(data) != data.size()) {
            *error = QStringLiteral("the connection to the printer broke");
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (m_socket->bytesToWrite() > 0) {
            if (LabelOutput::aborting() || clock.elapsed() > ZplOutput::kWaitMs ||
                m_socket->state() != QAbstractSocket::ConnectedState) {
                *error = m_socket->state() == QAbstractSocket::ConnectedState
                             ? QStringLiteral("the printer does not take the label")
                             : QStringLiteral("the connection to the printer broke");
                return false;
            }
            m_socket->waitForBytesWritten(kSliceMs);
        }
        return true;
    }

    // The printer's answer to ~HS (three framed strings); empty when it does not answer in time.
    QByteArray askStatus()
    {
        if (!m_socket)
            return QByteArray();
        m_socket->readAll(); // anything left over belongs to no question
        QString error;
        if (!write(QByteArrayLiteral("~HS"), &error))
            return QByteArray();
        QByteArray answer;
        QElapsedTimer clock;
        clock.start();
        while (answer.count('\x03') < 3) {
            if (LabelOutput::aborting() || clock.elapsed() > ZplOutput::kWaitMs ||
                m_socket->state() != QAbstractSocket::ConnectedState)
                return QByteArray();
            if (m_socket->waitForReadyRead(kSliceMs))
                answer += m_socket->readAll();
        }
        return answer;
    }

private:
    ZplPrinterConfig m_printer;
    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<QFile> m_file;
};

// A batch sends all its labels for a printer over one connection; each thread keeps its own.
thread_local QHash<QString, std::shared_ptr<Link>> t_links;

std::shared_ptr<Link> linkTo(const ZplPrinterConfig& printer, QString* error)
{
    std::shared_ptr<Link> link = t_links.value(printer.address);
    if (link && link->isOpen())
        return link;
    link = std::make_shared<Link>(printer);
    if (!link->open(error)) {
        t_links.remove(printer.address);
        return nullptr;
    }
    t_links.insert(printer.address, link);
    return link;
}

void forget(const ZplPrinterConfig& printer)
{
    t_links.remove(printer.address);
}

int dots(double millimetres, int dotsPerInch)
{
    return int(std::lround(millimetres * dotsPerInch / 25.4));
}

// Runs of one hex digit in ZPL's repeat counts: G..Y count 1..19, g..z count 20..400.
void appendRun(QByteArray* out, char digit, int count)
{
    if (count > 1) {
        for (; count >= 400; count -= 400)
            out->append('z');
        if (count >= 20) {
            out->append(char('f' + count / 20));
            count %= 20;
        }
        if (count > 0)
            out->append(char('F' + count));
    }
    out->append(digit);
}

} // namespace

ZplOutput::ZplOutput(const ZplPrinterConfig& printer) : LabelOutput(printer.name), m_printer(printer) {}

void ZplOutput::closeConnections()
{
    t_links.clear();
}

bool ZplOutput::open(const QPageSize& page, QString* error)
{
    const QString problem = m_printer.problem();
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    setPage(page, m_printer.dotsPerInch);
    return true;
}

QByteArray ZplOutput::compressedHex(const QImage& page, int* bytesPerRow)
{
    const QImage mono =
        page.format() == QImage::Format_Mono ? page : page.convertToFormat(QImage::Format_Mono);
    const bool zeroIsBlack = qGray(mono.color(0)) < 128;
    const int rowBytes = (mono.width() + 7) / 8;
    *bytesPerRow = rowBytes;
    static const char hexDigits[] = "0123456789ABCDEF";
    QByteArray out;
    QByteArray previous;
    QByteArray hex(rowBytes * 2, '0');
    const uchar lastMask = uchar(0xff << ((8 - mono.width() % 8) % 8));
    for (int y = 0; y < mono.height(); ++y) {
        const uchar* line = mono.constScanLine(y);
        for (int i = 0; i < rowBytes; ++i) {
            // Our black is colour 0; the printer's black is a set bit.
            uchar byte = zeroIsBlack ? uchar(~line[i]) : line[i];
            if (i == rowBytes - 1)
                byte &= lastMask;
            hex[2 * i] = hexDigits[byte >> 4];
            hex[2 * i + 1] = hexDigits[byte & 15];
        }
        if (hex == previous) {
            out.append(':');
            continue;
        }
        previous = hex;
        int end = hex.size();
        char tail = 0;
        if (hex.endsWith('0') || hex.endsWith('F')) {
            tail = hex.at(end - 1);
            while (end > 0 && hex.at(end - 1) == tail)
                --end;
        }
        for (int i = 0; i < end;) {
            int run = 1;
            while (i + run < end && hex.at(i + run) == hex.at(i))
                ++run;
            appendRun(&out, hex.at(i), run);
            i += run;
        }
        if (tail == '0')
            out.append(',');
        else if (tail == 'F')
            out.append('!');
    }
    return out;
}

QByteArray ZplOutput::format(const QImage& page) const
{
    int bytesPerRow = 0;
    const QByteArray data = compressedHex(page, &bytesPerRow);
    const QByteArray total = QByteArray::number(bytesPerRow * page.height());
    const char media = m_printer.media == ZplPrinterConfig::Media::BlackMark    ? 'M'
                       : m_printer.media == ZplPrinterConfig::Media::Continuous ? 'N'
                                                                                : 'Y';
    const int shift = dots(m_printer.offsetLeftMm, m_printer.dotsPerInch);
    const int top = std::clamp(dots(m_printer.offsetTopMm, m_printer.dotsPerInch), -120, 120);
    QByteArray zpl;
    // Darkness as the printer's absolute setting (00..30), then the label's own format.
    zpl += "~SD" + QByteArray::number(m_printer.darkness).rightJustified(2, '0');
    zpl += "^XA^PW" + QByteArray::number(page.width()) + "^LL" + QByteArray::number(page.height());
    // A positive left offset moves the label right: the shift command moves it left.
    zpl += "^LH0,0^LS" + QByteArray::number(-shift) + "^LT" + QByteArray::number(top);
    zpl += QByteArray("^MN") + media + "^PR" + QByteArray::number(m_printer.speed);
    zpl += "^FO0,0^GFA," + total + ',' + total + ',' + QByteArray::number(bytesPerRow) + ',' + data + "^FS";
    zpl += "^PQ1^XZ\n";
    return zpl;
}

PrinterStatus ZplOutput::parseHostStatus(const QByteArray& answer)
{
    PrinterStatus status;
    QList<QList<QByteArray>> strings;
    for (const QByteArray& framed : answer.split('\x03')) {
        const int start = framed.indexOf('\x02');
        if (start >= 0)
            strings << framed.mid(start + 1).split(',');
    }
    if (strings.size() < 2 || strings.at(0).size() < 6 || strings.at(1).size() < 4) {
        status.ready = false;
        status.reason = QStringLiteral("the printer's answer could not be read");
        return status;
    }
    const auto flag = [&](int string, int field) {
        return strings.at(string).at(field).trimmed() == "1";
    };
    QStringList reasons;
    if (flag(0, 1))
        reasons << QStringLiteral("out of labels");
    if (flag(1, 2))
        reasons << QStringLiteral("the print head is open");
    if (flag(1, 3))
        reasons << QStringLiteral("out of ribbon");
    if (flag(0, 2))
        reasons << QStringLiteral("the printer is paused");
    if (flag(0, 5))
        reasons << QStringLiteral("the printer's buffer is full");
    status.ready = reasons.isEmpty();
    status.reason = reasons.join(QStringLiteral(", "));
    return status;
}

PrinterStatus ZplOutput::status()
{
    PrinterStatus status;
    const QString problem = m_printer.problem();
    if (!problem.isEmpty()) {
        status.ready = false;
        status.reason = problem;
        return status;
    }
    QString error;
    const std::shared_ptr<Link> link = linkTo(m_printer, &error);
    if (!link) {
        status.ready = false;
        status.reason = error;
        return status;
    }
    // A device file tells nothing back: it is ready when it takes writes.
    if (m_printer.isDeviceFile())
        return status;
    const QByteArray answer = link->askStatus();
    if (answer.isEmpty()) {
        forget(m_printer);
        status.ready = false;
        status.reason = QStringLiteral("the printer does not answer");
        return status;
    }
    return parseHostStatus(answer);
}

HandOff ZplOutput::send(const QImage& page, const QString&, const QString&, bool)
{
    HandOff result;
    const std::shared_ptr<Link> link = linkTo(m_printer, &result.error);
    if (!link)
        return result;
    if (!link->write(format(page), &result.error)) {
        // The label may or may not have come out: it waits and goes again (at worst twice).
        forget(m_printer);
        return result;
    }
    if (m_printer.isDeviceFile()) {
        result.taken = true;
        return result;
    }
    const QByteArray answer = link->askStatus();
    if (answer.isEmpty()) {
        forget(m_printer);
        result.error = QStringLiteral("the printer did not answer after the label");
        return result;
    }
    const PrinterStatus after = parseHostStatus(answer);
    if (!after.ready) {
        result.error = after.reason;
        return result;
    }
    result.taken = true;
    return result;
}
