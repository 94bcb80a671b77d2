#include "printing/fileprinter.h"

#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QDateTime>
#include <QDir>
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
