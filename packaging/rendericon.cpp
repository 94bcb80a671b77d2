// Build step of the package: draws the window's SVG icon as PNG files in the sizes that desktops
// look up, so the installed icons can never drift from the one the window shows.
//   rendericon SVG OUTPUT_DIR NAME SIZE...   writes OUTPUT_DIR/<SIZE>x<SIZE>/apps/NAME.png

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: rendericon SVG OUTPUT_DIR NAME SIZE...\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "rendericon: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString outputDir = QString::fromLocal8Bit(argv[2]);
    const QString name = QString::fromLocal8Bit(argv[3]);
    for (int i = 4; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "rendericon: not a size: %s\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outputDir).arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        if (!QDir().mkpath(dir) || !image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "rendericon: cannot write into %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
