#pragma once
// A native ZPL label printer on the network (raw TCP, port 9100) or on a device file: each label
// goes out as one ZPL format holding the page image as a compressed graphic field, with the
// printer's darkness, speed, offset and media settings, and the printer is asked how it is (~HS)
// before a batch and after each label. A label counts as handed over only when its format was
// written whole and the printer reports no error after it.

#include "printing/labeloutput.h"
#include "printing/zplprinters.h"

#include <QByteArray>

class ZplOutput : public LabelOutput
{
public:
    explicit ZplOutput(const ZplPrinterConfig& printer);

    QList<QPageSize> papers() override { return {}; }
    bool open(const QPageSize& page, QString* error) override;
    HandOff send(const QImage& page, const QString& title, const QString& labelName,
                 bool stableName) override;
    PrinterStatus status() override;

    // The ZPL format of one label page (black dots where the page is black).
    QByteArray format(const QImage& page) const;
    // A one-bit page as ZPL's compressed ASCII hex, one row after the other (1 = black dot).
    static QByteArray compressedHex(const QImage& page, int* bytesPerRow);
    // The printer's state from its answer to ~HS; not ready without a whole answer.
    static PrinterStatus parseHostStatus(const QByteArray& answer);
    // Closes this thread's open connections to printers (at the end of a batch or a round of
    // questions: many printers take one connection at a time).
    static void closeConnections();

    // How long the printer may take to take a label or to answer.
    static constexpr int kWaitMs = 5000;

private:
    ZplPrinterConfig m_printer;
};
