#include "printing/pdffileoutput.h"

#include "printing/durablefile.h"
#include "printing/fileprinter.h"
#include "settings/settingsmanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QPainter>
#include <QPdfWriter>

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
    bool painted = false;
    QString error;
    {
        QFile part(partPath);
        painted = part.open(QIODevice::WriteOnly) && writePdf(&part, page, m_page, m_dotsPerInch, title);
        part.close(); // flushes: a full disk shows here
        if (part.error() != QFileDevice::NoError) {
            painted = false;
            error = part.errorString(); // "No space left on device" tells the user what to do
        }
    }
    // Complete on disk under its own name, or not there at all.
    if (!painted || QFileInfo(partPath).size() == 0 || !DurableFile::syncFile(partPath) ||
        !DurableFile::rename(partPath, path, &error)) {
        QFile::remove(partPath);
        result.error = folderWritable(m_folder)
                           ? QStringLiteral("the label file could not be written") +
                                 (error.isEmpty() ? QString() : QStringLiteral(": ") + error)
                           : QStringLiteral("the label folder %1 cannot be written").arg(m_folder);
        return result;
    }
    result.taken = true;
    result.file = path;
    return result;
}

bool PdfFileOutput::writePdf(QIODevice* device, const QImage& page, const QPageSize& size, int dotsPerInch,
                             const QString& title)
{
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
