#pragma once
// One check of the console connection: settings complete, console answering, report-id watermark
// present (set to the newest report of the last 27 days on first contact). Blocking; runs on the
// window's checker thread.

#include <QDateTime>
#include <QString>

#include <functional>

class SettingsManager;

namespace ConnectionCheck {

inline const QString kConnecting = QStringLiteral("Connecting");
inline const QString kInvalidSettings = QStringLiteral("Invalid settings");
inline const QString kFailedToConnect = QStringLiteral("Failed to connect");
inline const QString kUpdatingReportInfo = QStringLiteral("Updating ReportInfo");
inline const QString kFailedToFetch = QStringLiteral("Failed to fetch Report info");
inline const QString kConnected = QStringLiteral("Connected");
// An HTTPS console presented a certificate other than the trusted one; nothing was sent.
inline const QString kCertificateChanged = QStringLiteral("Certificate changed");

constexpr int kWatermarkDays = 27;

// Runs the check; `deliver` receives each state in order (it is called on the calling thread).
// `now` is the local time the 27-day window is counted back from.
void run(SettingsManager* settings, const std::function<void(const QString&)>& deliver,
         const QDateTime& now = QDateTime::currentDateTime());

// Why the last check failed beyond its state (a refused user name or password); empty otherwise.
QString lastFailureDetail();

} // namespace ConnectionCheck
