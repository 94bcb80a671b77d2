#pragma once
// A report of the Management Console parsed once: identifiers, attributes, sections, and path
// queries answered from the tree read when it was parsed.

#include "report/deviceinfo.h"
#include "report/erasurerecord.h"
#include "report/reportidentity.h"
#include "report/targetdisk.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class ReportTree;

class ReportDocument
{
public:
    enum TestSummary
    {
        SummaryNone = 0,
        SummarySuccessful = 2,
        SummaryNotPerformed = 3,
        SummaryFailed = 4
    };

    static constexpr int kIdentifierSlots = 18;
    // Reports nest a dozen levels; anything far deeper is refused before it reaches the parsers.
    static constexpr int kMaxElementDepth = 256;

    ReportDocument();

    // False (with *error) when the text is not a readable report; the document is then empty.
    bool parse(const QString& xml, QString* error = nullptr);
    // The same from the report's UTF-8 bytes, read without a text of twice their size.
    bool parse(const QByteArray& utf8, QString* error = nullptr);
    // Values at a "/"-separated path of element, section and entry names (see ReportTree::query).
    QStringList query(const QString& path) const;

    const QString& documentId() const { return m_documentId; }
    const QDateTime& date() const { return m_date; }
    const QVector<ErasureRecord>& erasures() const { return m_erasures; }
    const QVector<TargetDisk>& erasureTargets() const { return m_erasureTargets; }
    const QVector<QMap<QString, QString>>& erasureDetails() const { return m_erasureDetails; }
    const QString& testResults() const { return m_testResults; }
    int testingDuration() const { return m_testingDuration; }
    int testSummary() const { return m_testSummary; }
    // The report parsed and its data is kept (the text itself is not: the tree answers for it).
    bool hasReport() const { return m_tree != nullptr; }
    // The device the report is about, from the tree read (empty without one).
    ReportIdentity identity() const;
    const DeviceInfo& info() const { return m_info; }
    const QMap<QString, QString>& customFields() const { return m_customFields; }
    const QStringList& identifiers() const { return m_identifiers; }
    QString identifier(int slot) const;

    // Seconds of an "h:m:s" text; -1 for anything else.
    static qint64 readDuration(const QString& text);
    // The report's document id (its UUID), read with a quick scan instead of a whole parse; empty
    // when the text holds none.
    static QString scanDocumentId(const QString& xml);
    static QString scanDocumentId(const QByteArray& xml);

private:
    void reset();
    // The report date from the product log entries; false when no product other than the console
    // wrote one.
    // Takes a read tree, or says why the reading failed.
    bool adopt(std::shared_ptr<ReportTree> tree, bool built, bool tooDeep, const QString& readError,
               qint64 line, QString* error);
    bool readDate(const ReportTree& report);
    void readSections(const ReportTree& report);
    void readCustomFields(const ReportTree& report);
    // A report without a usable date is not printable: keep none of its report data.
    void dropUndated();
    void readSystem(const ReportTree& report, int section);
    void readHardwareTests(const ReportTree& report, int section);
    void readErasures(const ReportTree& report, int section);
    void setIdentifier(int slot, const QString& value);

    QString m_documentId;
    QDateTime m_date;
    QVector<ErasureRecord> m_erasures;
    QVector<TargetDisk> m_erasureTargets;
    QVector<QMap<QString, QString>> m_erasureDetails;
    QString m_testResults;
    int m_testingDuration = 0;
    int m_testSummary = SummaryNone;
    QString m_spare;
    DeviceInfo m_info;
    QMap<QString, QString> m_customFields;
    QStringList m_identifiers;
    // The tree of the parsed text; copies of a document share it.
    std::shared_ptr<const ReportTree> m_tree;
};
