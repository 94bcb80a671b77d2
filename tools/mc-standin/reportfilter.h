#pragma once
// Decides which stored reports a request's search lines select.

#include "reportstore.h"
#include "searchrequest.h"

#include <QRegularExpression>

class ReportFilter
{
public:
    // Lines joined with AND bind tighter than OR: a line whose conjunction is not "true" starts a
    // new group, and a report matches when every line of at least one group matches.
    // No lines select every report.
    explicit ReportFilter(const QVector<SearchRequest::Line>& lines);

    bool matches(const ReportStore::Record& record) const;

    // Values of a record at a search path: the console's own report.* columns or a dotted report path.
    static QStringList values(const ReportStore::Record& record, const QString& path);
    // SQL LIKE: % any run of characters, _ one character, a backslash takes the next one literally.
    static QRegularExpression likePattern(const QString& pattern);

private:
    bool lineMatches(int lineIndex, const ReportStore::Record& record) const;

    QVector<SearchRequest::Line> m_lines;
    QVector<QRegularExpression> m_patterns;
};
