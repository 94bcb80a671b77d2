#pragma once
// The block of device attributes shared by a report and a device record; copied as a whole. The
// states are plain ints named by report/devicestates.h.

#include "report/devicestates.h"
#include "report/simcard.h"

#include <QMap>
#include <QString>
#include <QVariant>
#include <QVector>

struct DeviceInfo
{
    QString name;
    QString type;
    QString usbSerial;
    QString manufacturer;
    QString model;
    QString marketName;
    QString usbId;
    int erasureMethod = 0;
    int erasureMethodParameter = 0;
    QString deviceIdentifier;
    QMap<QString, QVariant> customFieldValues;
    int diagnosticsState = DiagnosticsStatus::NotDiagnosed; // or Failed; other values: see the results
    QString diagnosticsResults;
    bool unsupported = false;
    int fmipState = FmipState::NotChecked;
    int rootState = RootState::NotAvailable;
    int simInfoPresent = 0;
    QVector<SimCard> simCards;
    int simLockState = SimLockState::Unknown;
    QString batterySerial;
    int batteryDesignCapacity = 0;
    int batteryCurrentCapacity = 0;
    int batteryCycles = 0;
    int batteryWearLevel = 0;   // percent
    int batteryTemperature = 0; // hundredths of a degree
    bool batteryHealthValid = false;
    bool batteryTemperatureValid = false;
    // KDDI, SoftBank, docomo
    int subscriptionStates[3] = {SubscriptionState::NotChecked, SubscriptionState::NotChecked,
                                 SubscriptionState::NotChecked};
    int lostState = TheftState::NotTested;
    int stolenState = TheftState::NotTested;
    int blockedState = TheftState::NotTested;
    QString wifiMac;
    QString mdmStatus;
    QString deviceColor;
    QString aModelNumber;
    bool frpLocked = false;
    QString carrierName;
    int ramAmount = 0;
    QString ramUnit;
};
