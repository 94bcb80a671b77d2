#pragma once
// Reads printed output as a scanner would: barcodes decoded by zbarimg, PDF pages rasterised by pdftoppm.

#include <QImage>
#include <QString>
#include <QStringList>

namespace TestSupport {

// The texts of all barcodes zbarimg finds in the image, one per symbol (empty when none).
QStringList decodeBarcodes(const QImage& image);
// The first page of a PDF file as an image at the given resolution; null on failure.
QImage rasterisePdf(const QString& pdfFile, int dpi);

} // namespace TestSupport
