#pragma once
// A device record as label objects and tags read it; a report-backed device derives from it.

#include "report/deviceinfo.h"
#include "report/erasurerecord.h"
#include "report/processstep.h"
#include "report/targetdisk.h"

#include <QObject>
#include <QStringList>
#include <QVector>

class ReportDocument;

class Device : public QObject
{
    Q_OBJECT
public:
    // Identifier slots used by this program; the other slots stay empty.
    enum IdentifierSlot
    {
        AlternativeSerial = 0,
        AlternativeSourceAndSerial = 1,
        Imei = 2,
        InternalModel = 3,
        Serial = 4,
        Uuid = 5,
        Ecid = 10,
        Meid = 13,
        Meid14 = 14,
        Pin = 15,
        Region = 16,
        Imei2 = 17
    };
    static constexpr int kIdentifierSlots = 18;

    enum States
    {
        Connected = 3,
        ErasureSuccessful = 8,
        ErasureFailed = 9,
        Blacklisted = 21
    };

    explicit Device(QObject* parent = nullptr);

    // Stores the value if it is a state this program knows, else Connected; returns what it stored.
    virtual int setState(int state);
    virtual QString description() const;
    virtual const QVector<ErasureRecord>& erasureRecords() const { return m_erasureRecords; }
    virtual const QVector<TargetDisk>& disks() const { return m_disks; }
    virtual const QVector<ProcessStep>& processSteps() const { return m_processSteps; }
    virtual ReportDocument* report() const { return m_report; }
    // Whether the device reports an active factory-reset protection.
    virtual bool frpLocked() const { return m_info.frpLocked; }
    int state() const { return m_state; }

    int status() const { return m_status; }
    void setStatus(int status) { m_status = status; }

    QString identifier(int slot) const;
    void setIdentifier(int slot, const QString& value);
    const QStringList& identifiers() const { return m_identifiers; }

    const DeviceInfo& info() const { return m_info; }
    DeviceInfo& info() { return m_info; }

    // A SimStatus value.
    int simStatus() const;
    // A DiagnosticsStatus value.
    int diagnosticsStatus() const;

signals:
    void statusChanged(Device* device);
    void unexpectedDisconnect();
    void deviceHasReconnected();
    void processSkipWaiting();

protected:
    int m_state = Connected;
    QString m_description;
    QVector<ProcessStep> m_processSteps;
    QVector<ErasureRecord> m_erasureRecords;
    QStringList m_identifiers;
    DeviceInfo m_info;
    int m_status = Connected;
    QVector<TargetDisk> m_disks;
    ReportDocument* m_report = nullptr;
};
