#include "printing/fileprinter.h"

#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QPrinter>
#include <QRegularExpression>

namespace {

QString safeNamePart(const QString& text, int maxLength)
{
    // Names come from job settings and reports: keep them to characters every file system takes.
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]+"));
    QString part = text;
    part.replace(unsafe, QStringLiteral("-"));
    static const QRegularExpression leading(QStringLiteral("^[-.]+"));
    part.remove(leading);
    return part.left(maxLength);
}

} // namespace

bool FilePrinter::isFilePrinter(const QString& printerName)
{
    return printerName == kName;
}

QString FilePrinter::folder()
{
    QString dir;
    if (SettingsManager* settings = SettingsManager::instance())
        dir = settings->getValue(kFolderKey, QString(), true);
    if (dir.isEmpty())
        dir = SystemPaths::instance().rootDir + QStringLiteral("/labels");
    QDir().mkpath(dir);
    return dir;
}

QPrinter* FilePrinter::create()
{
    const QString dir = folder();
    if (!QDir(dir).exists()) {
        qDebug() << "Label folder" << dir << "cannot be created";
        return nullptr;
    }
    int resolution = kDefaultResolution;
    if (SettingsManager* settings = SettingsManager::instance())
        resolution = settings->getIntValue(kResolutionKey, kDefaultResolution, true);
    if (resolution < 72 || resolution > 1200)
        resolution = kDefaultResolution;
    auto* printer = new QPrinter(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    // Grey scale keeps the one-bit page small; a PDF printer would otherwise claim 1200 dpi.
    printer->setColorMode(QPrinter::GrayScale);
    printer->setResolution(resolution);
    printer->setCreator(QStringLiteral("Report Label Printer"));
    return printer;
}

QString FilePrinter::baseName(const QDateTime& time, const QString& jobName, const QString& reportId)
{
    QString base = time.toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    const QString job = safeNamePart(jobName, 40);
    const QString report = safeNamePart(reportId, 60);
    if (!job.isEmpty())
        base += QLatin1Char('_') + job;
    if (!report.isEmpty())
        base += QLatin1Char('_') + report;
    return base;
}

QString FilePrinter::nextFileName(const QString& jobName, const QString& reportId)
{
    static QMutex lock;
    QMutexLocker locker(&lock);
    const QString dir = folder();
    const QString base = baseName(QDateTime::currentDateTime(), jobName, reportId);
    QString path = QStringLiteral("%1/%2.pdf").arg(dir, base);
    for (int n = 2; QFile::exists(path); ++n)
        path = QStringLiteral("%1/%2_%3.pdf").arg(dir, base).arg(n);
    // Reserve the name at once, so a second label in the same millisecond cannot take it.
    QFile reserve(path);
    reserve.open(QIODevice::WriteOnly);
    return path;
}
