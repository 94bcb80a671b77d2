#pragma once
// The settings a printer keeps from one format to the next: page size, offsets, darkness, speed,
// media, orientation and print mode. Values out of range are ignored, as a printer ignores them.

#include "zplstreamsplitter.h"

#include <QJsonObject>
#include <QPoint>

class PrinterSettings
{
public:
    int printWidth = 0;          // ^PW, dots; 0 until given
    int labelLength = 0;         // ^LL, dots; 0 until given
    QPoint labelHome;            // ^LH
    int labelShift = 0;          // ^LS, dots to the left
    int labelTop = 0;            // ^LT, dot rows down
    int darknessBase = 15;       // ~SD, 0..30
    double darknessAdjust = 0.0; // ^MD, -30..30 on top of ~SD
    int printSpeed = 4;          // ^PR, inches per second
    char media = 'Y';            // ^MN: N continuous, Y gap/notch, W web, M black mark, A auto
    char orientation = 'N';      // ^PO: N normal, I inverted
    char printMode = 'T';        // ^MM: T tear-off, P peel-off, R rewind, C cutter, A applicator

    // Takes a setting command; false for any other command.
    bool apply(const ZplCommand& command);
    // ~SD and ^MD together, 0..30.
    double darkness() const;
    // The values a label record shows.
    QJsonObject toJson() const;
};
