#pragma once
// A two-dimensional code (QR Code, Data Matrix, PDF417) encoded in-process by libzint: the symbol's
// size and its dark modules, in modules.

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

class MatrixCode
{
public:
    // Symbology names as layouts store them.
    static constexpr const char* kQrCode = "qrcode";
    static constexpr const char* kDataMatrix = "datamatrix";
    static constexpr const char* kPdf417 = "pdf417";

    static bool handles(const QString& symbology);
    static QStringList symbologies();
    // The white border the symbology asks for on each side, in modules.
    static int defaultQuietZone(const QString& symbology);

    // Encodes the content (UTF-8; for Data Matrix with gs1 set, GS1 element strings such as
    // "[01]09501101530003[10]AB-123"). False with zint's reason in *error when it refuses.
    bool encode(const QString& symbology, const QString& content, bool gs1, QString* error);

    // The symbol without its quiet zone.
    QSize modules() const { return m_modules; }
    // The dark parts of the symbol, each a whole number of modules.
    const QVector<QRect>& dark() const { return m_dark; }

private:
    QSize m_modules;
    QVector<QRect> m_dark;
};
