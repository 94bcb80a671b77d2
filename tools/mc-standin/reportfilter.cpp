#include "reportfilter.h"

#include <optional>

namespace {

using Line = SearchRequest::Line;
using Operator = SearchRequest::Operator;
using DataType = SearchRequest::DataType;

bool isReportDate(const QString& path)
{
    return path == QLatin1String("report.report_date") || path == QLatin1String("report.date");
}

template <typename T> int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Compares one value with the line's value; nothing when the value does not read as the line's type.
std::optional<int> compareValue(const Line& line, const QString& value, const ReportStore::Record& record)
{
    switch (line.type) {
    case DataType::UInt: {
        bool ok = false;
        const quint64 number = value.trimmed().toULongLong(&ok);
        if (!ok)
            return std::nullopt;
        return threeWay(number, line.number);
    }
    case DataType::Date: {
        QDateTime date = isReportDate(line.path) ? record.date : SearchRequest::parseDate(value);
        if (!date.isValid())
            return std::nullopt;
        date = date.addMSecs(-date.time().msec());
        return threeWay(date.toMSecsSinceEpoch(), line.date.toMSecsSinceEpoch());
    }
    case DataType::String:
        break;
    }
    const int result = QString::compare(value, line.value, Qt::CaseSensitive);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool orderingHolds(Operator op, int comparison)
{
    switch (op) {
    case Operator::Eq:
        return comparison == 0;
    case Operator::Neq:
        return comparison != 0;
    case Operator::Lt:
        return comparison < 0;
    case Operator::Gt:
        return comparison > 0;
    case Operator::Lte:
        return comparison <= 0;
    case Operator::Gte:
        return comparison >= 0;
    case Operator::Like:
        break;
    }
    return false;
}

} // namespace

ReportFilter::ReportFilter(const QVector<SearchRequest::Line>& lines) : m_lines(lines)
{
    m_patterns.reserve(lines.size());
    for (const Line& line : lines)
        m_patterns.append(line.op == Operator::Like ? likePattern(line.value) : QRegularExpression());
}

QRegularExpression ReportFilter::likePattern(const QString& pattern)
{
    QString regex = QStringLiteral("\\A(?:");
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\\') && i + 1 < pattern.size())
            regex += QRegularExpression::escape(QString(pattern.at(++i)));
        else if (c == QLatin1Char('%'))
            regex += QLatin1String(".*");
        else if (c == QLatin1Char('_'))
            regex += QLatin1Char('.');
        else
            regex += QRegularExpression::escape(QString(c));
    }
    regex += QLatin1String(")\\z");
    return QRegularExpression(regex, QRegularExpression::DotMatchesEverythingOption);
}

QStringList ReportFilter::values(const ReportStore::Record& record, const QString& path)
{
    if (path == QLatin1String("report.id"))
        return {QString::number(record.id)};
    if (isReportDate(path))
        return {ReportStore::formatDate(record.date)};
    if (path == QLatin1String("report.was_exported"))
        return {record.exported ? QStringLiteral("1") : QStringLiteral("0")};
    if (path == QLatin1String("report.uuid"))
        return {record.uuid};
    // Other columns of the console's own (owner, product, state) are not kept here.
    if (path.startsWith(QLatin1String("report.")))
        return {};
    return record.index.values(path);
}

bool ReportFilter::lineMatches(int lineIndex, const ReportStore::Record& record) const
{
    const Line& line = m_lines.at(lineIndex);
    const QStringList candidates = values(record, line.path);

    if (line.op == Operator::Like) {
        const QRegularExpression& pattern = m_patterns.at(lineIndex);
        for (const QString& value : candidates) {
            if (pattern.match(value).hasMatch())
                return true;
        }
        return false;
    }
    // "neq" is the negation of "eq" over the values that are there: a report without any value at
    // the path matches no comparison at all.
    if (line.op == Operator::Neq) {
        if (candidates.isEmpty())
            return false;
        for (const QString& value : candidates) {
            const std::optional<int> comparison = compareValue(line, value, record);
            if (comparison && *comparison == 0)
                return false;
        }
        return true;
    }
    for (const QString& value : candidates) {
        const std::optional<int> comparison = compareValue(line, value, record);
        if (comparison && orderingHolds(line.op, *comparison))
            return true;
    }
    return false;
}

bool ReportFilter::matches(const ReportStore::Record& record) const
{
    if (m_lines.isEmpty())
        return true;
    bool groupResult = true;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (i > 0 && !m_lines.at(i).conjunctionAnd) {
            if (groupResult)
                return true;
            groupResult = true;
        }
        if (groupResult)
            groupResult = lineMatches(i, record);
    }
    return groupResult;
}
