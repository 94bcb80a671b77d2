#pragma once
// One disk of a device: the target of an erasure or a disk the device reports.

#include <QString>
#include <QtGlobal>

struct TargetDisk
{
    enum Kind
    {
        UnknownKind = 0,
        InternalMemory = 1,
        SdCard = 2
    };

    QString serial;
    QString vendor;
    quint64 capacity = 0; // bytes
    int kind = UnknownKind;

    bool operator==(const TargetDisk& other) const
    {
        return serial == other.serial && vendor == other.vendor && capacity == other.capacity &&
               kind == other.kind;
    }
};
