#include "mc/connectioncheck.h"

#include "mc/mccomm.h"
#include "mc/mcconnectionsettings.h"
#include "settings/settingsmanager.h"
#include "shared/durationlog.h"

QString ConnectionCheck::reportDateLine(const QDateTime& since)
{
    return QStringLiteral(
               " <search path=\"report.report_date\" value=\"%1\" operator=\"gt\" datatype=\"date\" "
               "conjunction=\"true\"/>")
        .arg(since.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

void ConnectionCheck::run(SettingsManager* settings, const std::function<void(const QString&)>& deliver,
                          const QDateTime& now)
{
    const MCConnectionSettings connection = MCConnectionSettings::read(settings);
    if (!settings || !connection.complete()) {
        deliver(kInvalidSettings);
        return;
    }
    std::unique_ptr<MCComm> mc = connection.createClient();
    if (!mc->checkConnection()) {
        deliver(mc->certificateRefused()      ? kCertificateChanged
                : mc->lastHttpStatus() == 401 ? kAccessDenied
                                              : kFailedToConnect);
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
