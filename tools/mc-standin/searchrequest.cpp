#include "searchrequest.h"

#include <QXmlStreamReader>

namespace {

bool operatorFromName(const QString& name, SearchRequest::Operator* op)
{
    static const QHash<QString, SearchRequest::Operator> operators = {
        {QStringLiteral("eq"), SearchRequest::Operator::Eq},
        {QStringLiteral("neq"), SearchRequest::Operator::Neq},
        {QStringLiteral("lt"), SearchRequest::Operator::Lt},
        {QStringLiteral("gt"), SearchRequest::Operator::Gt},
        {QStringLiteral("lte"), SearchRequest::Operator::Lte},
        {QStringLiteral("gte"), SearchRequest::Operator::Gte},
        {QStringLiteral("like"), SearchRequest::Operator::Like}};
    const auto it = operators.constFind(name.trimmed().toLower());
    if (it == operators.constEnd())
        return false;
    *op = it.value();
    return true;
}

bool dataTypeFromName(const QString& name, SearchRequest::DataType* type)
{
    const QString lower = name.trimmed().toLower();
    if (lower == QLatin1String("uint"))
        *type = SearchRequest::DataType::UInt;
    else if (lower == QLatin1String("string"))
        *type = SearchRequest::DataType::String;
    else if (lower == QLatin1String("date"))
        *type = SearchRequest::DataType::Date;
    else
        return false;
    return true;
}

} // namespace

QDateTime SearchRequest::parseDate(const QString& text)
{
    const QString trimmed = text.trimmed();
    QDateTime date = QDateTime::fromString(trimmed, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!date.isValid())
        date = QDateTime::fromString(trimmed, Qt::ISODate);
    if (!date.isValid()) {
        const QDate day = QDate::fromString(trimmed, QStringLiteral("yyyy-MM-dd"));
        if (day.isValid())
            date = QDateTime(day, QTime(0, 0));
    }
    return date;
}

bool SearchRequest::parse(const QByteArray& xml, QString* error)
{
    m_lines.clear();
    m_columns.clear();

    QXmlStreamReader reader(xml);
    bool sawRoot = false;
    bool sawExportReport = false;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        // Local names: the CSV envelope puts everything in a default namespace, the XML one does not.
        const QStringRef name = reader.name();
        if (!sawRoot) {
            sawRoot = true;
            if (name != QLatin1String("request")) {
                *error = QStringLiteral("the root element is <%1>, expected <request>").arg(name.toString());
                return false;
            }
            continue;
        }
        if (name == QLatin1String("export-report")) {
            sawExportReport = true;
        } else if (name == QLatin1String("search")) {
            if (!parseSearch(reader.attributes(), error))
                return false;
        } else if (name == QLatin1String("columnPath")) {
            const QString path = reader.readElementText().trimmed();
            if (!path.isEmpty())
                m_columns.append(path);
        } else if (name == QLatin1String("column")) {
            // Also accept <column path="..."/> and <column>path</column>.
            const QString attribute = reader.attributes().value(QStringLiteral("path")).toString().trimmed();
            const QString path = attribute.isEmpty()
                                     ? reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed()
                                     : attribute;
            if (!path.isEmpty())
                m_columns.append(path);
        } else if (name == QLatin1String("csv-options")) {
            const QString delimiter = reader.attributes().value(QStringLiteral("delimiter")).toString();
            const QString subDelimiter = reader.attributes().value(QStringLiteral("subDelimiter")).toString();
            if (!delimiter.isEmpty())
                m_delimiter = delimiter;
            if (!subDelimiter.isEmpty())
                m_subDelimiter = subDelimiter;
        }
    }
    if (reader.hasError()) {
        *error = QStringLiteral("request is not well-formed XML (line %1, column %2): %3")
                     .arg(reader.lineNumber())
                     .arg(reader.columnNumber())
                     .arg(reader.errorString());
        return false;
    }
    if (!sawRoot) {
        *error = QStringLiteral("request is empty");
        return false;
    }
    if (!sawExportReport) {
        *error = QStringLiteral("request has no <export-report> element");
        return false;
    }
    return true;
}

bool SearchRequest::parseSearch(const QXmlStreamAttributes& attributes, QString* error)
{
    Line line;
    line.path = attributes.value(QStringLiteral("path")).toString().trimmed();
    line.value = attributes.value(QStringLiteral("value")).toString();
    if (line.path.isEmpty()) {
        *error = QStringLiteral("search line without a path");
        return false;
    }
    const QString op = attributes.hasAttribute(QStringLiteral("operator"))
                           ? attributes.value(QStringLiteral("operator")).toString()
                           : QStringLiteral("eq");
    if (!operatorFromName(op, &line.op)) {
        *error = QStringLiteral("search on %1: unknown operator \"%2\"").arg(line.path, op);
        return false;
    }
    const QString type = attributes.hasAttribute(QStringLiteral("datatype"))
                             ? attributes.value(QStringLiteral("datatype")).toString()
                             : QStringLiteral("string");
    if (!dataTypeFromName(type, &line.type)) {
        *error = QStringLiteral("search on %1: unknown datatype \"%2\"").arg(line.path, type);
        return false;
    }
    // Only "true" joins with AND; an absent attribute counts as AND as well.
    if (attributes.hasAttribute(QStringLiteral("conjunction")))
        line.conjunctionAnd = attributes.value(QStringLiteral("conjunction"))
                                  .trimmed()
                                  .compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;

    if (line.op != Operator::Like) {
        if (line.type == DataType::UInt) {
            bool ok = false;
            line.number = line.value.trimmed().toULongLong(&ok);
            if (!ok) {
                *error = QStringLiteral("search on %1: value \"%2\" is not an unsigned number")
                             .arg(line.path, line.value);
                return false;
            }
        } else if (line.type == DataType::Date) {
            line.date = parseDate(line.value);
            if (!line.date.isValid()) {
                *error = QStringLiteral("search on %1: value \"%2\" is not a date (yyyy-MM-dd hh:mm:ss)")
                             .arg(line.path, line.value);
                return false;
            }
        }
    }
    m_lines.append(line);
    return true;
}

QStringList SearchRequest::columns() const
{
    return m_columns.isEmpty() ? QStringList{QStringLiteral("report.id")} : m_columns;
}
