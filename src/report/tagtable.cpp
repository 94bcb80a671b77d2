#include "report/tagtable.h"

#include "logging/logger.h"

namespace Tags {

Row::Row(const char* tag, const char* label, bool anyCase)
    : text(tag), label(QString::fromLatin1(label)),
      caseRule(anyCase ? Qt::CaseInsensitive : Qt::CaseSensitive)
{}

Row::Row(const char* tag, Argument handler, bool anyCase)
    : text(tag), handler(handler), caseRule(anyCase ? Qt::CaseInsensitive : Qt::CaseSensitive),
      plain(text.endsWith(QLatin1Char('>')))
{}

bool Row::matches(const QString& tag) const
{
    if (plain)
        return tag.size() == text.size() && tag.compare(text, caseRule) == 0;
    return tag.size() > text.size() && tag.startsWith(text, caseRule);
}

QString Row::argument(const QString& tag) const
{
    return plain ? QString() : tag.mid(text.size(), tag.size() - text.size() - 1);
}

namespace {

// Every tag, in the order in which a tag is compared: the first row that matches handles it. A
// plain tag names the property label it prints (or a handler of its own); an argument tag ends in
// a space and names its handler. AnyCase rows match in any letter case.
const Row kTags[] = {
    {"<date ", dateTag},
    {"<devstatus>", "Device status"},
    {"<devstatus ", devStatusChoice},
    {"<model>", modelTag},
    {"<diagstatus>", "Diagnostics status"},
    {"<rooted>", "Rooted"},
    {"<rooted ", rootedChoice},
    {"<frp>", "FRP"},
    {"<frp ", frpChoice},
    {"<CARRIERNAME>", "CARRIERNAME"},
    {"<SIMLOCKED>", "SIMLOCKED"},
    {"<unsupported>", "UNSUPPORTED"},
    {"<unsupported ", unsupportedChoice},
    {"<eraseduration>", "Duration"},
    {"<erasemethod>", "Method"},
    {"<eraserounds>", "Rounds"},
    {"<simstatus>", "SimStatus", AnyCase},
    {"<disksize>", "DiskSize", AnyCase},
    {"<diskdesign>", "DiskDesign", AnyCase},
    {"<manufacturer>", "Manufacturer"},
    {"<wifimac>", "WifiMac"},
    {"<batteryserial>", "Battery Serial"},
    {"<batteryhealth>", "Battery Health"},
    {"<batterycycles>", "Battery cycles"},
    {"<batterycapacurrent>", "Battery capacity (current)"},
    {"<batterycapadesign>", "Battery capacity (design)"},
    {"<batterytemperature>", "Battery temperature"},
    {"<diagstatus ", diagStatusChoice},
    {"<diagname ", diagNameTag},
    {"<diaglist ", diagListTag},
    {"<variable ", variableTag},
    {"<diagresult ", diagResultTag},
    {"<firstid ", firstIdTag},
    {"<firstvalue ", firstValueTag},
    {"<devcustomfield ", devCustomFieldTag},
    {"<customfield ", customFieldTag, AnyCase},
    {"<devid>", "Device identifier"},
    {"<usbid>", "USB ID"},
    {"<type>", "Type"},
    {"<amodelnumber>", "A-Model Number"},
    {"<alternativeserial>", "Alternative Serial"},
    {"<alternativesourceandserial>", "Alternative Source And Serial"},
    {"<fmip>", "Find My iPhone"},
    {"<fmip ", fmipChoice},
    {"<mdm>", "MDM"},
    {"<mdm ", mdmChoice},
    {"<substatus>", "Subscription status"},
    {"<substatus ", subStatusChoice},
    {"<lsb>", "Lost/Stolen/Blocked"},
    {"<lsb ", lsbChoice},
    {"<map>", emptyMapTag},
    {"<map ", mapTag},
    {"<region>", "Region"},
    {"<xmlreport ", xmlReportTag},
    {"<bytes2human ", bytesToHumanTag},
    {"<bytes2ihuman ", bytesToBinaryHumanTag},
};

struct Label
{
    QLatin1String text;
    Property handler;
};

// The property labels, compared exactly: what the editor stores and the barcode object asks for.
const Label kLabels[] = {
    {QLatin1String("MEID"), meid},
    {QLatin1String("MEID14"), meid14},
    {QLatin1String("IMEI"), imei},
    {QLatin1String("IMEI2"), imei2},
    {QLatin1String("ECID"), ecid},
    {QLatin1String("USB serial"), usbSerial},
    {QLatin1String("CARRIERNAME"), carrierName},
    {QLatin1String("SIMLOCKED"), simLocked},
    {QLatin1String("PIN"), pin},
    {QLatin1String("System serial"), systemSerial},
    {QLatin1String("Manufacturer"), manufacturer},
    {QLatin1String("WifiMac"), wifiMac},
    {QLatin1String("Battery Serial"), batterySerial},
    {QLatin1String("Battery Health"), batteryHealth},
    {QLatin1String("Battery cycles"), batteryCycles},
    {QLatin1String("Battery capacity (current)"), batteryCurrentCapacity},
    {QLatin1String("Battery capacity (design)"), batteryDesignCapacity},
    {QLatin1String("Battery temperature"), batteryTemperature},
    {QLatin1String("MDM"), mdm},
    {QLatin1String("FRP"), frp},
    {QLatin1String("UNSUPPORTED"), unsupported},
    {QLatin1String("Device identifier"), deviceIdentifier},
    {QLatin1String("Device status"), deviceStatus},
    {QLatin1String("Model"), model},
    {QLatin1String("Diagnostics status"), diagnosticsStatus},
    {QLatin1String("USB ID"), usbId},
    {QLatin1String("Type"), type},
    {QLatin1String("A-Model Number"), aModelNumber},
    {QLatin1String("Alternative Serial"), alternativeSerial},
    {QLatin1String("Alternative Source And Serial"), alternativeSourceAndSerial},
    {QLatin1String("Find My iPhone"), findMyDevice},
    {QLatin1String("Rooted"), rooted},
    {QLatin1String("SimStatus"), simStatus},
    {QLatin1String("SIMSTATUS"), simStatus},
    {QLatin1String("DiskSize"), diskSize},
    {QLatin1String("DiskDesign"), diskDesign},
    {QLatin1String("Duration"), duration},
    {QLatin1String("Method"), method},
    {QLatin1String("Rounds"), rounds},
    {QLatin1String("Subscription status"), subscriptionStatus},
    {QLatin1String("Lost/Stolen/Blocked"), lostStolenBlocked},
    {QLatin1String("Region"), region},
};

} // namespace

const Row* matchTag(const QString& tag)
{
    // The rows by the first letter of their name, in the order above, so that a tag is compared
    // only with the rows it can match. A name beginning with any other character goes through all
    // rows: ignoring case, some non-ASCII letters match ASCII ones.
    struct Index
    {
        QVector<const Row*> byLetter[128];
        Index()
        {
            for (const Row& row : kTags) {
                const QChar letter = row.text.at(1);
                byLetter[letter.unicode()] << &row;
                if (row.caseRule == Qt::CaseInsensitive && letter.toUpper() != letter)
                    byLetter[letter.toUpper().unicode()] << &row;
            }
        }
    };
    static const Index index;
    const ushort letter = tag.size() > 1 ? tag.at(1).unicode() : 0;
    if (letter < 128) {
        for (const Row* row : index.byLetter[letter]) {
            if (row->matches(tag))
                return row;
        }
        return nullptr;
    }
    for (const Row& row : kTags) {
        if (row.matches(tag))
            return &row;
    }
    return nullptr;
}

QString propertyValue(const QString& label, const TagContext& context)
{
    for (const Label& row : kLabels) {
        if (label == row.text)
            return row.handler(context);
    }
    if (label.startsWith(kDevCustomFieldPrefix)) {
        bool found = false;
        const QString value =
            deviceCustomField(context.device, label.mid(kDevCustomFieldPrefix.size()), &found);
        return found ? value : QString();
    }
    if (label.startsWith(kFreeTextPrefix))
        return context.format(label.mid(kFreeTextPrefix.size()));
    return unhandledProperty(label);
}

QString labelValue(const QString& label, const TagContext& context)
{
    struct Prefix
    {
        QLatin1String text;
        QLatin1String shortText;
        Named handler;
    };
    // Compared ignoring case; the rest of the label, trimmed, names the field, test or carrier.
    static const Prefix prefixes[] = {
        {QLatin1String("Device custom field:"), QLatin1String("devcustomfield:"), deviceCustomFieldOf},
        {QLatin1String("Custom field:"), QLatin1String("customfield:"), customFieldOf},
        {QLatin1String("Diagnostics test:"), QLatin1String("diagresult:"), testStatusOf},
        {QLatin1String("Subscription status:"), QLatin1String("substatus:"), subscriptionStatusOf},
    };
    for (const Prefix& prefix : prefixes) {
        for (const QLatin1String text : {prefix.text, prefix.shortText}) {
            if (label.startsWith(text, Qt::CaseInsensitive))
                return prefix.handler(label.mid(text.size()).trimmed(), context);
        }
    }
    return propertyValue(label, context);
}

QString unhandledProperty(const QString& label)
{
    logPrintf("Handling of property %s not yet ready!\n", qUtf8Printable(label));
    return QString();
}

} // namespace Tags
