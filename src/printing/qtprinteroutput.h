#pragma once
// A platform printer through Qt's print support, where there is no CUPS to talk to directly: the
// page goes out as Qt's print engine makes it, and only what the engine reports can be checked.

#include "printing/labeloutput.h"

class QtPrinterOutput : public LabelOutput
{
public:
    explicit QtPrinterOutput(const QString& printerName);

    QList<QPageSize> papers() override;
    bool open(const QPageSize& page, QString* error) override;
    HandOff send(const QImage& page, const QString& title, const QString& labelName,
                 bool stableName) override;
    PrinterStatus status() override;

private:
    QPageSize m_page;
};
