// Tags of the device's identity: identifiers, names and the first of several identifiers.

#include "logging/logger.h"
#include "report/device.h"
#include "report/devicestates.h"
#include "report/tagparser.h"
#include "report/tagtable.h"
#include "settings/settingsmanager.h"

#include <QtDebug>

namespace Tags {

namespace {

QString identifierOr(const TagContext& context, int slot, const char* example)
{
    return context.device ? context.device->identifier(slot) : QString::fromLatin1(example);
}

QString alternative(const TagContext& context, int slot)
{
    if (!context.device)
        return context.word("Not available");
    SettingsManager* settings = SettingsManager::instance();
    if (!settings || !settings->getBooleanValue(QStringLiteral("androidsettings_alternativeserial"), false))
        return context.word("Not enabled");
    return context.device->identifier(slot);
}

// The value (or, with wantName, the display name) of the first label of arg that has a value.
QString firstOf(const QString& arg, bool wantName, const TagContext& context)
{
    for (const QString& alternative : arg.split(QLatin1Char(','))) {
        if (alternative.trimmed().startsWith(kFreeTextPrefix)) {
            QString text = alternative;
            text.remove(kFreeTextPrefix);
            return context.format(text);
        }
        const QString label = alternative.trimmed();
        const QString value = propertyValue(label, context);
        if (value.isEmpty())
            continue;
        if (!wantName)
            return value;
        return context.parser->propertyName(
            label.startsWith(kDevCustomFieldPrefix) ? label.mid(kDevCustomFieldPrefix.size()) : label);
    }
    if (!context.quiet) {
        logPrintf(wantName ? "%s Failed to found replacement for tag: '<firstid' in string %s\n"
                           : "%s Failed to found replacement for tag: '<firstvalue' in string %s\n",
                  context.signature, qUtf8Printable(context.original ? *context.original : QString()));
    }
    return QString();
}

} // namespace

QString meid(const TagContext& context)
{
    return identifierOr(context, Device::Meid, "012345678901234");
}

QString meid14(const TagContext& context)
{
    return identifierOr(context, Device::Meid14, "01234567890123");
}

QString imei(const TagContext& context)
{
    return identifierOr(context, Device::Imei, "012345678901234");
}

QString imei2(const TagContext& context)
{
    return identifierOr(context, Device::Imei2, "012345678901234");
}

QString ecid(const TagContext& context)
{
    return identifierOr(context, Device::Ecid, "000000AAAAABBBBBCC");
}

QString usbSerial(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info)
        return QStringLiteral("SERIAL_XYZX");
    const int cut = info->usbSerial.indexOf(QLatin1String("-quillon"));
    return cut < 0 ? info->usbSerial : info->usbSerial.left(cut);
}

QString carrierName(const TagContext& context)
{
    return context.device ? context.info()->carrierName : QStringLiteral("Unknown");
}

QString pin(const TagContext& context)
{
    return context.device ? context.device->identifier(Device::Pin).remove(QLatin1String("0x"))
                          : QStringLiteral("ffaabb");
}

QString systemSerial(const TagContext& context)
{
    return identifierOr(context, Device::Serial, "XXXYYYZZZ");
}

QString manufacturer(const TagContext& context)
{
    return context.device ? context.info()->manufacturer : QStringLiteral("Korvex Labs");
}

QString wifiMac(const TagContext& context)
{
    return context.device ? context.info()->wifiMac : QStringLiteral("XX:XX:XX:XX:XX");
}

QString deviceIdentifier(const TagContext& context)
{
    return context.device ? context.info()->deviceIdentifier : QStringLiteral("Custom Id");
}

QString model(const TagContext& context)
{
    return context.device ? context.info()->model : QStringLiteral("IPhone4(GSM) 8GB White");
}

QString usbId(const TagContext& context)
{
    return context.device ? context.info()->usbId : QStringLiteral("1-1.2");
}

QString type(const TagContext& context)
{
    return context.device ? context.info()->type : QStringLiteral("example_type");
}

QString aModelNumber(const TagContext& context)
{
    return context.device ? context.info()->aModelNumber : QStringLiteral("example_amodelnumber");
}

QString alternativeSerial(const TagContext& context)
{
    return alternative(context, Device::AlternativeSerial);
}

QString alternativeSourceAndSerial(const TagContext& context)
{
    return alternative(context, Device::AlternativeSourceAndSerial);
}

QString simStatus(const TagContext& context)
{
    if (!context.device)
        return QString();
    switch (context.device->simStatus()) {
    case SimStatus::NoInformation:
        return context.word("N/A");
    case SimStatus::NoCards:
        return context.word("No");
    case SimStatus::NotInserted:
        return context.word("Yes");
    default:
        return context.word("Unknown");
    }
}

QString region(const TagContext& context)
{
    return context.device ? context.device->identifier(Device::Region) : QString();
}

std::optional<QString> modelTag(const QString&, const TagContext& context)
{
    const QString value = propertyValue(QStringLiteral("Model"), context);
    qDebug() << "MyModel::" << value;
    return value;
}

std::optional<QString> firstIdTag(const QString& arg, const TagContext& context)
{
    return firstOf(arg, true, context);
}

std::optional<QString> firstValueTag(const QString& arg, const TagContext& context)
{
    return firstOf(arg, false, context);
}

} // namespace Tags
