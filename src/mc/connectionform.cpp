#include "mc/connectionform.h"

#include "mc/connectioncheck.h"
#include "mc/mcconnectionsettings.h"
#include "settings/settingsmanager.h"
#include "settings/watermark.h"

#include <QDebug>
#include <QRegularExpression>

ConnectionForm::ConnectionForm(SettingsManager* settings, QObject* parent)
    : QObject(parent), m_settings(settings)
{
    if (m_settings)
        connect(m_settings, &SettingsManager::watermarkChanged, this, &ConnectionForm::reportIdChanged,
                Qt::QueuedConnection);
}

QStringList ConnectionForm::missingFields() const
{
    const MCConnectionSettings connection = MCConnectionSettings::read(m_settings);
    QStringList missing;
    if (connection.address.isEmpty())
        missing << tr("HostName/IP");
    if (connection.port.isEmpty())
        missing << tr("Port");
    if (connection.username.isEmpty())
        missing << tr("Username");
    if (connection.password.isEmpty())
        missing << tr("Password");
    return missing;
}

QString ConnectionForm::failureDetail() const
{
    return ConnectionCheck::lastFailureDetail();
}

qint64 ConnectionForm::reportId() const
{
    return Watermark(m_settings).lastId();
}

bool ConnectionForm::isReportId(const QString& text, qint64* value)
{
    // 18 digits always fit a 64-bit id.
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    if (!digits.match(text).hasMatch())
        return false;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok)
        return false;
    if (value)
        *value = number;
    return true;
}

QString ConnectionForm::reportIdQuestion(const QString& entered) const
{
    qint64 value = 0;
    const qint64 stored = reportId();
    if (!isReportId(entered, &value) || stored < 0 || value == stored)
        return QString();
    if (value > stored)
        return tr("Reports %1 to %2 (up to %3 reports) will never be printed: the active jobs go on "
                  "after report %2. Store %2?")
            .arg(stored + 1)
            .arg(value)
            .arg(value - stored);
    return tr("Reports %1 to %2 (up to %3 reports) will be fetched and printed again by every active "
              "job. Store %4?")
        .arg(value + 1)
        .arg(stored)
        .arg(stored - value)
        .arg(value);
}

bool ConnectionForm::commitReportId(const QString& entered)
{
    qint64 value = 0;
    if (!m_settings || !isReportId(entered, &value)) {
        qWarning() << "Report id" << entered << "not stored: digits only";
        return false;
    }
    const qint64 stored = reportId();
    if (value == stored)
        return true;
    if (!Watermark(m_settings).set(value))
        return false;
    qDebug() << "Report id watermark set by the user from" << stored << "to" << value;
    return true;
}
