#include "printing/pdffileoutput.h"

#include "printing/durablefile.h"
#include "printing/fileprinter.h"
#include "settings/settingsmanager.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QPainter>
#include <QPdfWriter>

#include <zlib.h>

#include <cmath>

namespace {

const QString kPartSuffix = QStringLiteral(".part");

// Whether the folder takes new files; asked only after a hand-off failed, to tell the user why.
bool folderWritable(const QString& folder)
{
    QFile probe(folder + QStringLiteral("/.write-test"));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}

// A PDF text string: UTF-16 with its byte order mark, in hex, so any title passes unescaped.
QByteArray pdfText(const QString& text)
{
    QByteArray bytes("<FEFF");
    for (const QChar c : text)
        bytes += QByteArray::number(c.unicode() | 0x10000, 16).mid(1).toUpper();
    return bytes + '>';
}

// The black-and-white page as its own PDF: one 1-bit image on one page, compressed at zlib's fastest
// level. Qt's writer compressed it at the default level, which took a quarter of a label's time,
// for a file a few kilobytes smaller. Empty when the page is not a plain black-and-white image.
QByteArray bilevelPdf(const QImage& page, const QPageSize& size, int dotsPerInch, const QString& title)
{
    const QVector<QRgb> blackWhite{qRgb(0, 0, 0), qRgb(255, 255, 255)};
    if (page.format() != QImage::Format_Mono || page.colorTable() != blackWhite || dotsPerInch <= 0)
        return QByteArray();
    // Rows as the image holds them (most significant bit first, 0 black as in DeviceGray), each
    // cut to whole bytes.
    const int rowBytes = (page.width() + 7) / 8;
    QByteArray bits;
    bits.reserve(rowBytes * page.height());
    for (int y = 0; y < page.height(); ++y)
        bits.append(reinterpret_cast<const char*>(page.constScanLine(y)), rowBytes);
    uLongf packedSize = compressBound(uLong(bits.size()));
    QByteArray packed(int(packedSize), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(bits.constData()), uLong(bits.size()), Z_BEST_SPEED) != Z_OK)
        return QByteArray();
    packed.truncate(int(packedSize));

    const QSizeF points = size.size(QPageSize::Point);
    const auto number = [](double value) {
        return QByteArray::number(value, 'f', 6);
    };
    // Device dots from the page's top left, as Qt's writer places them: a dot is a little under
    // 72/dpi points (cut after nine places), so rasterisers that widen an image ending exactly on a
    // pixel edge keep it dot for dot.
    const QByteArray dot = QByteArray::number(std::floor(72e9 / dotsPerInch) / 1e9, 'f', 9);
    const QByteArray content = dot + " 0 0 -" + dot + " 0 " + number(points.height()) + " cm\n" +
                               QByteArray::number(page.width()) + " 0 0 -" +
                               QByteArray::number(page.height()) + " 0 " + QByteArray::number(page.height()) +
                               " cm /Im0 Do\n";
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    const QByteArray date =
        "(D:" + now.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + (offset < 0 ? '-' : '+') +
        QString::asprintf("%02d'%02d'", std::abs(offset) / 60, std::abs(offset) % 60).toLatin1() + ')';

    QByteArray pdf("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    QVector<int> offsets;
    const auto object = [&](const QByteArray& body, const QByteArray& stream = QByteArray()) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body;
        if (!stream.isNull())
            pdf += "\nstream\n" + stream + "\nendstream";
        pdf += "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(points.width()) + ' ' +
           number(points.height()) + "] /Resources << /XObject << /Im0 4 0 R >> >> /Contents 5 0 R >>");
    object("<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(page.width()) + " /Height " +
               QByteArray::number(page.height()) +
               " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode /Length " +
               QByteArray::number(packed.size()) + " >>",
           packed);
    object("<< /Length " + QByteArray::number(content.size()) + " >>", content);
    object("<< /Title " + pdfText(title) + " /Creator " + pdfText(QStringLiteral("Report Label Printer")) +
           " /Producer " + pdfText(QStringLiteral("Report Label Printer")) + " /CreationDate " + date +
           " >>");
    const int xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const int at : qAsConst(offsets))
        pdf += QByteArray::number(at).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) +
           " /Root 1 0 R /Info 6 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

} // namespace

int PdfFileOutput::configuredResolution()
{
    int resolution = FilePrinter::kDefaultResolution;
    if (SettingsManager* settings = SettingsManager::instance())
        resolution =
            settings->getIntValue(FilePrinter::kResolutionKey, FilePrinter::kDefaultResolution, true);
    return resolution < 72 || resolution > 1200 ? FilePrinter::kDefaultResolution : resolution;
}

PdfFileOutput::PdfFileOutput() : LabelOutput(FilePrinter::kName), m_folder(FilePrinter::folder()) {}

bool PdfFileOutput::open(const QPageSize& page, QString* error)
{
    if (!QDir(m_folder).exists()) {
        if (error)
            *error = QStringLiteral("the label folder %1 cannot be created").arg(m_folder);
        return false;
    }
    m_page = page;
    setPage(page, configuredResolution());
    return true;
}

QString PdfFileOutput::pathOf(const QString& labelName) const
{
    return QStringLiteral("%1/%2.pdf").arg(m_folder, labelName);
}

QString PdfFileOutput::deliveredLabel(const QString& labelName) const
{
    const QString path = pathOf(labelName);
    return !labelName.isEmpty() && QFileInfo(path).size() > 0 ? path : QString();
}

HandOff PdfFileOutput::send(const QImage& page, const QString& title, const QString& labelName,
                            bool stableName)
{
    HandOff result = sendLater(page, title, labelName, stableName);
    completeAll({&result});
    return result;
}

HandOff PdfFileOutput::sendLater(const QImage& page, const QString& title, const QString& labelName,
                                 bool stableName)
{
    HandOff result;
    QString path = pathOf(labelName);
    if (!stableName) {
        // Labels named in the same millisecond each get a file of their own.
        static QMutex naming;
        QMutexLocker locker(&naming);
        for (int n = 2; QFile::exists(path) || QFile::exists(path + kPartSuffix); ++n)
            path = pathOf(QStringLiteral("%1_%2").arg(labelName).arg(n));
        QFile(path + kPartSuffix).open(QIODevice::WriteOnly); // reserves the name
    }
    const QString partPath = path + kPartSuffix;
    QFile part(partPath);
    bool painted = part.open(QIODevice::WriteOnly) && writePdf(&part, page, m_page, m_dotsPerInch, title);
    part.close(); // flushes: a full disk shows here
    // "No space left on device" tells the user what to do.
    const QString error = part.error() != QFileDevice::NoError ? part.errorString() : QString();
    if (!painted || !error.isEmpty() || QFileInfo(partPath).size() == 0) {
        result.error = failure(error);
        QFile::remove(partPath);
        return result;
    }
    result.file = path;
    result.pending = partPath;
    return result;
}

void PdfFileOutput::completeAll(const QList<HandOff*>& handOffs)
{
    // Complete on disk under its own name, or not there at all: the files' data is flushed first
    // (once for all of them), then they are named, then the names are flushed (once).
    QStringList parts;
    for (const HandOff* handOff : handOffs) {
        if (!handOff->pending.isEmpty())
            parts << handOff->pending;
    }
    if (parts.isEmpty())
        return;
    const QStringList unsynced = DurableFile::syncFiles(parts);
    bool named = false;
    for (HandOff* handOff : handOffs) {
        if (handOff->pending.isEmpty())
            continue;
        QString error;
        if (!unsynced.contains(handOff->pending) &&
            DurableFile::rename(handOff->pending, handOff->file, &error, false)) {
            handOff->taken = true;
            named = true;
        } else {
            QFile::remove(handOff->pending);
            handOff->error = failure(error);
            handOff->file.clear();
        }
        handOff->pending.clear();
    }
    if (named)
        DurableFile::syncFolder(m_folder);
}

QString PdfFileOutput::failure(const QString& error) const
{
    return folderWritable(m_folder) ? QStringLiteral("the label file could not be written") +
                                          (error.isEmpty() ? QString() : QStringLiteral(": ") + error)
                                    : QStringLiteral("the label folder %1 cannot be written").arg(m_folder);
}

bool PdfFileOutput::writePdf(QIODevice* device, const QImage& page, const QPageSize& size, int dotsPerInch,
                             const QString& title)
{
    const QByteArray bilevel = bilevelPdf(page, size, dotsPerInch, title);
    if (!bilevel.isEmpty())
        return device->write(bilevel) == bilevel.size();
    QPdfWriter writer(device);
    writer.setCreator(QStringLiteral("Report Label Printer"));
    writer.setTitle(title);
    writer.setPageSize(size);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    writer.setResolution(dotsPerInch);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    painter.drawImage(QPointF(0, 0), page);
    return painter.end();
}

PrinterStatus PdfFileOutput::status()
{
    PrinterStatus status;
    if (!QDir(m_folder).exists() || !folderWritable(m_folder)) {
        status.ready = false;
        status.reason = QStringLiteral("the label folder %1 cannot be written").arg(m_folder);
    }
    return status;
}
