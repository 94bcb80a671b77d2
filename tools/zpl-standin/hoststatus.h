#pragma once
// The answer to ~HS: three status strings, each framed by STX and ETX and followed by CR LF.

#include <QByteArray>

struct HostStatus
{
    bool paperOut = false;
    bool paused = false;
    int labelLength = 0; // dots
    int formatsInBuffer = 0;
    bool bufferFull = false;
    bool partialFormat = false;
    bool headOpen = false;
    bool ribbonOut = false;
    bool thermalTransfer = true;
    bool continuousMedia = false;
    char printMode = 'T'; // as ^MM sets it
    int labelsRemaining = 0;

    QByteArray toBytes() const;
};
