#pragma once
// A CUPS queue, reached through libcups with a time-out on every call: the label goes in as a
// document the queue's driver takes without scaling (CUPS raster at the driver's resolution, PWG
// raster for a driverless printer, else PDF at the page's size), counts as handed over only when
// CUPS accepted the document, and the job is followed until it ends.

#include "printing/labeloutput.h"

#include <QByteArray>

class CupsOutput : public LabelOutput
{
public:
    explicit CupsOutput(const QString& queue);
    ~CupsOutput() override;

    QList<QPageSize> papers() override;
    bool open(const QPageSize& page, QString* error) override;
    HandOff send(const QImage& page, const QString& title, const QString& labelName,
                 bool stableName) override;
    PrinterStatus status() override;
    JobFate follow(int jobId) override;
    bool cancel(int jobId) override;

    // What the queue's driver takes.
    enum class Format
    {
        CupsRaster,
        PwgRaster,
        Pdf
    };
    // How long one call to the print system may take before it counts as not answering.
    static constexpr int kCallMs = 5000;

private:
    struct Page;
    QByteArray rasterDocument(const QImage& page) const;
    QByteArray pdfDocument(const QImage& page, const QString& title) const;

    std::unique_ptr<Page> m_page;
};
