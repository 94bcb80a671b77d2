#pragma once
// One erasure of a report or a device: when, how long, which standard, result and target.

#include "report/targetdisk.h"

#include <QDateTime>
#include <QMap>
#include <QString>

struct ErasureRecord
{
    enum State
    {
        NotSet = 0,
        Successful = 1,
        Failed = 2
    };

    QDateTime start;
    qint64 elapsedNanoseconds = 0;
    int standard = 0; // number in the erasure standards table, 0 when the name is not in it
    QString standardName;
    int state = NotSet;
    TargetDisk target;
    QMap<QString, QString> details; // the "erasure_details" entries by name
    bool hasRounds = false;
};
