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

void ReportDevice::setReport(ReportDocument* report, bool copyData)
{
    m_report = report;
    if (!copyData || !report)
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
