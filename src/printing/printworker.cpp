#include "printing/printworker.h"

#include "logging/logger.h"
#include "printing/barcodeprintitem_.h"
#include "printing/layoutitem.h"
#include "printing/layoutlength.h"
#include "printing/layoutmanager.h"
#include "report/reportdevice.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QPrinterInfo>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

bool hasLayoutKeys(const QJsonObject& layout)
{
    for (const char* key : {"width", "height", "objects", "name"}) {
        if (!layout.contains(QLatin1String(key)))
            return false;
    }
    return true;
}

// How the user recognises an object of the layout in a note.
QString describeObject(const QJsonObject& record)
{
    const QString type = record.value(QLatin1String("type")).toString(QStringLiteral("object"));
    QString what = record.value(QLatin1String("contentOrder")).toString();
    if (what.isEmpty())
        what = record.value(QLatin1String("unformattedString")).toString().left(40);
    if (what.isEmpty())
        what = record.value(QLatin1String("sourceImage")).toString();
    return what.isEmpty() ? type : QStringLiteral("%1 \"%2\"").arg(type, what);
}

QPageSize millimetrePage(const QSizeF& size, const QString& name = QString())
{
    return QPageSize(size, QPageSize::Millimeter, name, QPageSize::FuzzyMatch);
}

} // namespace

PrintWorker::PrintWorker(const QString& printerName, const QJsonObject& layout, const QSizeF& requestedSizeMm,
                         const QString& paperName, Device* device, int copies, bool upsideDown,
                         QObject* parent)
    : QObject(parent), m_printerName(printerName), m_layout(layout), m_copies(copies),
      m_upsideDown(upsideDown)
{
    if (device)
        m_device = new ReportDevice(device, this);
    const bool fixed = m_layout.value(QLatin1String("fixedsize")).toBool(false);
    // Without a printer name the print system is not asked (the caller chooses from its output's papers).
    const QList<QPageSize> papers = fixed || m_printerName.isEmpty()
                                        ? QList<QPageSize>()
                                        : QPrinterInfo::printerInfo(m_printerName).supportedPageSizes();
    m_pageSize = choosePageSize(m_layout, requestedSizeMm, paperName, papers);
}

PrintWorker::~PrintWorker() = default;

QPageSize PrintWorker::choosePageSize(const QJsonObject& layout, const QSizeF& requestedSizeMm,
                                      const QString& paperName, const QList<QPageSize>& printerPapers)
{
    QPageSize pageSize;
    const QJsonValue fixed = layout.value(QLatin1String("fixedsize"));
    const LayoutLength layoutWidth = LayoutLength::fromJson(layout.value(QLatin1String("width")));
    const LayoutLength layoutHeight = LayoutLength::fromJson(layout.value(QLatin1String("height")));
    // The label's own size; a layout without one falls back to what the caller asked for.
    QSizeF ownSize = requestedSizeMm;
    if (layoutWidth.units() > 0 && layoutHeight.units() > 0)
        ownSize = QSizeF(layoutWidth.millimetres(), layoutHeight.millimetres());

    if (fixed.isBool() && fixed.toBool()) {
        const int width = layoutWidth.wholeMillimetres();
        const int height = layoutHeight.wholeMillimetres();
        pageSize =
            millimetrePage(QSizeF(width, height), QStringLiteral("%1mm x %2mm").arg(width).arg(height));
    } else {
        QString underscored = paperName;
        underscored.replace(QLatin1String(" x "), QLatin1String("_x_"));
        const auto named = [&](const QPageSize& paper) {
            return !paperName.isEmpty() && (paper.name() == paperName || paper.name() == underscored);
        };
        // Drivers give papers in points or inches, so a label's whole millimetres come out a little off.
        const auto ofOwnSize = [&](const QPageSize& paper) {
            const QSizeF size = paper.size(QPageSize::Millimeter);
            return qAbs(size.width() - ownSize.width()) <= kPaperToleranceMm &&
                   qAbs(size.height() - ownSize.height()) <= kPaperToleranceMm;
        };
        auto match = std::find_if(printerPapers.cbegin(), printerPapers.cend(), named);
        if (match == printerPapers.cend())
            match = std::find_if(printerPapers.cbegin(), printerPapers.cend(), ofOwnSize);
        if (match != printerPapers.cend()) {
            const QSizeF size = match->size(QPageSize::Millimeter);
            pageSize = millimetrePage(size);
            qDebug() << "USing stuff from printerInfo" << pageSize << "was " << size;
        } else {
            // No paper of the printer fits: print at the label's size rather than stretch it.
            pageSize = millimetrePage(ownSize);
        }
    }
    const QSizeF size = pageSize.size(QPageSize::Millimeter);
    if (!pageSize.isValid() || size.width() <= 0 || size.height() <= 0)
        pageSize = millimetrePage(requestedSizeMm);
    if (!pageSize.isValid())
        qDebug() << "PAGE SIZE IS NOOOOOOOOT VALID!!!!!!!!";
    return pageSize;
}

bool PrintWorker::print(QPainter* painter)
{
    bool result = false;
    const bool called =
        QMetaObject::invokeMethod(this, m_slotName.toLatin1().constData(), Qt::DirectConnection,
                                  Q_RETURN_ARG(bool, result), Q_ARG(QPainter*, painter));
    return called && result;
}

void PrintWorker::prepareWhitePainter(QPainter* painter, const QRect& area)
{
    painter->setPen(QPen(QBrush(Qt::white), 0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->setBrush(QBrush(Qt::white, Qt::SolidPattern));
    // Painted rather than QImage::fill: on a one-bit image fill(Qt::white) selects index 0, black.
    painter->fillRect(area, Qt::white);
    painter->setPen(QColor(Qt::black));
}

PrintWorker::Objects PrintWorker::buildObjects(const QJsonArray& records, Device* device, bool preview)
{
    Objects objects;
    objects.reserve(size_t(records.size()));
    for (const QJsonValue& value : records) {
        objects.emplace_back(createLayoutItem(device, value.toObject(), 1));
        if (!objects.back() && preview)
            qDebug() << "pung... got null item";
    }
    return objects;
}

void PrintWorker::paintObjects(const QJsonArray& records, const Objects& objects, QImage* image,
                               QPainter* painter, bool preview, QStringList* problems,
                               QList<ObjectProblem>* objectProblems)
{
    const auto note = [objectProblems](const LayoutItem& item, const QString& fallback) {
        if (!objectProblems)
            return;
        const QString problem = item.fitProblem().isEmpty() ? fallback : item.fitProblem();
        if (!problem.isEmpty())
            objectProblems->append(
                {item.record().value(QLatin1String("item_id")).toInt(-1), item.displayName(), problem});
    };
    for (size_t i = 0; i < objects.size(); ++i) {
        LayoutItem* item = objects[i].get();
        if (!item)
            continue;
        const QJsonObject record = records.at(int(i)).toObject();
        if (!item->isValid()) {
            const QString text = QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
            if (preview)
                qDebug() << "Object is not valid. Refusing to print it" << text;
            else
                logPrintf("Object is not valid. Refusing to print it %s\n", qPrintable(text));
            note(*item, tr("not printed"));
            if (problems)
                problems->append(describeObject(record));
            continue;
        }
        // Each object starts from the label's own transform, whatever the one before left behind.
        painter->save();
        const bool painted = item->paint(image, painter);
        painter->restore();
        if (!painted && problems)
            problems->append(describeObject(record));
        note(*item, painted ? QString() : tr("not printed"));
    }
}

void PrintWorker::paintLayout(QImage* image, QPainter* painter)
{
    m_problems.clear();
    m_objectProblems.clear();
    const QJsonArray records = m_layout.value(QLatin1String("objects")).toArray();
    if (m_resolved) {
        paintObjects(records, m_objects, image, painter, false, &m_problems, &m_objectProblems);
        return;
    }
    // Built for this painting only: each object's values as the device has them now.
    const Objects objects = buildObjects(records, m_device, false);
    paintObjects(records, objects, image, painter, false, &m_problems, &m_objectProblems);
}

void PrintWorker::resolveObjects()
{
    if (m_resolved)
        return;
    m_objects = buildObjects(m_layout.value(QLatin1String("objects")).toArray(), m_device, false);
    m_resolved = true;
    // Nothing asks the device any more; its report may go.
    delete m_device;
    m_device = nullptr;
}

QList<QPair<QString, QString>> PrintWorker::barcodeContents() const
{
    QList<QPair<QString, QString>> contents;
    const auto add = [&contents](const LayoutItem* item) {
        const auto* barcode = qobject_cast<const BarcodePrintItem_*>(item);
        if (barcode && barcode->isValid() && !barcode->content().isEmpty())
            contents.append({barcode->symbology(), barcode->content()});
    };
    if (m_resolved) {
        for (const std::unique_ptr<LayoutItem>& item : m_objects)
            add(item.get());
        return contents;
    }
    const QJsonArray objects = m_layout.value(QLatin1String("objects")).toArray();
    QObject quietParent;
    for (const QJsonValue& value : objects) {
        const QJsonObject record = value.toObject();
        if (!record.value(QLatin1String("type")).toString().startsWith(QLatin1String("BarCode")))
            continue;
        const BarcodePrintItem_ item(m_device, record, 1, &quietParent);
        add(&item);
    }
    return contents;
}

bool PrintWorker::drawableSize(QSize* units) const
{
    if (!hasLayoutKeys(m_layout)) {
        logPrintf("%s Missing data! [%s]\n", Q_FUNC_INFO, qPrintable(m_layout.keys().join(QLatin1Char(','))));
        return false;
    }
    if (!m_layout.value(QLatin1String("objects")).isArray()) {
        logPrintf("%s Invalid objects definition\n", Q_FUNC_INFO);
        return false;
    }
    const int width = LayoutLength::fromJson(m_layout.value(QLatin1String("width"))).units();
    const int height = LayoutLength::fromJson(m_layout.value(QLatin1String("height"))).units();
    if (width <= 0 || height <= 0) {
        logPrintf("%s Invalid label size %d x %d\n", Q_FUNC_INFO, width, height);
        return false;
    }
    *units = QSize(width, height);
    return true;
}

QImage PrintWorker::renderLabel()
{
    QSize units;
    if (!drawableSize(&units))
        return QImage();
    const int width = units.width() * LayoutLength::kLabelPixelsPerUnit;
    const int height = units.height() * LayoutLength::kLabelPixelsPerUnit;
    QImage image(width, height, QImage::Format_Mono);
    // Painting then happens in layout units while every unit holds five pixels.
    image.setDevicePixelRatio(LayoutLength::kLabelPixelsPerUnit);
    QPainter painter(&image);
    prepareWhitePainter(&painter, QRect(0, 0, width, height));
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    paintLayout(&image, &painter);
    painter.end();
    return image;
}

bool PrintWorker::printFromJsonObject(QPainter* painter)
{
    if (!painter)
        return false;
    const QImage label = renderLabel();
    if (label.isNull())
        return false;
    painter->drawImage(QRectF(painter->viewport()), label, QRectF(0, 0, label.width(), label.height()));
    return true;
}

QImage PrintWorker::renderPageImage(const QSize& pagePixels)
{
    QSize units;
    if (!drawableSize(&units) || pagePixels.isEmpty())
        return QImage();
    const int width = units.width();
    const int height = units.height();
    // Painted in grey (the raster engine's fast path), then cut to black and white once.
    QImage work(pagePixels, QImage::Format_Grayscale8);
    {
        QPainter painter(&work);
        prepareWhitePainter(&painter, work.rect());
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        // Layout units to page pixels, once: the objects draw at the output's own resolution.
        painter.scale(pagePixels.width() / double(width), pagePixels.height() / double(height));
        paintLayout(&work, &painter);
    }
    return blackAndWhite(work);
}

QImage PrintWorker::blackAndWhite(const QImage& grey)
{
    // Black as colour 0: the PDF printer then embeds the page as a one-bit image, which is ten times
    // quicker to write than the eight-bit grey it makes of a white-first table. Cut here rather than
    // by QImage's converter, which goes through 32-bit colour and took half the painting time.
    QImage page(grey.size(), QImage::Format_Mono);
    if (page.isNull())
        return page;
    page.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    page.setDotsPerMeterX(grey.dotsPerMeterX());
    page.setDotsPerMeterY(grey.dotsPerMeterY());
    const int width = grey.width();
    const int whole = width / 8;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* in = grey.constScanLine(y);
        uchar* out = page.scanLine(y);
        std::fill(out, out + page.bytesPerLine(), uchar(0));
        // Grey below the middle is black (bit clear), as Qt's threshold cut does it: the top bit of
        // each grey byte is the pixel's bit, eight pixels to a byte without a branch.
        for (int b = 0; b < whole; ++b) {
            const uchar* p = in + 8 * b;
            out[b] = uchar((p[0] >> 7) << 7 | (p[1] >> 7) << 6 | (p[2] >> 7) << 5 | (p[3] >> 7) << 4 |
                           (p[4] >> 7) << 3 | (p[5] >> 7) << 2 | (p[6] >> 7) << 1 | (p[7] >> 7));
        }
        for (int x = 8 * whole; x < width; ++x)
            out[x >> 3] |= uchar((in[x] >> 7) << (7 - (x & 7)));
    }
    return page;
}

QImage PrintWorker::renderLabelAt(double dotsPerInch)
{
    QSize units;
    if (!drawableSize(&units))
        return QImage();
    const double unitsToDots = dotsPerInch / 25.4 / LayoutLength::kUnitsPerMillimetre;
    return renderPageImage(
        QSize(int(std::lround(units.width() * unitsToDots)), int(std::lround(units.height() * unitsToDots))));
}

bool PrintWorker::createPreviewImage(const QJsonObject& layout, const QString& layoutDir)
{
    if (!hasLayoutKeys(layout)) {
        qDebug() << Q_FUNC_INFO << "Missing data!" << layout.keys();
        return false;
    }
    const int width = layout.value(QLatin1String("width")).toInt(-1);
    const int height = layout.value(QLatin1String("height")).toInt(-1);
    if (!layout.value(QLatin1String("objects")).isArray()) {
        qDebug() << Q_FUNC_INFO << "Invalid objects definition";
        return false;
    }
    const QString name = layout.value(QLatin1String("name")).toString();
    if (!LayoutManager::isSafeFileName(name)) {
        qDebug() << Q_FUNC_INFO << "Refusing layout name" << name;
        return false;
    }
    if (width <= 0 || height <= 0) {
        qDebug() << Q_FUNC_INFO << "Invalid label size" << width << height;
        return false;
    }
    QImage image(width, height, QImage::Format_Mono);
    image.setDevicePixelRatio(1.0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    prepareWhitePainter(&painter, image.rect());
    const QJsonArray records = layout.value(QLatin1String("objects")).toArray();
    paintObjects(records, buildObjects(records, nullptr, true), &image, &painter, true);
    painter.end();

    const QString file = QDir(layoutDir).filePath(name + QStringLiteral(".png"));
    if (QFile::exists(file))
        QFile::remove(file);
    if (!image.save(file, "PNG")) {
        qDebug() << Q_FUNC_INFO << "Failed to save preview" << file;
        return false;
    }
    return true;
}
