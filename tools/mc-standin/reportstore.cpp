#include "reportstore.h"

#include <QDomDocument>
#include <QXmlStreamReader>

namespace {

const QString consoleProductId = QStringLiteral("51");
const QString consoleProductName = QStringLiteral("Korvex Management Console");

QDateTime wholeSeconds(const QDateTime& date)
{
    return date.addMSecs(-date.time().msec());
}

// The <date> of the first log entry written by a product rather than by the console itself.
QDomElement productDateElement(const QDomElement& report)
{
    const QDomNodeList entries = report.elementsByTagName(QStringLiteral("log_entry"));
    for (int i = 0; i < entries.count(); ++i) {
        const QDomElement entry = entries.at(i).toElement();
        const QDomElement product = entry.firstChildElement(QStringLiteral("product_name"));
        if (product.isNull())
            continue;
        if (product.attribute(QStringLiteral("id")) == consoleProductId ||
            product.text() == consoleProductName)
            continue;
        const QDomElement date = entry.firstChildElement(QStringLiteral("date"));
        if (!date.isNull())
            return date;
    }
    return {};
}

// The DOM is built and freed recursively: absurdly deep input would exhaust the stack.
const int maxNesting = 256;

bool nestingWithinLimit(const QString& xml)
{
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > maxNesting)
            return false;
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return true; // malformed text is left to the DOM parser, which says where it breaks
}

QString isoWithOffset(const QDateTime& date)
{
    const QDateTime local = date.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

QString ReportStore::formatDate(const QDateTime& date)
{
    return date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

bool ReportStore::parseReport(const QString& xml, const std::optional<QDateTime>& date, Record* record,
                              QString* error)
{
    if (!nestingWithinLimit(xml)) {
        *error = QStringLiteral("report nests elements deeper than %1 levels").arg(maxNesting);
        return false;
    }

    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(xml, false, &message, &line, &column)) {
        *error = QStringLiteral("report is not well-formed XML (line %1, column %2): %3")
                     .arg(line)
                     .arg(column)
                     .arg(message);
        return false;
    }

    QDomElement report = document.documentElement();
    if (report.tagName() == QLatin1String("root")) {
        QDomElement inner = report.firstChildElement(QStringLiteral("report"));
        if (inner.isNull() || !inner.nextSiblingElement(QStringLiteral("report")).isNull()) {
            *error = QStringLiteral("expected exactly one <report> inside <root>");
            return false;
        }
        report = inner;
    } else if (report.tagName() != QLatin1String("report")) {
        *error = QStringLiteral("expected a <report> element, found <%1>").arg(report.tagName());
        return false;
    }

    QDomElement dateElement = productDateElement(report);
    if (date) {
        if (!date->isValid()) {
            *error = QStringLiteral("invalid report date");
            return false;
        }
        record->date = wholeSeconds(*date);
        // Keep the report text in line with the record: clients read the date from there.
        if (!dateElement.isNull()) {
            while (dateElement.hasChildNodes())
                dateElement.removeChild(dateElement.firstChild());
            dateElement.appendChild(document.createTextNode(isoWithOffset(record->date)));
        }
    } else {
        const QDateTime fromReport = dateElement.isNull()
                                         ? QDateTime()
                                         : QDateTime::fromString(dateElement.text().trimmed(), Qt::ISODate);
        record->date = wholeSeconds(fromReport.isValid() ? fromReport : QDateTime::currentDateTime());
    }

    record->uuid = report.elementsByTagName(QStringLiteral("document_id")).at(0).toElement().text().trimmed();

    // Written from a document of its own so that its indentation starts at the report element.
    QDomDocument single;
    single.appendChild(single.importNode(report, true));
    record->xml = single.toString(2).trimmed();
    record->utf8 = record->xml.toUtf8();
    // Matches the way the client recognises issue reports.
    record->issue = record->xml.contains(QLatin1String("<korvex_issue_report>"));
    record->index.build(report);
    return true;
}

int ReportStore::add(const QString& xml, bool exported, const std::optional<QDateTime>& date, QString* error)
{
    Record record;
    if (!parseReport(xml, date, &record, error))
        return -1;
    record.exported = exported;

    std::lock_guard<std::mutex> lock(m_mutex);
    record.id = m_records.size() + 1;
    m_records.append(record);
    return record.id;
}

int ReportStore::addRaw(const QString& xml, bool exported)
{
    Record record;
    record.date = wholeSeconds(QDateTime::currentDateTime());
    record.exported = exported;
    record.xml = xml;
    record.utf8 = xml.toUtf8();
    std::lock_guard<std::mutex> lock(m_mutex);
    record.id = m_records.size() + 1;
    m_records.append(record);
    return record.id;
}

const QVector<ReportStore::Record> ReportStore::records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

int ReportStore::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records.size();
}
