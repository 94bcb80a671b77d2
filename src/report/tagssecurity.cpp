// Tags of locks and security checks: root, FRP, support, find-my-device and MDM locks, SIM lock,
// carrier subscriptions and lost, stolen or blocked reports.

#include "report/device.h"
#include "report/devicestates.h"
#include "report/tagparser.h"
#include "report/tagtable.h"

namespace Tags {

namespace {

// The subscription result: the position of a <substatus ...> alternative and of its text.
enum SubscriptionResult
{
    Restricted = 0,
    MayBeRestricted = 1,
    NoRestrictions = 2,
    NotFound = 3,
    UnknownResult = 4,
    NoResult = 5
};

SubscriptionResult subscriptionResult(int state)
{
    switch (state) {
    case SubscriptionState::Unknown:
        return UnknownResult;
    case SubscriptionState::NotFound:
        return NotFound;
    case SubscriptionState::NoRestrictions:
        return NoRestrictions;
    case SubscriptionState::MayBeRestricted:
        return MayBeRestricted;
    case SubscriptionState::Restricted:
        return Restricted;
    default:
        return NoResult;
    }
}

SubscriptionResult subscriptionResultAll(const Device* device)
{
    if (!device)
        return NotFound;
    const int* states = device->info().subscriptionStates;
    auto any = [states](int value) {
        return states[0] == value || states[1] == value || states[2] == value;
    };
    if (any(SubscriptionState::CheckError))
        return NoResult;
    if (any(SubscriptionState::Restricted))
        return Restricted;
    if (any(SubscriptionState::MayBeRestricted))
        return MayBeRestricted;
    if (any(SubscriptionState::NoRestrictions))
        return NoRestrictions;
    if (any(SubscriptionState::Unknown))
        return UnknownResult;
    if (states[0] != SubscriptionState::NotFound && states[1] != SubscriptionState::NotFound &&
        states[2] != SubscriptionState::NotFound)
        return NoResult;
    return NotFound;
}

// The result for a carrier argument; false for a carrier this program does not know.
bool subscriptionResultFor(const Device* device, const QString& carrier, SubscriptionResult* result)
{
    if (carrier.isEmpty() || carrier == QLatin1String("all")) {
        *result = subscriptionResultAll(device);
        return true;
    }
    int slot = -1;
    if (carrier == QLatin1String("kddi") || carrier == QLatin1String("KDDI"))
        slot = 0;
    else if (carrier == QLatin1String("softbank") || carrier == QLatin1String("SoftBank") ||
             carrier == QLatin1String("SOFTBANK"))
        slot = 1;
    else if (carrier == QLatin1String("docomo") || carrier == QLatin1String("Docomo") ||
             carrier == QLatin1String("DOCOMO"))
        slot = 2;
    if (slot < 0)
        return false;
    *result = device ? subscriptionResult(device->info().subscriptionStates[slot]) : NotFound;
    return true;
}

QString subscriptionText(SubscriptionResult result)
{
    switch (result) {
    case Restricted:
        return TagParser::tr("Restricted");
    case MayBeRestricted:
        return TagParser::tr("May be restricted");
    case NoRestrictions:
        return TagParser::tr("No restrictions");
    case NotFound:
        return TagParser::tr("Not found");
    case UnknownResult:
        return TagParser::tr("Unknown");
    default:
        return QString();
    }
}

bool notTested(int state)
{
    return state == TheftState::NotTested || state == TheftState::NotTestedYet;
}

bool allNotTested(const DeviceInfo& info)
{
    return notTested(info.lostState) && notTested(info.stolenState) && notTested(info.blockedState);
}

bool allClear(const DeviceInfo& info)
{
    return info.lostState == TheftState::Clear && info.stolenState == TheftState::Clear &&
           info.blockedState == TheftState::Clear;
}

// The words (or alternatives) of the lost, stolen and blocked states that are reported.
QStringList reported(const DeviceInfo& info, const QString& lost, const QString& stolen,
                     const QString& blocked)
{
    QStringList words;
    if (info.lostState == TheftState::Reported)
        words << lost;
    if (info.stolenState == TheftState::Reported)
        words << stolen;
    if (info.blockedState == TheftState::Reported)
        words << blocked;
    return words;
}

} // namespace

QString simLocked(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (info && info->simLockState == SimLockState::Unlocked)
        return QStringLiteral("Unlocked");
    if (info && info->simLockState == SimLockState::Locked)
        return QStringLiteral("Locked");
    return QStringLiteral("Unknown");
}

QString mdm(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (info && info->mdmStatus == QLatin1String("Locked"))
        return context.word("Locked");
    if (info && info->mdmStatus == QLatin1String("Unlocked"))
        return context.word("Unlocked");
    return context.unknown();
}

QString frp(const TagContext& context)
{
    if (!context.device)
        return QStringLiteral("Unknown");
    return context.device->frpLocked() ? context.word("Failed") : context.word("Passed");
}

QString unsupported(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info)
        return QStringLiteral("Unknown");
    return info->unsupported ? context.word("Failed") : context.word("Passed");
}

QString findMyDevice(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info)
        return context.unknown();
    switch (info->fmipState) {
    case FmipState::On:
        return context.word("Locked");
    case FmipState::Off:
        return context.word("Unlocked");
    case FmipState::NotObtained:
    case FmipState::Undetermined:
    case FmipState::Unavailable:
        return context.unknown();
    default:
        return QString();
    }
}

QString rooted(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info)
        return context.notAvailable();
    switch (info->rootState) {
    case RootState::NotAvailable:
        return context.notAvailable();
    case RootState::NotRooted:
        return context.word("Not rooted");
    case RootState::Rooted:
    case RootState::RootedToo:
        return context.word("ROOTED");
    case RootState::CustomFirmware:
        return context.word("Custom Firmware");
    default:
        // An unknown root state is reported like an unknown label.
        return unhandledProperty(QStringLiteral("Rooted"));
    }
}

QString subscriptionStatus(const TagContext& context)
{
    return subscriptionText(subscriptionResultAll(context.device));
}

QString lostStolenBlocked(const TagContext& context)
{
    const DeviceInfo* info = context.info();
    if (!info)
        return context.unknown();
    if (allNotTested(*info))
        return QString();
    if (allClear(*info))
        return context.word("Passed");
    const QStringList words =
        reported(*info, context.word("Lost"), context.word("Stolen"), context.word("Blocked"));
    return words.isEmpty() ? context.unknown() : words.join(QLatin1String(", "));
}

QString subscriptionStatusOf(const QString& carrier, const TagContext& context)
{
    SubscriptionResult result = NoResult;
    return subscriptionResultFor(context.device, carrier, &result) ? subscriptionText(result) : QString();
}

std::optional<QString> rootedChoice(const QString& arg, const TagContext& context)
{
    const DeviceInfo* info = context.info();
    int index = 0;
    if (info && info->rootState == RootState::NotRooted)
        index = 1;
    else if (info &&
             (info->rootState == RootState::NotAvailable || info->rootState == RootState::CustomFirmware))
        index = 2;
    return choose(arg, index);
}

std::optional<QString> frpChoice(const QString& arg, const TagContext& context)
{
    return choose(arg, !context.device || context.device->frpLocked() ? 0 : 1);
}

std::optional<QString> unsupportedChoice(const QString& arg, const TagContext& context)
{
    const DeviceInfo* info = context.info();
    return choose(arg, !info || info->unsupported ? 0 : 1);
}

std::optional<QString> fmipChoice(const QString& arg, const TagContext& context)
{
    const DeviceInfo* info = context.info();
    int index = 1;
    if (info) {
        switch (info->fmipState) {
        case FmipState::On:
            index = 0;
            break;
        case FmipState::Off:
            index = 1;
            break;
        case FmipState::NotObtained:
            index = 2;
            break;
        default:
            index = 3;
        }
    }
    return choose(arg, index);
}

std::optional<QString> mdmChoice(const QString& arg, const TagContext& context)
{
    const DeviceInfo* info = context.info();
    int index = 0;
    if (info)
        index = info->mdmStatus == QLatin1String("Locked")     ? 0
                : info->mdmStatus == QLatin1String("Unlocked") ? 1
                                                               : 2;
    return choose(arg, index);
}

std::optional<QString> subStatusChoice(const QString& arg, const TagContext& context)
{
    const QStringList items = arg.split(QLatin1Char(','));
    SubscriptionResult result = NoResult;
    if (!subscriptionResultFor(context.device, items.first().trimmed(), &result))
        return QString();
    return pick(items, 1 + result);
}

std::optional<QString> lsbChoice(const QString& arg, const TagContext& context)
{
    const QStringList items = arg.split(QLatin1Char(','));
    const DeviceInfo* info = context.info();
    if (items.size() < 3) {
        // Two alternatives: any reported, or all clear (also in the preview).
        if (info && !reported(*info, QString(), QString(), QString()).isEmpty())
            return pick(items, 0);
        if (!info || allClear(*info))
            return pick(items, 1);
        return QString();
    }
    // The long form uses its alternatives as written.
    if (!info || allClear(*info))
        return pick(items, 3, false);
    if (allNotTested(*info))
        return pick(items, 5, false);
    const QStringList words = reported(*info, items.at(0), items.at(1), items.at(2));
    return words.isEmpty() ? pick(items, 4, false) : words.join(QLatin1String(", "));
}

} // namespace Tags
