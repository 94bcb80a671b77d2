// Tags of the erasure: the device status, how long and how it was erased, and the disk sizes.

#include "report/device.h"
#include "report/tagparser.h"
#include "report/tagtable.h"
#include "shared/erasurestandards.h"

namespace Tags {

namespace {

QString statusName(int status, bool translate)
{
    switch (status) {
    case Device::Connected:
        return translate ? TagParser::tr("connected") : QStringLiteral("connected");
    case Device::ErasureSuccessful:
        return translate ? TagParser::tr("erasure successful") : QStringLiteral("erasure successful");
    case Device::ErasureFailed:
        return translate ? TagParser::tr("erasure failed") : QStringLiteral("erasure failed");
    case Device::Blacklisted:
        return translate ? TagParser::tr("not supported") : QStringLiteral("blacklisted");
    default:
        return translate ? TagParser::tr("unknown") : QStringLiteral("unknown");
    }
}

QString twoDigits(qint64 value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

// Size text of one disk: its capacity in GB, or the nominal (design) size.
QString diskSizeText(quint64 capacity, bool design)
{
    const quint64 gib = quint64(1) << 30;
    const quint64 ceilGib = capacity / gib + (capacity % gib ? 1 : 0);
    if (!design || capacity > 1024 * gib)
        return QStringLiteral("%1GB").arg(ceilGib);
    quint64 nominal = 2;
    while (nominal < ceilGib)
        nominal *= 2;
    return QStringLiteral("%1GB").arg(nominal);
}

QString diskText(const TagContext& context, bool design)
{
    const Device* device = context.device;
    if (!device)
        return context.word("Unknown");
    QString text;
    const QVector<TargetDisk>& disks = device->disks();
    for (const ErasureRecord& record : device->erasureRecords()) {
        if (disks.contains(record.target))
            text += diskSizeText(record.target.capacity, design);
    }
    if (text.isEmpty()) {
        for (const TargetDisk& disk : disks) {
            if (disk.kind == TargetDisk::InternalMemory)
                text += diskSizeText(disk.capacity, design);
        }
    }
    if (text.isEmpty()) {
        // Model names usually carry the size ("iPhone 7 128GB").
        const QStringList words = device->info().model.split(QLatin1Char(' '));
        for (const QString& word : words) {
            for (const QLatin1String unit : {QLatin1String("GB"), QLatin1String("TB")}) {
                if (!word.endsWith(unit))
                    continue;
                bool ok = false;
                const int value = word.left(word.size() - 2).toInt(&ok, 10);
                if (ok)
                    text = QStringLiteral("%1%2").arg(value).arg(unit);
            }
        }
    }
    if (text.isEmpty())
        text = context.translate ? TagParser::tr("Unknown") : QStringLiteral("Unknown");
    return text;
}

} // namespace

QString deviceStatus(const TagContext& context)
{
    if (!context.device) {
        return context.translate ? TagParser::tr("Erasure Successfull")
                                 : statusName(Device::ErasureSuccessful, false);
    }
    return statusName(context.device->status(), context.translate);
}

QString duration(const TagContext& context)
{
    const Device* device = context.device;
    if (!device)
        return context.word("Unknown");
    qint64 total = 0;
    const QVector<ErasureRecord>& erasures = device->erasureRecords();
    if (!erasures.isEmpty()) {
        for (const ErasureRecord& record : erasures)
            total += record.elapsedNanoseconds;
    } else {
        const QVector<ProcessStep>& steps = device->processSteps();
        for (const ProcessStep& step : steps) {
            if (step.group != steps.first().group)
                break;
            total += step.elapsedNanoseconds;
        }
    }
    const qint64 seconds = total / 1000000000LL;
    if (seconds <= 0)
        return QStringLiteral("00:00:00");
    return QStringLiteral("%1:%2:%3")
        .arg(twoDigits(seconds / 3600), twoDigits(seconds / 60 % 60), twoDigits(seconds % 60));
}

QString method(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info)
        return context.word("Unknown");
    const QString name = ErasureStandards::name(info->erasureMethod, info->erasureMethodParameter);
    return name.isEmpty() ? context.unknown() : name;
}

QString rounds(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info)
        return context.word("Unknown");
    const int rounds = ErasureStandards::rounds(info->erasureMethod, info->erasureMethodParameter);
    return rounds < 0 ? context.unknown() : QString::number(rounds);
}

QString diskSize(const TagContext& context)
{
    return diskText(context, false);
}

QString diskDesign(const TagContext& context)
{
    return diskText(context, true);
}

std::optional<QString> devStatusChoice(const QString& arg, const TagContext& context)
{
    const int status = context.device ? context.device->status() : Device::ErasureSuccessful;
    const int index = status == Device::ErasureSuccessful ? 0 : status == Device::ErasureFailed ? 1 : 2;
    return choose(arg, index);
}

} // namespace Tags
