#include "report/reportdevice.h"

#include "report/reportdocument.h"

ReportDevice::ReportDevice(QObject* parent) : Device(parent) {}

ReportDevice::ReportDevice(Device* source, QObject* parent) : Device(parent)
{
    if (!source)
        return;
    m_status = setState(source->status());
    m_description = source->description();
    m_identifiers = source->identifiers();
    while (m_identifiers.size() < kIdentifierSlots)
        m_identifiers.append(QString());
    m_info = source->info();
    m_erasureRecords = source->erasureRecords();
    m_disks = source->disks();
    m_processSteps = source->processSteps();
    m_report = source->report();
}

int ReportDevice::statusOfErasures(const QVector<ErasureRecord>& erasures)
{
    if (erasures.isEmpty())
        return Connected;
    for (const ErasureRecord& erasure : erasures) {
        if (erasure.state == ErasureRecord::Failed)
            return ErasureFailed;
    }
    for (const ErasureRecord& erasure : erasures) {
        if (erasure.state != ErasureRecord::Successful)
            return Connected;
    }
    return ErasureSuccessful;
}

void ReportDevice::setReport(ReportDocument* report, bool copyData)
{
    m_report = report;
    if (!report)
        return;
    // The status tags read the status; a report tells it only through its erasure records.
    m_status = setState(statusOfErasures(report->erasures()));
    if (!copyData)
        return;
    while (m_identifiers.size() < kIdentifierSlots)
        m_identifiers.append(QString());
    const QStringList& source = report->identifiers();
    for (int i = 0; i < source.size() && i < m_identifiers.size(); ++i) {
        if (!source.at(i).isEmpty())
            m_identifiers[i] = source.at(i);
    }
    m_info = report->info();
}
