#include "app/layoutobjectview.h"

#include "app/layoutdocument.h"
#include "printing/layoutitem.h"
#include "report/device.h"

#include <QJsonDocument>
#include <QPainter>
#include <QtMath>

#include <memory>

namespace {

// What decides the picture: the position and the turn are the item's own.
QJsonObject withoutPlacement(QJsonObject stored)
{
    stored.remove(QStringLiteral("x"));
    stored.remove(QStringLiteral("y"));
    stored.remove(QStringLiteral("rotation"));
    return stored;
}

} // namespace

LayoutObjectView::LayoutObjectView(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(false);
    // Width and height follow the record and zoom; a resize of the item alone changes nothing drawn.
    connect(this, &QQuickItem::widthChanged, this, [this] { update(); });
    connect(this, &QQuickItem::heightChanged, this, [this] { update(); });
}

void LayoutObjectView::setRecord(const QVariantMap& record)
{
    if (record == m_record)
        return;
    m_record = record;
    emit recordChanged();
    invalidate();
}

void LayoutObjectView::setDocument(LayoutDocument* document)
{
    if (document == m_document)
        return;
    m_document = document;
    emit documentChanged();
    m_drawnRecord = QJsonObject();
    invalidate();
}

void LayoutObjectView::setDevice(QObject* device)
{
    if (device == m_device)
        return;
    m_device = device;
    emit deviceChanged();
    m_drawnRecord = QJsonObject();
    invalidate();
}

void LayoutObjectView::setZoom(qreal zoom)
{
    if (qFuzzyCompare(zoom, m_zoom) || zoom <= 0)
        return;
    m_zoom = zoom;
    emit zoomChanged();
    m_drawnRecord = QJsonObject();
    invalidate();
}

void LayoutObjectView::invalidate()
{
    const QJsonObject stored = m_document ? m_document->storedRecord(m_record) : QJsonObject();
    const QJsonObject look = withoutPlacement(stored);
    if (!m_image.isNull() && look == m_drawnRecord)
        return;
    m_drawnRecord = look;
    bool drawn = false;
    m_image = stored.isEmpty() ? QImage()
                               : objectImage(stored, qobject_cast<Device*>(m_device.data()), m_zoom, &drawn);
    if (drawn != m_drawn) {
        m_drawn = drawn;
        emit drawnChanged();
    }
    update();
}

void LayoutObjectView::paint(QPainter* painter)
{
    if (!m_image.isNull())
        painter->drawImage(QPointF(0, 0), m_image);
}

QImage LayoutObjectView::objectImage(const QJsonObject& stored, Device* device, double pixelsPerUnit,
                                     bool* drawn)
{
    if (drawn)
        *drawn = false;
    const int width = stored.value(QStringLiteral("width")).toInt(-1);
    const int height = stored.value(QStringLiteral("height")).toInt(-1);
    if (width <= 0 || height <= 0 || pixelsPerUnit <= 0)
        return QImage();
    QImage image(qCeil(width * pixelsPerUnit), qCeil(height * pixelsPerUnit),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    // Centred in its own box and unturned: the object then draws in (0, 0, width, height).
    QJsonObject local = stored;
    local.insert(QStringLiteral("x"), width / 2);
    local.insert(QStringLiteral("y"), height / 2);
    local.insert(QStringLiteral("rotation"), 0);
    const std::unique_ptr<LayoutItem> item(createLayoutItem(device, local, 1));
    if (!item || !item->isValid())
        return QImage();
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.setPen(QColor(Qt::black));
        painter.scale(pixelsPerUnit, pixelsPerUnit);
        const bool painted = item->paint(&image, &painter);
        if (drawn)
            *drawn = painted;
    }
    // The printer's cut: what would be darker than middle grey on white paper is black; what the
    // object painted light and (mostly) opaque is white; the rest lets the page show through.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const int alpha = qAlpha(pixel);
            if (alpha == 0)
                continue;
            const int premultipliedGrey = qGray(pixel);
            const int onWhite = premultipliedGrey + 255 - alpha;
            if (onWhite < 128)
                line[x] = qRgba(0, 0, 0, 255);
            else if (alpha >= 128 && premultipliedGrey * 2 >= alpha)
                line[x] = qRgba(255, 255, 255, 255);
            else
                line[x] = 0;
        }
    }
    return image;
}
