#pragma once
// The built-in printer "PDF files": each label becomes a PDF file of its own in the label folder,
// complete under its name or not there at all. It never asks the print system anything.

#include "printing/labeloutput.h"

class QIODevice;

class PdfFileOutput : public LabelOutput
{
public:
    PdfFileOutput();
    // The resolution labels are rendered at, as set (printer/pdfResolution).
    static int configuredResolution();

    QList<QPageSize> papers() override { return {}; }
    bool open(const QPageSize& page, QString* error) override;
    bool keepsOrder() const override { return false; }
    QString deliveredLabel(const QString& labelName) const override;
    HandOff send(const QImage& page, const QString& title, const QString& labelName,
                 bool stableName) override;
    // Writes the label file under a temporary name; completeAll() flushes the batch's files at once
    // and names them.
    HandOff sendLater(const QImage& page, const QString& title, const QString& labelName,
                      bool stableName) override;
    void completeAll(const QList<HandOff*>& handOffs) override;
    PrinterStatus status() override;

    // One page holding `page` (at `dotsPerInch`, the whole page without margins) as a PDF document
    // on `device`; false when it could not be written.
    static bool writePdf(QIODevice* device, const QImage& page, const QPageSize& size, int dotsPerInch,
                         const QString& title);

private:
    QString pathOf(const QString& labelName) const;
    // Why a label file could not be written, for the user.
    QString failure(const QString& error) const;

    QString m_folder;
    QPageSize m_page;
};
