// Tags of the battery.

#include "report/device.h"
#include "report/tagtable.h"

namespace Tags {

namespace {

// floor(a / b) for b > 0, also for negative a.
qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && (a < 0))
        --q;
    return q;
}

} // namespace

QString batterySerial(const TagContext& context)
{
    return context.device ? context.info()->batterySerial : QStringLiteral("AXXXXXYYYYYAAA");
}

QString batteryHealth(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info || !info->batteryHealthValid)
        return QStringLiteral("-1%");
    return QStringLiteral("%1%").arg(100 - qBound(0, info->batteryWearLevel, 100));
}

QString batteryCycles(const TagContext& context)
{
    return context.device ? QString::number(context.info()->batteryCycles) : QStringLiteral("10");
}

QString batteryCurrentCapacity(const TagContext& context)
{
    return context.device ? QString::number(context.info()->batteryCurrentCapacity) : QStringLiteral("1000");
}

QString batteryDesignCapacity(const TagContext& context)
{
    return context.device ? QString::number(context.info()->batteryDesignCapacity) : QStringLiteral("1001");
}

QString batteryTemperature(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info)
        return QStringLiteral("25");
    // Hundredths of a degree to whole degrees, halves upward (also below zero).
    return info->batteryTemperatureValid
               ? QString::number(floorDiv(qint64(info->batteryTemperature) + 50, 100))
               : QString();
}

} // namespace Tags
