#pragma once
// Puts a format's graphics on a label the way the printer would print it.

#include "printersettings.h"
#include "zplformat.h"

#include <QImage>
#include <QList>

class LabelPage
{
public:
    // A one-bit page (black where a dot is printed) of ^PW x ^LL dots, or as large as the graphics
    // reach where those are not given. Each graphic sits at its field origin moved by label home,
    // label shift (to the left) and label top (down); ^POI turns the page upside down.
    static QImage render(const QList<ZplFormat::Graphic>& graphics, const PrinterSettings& settings);
};
