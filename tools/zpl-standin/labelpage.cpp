#include "labelpage.h"

namespace {

// Dots are only ever added: a white dot of a graphic does not clear one printed by another field.
void drawOnto(QImage* page, const QImage& graphic, const QPoint& at)
{
    const QRect area = QRect(at, graphic.size()).intersected(page->rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (graphic.pixelIndex(x - at.x(), y - at.y()) == 1)
                page->setPixel(x, y, 1);
}

} // namespace

QImage LabelPage::render(const QList<ZplFormat::Graphic>& graphics, const PrinterSettings& settings)
{
    const QPoint offset = settings.labelHome + QPoint(-settings.labelShift, settings.labelTop);
    QRect reach;
    for (const ZplFormat::Graphic& graphic : graphics)
        reach |= QRect(offset + graphic.origin, graphic.image.size());
    const int width = settings.printWidth > 0 ? settings.printWidth : qMax(1, reach.right() + 1);
    const int height = settings.labelLength > 0 ? settings.labelLength : qMax(1, reach.bottom() + 1);

    QImage page(width, height, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    page.fill(0);
    for (const ZplFormat::Graphic& graphic : graphics)
        drawOnto(&page, graphic.image, offset + graphic.origin);
    return settings.orientation == 'I' ? page.mirrored(true, true) : page;
}
