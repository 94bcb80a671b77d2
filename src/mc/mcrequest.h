#pragma once
// The texts of the console's report requests: search lines and the envelopes around them. Every
// byte here reaches the console, which parses them strictly; change them only together with it.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace McRequest {

// Namespace of the report service's search requests.
extern const char* const kNamespace;

// Only reports the console has already exported.
QString onlyExportedLine();
// A bound on the report id; `op` is the console's operator name ("gt", "lte").
QString idLine(const QString& op, qint64 id);
// Reports dated after `since` (local time, to the second).
QString reportDateLine(const QDateTime& since);
// The console's operator name of a filter editor symbol ("==", "<", ">", "!=", "~"); "eq" otherwise.
QString mcOperator(const QString& symbol);
// One job filter (`op` an editor symbol), or an empty string when it names no field. Name and value
// are XML-escaped.
QString filterLine(const QString& filterName, const QString& filterValue, const QString& op);

// One CSV search text asking for the ids (column report.id) of reports above `fromId`; the date
// line, when given, comes first.
QString idSearch(bool onlyReported, qint64 fromId, const QString& dateLine = QString());
// As idSearch, with the document id (column report.uuid) after each id, so the report at an id can be
// told from another one numbered the same.
QString idAndDocumentSearch(bool onlyReported, qint64 fromId);
// A CSV search text asking for the ids of the reports with the document id `documentId`.
QString documentSearch(const QString& documentId);

// The envelope of a CSV search: the lines follow each other unchanged.
QString searchEnvelope(const QStringList& lines);
// The envelope of an XML export: each line ends in a line break.
QString exportEnvelope(const QStringList& lines);

} // namespace McRequest
