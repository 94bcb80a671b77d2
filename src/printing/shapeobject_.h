#pragma once
// An image (logo) object of a label, or one of the editor's simple drawn shapes.

#include "printing/layoutitem.h"

#include <QString>

class ShapeObject_ : public LayoutItem
{
    Q_OBJECT
public:
    enum Roles
    {
        SourceImageRole = 2304,
        SourceShapeRole,
        MaintainAspectRatioRole
    };

    ShapeObject_(Device* device, const QJsonObject& record, int scale, QObject* parent = nullptr);

    bool paint(QPaintDevice* target, QPainter* painter) override;
    QVariant data(int role) const override;
    static const QHash<int, QByteArray>& roleNames();

    // The image file to draw: the path as written, else the logo of that name in the local logo
    // folder (layouts imported from another station carry that station's paths); empty if neither.
    static QString resolveImage(const QString& sourceImage);
    // The drawn shapes printed when there is no image; other names print nothing.
    static QStringList knownShapes();

private:
    bool paintShape(QPainter* painter);

    QString m_sourceImage;
    QString m_sourceShape;
    bool m_keepAspect = false;
    QString m_imageFile;
};
