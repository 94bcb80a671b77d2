#include "hoststatus.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace {

const char kStx = '\x02';
const char kEtx = '\x03';
const char* const kCommunicationSettings = "030";
const char* const kPasswordAndRam = "1234,0";
// Function settings bits: media type (continuous) and sensing in direct thermal mode.
const int kContinuousMediaBit = 0x80;
const int kDirectThermalBit = 0x01;

QByteArray number(long long value, int digits)
{
    long long highest = 1;
    for (int i = 0; i < digits; ++i)
        highest *= 10;
    --highest;
    return QByteArray::number(std::clamp(value, 0LL, highest)).rightJustified(digits, '0');
}

QByteArray flag(bool value)
{
    return value ? "1" : "0";
}

// ^MM letters as the status reports the print mode: 0 rewind, 1 peel-off, 2 tear-off, 3 cutter,
// 4 applicator, 5 delayed cut.
char printModeDigit(char mode)
{
    static const char letters[] = "RPTCAD";
    const char* at = std::strchr(letters, mode);
    return at && *at ? char('0' + (at - letters)) : '2';
}

QByteArray framed(const QList<QByteArray>& fields)
{
    return kStx + fields.join(',') + kEtx + "\r\n";
}

} // namespace

QByteArray HostStatus::toBytes() const
{
    const int functions =
        (continuousMedia ? kContinuousMediaBit : 0) | (thermalTransfer ? 0 : kDirectThermalBit);
    const QByteArray first = framed({kCommunicationSettings, flag(paperOut), flag(paused),
                                     number(labelLength, 4), number(formatsInBuffer, 3), flag(bufferFull),
                                     "0", flag(partialFormat), "000", "0", "0", "0"});
    const QByteArray second =
        framed({number(functions, 3), "0", flag(headOpen), flag(ribbonOut), flag(thermalTransfer),
                QByteArray(1, printModeDigit(printMode)), "0", "0", number(labelsRemaining, 8), "1", "000"});
    return first + second + framed({kPasswordAndRam});
}
