#pragma once
// The tag language as tables: the scanning order of the tags, the property labels and the label
// prefixes, each row naming its handler. The handlers live in one file per family (tags*.cpp).

#include "report/tagcontext.h"

#include <QLatin1String>
#include <QString>

#include <optional>

namespace Tags {

// The value of a property label.
using Property = QString (*)(const TagContext& context);
// The value of an argument tag (arg: the text after the tag's name and space, without the closing
// ">"; empty for a plain tag), or nothing to leave the tag in the text.
using Argument = std::optional<QString> (*)(const QString& arg, const TagContext& context);
// The value of a label prefix ("Custom field:NAME") for the name after it.
using Named = QString (*)(const QString& name, const TagContext& context);

constexpr bool AnyCase = true;

// One tag: a plain tag ("<model>") printing a property label or handled by its own function, or
// an argument tag's name and space ("<date ").
struct Row
{
    Row(const char* tag, const char* label, bool anyCase = false);
    Row(const char* tag, Argument handler, bool anyCase = false);

    bool matches(const QString& tag) const;
    // The argument text of a tag this row matches.
    QString argument(const QString& tag) const;

    QLatin1String text;
    QString label; // empty for a tag with a handler
    Argument handler = nullptr;
    Qt::CaseSensitivity caseRule = Qt::CaseSensitive;
    bool plain = true;
};

// The first tag of the scanning order that matches tag, or null.
const Row* matchTag(const QString& tag);
// The value of a property label; an unknown label logs and gives an empty string.
QString propertyValue(const QString& label, const TagContext& context);
// propertyValue with the custom-field, diagnostics and subscription prefixes first.
QString labelValue(const QString& label, const TagContext& context);
// Logs a label no handler gives a value for.
QString unhandledProperty(const QString& label);

// Identity and identifiers (tagsidentity.cpp).
QString meid(const TagContext& context);
QString meid14(const TagContext& context);
QString imei(const TagContext& context);
QString imei2(const TagContext& context);
QString ecid(const TagContext& context);
QString usbSerial(const TagContext& context);
QString carrierName(const TagContext& context);
QString pin(const TagContext& context);
QString systemSerial(const TagContext& context);
QString manufacturer(const TagContext& context);
QString wifiMac(const TagContext& context);
QString deviceIdentifier(const TagContext& context);
QString model(const TagContext& context);
QString usbId(const TagContext& context);
QString type(const TagContext& context);
QString aModelNumber(const TagContext& context);
QString alternativeSerial(const TagContext& context);
QString alternativeSourceAndSerial(const TagContext& context);
QString simStatus(const TagContext& context);
QString region(const TagContext& context);
std::optional<QString> modelTag(const QString& arg, const TagContext& context);
std::optional<QString> firstIdTag(const QString& arg, const TagContext& context);
std::optional<QString> firstValueTag(const QString& arg, const TagContext& context);

// Erasure and disks (tagserasure.cpp).
QString deviceStatus(const TagContext& context);
QString duration(const TagContext& context);
QString method(const TagContext& context);
QString rounds(const TagContext& context);
QString diskSize(const TagContext& context);
QString diskDesign(const TagContext& context);
std::optional<QString> devStatusChoice(const QString& arg, const TagContext& context);

// Battery (tagsbattery.cpp).
QString batterySerial(const TagContext& context);
QString batteryHealth(const TagContext& context);
QString batteryCycles(const TagContext& context);
QString batteryCurrentCapacity(const TagContext& context);
QString batteryDesignCapacity(const TagContext& context);
QString batteryTemperature(const TagContext& context);

// Security and locks (tagssecurity.cpp).
QString simLocked(const TagContext& context);
QString mdm(const TagContext& context);
QString frp(const TagContext& context);
QString unsupported(const TagContext& context);
QString findMyDevice(const TagContext& context);
QString rooted(const TagContext& context);
QString subscriptionStatus(const TagContext& context);
QString lostStolenBlocked(const TagContext& context);
QString subscriptionStatusOf(const QString& carrier, const TagContext& context);
std::optional<QString> rootedChoice(const QString& arg, const TagContext& context);
std::optional<QString> frpChoice(const QString& arg, const TagContext& context);
std::optional<QString> unsupportedChoice(const QString& arg, const TagContext& context);
std::optional<QString> fmipChoice(const QString& arg, const TagContext& context);
std::optional<QString> mdmChoice(const QString& arg, const TagContext& context);
std::optional<QString> subStatusChoice(const QString& arg, const TagContext& context);
std::optional<QString> lsbChoice(const QString& arg, const TagContext& context);

// Diagnostics (tagsdiagnostics.cpp).
QString diagnosticsStatus(const TagContext& context);
QString testStatusOf(const QString& test, const TagContext& context);
std::optional<QString> diagStatusChoice(const QString& arg, const TagContext& context);
std::optional<QString> diagNameTag(const QString& arg, const TagContext& context);
std::optional<QString> diagListTag(const QString& arg, const TagContext& context);
std::optional<QString> diagResultTag(const QString& arg, const TagContext& context);

// Report values and formatting (tagsformatting.cpp).
extern const QString kDevCustomFieldPrefix; // "(devcustomfield)" before a field name in a label
extern const QString kFreeTextPrefix;       // "(freetext)" before text to format in a label
// The device's own field, else its report's "user_data" field, else the store's.
QString deviceCustomField(Device* device, const QString& name, bool* found);
// The store's field, else the bound report's.
QString customField(Device* device, const QString& name, bool* found);
QString deviceCustomFieldOf(const QString& name, const TagContext& context);
QString customFieldOf(const QString& name, const TagContext& context);
std::optional<QString> dateTag(const QString& arg, const TagContext& context);
std::optional<QString> variableTag(const QString& arg, const TagContext& context);
std::optional<QString> devCustomFieldTag(const QString& arg, const TagContext& context);
std::optional<QString> customFieldTag(const QString& arg, const TagContext& context);
std::optional<QString> emptyMapTag(const QString& arg, const TagContext& context);
std::optional<QString> mapTag(const QString& arg, const TagContext& context);
std::optional<QString> xmlReportTag(const QString& arg, const TagContext& context);
std::optional<QString> bytesToHumanTag(const QString& arg, const TagContext& context);
std::optional<QString> bytesToBinaryHumanTag(const QString& arg, const TagContext& context);

} // namespace Tags
