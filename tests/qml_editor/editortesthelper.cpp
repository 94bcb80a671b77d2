#include "editortesthelper.h"

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

} // namespace

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
