#include "mc/mcconnectionsettings.h"

#include <algorithm>

#include "mc/mccomm.h"
#include "settings/settingsmanager.h"

MCConnectionSettings MCConnectionSettings::read(SettingsManager* settings)
{
    MCConnectionSettings s;
    if (!settings)
        return s;
    s.address = settings->getValue(QStringLiteral("MC/address"), QString(), true);
    s.port = settings->getValue(QStringLiteral("MC/port"), QString(), true);
    s.username = settings->getValue(QStringLiteral("MC/username"), QString(), true);
    s.password = settings->getValue(QStringLiteral("MC/password"), QString(), true);
    s.onlyReported = settings->getBooleanValue(QStringLiteral("MC/onlyreported"), true, true);
    return s;
}

bool MCConnectionSettings::complete() const
{
    return !address.isEmpty() && !port.isEmpty() && !username.isEmpty() && !password.isEmpty();
}

QString MCConnectionSettings::baseUrl() const
{
    return QStringLiteral("%1:%2").arg(address, port);
}

std::unique_ptr<MCComm> MCConnectionSettings::createClient() const
{
    return std::make_unique<MCComm>(nullptr, baseUrl(), username, password, true);
}

QList<qint64> MCConnectionSettings::ids(const QString& csvReply)
{
    QList<qint64> list;
    const QStringList lines = csvReply.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line.remove(QLatin1Char('"'));
        line.remove(QLatin1Char('\r'));
        bool ok = false;
        const qint64 id = line.toLongLong(&ok);
        if (ok)
            list.append(id);
    }
    std::sort(list.begin(), list.end());
    return list;
}

QMap<qint64, QString> MCConnectionSettings::idsWithDocuments(const QString& csvReply)
{
    QMap<qint64, QString> rows;
    const QStringList lines = csvReply.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line.remove(QLatin1Char('"'));
        line.remove(QLatin1Char('\r'));
        bool ok = false;
        const qint64 id = line.section(QLatin1Char(';'), 0, 0).toLongLong(&ok);
        if (ok)
            rows.insert(id, line.section(QLatin1Char(';'), 1).trimmed());
    }
    return rows;
}

qint64 MCConnectionSettings::largestId(const QString& csvReply)
{
    QString text = csvReply;
    text.remove(QLatin1Char('"'));
    qint64 largest = 0;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        bool ok = false;
        // The console ends its lines in CR LF; the CR is not part of the number.
        const qint64 id = QString(line).remove(QLatin1Char('\r')).toLongLong(&ok);
        if (ok && id > largest)
            largest = id;
    }
    return largest;
}
