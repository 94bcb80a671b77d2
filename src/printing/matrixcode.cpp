#include "printing/matrixcode.h"

#include <QStringList>

#include <cmath>
#include <memory>

#include <zint.h>

namespace {

int zintSymbology(const QString& symbology)
{
    if (symbology == QLatin1String(MatrixCode::kQrCode))
        return BARCODE_QRCODE;
    if (symbology == QLatin1String(MatrixCode::kDataMatrix))
        return BARCODE_DATAMATRIX;
    if (symbology == QLatin1String(MatrixCode::kPdf417))
        return BARCODE_PDF417;
    return 0;
}

struct SymbolDeleter
{
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

} // namespace

bool MatrixCode::handles(const QString& symbology)
{
    return zintSymbology(symbology) != 0;
}

QStringList MatrixCode::symbologies()
{
    return {QLatin1String(kQrCode), QLatin1String(kDataMatrix), QLatin1String(kPdf417)};
}

int MatrixCode::defaultQuietZone(const QString& symbology)
{
    switch (zintSymbology(symbology)) {
    case BARCODE_QRCODE:
        return 4;
    case BARCODE_PDF417:
        return 2;
    default:
        return 1;
    }
}

bool MatrixCode::encode(const QString& symbology, const QString& content, bool gs1, QString* error)
{
    m_modules = QSize();
    m_dark.clear();
    const int type = zintSymbology(symbology);
    if (type == 0) {
        *error = QStringLiteral("unknown symbology \"%1\"").arg(symbology);
        return false;
    }
    const std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    symbol->symbology = type;
    symbol->input_mode = gs1 && type == BARCODE_DATAMATRIX ? GS1_MODE : UNICODE_MODE;
    symbol->show_hrt = 0;
    const QByteArray data = content.toUtf8();
    // Warnings (an ECI added for non-Latin text, for example) still give a readable symbol.
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.constData()),
                        data.size()) >= ZINT_ERROR ||
        ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR || !symbol->vector || symbol->width <= 0) {
        *error = QString::fromUtf8(symbol->errtxt);
        if (error->isEmpty())
            *error = QStringLiteral("cannot be encoded");
        return false;
    }
    // The vector output is in zint's own units; one module is the symbol's width over its modules.
    const zint_vector* vector = symbol->vector;
    const double unit = vector->width / symbol->width;
    const auto modulesOf = [unit](float length) {
        return int(std::lround(length / unit));
    };
    for (const zint_vector_rect* r = vector->rectangles; r; r = r->next) {
        const QRect rect(modulesOf(r->x), modulesOf(r->y), modulesOf(r->width), modulesOf(r->height));
        if (!rect.isEmpty())
            m_dark.append(rect);
    }
    m_modules = QSize(symbol->width, modulesOf(vector->height));
    return true;
}
