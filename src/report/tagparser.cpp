#include "report/tagparser.h"

#include "report/device.h"
#include "report/tagtable.h"
#include "settings/settingsmanager.h"
#include "shared/diagnosticstestcatalogue.h"

const DeviceInfo* TagContext::info() const
{
    return device ? &device->info() : nullptr;
}

QString TagContext::word(const char* text) const
{
    return translate ? TagParser::tr(text) : QString::fromLatin1(text);
}

QString TagContext::unknown() const
{
    return emptyForUnknown ? QString() : word("Unknown");
}

QString TagContext::notAvailable() const
{
    return emptyForUnknown ? QString() : word("Not available");
}

QString TagContext::format(const QString& text) const
{
    return parser->formatNested(text, *this);
}

DiagnosticsTestCatalogue* TagContext::catalogue() const
{
    return parser->catalogue();
}

void TagContext::noteDiagnosticsList() const
{
    parser->m_diagnosticsList = true;
}

QString pick(const QStringList& alternatives, int index, bool trim)
{
    if (index < 0 || index >= alternatives.size())
        return QString();
    return trim ? alternatives.at(index).trimmed() : alternatives.at(index);
}

QString choose(const QString& arg, int index)
{
    return pick(arg.split(QLatin1Char(',')), index);
}

TagParser::TagParser(QObject* parent) : QObject(parent)
{
    m_current.parser = this;
}

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
    TagContext context;
    context.parser = this;
    context.device = device;
    context.emptyForUnknown = emptyForUnknown;
    context.quiet = quiet;
    context.signature = Q_FUNC_INFO;
    const QString original = content;
    context.original = &original;
    const TagContext outer = m_current;
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

QString TagParser::formatNested(const QString& text, const TagContext& context)
{
    QString result = text;
    TagContext inner = context;
    ++inner.depth;
    formatTags(result, inner);
    return result;
}

void TagParser::formatTags(QString& content, const TagContext& context)
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

TagParser::Outcome TagParser::handleTag(const QString& tag, const TagContext& context, QString* value)
{
    const Tags::Row* row = Tags::matchTag(tag);
    if (!row)
        return Outcome::NoMatch;
    if (!row->handler) {
        *value = Tags::propertyValue(row->label, context);
        return Outcome::Replace;
    }
    std::optional<QString> result = row->handler(row->argument(tag), context);
    if (!result)
        return Outcome::Keep;
    *value = std::move(*result);
    return Outcome::Replace;
}

QString TagParser::valueForLabel(QString label)
{
    return Tags::labelValue(label, m_current);
}

QString TagParser::propertyValue(Device* device, QString label, bool emptyForUnknown, bool translate)
{
    TagContext context = m_current;
    context.device = device;
    context.emptyForUnknown = emptyForUnknown;
    context.translate = translate;
    return Tags::propertyValue(label, context);
}

QString TagParser::propertyName(QString label)
{
    // Labels shown in the user's language; any other label is shown as it stands.
    static const char* const kTranslatedLabels[] = {
        QT_TR_NOOP("IMEI"),   QT_TR_NOOP("IMEI2"),      QT_TR_NOOP("MEID"),
        QT_TR_NOOP("MEID14"), QT_TR_NOOP("USB serial"), QT_TR_NOOP("System serial"),
        QT_TR_NOOP("PIN"),    QT_TR_NOOP("Type"),       QT_TR_NOOP("Find My iPhone")};
    if (label == QLatin1String("Device identifier")) {
        SettingsManager* settings = SettingsManager::instance();
        const QString custom = settings ? settings->getValue(QStringLiteral("customidname")) : QString();
        return custom.isEmpty() ? tr("Device identifier") : custom;
    }
    for (const char* translated : kTranslatedLabels) {
        if (label == QLatin1String(translated))
            return tr(translated);
    }
    return label;
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
