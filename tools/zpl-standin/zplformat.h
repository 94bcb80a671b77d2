#pragma once
// One format, ^XA to ^XZ, as it was received: its commands, and the graphics and the number of copies
// they ask for.

#include "zplstreamsplitter.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QStringList>

class ZplFormat
{
public:
    struct Graphic
    {
        QPoint origin; // field origin in dots, before label home and shifts
        QImage image;
    };

    // More copies than this are printed as this many; a real batch is far smaller.
    static const int kMaxQuantity = 1000;

    void add(const ZplCommand& command) { m_commands.append(command); }
    const QList<ZplCommand>& commands() const { return m_commands; }
    // Bytes from the first byte of ^XA to the last of ^XZ, everything in between included.
    qint64 bytes() const;
    // Every graphic field at its field origin (^FO, or ^FT which gives its lower left corner). A field
    // that cannot be read is left out and described in *errors.
    QList<Graphic> graphics(QStringList* errors) const;
    // Copies asked for by ^PQ, 1 when not given.
    int quantity() const;
    QStringList summaries() const;

private:
    QList<ZplCommand> m_commands;
};
