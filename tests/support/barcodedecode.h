#pragma once
// Reads printed output as a scanner would: barcodes decoded by zbarimg, PDF pages rasterised by pdftoppm.

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

namespace TestSupport {

// The texts of all barcodes zbarimg finds in the image, one per symbol (empty when none).
QStringList decodeBarcodes(const QImage& image);
// What ZXingReader finds in the image for one format ("DataMatrix", "PDF417", ...): per symbol its
// text and the symbology identifier (such as "]d2" for GS1 Data Matrix). Empty when it finds none
// or is not installed (then *missing is set).
struct ZXingSymbol
{
    QString text;
    QString identifier;
};
QList<ZXingSymbol> decodeWithZXing(const QImage& image, const QString& format, bool* missing = nullptr);
// The first page of a PDF file as an image at the given resolution; null on failure.
QImage rasterisePdf(const QString& pdfFile, int dpi);

} // namespace TestSupport
