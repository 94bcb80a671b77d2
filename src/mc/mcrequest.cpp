#include "mc/mcrequest.h"

namespace {

const QString kXmlDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
const QString kEnvelopeBody = QStringLiteral("      <export-report>\n"
                                             "          <report mode=\"original\"/>\n");
const QString kEnvelopeEnd = QStringLiteral("       </export-report>\n"
                                            "  </request>\n");
// Indents inside a CSV search text, kept as the console has always received them.
const QString kExportedIndent = QStringLiteral("     ");
const QString kIndent = QStringLiteral("          ");

} // namespace

const char* const McRequest::kNamespace = "http://www.korvex.example/schemas/service-request";

QString McRequest::onlyExportedLine()
{
    return QStringLiteral(
        "<search path=\"report.was_exported\" value=\"1\" operator=\"eq\" datatype=\"uint\" "
        "conjunction=\"true\" />");
}

QString McRequest::idLine(const QString& op, qint64 id)
{
    return QStringLiteral("<search path=\"report.id\" value=\"%1\" operator=\"%2\" datatype=\"uint\" "
                          "conjunction=\"true\" />")
        .arg(id)
        .arg(op);
}

QString McRequest::reportDateLine(const QDateTime& since)
{
    return QStringLiteral(
               " <search path=\"report.report_date\" value=\"%1\" operator=\"gt\" datatype=\"date\" "
               "conjunction=\"true\"/>")
        .arg(since.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

QString McRequest::mcOperator(const QString& symbol)
{
    if (symbol == QLatin1String("<"))
        return QStringLiteral("lt");
    if (symbol == QLatin1String(">"))
        return QStringLiteral("gt");
    if (symbol == QLatin1String("!="))
        return QStringLiteral("neq");
    if (symbol == QLatin1String("~"))
        return QStringLiteral("like");
    return QStringLiteral("eq");
}

QString McRequest::filterLine(const QString& filterName, const QString& filterValue, const QString& op)
{
    if (filterName.isEmpty())
        return QString();
    // Names and values come from the user: escaped, so a quote or "<" cannot break the request.
    return QStringLiteral("<search path=\"%1\" value=\"%2\" operator=\"%3\" datatype=\"string\" "
                          "conjunction=\"true\" />\n")
        .arg(filterName.toHtmlEscaped(), filterValue.toHtmlEscaped(), mcOperator(op));
}

namespace {

QString columnsAndOptions(const QStringList& columns)
{
    QString text = kIndent + QStringLiteral("<reportColumns>");
    for (const QString& column : columns)
        text += kIndent + QStringLiteral("<columnPath>%1</columnPath>").arg(column);
    text += kIndent + QStringLiteral("</reportColumns>");
    text +=
        kIndent + QStringLiteral("<csv-options csvLanguage=\"en_US\" delimiter=\";\" subDelimiter=\":\"/>");
    return text;
}

QString idColumnSearch(bool onlyReported, qint64 fromId, const QString& dateLine, const QStringList& columns)
{
    QString text = dateLine;
    if (onlyReported)
        text += kExportedIndent + McRequest::onlyExportedLine();
    text += kIndent + McRequest::idLine(QStringLiteral("gt"), fromId);
    return text + columnsAndOptions(columns);
}

} // namespace

QString McRequest::idSearch(bool onlyReported, qint64 fromId, const QString& dateLine)
{
    return idColumnSearch(onlyReported, fromId, dateLine, {QStringLiteral("report.id")});
}

QString McRequest::idAndDocumentSearch(bool onlyReported, qint64 fromId)
{
    return idColumnSearch(onlyReported, fromId, QString(),
                          {QStringLiteral("report.id"), QStringLiteral("report.uuid")});
}

QString McRequest::documentSearch(const QString& documentId)
{
    return kIndent + filterLine(QStringLiteral("report.uuid"), documentId, QStringLiteral("==")) +
           columnsAndOptions({QStringLiteral("report.id")});
}

QString McRequest::searchEnvelope(const QStringList& lines)
{
    const QString ns = QLatin1String(kNamespace);
    QString envelope = kXmlDeclaration;
    envelope += QStringLiteral("  <request xmlns=\"%1\"\n").arg(ns);
    envelope += QStringLiteral("     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n");
    envelope += QStringLiteral("     xsi:schemaLocation=\"%1 service-request.xsd\">\n").arg(ns);
    envelope += kEnvelopeBody;
    for (const QString& line : lines)
        envelope += line;
    envelope += kEnvelopeEnd;
    return envelope;
}

QString McRequest::exportEnvelope(const QStringList& lines)
{
    QString envelope = kXmlDeclaration;
    envelope += QStringLiteral("  <request>\n");
    envelope += kEnvelopeBody;
    for (const QString& line : lines)
        envelope += line + QLatin1Char('\n');
    envelope += kEnvelopeEnd;
    return envelope;
}
