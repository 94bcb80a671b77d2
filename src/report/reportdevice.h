#pragma once
// A device record backed by one parsed report, as a print job binds it.

#include "report/device.h"

#include <QDateTime>

class ReportDevice : public Device
{
    Q_OBJECT
public:
    // Unbound; state and status are Connected until something sets them.
    explicit ReportDevice(QObject* parent = nullptr);
    // A copy of another device: state from its status, identifiers, attributes, lists and report.
    explicit ReportDevice(Device* source, QObject* parent = nullptr);

    // Binds the report (not owned; it must outlive the device's use) and takes the status from its
    // erasures; copyData also copies its identifiers and attributes.
    void setReport(ReportDocument* report, bool copyData);

    // Erasure successful when there are erasures and all succeeded, failed when any failed,
    // otherwise Connected (no erasure, or one without a result).
    static int statusOfErasures(const QVector<ErasureRecord>& erasures);

    QString description() const override { return QString(); }
};
