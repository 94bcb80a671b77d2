#pragma once
// The state set through the control endpoint: the printer's faults and the stand-in's tricks.

#include <QJsonObject>
#include <QString>

struct PrinterState
{
    bool paperOut = false;
    bool headOpen = false;
    bool ribbonOut = false;
    bool paused = false;
    bool bufferFull = false;   // reported by ~HS only
    bool silent = false;       // no ~HS answer and nothing printed: an unplugged printer that still takes TCP
    bool refuse = false;       // the TCP port does not take connections: a printer switched off
    int slowMs = 0;            // wait before each label is printed
    qint64 dropAfterBytes = 0; // the next connection is closed after this many bytes; 0 for none
    // The paper runs out as the format after the next this-many arrives (that one is dropped); 0 for
    // none. Set on arrival, so which formats made it is certain.
    int paperOutAfter = 0;
    // Likewise the printer falls silent as the format after the next this-many arrives: that one is
    // received, never printed and never confirmed. 0 for none.
    int silentAfter = 0;

    // Takes the fields `changes` names, all or none: false with *error for an unknown field or a bad value.
    bool merge(const QJsonObject& changes, QString* error);
    QJsonObject toJson() const;
    // A format that arrives now is not printed, and buffered formats wait.
    bool stopsPrinting() const { return paperOut || headOpen || ribbonOut || paused || silent; }
};
