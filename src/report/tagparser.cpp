#include "report/tagparser.h"

#include "logging/logger.h"
#include "report/device.h"
#include "report/reportdocument.h"
#include "settings/settingsmanager.h"
#include "shared/customfieldstore.h"
#include "shared/diagnosticstestcatalogue.h"
#include "shared/erasurestandards.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QtDebug>

namespace {

const QString kDevCustomFieldPrefix = QStringLiteral("(devcustomfield)");
const QString kFreeTextPrefix = QStringLiteral("(freetext)");

// Index of one carrier's subscription state in the subscription texts.
int subscriptionIndex(int state)
{
    switch (state) {
    case -1:
        return 4;
    case 0:
        return 3;
    case 1:
        return 2;
    case 2:
        return 1;
    case 3:
        return 0;
    default:
        return 5;
    }
}

int subscriptionIndexAll(const Device* device)
{
    if (!device)
        return 3;
    const int* states = device->info().subscriptionStates;
    auto any = [states](int value) {
        return states[0] == value || states[1] == value || states[2] == value;
    };
    if (any(4))
        return 5;
    if (any(3))
        return 0;
    if (any(2))
        return 1;
    if (any(1))
        return 2;
    if (any(-1))
        return 4;
    if (states[0] != 0 && states[1] != 0 && states[2] != 0)
        return 5;
    return 3;
}

// Subscription index for a carrier argument; -1 for a carrier this program does not know.
int subscriptionIndexFor(const Device* device, const QString& carrier)
{
    if (carrier.isEmpty() || carrier == QLatin1String("all"))
        return subscriptionIndexAll(device);
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
        return -1;
    return device ? subscriptionIndex(device->info().subscriptionStates[slot]) : 3;
}

bool notTested(int state)
{
    return state == -3 || state == -2;
}

QString pick(const QStringList& alternatives, int index, bool trim = true)
{
    if (index < 0 || index >= alternatives.size())
        return QString();
    return trim ? alternatives.at(index).trimmed() : alternatives.at(index);
}

// floor(a / b) for b > 0, also for negative a.
qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if ((a % b != 0) && (a < 0))
        --q;
    return q;
}

QString twoDigits(qint64 value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

bool isTrue(const QString& value)
{
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           value.compare(QLatin1String("t"), Qt::CaseInsensitive) == 0;
}

// Status of one diagnostics test: 0 passed, 1 failed, 2 not performed, 3 not available.
int testStatus(const Device* device, const QString& name)
{
    if (!device)
        return 3;
    const QStringList items = device->info().diagnosticsResults.split(QLatin1Char(','));
    const QString prefix = name + QLatin1Char('=');
    for (const QString& item : items) {
        if (!item.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString code = item.mid(prefix.size()).trimmed();
        if (code == QLatin1String("1"))
            return 0;
        if (code == QLatin1String("0"))
            return 1;
        if (code == QLatin1String("3"))
            return 3;
        return 2;
    }
    return 3;
}

QString testStatusWord(int status)
{
    switch (status) {
    case 0:
        return TagParser::tr("Passed");
    case 1:
        return TagParser::tr("Failed");
    case 3:
        return TagParser::tr("Not available");
    default:
        return TagParser::tr("Not performed");
    }
}

QString subscriptionText(int index)
{
    switch (index) {
    case 0:
        return TagParser::tr("Restricted");
    case 1:
        return TagParser::tr("May be restricted");
    case 2:
        return TagParser::tr("No restrictions");
    case 3:
        return TagParser::tr("Not found");
    case 4:
        return TagParser::tr("Unknown");
    default:
        return QString();
    }
}

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

QString diskText(const Device* device, bool design, bool translate)
{
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
        text = translate ? TagParser::tr("Unknown") : QStringLiteral("Unknown");
    return text;
}

QString durationText(const Device* device)
{
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

} // namespace

TagParser::TagParser(QObject* parent) : QObject(parent) {}

TagParser::~TagParser() = default;

DiagnosticsTestCatalogue* TagParser::catalogue()
{
    if (!m_catalogue)
        m_catalogue = std::make_unique<DiagnosticsTestCatalogue>();
    return m_catalogue.get();
}

bool TagParser::formatContent(QString& content, Device* device, bool emptyForUnknown, bool quiet)
{
    m_diagnosticsList = false;
    Context context;
    context.device = device;
    context.emptyForUnknown = emptyForUnknown;
    context.quiet = quiet;
    context.signature = Q_FUNC_INFO;
    const QString original = content;
    context.original = &original;
    const Context outer = m_current;
    m_current = context;
    formatTags(content, context);
    m_current = outer;
    m_catalogue.reset();

    if (device && !quiet && content.contains(QLatin1Char('<')) && content.contains(QLatin1Char('>')))
        content = QString::fromUtf8(patchRealValuesImpl(content.toUtf8(), device, nullptr));
    return true;
}

bool TagParser::formatAndPatch(QString& content, Device* device, bool emptyForUnknown, bool quiet)
{
    const bool result = formatContent(content, device, emptyForUnknown, quiet);
    // Without a device (the editor's preview) the patch fills in example values.
    if (content.contains(QLatin1Char('<')) && content.contains(QLatin1Char('>')))
        content = QString::fromUtf8(patchRealValuesImpl(content.toUtf8(), device, nullptr));
    return result;
}

QString TagParser::formatNested(const QString& text, const Context& context)
{
    QString result = text;
    Context inner = context;
    ++inner.depth;
    formatTags(result, inner);
    return result;
}

void TagParser::formatTags(QString& content, Context context)
{
    if (context.depth > kMaxNesting)
        return;
    int from = 0;
    for (;;) {
        const int idx = content.indexOf(QLatin1Char('<'), from);
        if (idx < 0)
            return;
        // The tag ends at the ">" that closes its own "<", so tags may carry tags as arguments.
        int depth = 0;
        int end = -1;
        for (int i = idx; i < content.size(); ++i) {
            const QChar c = content.at(i);
            if (c == QLatin1Char('>')) {
                if (--depth < 1) {
                    end = i;
                    break;
                }
            } else if (c == QLatin1Char('<')) {
                ++depth;
            }
        }
        if (end < 0)
            return;
        const int len = end - idx + 1;
        const QString tag = content.mid(idx, len);
        // Layouts of older editors hold "<firstid>=<devid>" for the device identifier alone.
        if (tag == QLatin1String("<firstid>") &&
            content.midRef(end + 1).startsWith(QLatin1String("=<devid>"))) {
            content.remove(idx, len + 1);
            from = idx;
            continue;
        }
        QString value;
        switch (handleTag(tag, context, &value)) {
        case Outcome::Replace:
            content.replace(idx, len, value);
            from = idx + value.size();
            break;
        case Outcome::Keep:
            from = idx + len;
            break;
        case Outcome::NoMatch:
            from = idx + 1;
            break;
        }
    }
}

TagParser::Outcome TagParser::handleTag(const QString& tag, Context& context, QString* value)
{
    // Plain tags and the property label each prints, in the order they are compared; argument
    // tags are compared in between by handleArgumentTag.
    struct Plain
    {
        const char* tag;
        const char* label;
        bool anyCase;
    };
    static const Plain plainBeforeArguments[] = {
        {"<devstatus>", "Device status", false},
        {"<model>", "Model", false},
        {"<diagstatus>", "Diagnostics status", false},
        {"<rooted>", "Rooted", false},
        {"<frp>", "FRP", false},
        {"<CARRIERNAME>", "CARRIERNAME", false},
        {"<SIMLOCKED>", "SIMLOCKED", false},
        {"<unsupported>", "UNSUPPORTED", false},
        {"<eraseduration>", "Duration", false},
        {"<erasemethod>", "Method", false},
        {"<eraserounds>", "Rounds", false},
        {"<simstatus>", "SimStatus", true},
        {"<disksize>", "DiskSize", true},
        {"<diskdesign>", "DiskDesign", true},
        {"<manufacturer>", "Manufacturer", false},
        {"<wifimac>", "WifiMac", false},
        {"<batteryserial>", "Battery Serial", false},
        {"<batteryhealth>", "Battery Health", false},
        {"<batterycycles>", "Battery cycles", false},
        {"<batterycapacurrent>", "Battery capacity (current)", false},
        {"<batterycapadesign>", "Battery capacity (design)", false},
        {"<batterytemperature>", "Battery temperature", false},
        {"<devid>", "Device identifier", false},
        {"<usbid>", "USB ID", false},
        {"<type>", "Type", false},
        {"<amodelnumber>", "A-Model Number", false},
        {"<alternativeserial>", "Alternative Serial", false},
        {"<alternativesourceandserial>", "Alternative Source And Serial", false},
        {"<fmip>", "Find My iPhone", false},
        {"<mdm>", "MDM", false},
        {"<substatus>", "Subscription status", false},
        {"<lsb>", "Lost/Stolen/Blocked", false},
        {"<region>", "Region", false},
    };
    // A plain tag and an argument tag never match the same text, so the plain tags can be looked
    // up before the argument tags without changing which handler wins.
    if (tag.endsWith(QLatin1Char('>')) && !tag.contains(QLatin1Char(' '))) {
        for (const Plain& plain : plainBeforeArguments) {
            const QLatin1String text(plain.tag);
            if (tag.compare(text, plain.anyCase ? Qt::CaseInsensitive : Qt::CaseSensitive) != 0)
                continue;
            *value = propertyValue(QString::fromLatin1(plain.label), context);
            if (text == QLatin1String("<model>"))
                qDebug() << "MyModel::" << *value;
            return Outcome::Replace;
        }
        if (tag == QLatin1String("<map>")) {
            value->clear();
            return Outcome::Replace;
        }
    }
    return handleArgumentTag(tag, context, value);
}

TagParser::Outcome TagParser::handleArgumentTag(const QString& tag, Context& context, QString* value)
{
    Device* device = context.device;
    const DeviceInfo* info = device ? &device->info() : nullptr;
    auto argOf = [&tag](QLatin1String prefix) {
        return tag.mid(prefix.size(), tag.size() - prefix.size() - 1);
    };
    auto is = [&tag](QLatin1String prefix) {
        return tag.startsWith(prefix);
    };

    static const QLatin1String date("<date "), devstatus("<devstatus "), rooted("<rooted "), frp("<frp "),
        unsupported("<unsupported "), diagstatus("<diagstatus "), diagname("<diagname "),
        diaglist("<diaglist "), variable("<variable "), diagresult("<diagresult "), firstid("<firstid "),
        firstvalue("<firstvalue "), devcustomfield("<devcustomfield "), customfield("<customfield "),
        fmip("<fmip "), mdm("<mdm "), substatus("<substatus "), lsb("<lsb "), map("<map "),
        xmlreport("<xmlreport "), bytes2human("<bytes2human "), bytes2ihuman("<bytes2ihuman ");

    if (is(date)) {
        *value = QDateTime::currentDateTime().toString(argOf(date).trimmed());
    } else if (is(devstatus)) {
        const int status = device ? device->status() : Device::ErasureSuccessful;
        const int index = status == Device::ErasureSuccessful ? 0 : status == Device::ErasureFailed ? 1 : 2;
        *value = pick(argOf(devstatus).split(QLatin1Char(',')), index);
    } else if (is(rooted)) {
        int index = 0;
        if (info && info->rootState == 0)
            index = 1;
        else if (info && (info->rootState == -1 || info->rootState == 2))
            index = 2;
        *value = pick(argOf(rooted).split(QLatin1Char(',')), index);
    } else if (is(frp)) {
        *value = pick(argOf(frp).split(QLatin1Char(',')), !device || device->frpLocked() ? 0 : 1);
    } else if (is(unsupported)) {
        *value = pick(argOf(unsupported).split(QLatin1Char(',')), !info || info->unsupported ? 0 : 1);
    } else if (is(diagstatus)) {
        int index = 3;
        switch (device ? device->diagnosticsStatus() : 0) {
        case 2:
            index = 0;
            break;
        case 3:
            index = 1;
            break;
        case 1:
        case 4:
            index = 2;
            break;
        }
        *value = pick(argOf(diagstatus).split(QLatin1Char(',')), index);
    } else if (is(diagname)) {
        const QString name = argOf(diagname);
        *value = catalogue()->knowsTest(name)
                     ? QCoreApplication::translate("DiagnosticsPrioritySelector", name.toUtf8().constData())
                     : name;
    } else if (is(diaglist)) {
        m_diagnosticsList = true;
        *value = diagnosticsList(argOf(diaglist), context);
    } else if (is(variable)) {
        // Process-flow variables exist only on devices that ran a flow; a report device has none.
        *value = device ? QString() : QStringLiteral("variable");
    } else if (is(diagresult)) {
        const QString arg = argOf(diagresult);
        if (arg.contains(QLatin1Char(','))) {
            const QStringList items = arg.split(QLatin1Char(','));
            *value = pick(items, 1 + testStatus(device, items.first()), false);
        } else {
            *value = testStatusWord(testStatus(device, arg));
        }
    } else if (is(firstid)) {
        *value = firstOf(argOf(firstid), true, context);
    } else if (is(firstvalue)) {
        *value = firstOf(argOf(firstvalue), false, context);
    } else if (is(devcustomfield)) {
        bool found = false;
        *value = deviceCustomField(device, argOf(devcustomfield), &found);
        if (!found)
            return Outcome::Keep;
    } else if (tag.startsWith(customfield, Qt::CaseInsensitive)) {
        bool found = false;
        *value = customField(device, argOf(customfield), &found);
        if (!found)
            return Outcome::Keep;
    } else if (is(fmip)) {
        int index = 1;
        if (info)
            index = info->fmipState == 1 ? 0 : info->fmipState == 0 ? 1 : info->fmipState == -1 ? 2 : 3;
        *value = pick(argOf(fmip).split(QLatin1Char(',')), index);
    } else if (is(mdm)) {
        int index = 0;
        if (info)
            index = info->mdmStatus == QLatin1String("Locked")     ? 0
                    : info->mdmStatus == QLatin1String("Unlocked") ? 1
                                                                   : 2;
        *value = pick(argOf(mdm).split(QLatin1Char(',')), index);
    } else if (is(substatus)) {
        const QStringList items = argOf(substatus).split(QLatin1Char(','));
        const int index = subscriptionIndexFor(device, items.first().trimmed());
        *value = index < 0 ? QString() : pick(items, 1 + index);
    } else if (is(lsb)) {
        const QStringList items = argOf(lsb).split(QLatin1Char(','));
        const int lost = info ? info->lostState : 0;
        const int stolen = info ? info->stolenState : 0;
        const int blocked = info ? info->blockedState : 0;
        const bool allClear = !info || (lost == 0 && stolen == 0 && blocked == 0);
        value->clear();
        if (items.size() < 3) {
            if (info && (lost == 1 || stolen == 1 || blocked == 1))
                *value = pick(items, 0);
            else if (allClear)
                *value = pick(items, 1);
        } else if (allClear) {
            *value = pick(items, 3, false);
        } else if (notTested(lost) && notTested(stolen) && notTested(blocked)) {
            *value = pick(items, 5, false);
        } else {
            QStringList words;
            if (lost == 1)
                words << items.at(0);
            if (stolen == 1)
                words << items.at(1);
            if (blocked == 1)
                words << items.at(2);
            *value = words.isEmpty() ? pick(items, 4, false) : words.join(QLatin1String(", "));
        }
    } else if (is(map)) {
        *value = mapValue(argOf(map), context);
    } else if (is(xmlreport)) {
        const QString path = argOf(xmlreport).trimmed();
        const ReportDocument* report = device ? device->report() : nullptr;
        QStringList values;
        if (report && !report->xml().isEmpty() && report->date().isValid())
            values = report->query(path);
        if (!values.isEmpty()) {
            *value = values.first();
        } else {
            const QStringList parts = path.split(QLatin1Char('/'));
            *value = parts.size() > 2
                         ? QStringLiteral(".../%1/%2").arg(parts.at(parts.size() - 2), parts.last())
                         : path;
        }
    } else if (is(bytes2human) || is(bytes2ihuman)) {
        const bool binary = is(bytes2ihuman);
        *value = formatNested(argOf(binary ? bytes2ihuman : bytes2human), context);
        bool ok = false;
        const quint64 bytes = value->toULongLong(&ok, 10);
        if (ok)
            *value = humanReadableSize(bytes, binary);
    } else {
        return Outcome::NoMatch;
    }
    return Outcome::Replace;
}

QString TagParser::firstOf(const QString& arg, bool wantName, Context& context)
{
    for (const QString& alternative : arg.split(QLatin1Char(','))) {
        if (alternative.trimmed().startsWith(kFreeTextPrefix)) {
            QString text = alternative;
            text.remove(kFreeTextPrefix);
            return formatNested(text, context);
        }
        const QString label = alternative.trimmed();
        const QString value = propertyValue(label, context);
        if (value.isEmpty())
            continue;
        if (!wantName)
            return value;
        return propertyName(label.startsWith(kDevCustomFieldPrefix) ? label.mid(kDevCustomFieldPrefix.size())
                                                                    : label);
    }
    if (!context.quiet) {
        logPrintf(wantName ? "%s Failed to found replacement for tag: '<firstid' in string %s\n"
                           : "%s Failed to found replacement for tag: '<firstvalue' in string %s\n",
                  context.signature, qUtf8Printable(context.original ? *context.original : QString()));
    }
    return QString();
}

QString TagParser::deviceCustomField(Device* device, const QString& name, bool* found) const
{
    *found = true;
    if (!device)
        return QStringLiteral("example_field");
    const QMap<QString, QVariant>& values = device->info().customFieldValues;
    const auto it = values.constFind(name);
    if (it != values.constEnd())
        return it.value().toString();
    // A report device carries no fields of its own: its report's "user_data" fields stand in.
    if (const ReportDocument* report = device->report()) {
        const auto field = report->customFields().constFind(name);
        if (field != report->customFields().constEnd())
            return field.value();
    }
    return CustomFieldStore::instance()->value(name, found);
}

QString TagParser::customField(Device* device, const QString& name, bool* found) const
{
    const QString value = CustomFieldStore::instance()->value(name, found);
    if (*found || !device || !device->report())
        return value;
    const QMap<QString, QString>& fields = device->report()->customFields();
    const auto field = fields.constFind(name);
    *found = field != fields.constEnd();
    return *found ? field.value() : QString();
}

QString TagParser::diagnosticsList(const QString& arg, const Context& context)
{
    const QStringList filters = arg.split(QLatin1Char(','));
    const bool failed = filters.contains(QLatin1String("FAILED"));
    const bool ok = filters.contains(QLatin1String("OK"));
    const bool notPerformed = filters.contains(QLatin1String("NOT PERFORMED"));
    const bool notAvailable = filters.contains(QLatin1String("NOT AVAILABLE"));
    QStringList lines;
    if (!context.device || context.quiet) {
        auto example = [&lines](const QString& word) {
            lines << tr("Example test: %1").arg(word) << tr("Example test (Assisted): %1").arg(word);
        };
        if (failed)
            example(tr("Failed"));
        if (ok)
            example(tr("Passed"));
        if (notPerformed)
            example(tr("Not Performed"));
        if (notAvailable)
            example(tr("Not Available"));
        return lines.join(QLatin1Char('\n'));
    }
    for (const QString& item : context.device->info().diagnosticsResults.split(QLatin1Char(','))) {
        const QStringList parts = item.split(QLatin1Char('='));
        if (parts.size() < 2)
            continue;
        const QString& code = parts.at(1);
        bool numeric = false;
        const int number = code.toInt(&numeric);
        bool selected = false;
        if (!numeric)
            selected = notPerformed;
        else if (number == 1)
            selected = ok;
        else if (number == 0)
            selected = failed;
        else if (number == 2)
            selected = notPerformed;
        else if (number == 3)
            selected = notAvailable;
        if (selected)
            lines << QStringLiteral("%1: %2").arg(parts.at(0),
                                                  testStatusWord(testStatus(context.device, parts.at(0))));
    }
    return lines.join(QLatin1Char('\n'));
}

QString TagParser::mapValue(const QString& args, const Context& context)
{
    enum class Key
    {
        Src,
        In,
        Out,
        Else,
        Cis,
        Stop,
        Cmp,
        Loc
    };
    struct KeyText
    {
        QLatin1String text;
        Key key;
    };
    static const KeyText keys[] = {
        {QLatin1String("src="), Key::Src},   {QLatin1String("s="), Key::Src},
        {QLatin1String("in="), Key::In},     {QLatin1String("i="), Key::In},
        {QLatin1String("out="), Key::Out},   {QLatin1String("o="), Key::Out},
        {QLatin1String("else="), Key::Else}, {QLatin1String("e="), Key::Else},
        {QLatin1String("cis="), Key::Cis},   {QLatin1String("stop="), Key::Stop},
        {QLatin1String("cmp="), Key::Cmp},   {QLatin1String("loc="), Key::Loc},
    };
    enum class Comparison
    {
        Equal,
        Prefix,
        Never
    };

    QString source;
    bool matched = false;
    Comparison comparison = Comparison::Equal;
    Qt::CaseSensitivity caseRule = Qt::CaseSensitive;
    bool stop = true;
    bool localised = true;
    int outputs = 0;
    QString result;

    const int size = args.size();
    int pos = 0;
    for (;;) {
        while (pos < size && args.at(pos).isSpace())
            ++pos;
        if (pos >= size)
            break;
        const KeyText* found = nullptr;
        for (const KeyText& key : keys) {
            if (QStringView(args).mid(pos).startsWith(key.text, Qt::CaseInsensitive)) {
                found = &key;
                break;
            }
        }
        if (!found)
            break;
        pos += found->text.size();

        QString value;
        if (pos < size && args.at(pos) == QLatin1Char('"')) {
            // Quoted: \" and \\ stand for themselves; an unterminated string runs to the end.
            ++pos;
            while (pos < size && args.at(pos) != QLatin1Char('"')) {
                if (args.at(pos) == QLatin1Char('\\') && pos + 1 < size &&
                    (args.at(pos + 1) == QLatin1Char('"') || args.at(pos + 1) == QLatin1Char('\\')))
                    ++pos;
                value += args.at(pos);
                ++pos;
            }
            if (pos < size)
                ++pos; // the closing quote
        } else {
            const int start = pos;
            while (pos < size && !args.at(pos).isSpace())
                ++pos;
            value = args.mid(start, pos - start);
        }
        const bool followedBySpace = pos < size && args.at(pos).isSpace();

        bool finish = false;
        switch (found->key) {
        case Key::Src: {
            Context sourceContext = context;
            sourceContext.translate = localised;
            source = valueForLabel(value, sourceContext);
            break;
        }
        case Key::In:
            if (comparison == Comparison::Equal)
                matched = source.compare(value, caseRule) == 0;
            else if (comparison == Comparison::Prefix)
                matched = source.startsWith(value, caseRule);
            else
                matched = false;
            break;
        case Key::Out:
            if (matched) {
                result += value;
                ++outputs;
                finish = stop;
            }
            break;
        case Key::Else:
            if (outputs == 0) {
                result += value;
                outputs = 1;
                finish = stop;
            }
            break;
        case Key::Cis:
            caseRule = isTrue(value) ? Qt::CaseInsensitive : Qt::CaseSensitive;
            break;
        case Key::Stop:
            stop = isTrue(value);
            break;
        case Key::Cmp:
            if (value.startsWith(QLatin1String("st"), Qt::CaseInsensitive))
                comparison = Comparison::Prefix;
            else if (value.startsWith(QLatin1String("eq"), Qt::CaseInsensitive))
                comparison = Comparison::Equal;
            else
                comparison = Comparison::Never;
            break;
        case Key::Loc:
            localised = isTrue(value);
            break;
        }
        if (finish || !followedBySpace)
            break;
    }
    return result;
}

QString TagParser::valueForLabel(QString label)
{
    return valueForLabel(label, m_current);
}

QString TagParser::valueForLabel(const QString& label, const Context& context)
{
    auto rest = [&label](QLatin1String prefix, QString* name) {
        if (!label.startsWith(prefix, Qt::CaseInsensitive))
            return false;
        *name = label.mid(prefix.size()).trimmed();
        return true;
    };
    QString name;
    if (rest(QLatin1String("Device custom field:"), &name) || rest(QLatin1String("devcustomfield:"), &name)) {
        bool found = false;
        return deviceCustomField(context.device, name, &found);
    }
    if (rest(QLatin1String("Custom field:"), &name) || rest(QLatin1String("customfield:"), &name)) {
        bool found = false;
        return customField(context.device, name, &found);
    }
    if (rest(QLatin1String("Diagnostics test:"), &name) || rest(QLatin1String("diagresult:"), &name))
        return testStatusWord(testStatus(context.device, name));
    if (rest(QLatin1String("Subscription status:"), &name) || rest(QLatin1String("substatus:"), &name)) {
        const int index = subscriptionIndexFor(context.device, name);
        return index < 0 ? QString() : subscriptionText(index);
    }
    return propertyValue(label, context);
}

QString TagParser::propertyValue(Device* device, QString label, bool emptyForUnknown, bool translate)
{
    Context context = m_current;
    context.device = device;
    context.emptyForUnknown = emptyForUnknown;
    context.translate = translate;
    return propertyValue(label, context);
}

QString TagParser::propertyValue(const QString& label, const Context& context)
{
    const Device* device = context.device;
    const DeviceInfo* info = device ? &device->info() : nullptr;
    const bool translate = context.translate;
    // Words are translated for printing and kept in English for values that are compared.
    auto word = [translate](const char* text) {
        return translate ? tr(text) : QString::fromLatin1(text);
    };
    const QString unknown = context.emptyForUnknown ? QString() : word("Unknown");
    const QString notAvailable = context.emptyForUnknown ? QString() : word("Not available");
    auto slot = [device](int index) {
        return device->identifier(index);
    };

    if (label == QLatin1String("MEID"))
        return device ? slot(Device::Meid) : QStringLiteral("012345678901234");
    if (label == QLatin1String("MEID14"))
        return device ? slot(Device::Meid14) : QStringLiteral("01234567890123");
    if (label == QLatin1String("IMEI"))
        return device ? slot(Device::Imei) : QStringLiteral("012345678901234");
    if (label == QLatin1String("IMEI2"))
        return device ? slot(Device::Imei2) : QStringLiteral("012345678901234");
    if (label == QLatin1String("ECID"))
        return device ? slot(Device::Ecid) : QStringLiteral("000000AAAAABBBBBCC");
    if (label == QLatin1String("USB serial")) {
        if (!device)
            return QStringLiteral("SERIAL_XYZX");
        const int cut = info->usbSerial.indexOf(QLatin1String("-quillon"));
        return cut < 0 ? info->usbSerial : info->usbSerial.left(cut);
    }
    if (label == QLatin1String("CARRIERNAME"))
        return info ? info->carrierName : QStringLiteral("Unknown");
    if (label == QLatin1String("SIMLOCKED")) {
        if (info && info->simLockState == 1)
            return QStringLiteral("Unlocked");
        if (info && info->simLockState == 2)
            return QStringLiteral("Locked");
        return QStringLiteral("Unknown");
    }
    if (label == QLatin1String("PIN"))
        return device ? slot(Device::Pin).remove(QLatin1String("0x")) : QStringLiteral("ffaabb");
    if (label == QLatin1String("System serial"))
        return device ? slot(Device::Serial) : QStringLiteral("XXXYYYZZZ");
    if (label == QLatin1String("Manufacturer"))
        return info ? info->manufacturer : QStringLiteral("Korvex Labs");
    if (label == QLatin1String("WifiMac"))
        return info ? info->wifiMac : QStringLiteral("XX:XX:XX:XX:XX");
    if (label == QLatin1String("Battery Serial"))
        return info ? info->batterySerial : QStringLiteral("AXXXXXYYYYYAAA");
    if (label == QLatin1String("Battery Health")) {
        if (!info || !info->batteryHealthValid)
            return QStringLiteral("-1%");
        return QStringLiteral("%1%").arg(100 - qBound(0, info->batteryWearLevel, 100));
    }
    if (label == QLatin1String("Battery cycles"))
        return info ? QString::number(info->batteryCycles) : QStringLiteral("10");
    if (label == QLatin1String("Battery capacity (current)"))
        return info ? QString::number(info->batteryCurrentCapacity) : QStringLiteral("1000");
    if (label == QLatin1String("Battery capacity (design)"))
        return info ? QString::number(info->batteryDesignCapacity) : QStringLiteral("1001");
    if (label == QLatin1String("Battery temperature")) {
        if (!info)
            return QStringLiteral("25");
        // Hundredths of a degree to whole degrees, halves upward (also below zero).
        return info->batteryTemperatureValid
                   ? QString::number(floorDiv(qint64(info->batteryTemperature) + 50, 100))
                   : QString();
    }
    if (label == QLatin1String("MDM")) {
        if (info && info->mdmStatus == QLatin1String("Locked"))
            return word("Locked");
        if (info && info->mdmStatus == QLatin1String("Unlocked"))
            return word("Unlocked");
        return unknown;
    }
    if (label == QLatin1String("FRP")) {
        if (!device)
            return QStringLiteral("Unknown");
        return device->frpLocked() ? word("Failed") : word("Passed");
    }
    if (label == QLatin1String("UNSUPPORTED")) {
        if (!info)
            return QStringLiteral("Unknown");
        return info->unsupported ? word("Failed") : word("Passed");
    }
    if (label == QLatin1String("Device identifier"))
        return info ? info->deviceIdentifier : QStringLiteral("Custom Id");
    if (label == QLatin1String("Device status")) {
        if (!device)
            return translate ? tr("Erasure Successfull") : statusName(Device::ErasureSuccessful, false);
        return statusName(device->status(), translate);
    }
    if (label == QLatin1String("Model"))
        return info ? info->model : QStringLiteral("IPhone4(GSM) 8GB White");
    if (label == QLatin1String("Diagnostics status")) {
        switch (device ? device->diagnosticsStatus() : 0) {
        case 1:
            return word("Failed");
        case 2:
            return word("Passed");
        case 3:
            return word("Not performed");
        case 4:
            return word("FAILED");
        default:
            return translate ? tr("not diagnosed") : QStringLiteral("Not diagnosed");
        }
    }
    if (label == QLatin1String("USB ID"))
        return info ? info->usbId : QStringLiteral("1-1.2");
    if (label == QLatin1String("Type"))
        return info ? info->type : QStringLiteral("example_type");
    if (label == QLatin1String("A-Model Number"))
        return info ? info->aModelNumber : QStringLiteral("example_amodelnumber");
    if (label == QLatin1String("Alternative Serial") ||
        label == QLatin1String("Alternative Source And Serial")) {
        if (!device)
            return word("Not available");
        SettingsManager* settings = SettingsManager::instance();
        if (!settings ||
            !settings->getBooleanValue(QStringLiteral("androidsettings_alternativeserial"), false))
            return word("Not enabled");
        return slot(label == QLatin1String("Alternative Serial") ? Device::AlternativeSerial
                                                                 : Device::AlternativeSourceAndSerial);
    }
    if (label == QLatin1String("Find My iPhone")) {
        if (!info)
            return unknown;
        switch (info->fmipState) {
        case 1:
            return word("Locked");
        case 0:
            return word("Unlocked");
        case -1:
        case 2:
        case 3:
            return unknown;
        default:
            return QString();
        }
    }
    if (label == QLatin1String("Rooted")) {
        if (!info)
            return notAvailable;
        switch (info->rootState) {
        case -1:
            return notAvailable;
        case 0:
            return word("Not rooted");
        case 1:
        case 3:
            return word("ROOTED");
        case 2:
            return word("Custom Firmware");
        default:
            break; // an unknown root state is reported like an unknown label
        }
    }
    if (label == QLatin1String("SimStatus") || label == QLatin1String("SIMSTATUS")) {
        if (!device)
            return QString();
        switch (device->simStatus()) {
        case -1:
            return word("N/A");
        case 0:
            return word("No");
        case 1:
            return word("Yes");
        default:
            return word("Unknown");
        }
    }
    if (label == QLatin1String("DiskSize") || label == QLatin1String("DiskDesign")) {
        if (!device)
            return word("Unknown");
        return diskText(device, label == QLatin1String("DiskDesign"), translate);
    }
    if (label == QLatin1String("Duration"))
        return device ? durationText(device) : word("Unknown");
    if (label == QLatin1String("Method")) {
        if (!info)
            return word("Unknown");
        const QString name = ErasureStandards::name(info->erasureMethod, info->erasureMethodParameter);
        return name.isEmpty() ? unknown : name;
    }
    if (label == QLatin1String("Rounds")) {
        if (!info)
            return word("Unknown");
        const int rounds = ErasureStandards::rounds(info->erasureMethod, info->erasureMethodParameter);
        return rounds < 0 ? unknown : QString::number(rounds);
    }
    if (label == QLatin1String("Subscription status"))
        return subscriptionText(subscriptionIndexAll(device));
    if (label == QLatin1String("Lost/Stolen/Blocked")) {
        if (!info)
            return unknown;
        if (notTested(info->lostState) && notTested(info->stolenState) && notTested(info->blockedState))
            return QString();
        if (info->lostState == 0 && info->stolenState == 0 && info->blockedState == 0)
            return word("Passed");
        QStringList words;
        if (info->lostState == 1)
            words << word("Lost");
        if (info->stolenState == 1)
            words << word("Stolen");
        if (info->blockedState == 1)
            words << word("Blocked");
        return words.isEmpty() ? unknown : words.join(QLatin1String(", "));
    }
    if (label == QLatin1String("Region"))
        return device ? slot(Device::Region) : QString();
    if (label.startsWith(kDevCustomFieldPrefix)) {
        bool found = false;
        const QString value =
            deviceCustomField(context.device, label.mid(kDevCustomFieldPrefix.size()), &found);
        return found ? value : QString();
    }
    if (label.startsWith(kFreeTextPrefix))
        return formatNested(label.mid(kFreeTextPrefix.size()), context);

    logPrintf("Handling of property %s not yet ready!\n", qUtf8Printable(label));
    return QString();
}

QString TagParser::propertyName(QString label)
{
    if (label == QLatin1String("IMEI"))
        return tr("IMEI");
    if (label == QLatin1String("IMEI2"))
        return tr("IMEI2");
    if (label == QLatin1String("MEID"))
        return tr("MEID");
    if (label == QLatin1String("MEID14"))
        return tr("MEID14");
    if (label == QLatin1String("USB serial"))
        return tr("USB serial");
    if (label == QLatin1String("System serial"))
        return tr("System serial");
    if (label == QLatin1String("PIN"))
        return tr("PIN");
    if (label == QLatin1String("Type"))
        return tr("Type");
    if (label == QLatin1String("Find My iPhone"))
        return tr("Find My iPhone");
    if (label == QLatin1String("Device identifier")) {
        SettingsManager* settings = SettingsManager::instance();
        const QString custom = settings ? settings->getValue(QStringLiteral("customidname")) : QString();
        return custom.isEmpty() ? tr("Device identifier") : custom;
    }
    return label;
}

QString TagParser::humanReadableSize(quint64 bytes, bool binary)
{
    static const char* const decimalUnits[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
    static const char* const binaryUnits[] = {"B", "kiB", "MiB", "GiB", "TiB", "PiB", "EiB", "ZiB", "YiB"};
    const int lastUnit = 8;
    const unsigned __int128 base = binary ? 1024 : 1000;
    // Whole-number arithmetic: a double turns 1150 bytes into 1.1499... kB and prints 1.14.
    unsigned __int128 divisor = 1;
    int unit = 0;
    while (bytes > divisor * base && unit < lastUnit) {
        divisor *= base;
        ++unit;
    }
    const unsigned __int128 hundredths = (unsigned __int128)bytes * 100 / divisor;
    const quint64 whole = quint64(hundredths / 100);
    const int fraction = int(hundredths % 100);
    return QStringLiteral("%1.%2 %3")
        .arg(whole)
        .arg(fraction, 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(binary ? binaryUnits[unit] : decimalUnits[unit]));
}

QByteArray TagParser::patchRealValuesImpl(const QByteArray& text, Device* device, QObject* processRoot)
{
    Q_UNUSED(processRoot)
    // Only the device tags a report device can fill; the process-flow tags of this family stay.
    // One pass, so a value that happens to hold a tag is not replaced again.
    const QByteArray tags[] = {QByteArrayLiteral("<MARKETNAME>"), QByteArrayLiteral("<IMEI>"),
                               QByteArrayLiteral("<MEID>")};
    // Without a device: the example values the other tags show in the preview.
    const QByteArray values[] = {
        device ? device->info().marketName.toUtf8() : QByteArrayLiteral("iPhone 4"),
        device ? device->identifier(Device::Imei).toUtf8() : QByteArrayLiteral("012345678901234"),
        device ? device->identifier(Device::Meid).toUtf8() : QByteArrayLiteral("012345678901234")};
    QByteArray result;
    result.reserve(text.size());
    int from = 0;
    for (;;) {
        const int idx = text.indexOf('<', from);
        if (idx < 0)
            break;
        result.append(text.constData() + from, idx - from);
        int matched = -1;
        for (int i = 0; i < 3; ++i) {
            if (text.mid(idx, tags[i].size()) == tags[i]) {
                matched = i;
                break;
            }
        }
        if (matched < 0) {
            result.append('<');
            from = idx + 1;
        } else {
            result.append(values[matched]);
            from = idx + tags[matched].size();
        }
    }
    result.append(text.constData() + from, text.size() - from);
    return result;
}
