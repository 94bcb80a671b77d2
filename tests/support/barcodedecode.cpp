#include "barcodedecode.h"

#include <QDebug>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace TestSupport {

QStringList decodeBarcodes(const QImage& image)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("label.png"));
    if (!dir.isValid() || !image.save(file, "PNG")) {
        qWarning() << "Could not write the image to decode";
        return {};
    }
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"),
               {QStringLiteral("-q"), QStringLiteral("--nodbus"), QStringLiteral("--raw"), file});
    if (!zbar.waitForFinished(60000)) {
        qWarning() << "zbarimg did not run:" << zbar.errorString();
        return {};
    }
    // --raw separates symbols with line feeds; it exits 4 when it found nothing.
    return QString::fromUtf8(zbar.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<ZXingSymbol> decodeWithZXing(const QImage& image, const QString& format, bool* missing)
{
    if (missing)
        *missing = QStandardPaths::findExecutable(QStringLiteral("ZXingReader")).isEmpty();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("label.png"));
    if (!dir.isValid() || !image.save(file, "PNG")) {
        qWarning() << "Could not write the image to decode";
        return {};
    }
    QProcess reader;
    reader.start(QStringLiteral("ZXingReader"), {QStringLiteral("-format"), format, file});
    if (!reader.waitForFinished(60000)) {
        qWarning() << "ZXingReader did not run:" << reader.errorString();
        return {};
    }
    // One block of "Name:   value" lines per symbol; the text is quoted.
    QList<ZXingSymbol> symbols;
    const QStringList lines = QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QString value = line.section(QLatin1Char(':'), 1, -1).trimmed();
        if (line.startsWith(QLatin1String("Text:")))
            symbols.append({value.mid(1, value.size() - 2), QString()});
        else if (line.startsWith(QLatin1String("Identifier:")) && !symbols.isEmpty())
            symbols.last().identifier = value;
    }
    return symbols;
}

QImage rasterisePdf(const QString& pdfFile, int dpi)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    QProcess pdftoppm;
    pdftoppm.start(QStringLiteral("pdftoppm"),
                   {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
                    QStringLiteral("-singlefile"), pdfFile, prefix});
    if (!pdftoppm.waitForFinished(60000) || pdftoppm.exitCode() != 0) {
        qWarning() << "pdftoppm failed:" << pdftoppm.errorString() << pdftoppm.readAllStandardError();
        return {};
    }
    return QImage(prefix + QStringLiteral(".pgm"));
}

} // namespace TestSupport
