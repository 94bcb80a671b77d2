#include "editortesthelper.h"

#include "app/layoutobjectview.h"
#include "app/previewreport.h"
#include "app/viewer.h"
#include "barcodedecode.h"
#include "printing/printhandler.h"
#include "printing/printworker.h"
#include "samplereports.h"
#include "settings/systempaths.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>

namespace {

QImage renderStoredLayout(const QString& name)
{
    PrintWorker worker(QString(), PrintHandler::loadLayoutFile(name), QSizeF(60, 60), QString(), nullptr, 1,
                       false);
    return worker.renderLabel();
}

// Black pixels of `image` with no black pixel of `other` at most one pixel away.
int unmatchedBlack(const QImage& image, const QImage& other)
{
    const auto black = [](const QImage& picture, int x, int y) {
        return x >= 0 && y >= 0 && x < picture.width() && y < picture.height() &&
               picture.constScanLine(y)[x] < 128;
    };
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!black(image, x, y))
                continue;
            bool matched = false;
            for (int dy = -1; dy <= 1 && !matched; ++dy)
                for (int dx = -1; dx <= 1 && !matched; ++dx)
                    matched = black(other, x + dx, y + dy);
            count += matched ? 0 : 1;
        }
    }
    return count;
}

} // namespace

QVariantMap EditorTestHelper::compareCanvasWithPrint(QObject* page, const QString& layoutText) const
{
    auto* pageItem = qobject_cast<QQuickItem*>(page);
    if (!pageItem)
        return {};
    // The canvas as the scene draws it: each object's picture placed by its item's transform on
    // the white page (the software renderer off screen gives no window picture to grab).
    const QSize size(qRound(pageItem->width()), qRound(pageItem->height()));
    QStringList objectCodes;
    QImage drawn(size, QImage::Format_RGB32);
    drawn.fill(Qt::white);
    {
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        // Through the visual tree: the canvas's delegates have no object parent.
        QList<QQuickItem*> items = pageItem->childItems();
        while (!items.isEmpty()) {
            QQuickItem* next = items.takeFirst();
            if (!next->isVisible())
                continue;
            items += next->childItems();
            const auto* view = qobject_cast<LayoutObjectView*>(next);
            if (!view)
                continue;
            bool mapped = false;
            const QTransform transform = view->itemTransform(pageItem, &mapped);
            if (!mapped)
                continue;
            painter.setTransform(transform);
            painter.drawImage(QPointF(0, 0), view->image());
            // Each object alone, on white with room around it, as a scanner is held over one code.
            QImage alone(view->image().size() + QSize(80, 80), QImage::Format_RGB32);
            alone.fill(Qt::white);
            QPainter(&alone).drawImage(QPoint(40, 40), view->image());
            objectCodes += TestSupport::decodeBarcodes(alone);
            for (const char* format : {"DataMatrix", "PDF417"}) {
                for (const TestSupport::ZXingSymbol& symbol :
                     TestSupport::decodeWithZXing(alone, QLatin1String(format)))
                    objectCodes += symbol.text;
            }
        }
    }
    const QImage canvas = drawn.convertToFormat(QImage::Format_Grayscale8);
    const QJsonObject layout = QJsonDocument::fromJson(layoutText.toUtf8()).object();
    PrintWorker worker(QString(), layout, QSizeF(60, 60), QString(), nullptr, 1, false);
    // The whole page at the canvas's scale, then the same inner part.
    const QImage printed = worker.renderPageImage(size).convertToFormat(QImage::Format_Grayscale8);
    int black = 0;
    for (int y = 0; y < printed.height(); ++y)
        for (int x = 0; x < printed.width(); ++x)
            black += printed.constScanLine(y)[x] < 128 ? 1 : 0;
    return {{QStringLiteral("black"), black},
            {QStringLiteral("differing"), unmatchedBlack(canvas, printed) + unmatchedBlack(printed, canvas)},
            {QStringLiteral("canvasCodes"), TestSupport::decodeBarcodes(canvas)},
            {QStringLiteral("printedCodes"), TestSupport::decodeBarcodes(printed)},
            {QStringLiteral("objectCodes"), objectCodes}};
}

QString EditorTestHelper::layoutFileText(const QString& name) const
{
    QFile file(SystemPaths::instance().layoutDir + name + QStringLiteral(".lyson"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QStringList EditorTestHelper::decodeStoredLayout(const QString& name) const
{
    return TestSupport::decodeBarcodes(renderStoredLayout(name));
}

int EditorTestHelper::blackPixelsIn(const QString& name, int x, int y, int width, int height) const
{
    const QImage label = renderStoredLayout(name).convertToFormat(QImage::Format_Grayscale8);
    const int scale = 5; // label pixels per layout unit
    const QRect box = QRect(x * scale, y * scale, width * scale, height * scale).intersected(label.rect());
    int count = 0;
    for (int row = box.top(); row <= box.bottom(); ++row) {
        const uchar* line = label.constScanLine(row);
        for (int column = box.left(); column <= box.right(); ++column)
            count += line[column] < 128 ? 1 : 0;
    }
    return count;
}

void EditorTestHelper::offerReports(int count, const QStringList& models) const
{
    QList<QByteArray> reports;
    for (int n = 1; n <= count; ++n) {
        QByteArray report = TestSupport::sampleReportVariant(QStringLiteral("Apple"), n);
        if (!models.isEmpty())
            report.replace("iPhone 12 128GB Blue", models.at((n - 1) % models.size()).toUtf8());
        reports << report;
    }
    Viewer::instance()->previewReport()->reports()->setConsoleReports(reports, true);
}

QString EditorTestHelper::makePicture(const QString& fileName, int width, int height) const
{
    static QTemporaryDir folder;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(QRect(width / 8, height / 8, width * 3 / 4, height * 3 / 4), Qt::black);
    painter.end();
    const QString path = folder.filePath(fileName);
    return image.save(path) ? path : QString();
}

QString EditorTestHelper::screenshotDir() const
{
    return qEnvironmentVariable("EDITOR_SCREENSHOTS_DIR");
}

QString EditorTestHelper::screenshot(QObject* item, const QString& name) const
{
    auto* quickItem = qobject_cast<QQuickItem*>(item);
    if (screenshotDir().isEmpty() || !quickItem || !quickItem->window())
        return QString();
    QDir().mkpath(screenshotDir());
    const QString path = QDir(screenshotDir()).filePath(name + QStringLiteral(".png"));
    return quickItem->window()->grabWindow().save(path) ? path : QString();
}
