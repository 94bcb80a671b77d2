#include "mc/connectioncheck.h"

#include "mc/mccomm.h"
#include "mc/mcconnectionsettings.h"
#include "mc/mcrequest.h"
#include "settings/settingsmanager.h"
#include "settings/watermark.h"
#include "shared/durationlog.h"

#include <QDebug>
#include <QMutex>

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
    Watermark watermark(settings);
    if (watermark.lastId() != -1) {
        deliver(kConnected);
        return;
    }

    const QDateTime since = now.addDays(-kWatermarkDays);
    DurationLog duration("REPORT DURATION");
    deliver(kUpdatingReportInfo);
    QString reply;
    const QString search = McRequest::idSearch(connection.onlyReported, 1, McRequest::reportDateLine(since));
    if (!mc->searchReports({search}, QStringLiteral("csv"), &reply)) {
        deliver(mc->certificateRefused() ? kCertificateChanged : kFailedToFetch);
        return;
    }
    // Without a stored watermark a poll would fetch the whole history: ask again later instead.
    if (!watermark.set(MCConnectionSettings::largestId(reply))) {
        deliver(kFailedToFetch);
        return;
    }
    deliver(kConnected);
}
