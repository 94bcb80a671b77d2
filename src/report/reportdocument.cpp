#include "report/reportdocument.h"

#include "report/reporttree.h"
#include "shared/erasurestandards.h"

#include <QXmlStreamReader>
#include <QtDebug>

#include <limits>

namespace {

const QString kConsoleProductId = QStringLiteral("51");
const QString kConsoleProductName = QStringLiteral("Korvex Management Console");

} // namespace

ReportDocument::ReportDocument() = default;

void ReportDocument::reset()
{
    *this = ReportDocument();
}

QString ReportDocument::identifier(int slot) const
{
    return slot >= 0 && slot < m_identifiers.size() ? m_identifiers.at(slot) : QString();
}

void ReportDocument::setIdentifier(int slot, const QString& value)
{
    while (m_identifiers.size() < kIdentifierSlots)
        m_identifiers.append(QString());
    m_identifiers[slot] = value;
}

qint64 ReportDocument::readDuration(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return -1;
    qint64 values[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts.at(i).trimmed().toLongLong(&ok);
        // Bounds keep the sum and its later nanosecond form inside 64 bits.
        if (!ok || values[i] < -1000000000LL || values[i] > 1000000000LL)
            return -1;
    }
    return values[0] * 3600 + values[1] * 60 + values[2];
}

bool ReportDocument::parse(const QString& xml, QString* error)
{
    reset();
    // One reading of the text gives both the known fields and the tree that answers path queries.
    auto tree = std::make_shared<ReportTree>();
    bool tooDeep = false;
    QString readError;
    qint64 line = 0;
    const bool built = tree->build(xml, kMaxElementDepth, &tooDeep, &readError, &line);
    return adopt(std::move(tree), built, tooDeep, readError, line, error);
}

bool ReportDocument::parse(const QByteArray& utf8, QString* error)
{
    reset();
    auto tree = std::make_shared<ReportTree>();
    bool tooDeep = false;
    QString readError;
    qint64 line = 0;
    const bool built = tree->build(utf8, kMaxElementDepth, &tooDeep, &readError, &line);
    return adopt(std::move(tree), built, tooDeep, readError, line, error);
}

ReportIdentity ReportDocument::identity() const
{
    return m_tree ? ReportIdentity::read(*m_tree) : ReportIdentity();
}

bool ReportDocument::adopt(std::shared_ptr<ReportTree> tree, bool built, bool tooDeep,
                           const QString& readError, qint64 line, QString* error)
{
    if (!built) {
        if (tooDeep) {
            qDebug() << "*** PARSING: report nested deeper than" << kMaxElementDepth << "levels, ignored";
            if (error)
                *error = QStringLiteral("the report is nested deeper than %1 levels").arg(kMaxElementDepth);
        } else {
            qDebug() << "*** PARSING: Failed to set Content!!!";
            if (error)
                *error =
                    QStringLiteral("the report is not readable XML (%1 at line %2)").arg(readError).arg(line);
        }
        return false;
    }
    if (tree->firstChildElement(0) < 0) {
        qDebug() << "*** PARSING: Failed to set Content!!!";
        if (error)
            *error = QStringLiteral("the report is not readable XML (no document element at line 1)");
        return false;
    }
    m_tree = tree;
    const ReportTree& report = *tree;

    const QVector<int> documentIds = report.elementsNamed(QStringLiteral("document_id"));
    if (!documentIds.isEmpty()) {
        m_documentId = report.text(documentIds.first());
        if (m_documentId.isEmpty())
            return true;
    }
    if (!readDate(report)) {
        m_date = QDateTime();
        return true;
    }
    readSections(report);
    readCustomFields(report);
    // A report without a usable date is not printable: keep none of its report data.
    if (!m_date.isValid()) {
        dropUndated();
        if (error)
            *error = QStringLiteral("the report has no usable report date");
        return false;
    }
    return true;
}

bool ReportDocument::readDate(const ReportTree& report)
{
    // The first dated entry of a product other than the console gives the report date.
    QString productId;
    QString productText;
    const QVector<int> logEntries = report.elementsNamed(QStringLiteral("log_entry"));
    for (const int entry : logEntries) {
        const int product = report.firstChildElement(entry, QStringLiteral("product_name"));
        if (product < 0)
            continue;
        productId = report.attribute(product, QStringLiteral("id"));
        productText = report.text(product);
        if (productId == kConsoleProductId || productText == kConsoleProductName) {
            productId.clear();
            productText.clear();
            continue;
        }
        const int date = report.firstChildElement(entry, QStringLiteral("date"));
        if (date >= 0) {
            m_date = QDateTime::fromString(report.text(date), Qt::ISODate);
            break;
        }
    }
    return !productText.isEmpty() || !productId.isEmpty();
}

void ReportDocument::readSections(const ReportTree& report)
{
    const QVector<int> sections = report.elementsNamed(QStringLiteral("entries"));
    for (const int section : sections) {
        const QString name = report.attribute(section, QStringLiteral("name"));
        if (name == QLatin1String("erasures"))
            readErasures(report, section);
        else if (name == QLatin1String("hardware_tests"))
            readHardwareTests(report, section);
        else if (name == QLatin1String("system"))
            readSystem(report, section);
    }
}

void ReportDocument::readCustomFields(const ReportTree& report)
{
    const QVector<int> userData = report.elementsNamed(QStringLiteral("user_data"));
    for (const int data : userData) {
        for (int fields = report.firstChildElement(data); fields >= 0;
             fields = report.nextSiblingElement(fields)) {
            if (report.attribute(fields, QStringLiteral("name")) != QLatin1String("fields"))
                continue;
            for (int field = report.firstChildElement(fields); field >= 0;
                 field = report.nextSiblingElement(field)) {
                const QString name = report.attribute(field, QStringLiteral("name"));
                if (name != QLatin1String("Comments"))
                    m_customFields.insert(name, report.text(field));
            }
        }
    }
}

void ReportDocument::dropUndated()
{
    m_documentId.clear();
    m_testResults.clear();
    m_tree.reset();
    m_date = QDateTime();
    m_erasures.clear();
    m_erasureTargets.clear();
    m_erasureDetails.clear();
    m_testingDuration = 0;
    m_testSummary = SummaryNone;
}

void ReportDocument::readSystem(const ReportTree& report, int section)
{
    for (int entry = report.firstChildElement(section, QStringLiteral("entry")); entry >= 0;
         entry = report.nextSiblingElement(entry, QStringLiteral("entry"))) {
        const QString value = report.text(entry);
        if (value.isEmpty())
            continue;
        const QString name = report.attribute(entry, QStringLiteral("name"));
        if (name == QLatin1String("name")) {
            m_info.name = value;
        } else if (name == QLatin1String("manufacturer")) {
            m_info.manufacturer = value;
        } else if (name == QLatin1String("model")) {
            m_info.model = value;
        } else if (name == QLatin1String("market_name")) {
            m_info.marketName = value;
        } else if (name == QLatin1String("internal_model")) {
            setIdentifier(3, value);
        } else if (name == QLatin1String("a_model_number")) {
            setIdentifier(3, value);
            m_info.aModelNumber = value;
        } else if (name == QLatin1String("serial")) {
            setIdentifier(4, value);
        } else if (name == QLatin1String("imei")) {
            setIdentifier(2, value);
        } else if (name == QLatin1String("imei_two")) {
            setIdentifier(17, value);
        } else if (name == QLatin1String("meid")) {
            setIdentifier(13, value);
        } else if (name == QLatin1String("meid_fourteen")) {
            setIdentifier(14, value);
        } else if (name == QLatin1String("ecid")) {
            setIdentifier(10, value);
        } else if (name == QLatin1String("uuid")) {
            setIdentifier(5, value);
        } else if (name == QLatin1String("pin")) {
            setIdentifier(15, value);
        } else if (name == QLatin1String("region")) {
            setIdentifier(16, value);
        } else if (name == QLatin1String("wifi_mac")) {
            m_info.wifiMac = value;
        } else if (name == QLatin1String("mdm_status")) {
            m_info.mdmStatus = value;
        } else if (name == QLatin1String("device_color")) {
            m_info.deviceColor = value;
        } else if (name == QLatin1String("ram")) {
            m_info.ramAmount = value.left(value.size() - 2).toInt();
            m_info.ramUnit = value.right(2);
        }
    }
}

void ReportDocument::readHardwareTests(const ReportTree& report, int section)
{
    for (int entry = report.firstChildElement(section, QStringLiteral("entry")); entry >= 0;
         entry = report.nextSiblingElement(entry, QStringLiteral("entry"))) {
        const QString name = report.attribute(entry, QStringLiteral("name"));
        const QString value = report.text(entry);
        if (name == QLatin1String("summary")) {
            if (value == QLatin1String("failed"))
                m_testSummary = SummaryFailed;
            else if (value == QLatin1String("successful"))
                m_testSummary = SummarySuccessful;
            else if (value == QLatin1String("not performed"))
                m_testSummary = SummaryNotPerformed;
        } else if (name == QLatin1String("testing_duration")) {
            const qint64 seconds = readDuration(value);
            m_testingDuration = seconds > std::numeric_limits<int>::max() ? -1 : int(seconds);
        } else if (!name.isEmpty()) {
            QString code;
            if (value == QLatin1String("failed"))
                code = QStringLiteral("0");
            else if (value == QLatin1String("successful"))
                code = QStringLiteral("1");
            else if (value == QLatin1String("not performed"))
                code = QStringLiteral("2");
            else
                continue;
            if (!m_testResults.isEmpty())
                m_testResults += QLatin1Char(';');
            m_testResults += name + QLatin1Char('=') + code;
        }
    }
}

void ReportDocument::readErasures(const ReportTree& report, int section)
{
    for (int erasure = report.firstChildElement(section); erasure >= 0;
         erasure = report.nextSiblingElement(erasure)) {
        if (report.attribute(erasure, QStringLiteral("name")) != QLatin1String("erasure"))
            continue;
        ErasureRecord record;
        bool hasTarget = false;
        bool hasDetails = false;
        for (int item = report.firstChildElement(erasure); item >= 0;
             item = report.nextSiblingElement(item)) {
            const QString name = report.attribute(item, QStringLiteral("name"));
            const QString value = report.text(item);
            if (name == QLatin1String("timestamp")) {
                const QDateTime start = QDateTime::fromString(value, Qt::ISODate);
                if (start.isValid())
                    record.start = start;
            } else if (name == QLatin1String("elapsed_time")) {
                const qint64 seconds = readDuration(value);
                if (seconds >= 0)
                    record.elapsedNanoseconds = seconds * 1000000000LL;
            } else if (name == QLatin1String("erasure_standard_name")) {
                if (!value.isEmpty()) {
                    record.standardName = value;
                    record.standard = ErasureStandards::numberForName(value);
                }
            } else if (name == QLatin1String("state")) {
                if (value == QLatin1String("Successful"))
                    record.state = ErasureRecord::Successful;
                else if (value == QLatin1String("Failed"))
                    record.state = ErasureRecord::Failed;
            } else if (name == QLatin1String("target")) {
                hasTarget = true;
                for (int disk = report.firstChildElement(item); disk >= 0;
                     disk = report.nextSiblingElement(disk)) {
                    const QString key = report.attribute(disk, QStringLiteral("name"));
                    const QString text = report.text(disk);
                    if (key == QLatin1String("serial"))
                        record.target.serial = text;
                    else if (key == QLatin1String("vendor"))
                        record.target.vendor = text;
                    else if (key == QLatin1String("capacity"))
                        record.target.capacity = text.toULongLong();
                    else if (key == QLatin1String("kind"))
                        record.target.kind = text == QLatin1String("Internal memory")
                                                 ? TargetDisk::InternalMemory
                                             : text == QLatin1String("SD Card") ? TargetDisk::SdCard
                                                                                : TargetDisk::UnknownKind;
                }
            } else if (name == QLatin1String("erasure_details")) {
                hasDetails = true;
                for (int detail = report.firstChildElement(item); detail >= 0;
                     detail = report.nextSiblingElement(detail))
                    record.details.insert(report.attribute(detail, QStringLiteral("name")),
                                          report.text(detail));
            }
            if (name.contains(QLatin1String("_rounds")))
                record.hasRounds = true;
        }
        if (hasTarget)
            m_erasureTargets.append(record.target);
        if (hasDetails)
            m_erasureDetails.append(record.details);
        m_erasures.append(record);
    }
}

QStringList ReportDocument::query(const QString& path) const
{
    if (!m_tree)
        return QStringList();
    return m_tree->query(path);
}

namespace {

QString scanDocumentIdOf(QXmlStreamReader& reader)
{
    static const QStringList path = {QStringLiteral("root"), QStringLiteral("report"),
                                     QStringLiteral("korvex_data"), QStringLiteral("description"),
                                     QStringLiteral("document_id")};
    QStringList open;
    while (!reader.atEnd() && open.size() <= ReportDocument::kMaxElementDepth) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            open.append(reader.name().toString());
            if (open == path)
                return reader.readElementText().trimmed();
        } else if (token == QXmlStreamReader::EndElement) {
            if (!open.isEmpty())
                open.removeLast();
        }
    }
    return QString();
}

} // namespace

QString ReportDocument::scanDocumentId(const QString& xml)
{
    QXmlStreamReader reader(xml);
    return scanDocumentIdOf(reader);
}

QString ReportDocument::scanDocumentId(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    return scanDocumentIdOf(reader);
}
