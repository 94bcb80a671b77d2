#pragma once
// One object of the layout editor's canvas, painted by the same object painting as the printed label
// (at the screen's scale and cut to black and white as the printer gets it), so the designer sees the
// real barcode, the text as elided and the logo as printed. Where nothing is painted the item is
// transparent, so objects beneath show through as they would on the page.

#include "app/layoutdocument.h"

#include <QImage>
#include <QJsonObject>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QVariantMap>

class Device;

class LayoutObjectView : public QQuickPaintedItem
{
    Q_OBJECT
    // The object as the canvas holds it (LayoutDocument::editorRecords); written to its stored form
    // through `document`, so texts are escaped exactly as the saved layout has them.
    Q_PROPERTY(QVariantMap record READ record WRITE setRecord NOTIFY recordChanged)
    Q_PROPERTY(LayoutDocument* document READ document WRITE setDocument NOTIFY documentChanged)
    // The report the label is shown for (a Device); none gives the example values.
    Q_PROPERTY(QObject* device READ device WRITE setDevice NOTIFY deviceChanged)
    // Screen pixels per layout unit.
    Q_PROPERTY(qreal zoom READ zoom WRITE setZoom NOTIFY zoomChanged)
    // False when the printing could not draw the object (no content, a code that cannot be encoded).
    Q_PROPERTY(bool drawn READ drawn NOTIFY drawnChanged)
public:
    explicit LayoutObjectView(QQuickItem* parent = nullptr);

    QVariantMap record() const { return m_record; }
    void setRecord(const QVariantMap& record);
    LayoutDocument* document() const { return m_document; }
    void setDocument(LayoutDocument* document);
    QObject* device() const { return m_device; }
    void setDevice(QObject* device);
    qreal zoom() const { return m_zoom; }
    void setZoom(qreal zoom);
    bool drawn() const { return m_drawn; }

    void paint(QPainter* painter) override;
    // What paint() draws at the item's top left corner.
    QImage image() const { return m_image; }

    // The object of a stored record drawn unrotated into its own box at `pixelsPerUnit`: black and
    // white where the page would have them (a text's white background, say), transparent elsewhere.
    // `drawn` tells whether the printing drew it at all.
    static QImage objectImage(const QJsonObject& stored, Device* device, double pixelsPerUnit,
                              bool* drawn = nullptr);

signals:
    void recordChanged();
    void documentChanged();
    void deviceChanged();
    void zoomChanged();
    void drawnChanged();

private:
    // Drops the image when what it shows changed (not for a move or a turn: the item does those).
    void invalidate();

    QVariantMap m_record;
    QPointer<LayoutDocument> m_document;
    QPointer<QObject> m_device;
    qreal m_zoom = 1;
    bool m_drawn = false;
    QJsonObject m_drawnRecord;
    QImage m_image;
};
