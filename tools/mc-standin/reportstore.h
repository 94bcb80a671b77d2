#pragma once
// The stand-in console's report storage: reports with id, report date, was-exported flag and document id.

#include "reportpathindex.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <mutex>
#include <optional>

class ReportStore
{
public:
    struct Record
    {
        int id = 0;
        QDateTime date;
        bool exported = false;
        QString uuid;
        bool issue = false;
        // The <report> element as text, the way the export sends it.
        QString xml;
        // The same text encoded once for the wire: an export of large reports is joined from these.
        QByteArray utf8;
        ReportPathIndex index;
    };

    // Stores one report given as XML: a <report> element, optionally inside <root> and after an
    // XML declaration. Its date is read from the first product log entry (the console's own entry
    // does not count); `date` replaces it, in the record and in the report text, so the two agree.
    // Without any date the arrival time is used. Returns the new id, or -1 with *error set.
    int add(const QString& xml, bool exported, const std::optional<QDateTime>& date, QString* error);
    // Stores the text exactly as given, unread, dated now: a console's bad report for client tests.
    int addRaw(const QString& xml, bool exported);

    // A copy of all records in id order. The texts and indexes are shared, so this is cheap; it is
    // const so that a loop over it does not detach it and copy every record.
    const QVector<Record> records() const;
    int count() const;

    // Reads one report's text into a record without storing it (id stays 0).
    static bool parseReport(const QString& xml, const std::optional<QDateTime>& date, Record* record,
                            QString* error);

    // Date format of search values, the control listing and the CSV output: local time.
    static QString formatDate(const QDateTime& date);

private:
    mutable std::mutex m_mutex;
    QVector<Record> m_records;
};
