#include "mc/connectioncheck.h"

#include "mc/mccomm.h"
#include "mc/mcconnectionsettings.h"
#include "settings/settingsmanager.h"
#include "shared/durationlog.h"

#include <QDebug>
#include <QMutex>

QString ConnectionCheck::reportDateLine(const QDateTime& since)
{
    return QStringLiteral(
               " <search path=\"report.report_date\" value=\"%1\" operator=\"gt\" datatype=\"date\" "
               "conjunction=\"true\"/>")
        .arg(since.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

namespace {
QMutex g_detailLock;
QString g_failureDetail;

void setFailureDetail(const QString& detail)
{
    QMutexLocker lock(&g_detailLock);
    g_failureDetail = detail;
}
} // namespace

QString ConnectionCheck::lastFailureDetail()
{
    QMutexLocker lock(&g_detailLock);
    return g_failureDetail;
}

void ConnectionCheck::run(SettingsManager* settings, const std::function<void(const QString&)>& deliver,
                          const QDateTime& now)
{
    setFailureDetail(QString());
    const MCConnectionSettings connection = MCConnectionSettings::read(settings);
    if (!settings || !connection.complete()) {
        deliver(kInvalidSettings);
        return;
    }
    std::unique_ptr<MCComm> mc = connection.createClient();
    if (!mc->checkConnection()) {
        if (mc->lastHttpStatus() == 401) {
            qWarning() << "The console refused the user name or password (HTTP 401)";
            setFailureDetail(QStringLiteral("user name or password refused (HTTP 401)"));
        }
        deliver(mc->certificateRefused() ? kCertificateChanged : kFailedToConnect);
        return;
    }
    if (settings->getIntValue(QStringLiteral("MC/lastReportId"), -1, true) != -1) {
        deliver(kConnected);
        return;
    }

    const QDateTime since = now.addDays(-kWatermarkDays);
    DurationLog duration("REPORT DURATION");
    deliver(kUpdatingReportInfo);
    QString reply;
    const QString search = connection.newestIdSearch(1, reportDateLine(since));
    if (!mc->searchReports({search}, QStringLiteral("csv"), &reply)) {
        deliver(mc->certificateRefused() ? kCertificateChanged : kFailedToFetch);
        return;
    }
    settings->setValue(QStringLiteral("MC/lastReportId"), MCConnectionSettings::largestId(reply), true);
    settings->flush();
    deliver(kConnected);
}
