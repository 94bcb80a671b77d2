#pragma once
// The block of device attributes shared by a report and a device record; copied as a whole.

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
    int diagnosticsState = 0;
    QString diagnosticsResults;
    bool unsupported = false;
    int fmipState = -3; // -1 not obtained, 0 off, 1 on
    int rootState = -1; // -1 not available, 0 not rooted, 1 rooted, 2 custom firmware, 3 rooted
    int simInfoPresent = 0;
    QVector<SimCard> simCards;
    int simLockState = 0; // 1 unlocked, 2 locked
    QString batterySerial;
    int batteryDesignCapacity = 0;
    int batteryCurrentCapacity = 0;
    int batteryCycles = 0;
    int batteryWearLevel = 0;   // percent
    int batteryTemperature = 0; // hundredths of a degree
    bool batteryHealthValid = false;
    bool batteryTemperatureValid = false;
    int subscriptionStates[3] = {-3, -3, -3}; // KDDI, SoftBank, docomo
    int lostState = -3;                       // -3 and -2 not tested, 0 no, 1 yes
    int stolenState = -3;
    int blockedState = -3;
    QString wifiMac;
    QString mdmStatus;
    QString deviceColor;
    QString aModelNumber;
    bool frpLocked = false;
    QString carrierName;
    int ramAmount = 0;
    QString ramUnit;
};
