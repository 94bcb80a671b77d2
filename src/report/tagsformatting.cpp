// Tags of report values and formatting: dates, custom fields, report paths, sizes and the
// mapping language of <map ...>.

#include "report/device.h"
#include "report/reportdocument.h"
#include "report/tagparser.h"
#include "report/tagtable.h"
#include "shared/customfieldstore.h"

#include <QDateTime>

const QString Tags::kDevCustomFieldPrefix = QStringLiteral("(devcustomfield)");
const QString Tags::kFreeTextPrefix = QStringLiteral("(freetext)");

namespace {

bool isTrue(const QString& value)
{
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           value.compare(QLatin1String("t"), Qt::CaseInsensitive) == 0;
}

// The mapping language: key=value settings read from left to right, each changing the state or
// adding to the result.
class MapReader
{
public:
    MapReader(const QString& args, const TagContext& context) : m_args(args), m_context(context) {}

    QString read()
    {
        for (;;) {
            while (m_pos < m_args.size() && m_args.at(m_pos).isSpace())
                ++m_pos;
            const Key* key = nextKey();
            if (!key)
                break;
            const QString value = nextValue();
            const bool followedBySpace = m_pos < m_args.size() && m_args.at(m_pos).isSpace();
            if (apply(key->kind, value) || !followedBySpace)
                break;
        }
        return m_result;
    }

private:
    enum class Kind
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
    enum class Comparison
    {
        Equal,
        Prefix,
        Never
    };
    struct Key
    {
        QLatin1String text;
        Kind kind;
    };

    const Key* nextKey()
    {
        static const Key keys[] = {
            {QLatin1String("src="), Kind::Src},   {QLatin1String("s="), Kind::Src},
            {QLatin1String("in="), Kind::In},     {QLatin1String("i="), Kind::In},
            {QLatin1String("out="), Kind::Out},   {QLatin1String("o="), Kind::Out},
            {QLatin1String("else="), Kind::Else}, {QLatin1String("e="), Kind::Else},
            {QLatin1String("cis="), Kind::Cis},   {QLatin1String("stop="), Kind::Stop},
            {QLatin1String("cmp="), Kind::Cmp},   {QLatin1String("loc="), Kind::Loc},
        };
        if (m_pos >= m_args.size())
            return nullptr;
        for (const Key& key : keys) {
            if (QStringView(m_args).mid(m_pos).startsWith(key.text, Qt::CaseInsensitive)) {
                m_pos += key.text.size();
                return &key;
            }
        }
        return nullptr;
    }

    // A quoted string (\" and \\ stand for themselves; unterminated runs to the end) or a word.
    QString nextValue()
    {
        const int size = m_args.size();
        QString value;
        if (m_pos < size && m_args.at(m_pos) == QLatin1Char('"')) {
            ++m_pos;
            while (m_pos < size && m_args.at(m_pos) != QLatin1Char('"')) {
                if (m_args.at(m_pos) == QLatin1Char('\\') && m_pos + 1 < size &&
                    (m_args.at(m_pos + 1) == QLatin1Char('"') || m_args.at(m_pos + 1) == QLatin1Char('\\')))
                    ++m_pos;
                value += m_args.at(m_pos);
                ++m_pos;
            }
            if (m_pos < size)
                ++m_pos; // the closing quote
            return value;
        }
        const int start = m_pos;
        while (m_pos < size && !m_args.at(m_pos).isSpace())
            ++m_pos;
        return m_args.mid(start, m_pos - start);
    }

    // Applies one setting; true when the result is complete.
    bool apply(Kind kind, const QString& value)
    {
        switch (kind) {
        case Kind::Src: {
            TagContext sourceContext = m_context;
            sourceContext.translate = m_localised;
            m_source = Tags::labelValue(value, sourceContext);
            return false;
        }
        case Kind::In:
            if (m_comparison == Comparison::Equal)
                m_matched = m_source.compare(value, m_caseRule) == 0;
            else if (m_comparison == Comparison::Prefix)
                m_matched = m_source.startsWith(value, m_caseRule);
            else
                m_matched = false;
            return false;
        case Kind::Out:
            if (!m_matched)
                return false;
            m_result += value;
            ++m_outputs;
            return m_stop;
        case Kind::Else:
            if (m_outputs != 0)
                return false;
            m_result += value;
            m_outputs = 1;
            return m_stop;
        case Kind::Cis:
            m_caseRule = isTrue(value) ? Qt::CaseInsensitive : Qt::CaseSensitive;
            return false;
        case Kind::Stop:
            m_stop = isTrue(value);
            return false;
        case Kind::Cmp:
            if (value.startsWith(QLatin1String("st"), Qt::CaseInsensitive))
                m_comparison = Comparison::Prefix;
            else if (value.startsWith(QLatin1String("eq"), Qt::CaseInsensitive))
                m_comparison = Comparison::Equal;
            else
                m_comparison = Comparison::Never;
            return false;
        case Kind::Loc:
            m_localised = isTrue(value);
            return false;
        }
        return false;
    }

    const QString& m_args;
    const TagContext& m_context;
    int m_pos = 0;
    QString m_source;
    bool m_matched = false;
    Comparison m_comparison = Comparison::Equal;
    Qt::CaseSensitivity m_caseRule = Qt::CaseSensitive;
    bool m_stop = true;
    bool m_localised = true;
    int m_outputs = 0;
    QString m_result;
};

std::optional<QString> bytesToHuman(const QString& arg, const TagContext& context, bool binary)
{
    const QString value = context.format(arg);
    bool ok = false;
    const quint64 bytes = value.toULongLong(&ok, 10);
    return ok ? TagParser::humanReadableSize(bytes, binary) : value;
}

} // namespace

namespace Tags {

QString deviceCustomField(Device* device, const QString& name, bool* found)
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

QString customField(Device* device, const QString& name, bool* found)
{
    const QString value = CustomFieldStore::instance()->value(name, found);
    if (*found || !device || !device->report())
        return value;
    const QMap<QString, QString>& fields = device->report()->customFields();
    const auto field = fields.constFind(name);
    *found = field != fields.constEnd();
    return *found ? field.value() : QString();
}

QString deviceCustomFieldOf(const QString& name, const TagContext& context)
{
    bool found = false;
    return deviceCustomField(context.device, name, &found);
}

QString customFieldOf(const QString& name, const TagContext& context)
{
    bool found = false;
    return customField(context.device, name, &found);
}

std::optional<QString> dateTag(const QString& arg, const TagContext&)
{
    return QDateTime::currentDateTime().toString(arg.trimmed());
}

std::optional<QString> variableTag(const QString&, const TagContext& context)
{
    // Process-flow variables exist only on devices that ran a flow; a report device has none.
    return context.device ? QString() : QStringLiteral("variable");
}

std::optional<QString> devCustomFieldTag(const QString& arg, const TagContext& context)
{
    bool found = false;
    const QString value = deviceCustomField(context.device, arg, &found);
    return found ? std::optional<QString>(value) : std::nullopt;
}

std::optional<QString> customFieldTag(const QString& arg, const TagContext& context)
{
    bool found = false;
    const QString value = customField(context.device, arg, &found);
    return found ? std::optional<QString>(value) : std::nullopt;
}

std::optional<QString> emptyMapTag(const QString&, const TagContext&)
{
    return QString();
}

std::optional<QString> mapTag(const QString& arg, const TagContext& context)
{
    return MapReader(arg, context).read();
}

std::optional<QString> xmlReportTag(const QString& arg, const TagContext& context)
{
    const QString path = arg.trimmed();
    const ReportDocument* report = context.device ? context.device->report() : nullptr;
    if (report && report->hasReport() && report->date().isValid()) {
        const QStringList values = report->query(path);
        if (!values.isEmpty())
            return values.first();
    }
    const QStringList parts = path.split(QLatin1Char('/'));
    return parts.size() > 2 ? QStringLiteral(".../%1/%2").arg(parts.at(parts.size() - 2), parts.last())
                            : path;
}

std::optional<QString> bytesToHumanTag(const QString& arg, const TagContext& context)
{
    return bytesToHuman(arg, context, false);
}

std::optional<QString> bytesToBinaryHumanTag(const QString& arg, const TagContext& context)
{
    return bytesToHuman(arg, context, true);
}

} // namespace Tags

QString TagParser::humanReadableSize(quint64 bytes, bool binary)
{
    static const char* const decimalUnits[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
    static const char* const binaryUnits[] = {"B", "kiB", "MiB", "GiB", "TiB", "PiB", "EiB", "ZiB", "YiB"};
    const quint64 base = binary ? 1024 : 1000;
    // Whole-number arithmetic: a double turns 1150 bytes into 1.1499... kB and prints 1.14. The
    // divisor stays below 2^64 (a 64-bit count never reaches the eighth unit), and the fraction is
    // taken one digit at a time so that no product overflows.
    quint64 divisor = 1;
    int unit = 0;
    while (bytes / base >= divisor && bytes > divisor * base) {
        divisor *= base;
        ++unit;
    }
    const quint64 whole = bytes / divisor;
    const quint64 rest = bytes % divisor;
    const quint64 tenths = rest * 10 / divisor;
    const quint64 hundredths = (rest * 10 % divisor) * 10 / divisor;
    return QStringLiteral("%1.%2 %3")
        .arg(whole)
        .arg(int(tenths * 10 + hundredths), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(binary ? binaryUnits[unit] : decimalUnits[unit]));
}
