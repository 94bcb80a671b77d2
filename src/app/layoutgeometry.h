#pragma once
// Geometry of the layout editor's canvas: millimetres shown and typed for positions and sizes,
// the box an object covers on the page when turned, aligning and distributing objects, and a
// free place for a new object. Objects are maps in layout units as the canvas records hold them:
// "x", "y" (centre), "width", "height", "rotation" (degrees), "item_id".

#include <QObject>
#include <QRectF>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

class LayoutGeometry : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Millimetres with one decimal ("12.5") for a length in layout units.
    Q_INVOKABLE static QString millimetreText(double units);
    // Whole layout units of a typed length in millimetres ("12.5", "12,5", " 7 "); an invalid
    // value (undefined in QML) for anything else.
    Q_INVOKABLE static QVariant unitsFromMillimetreText(const QString& text);

    // {"left", "top", "right", "bottom"}: the box the object covers on the page, turned.
    Q_INVOKABLE static QVariantMap bounds(const QVariantMap& object);
    // The object with one of "left", "top", "width", "height" set to units (the others as they
    // were): {"x", "y", "width", "height"}. A new size keeps the covered box's top left corner.
    Q_INVOKABLE static QVariantMap withGeometry(const QVariantMap& object, const QString& field,
                                                double units);

    // Shifts {"item_id", "dx", "dy"} that align the objects: "left", "center", "right", "top",
    // "middle", "bottom" line up their covered boxes with each other, or with the label when
    // there is one object; "horizontal" and "vertical" spread three or more so that the gaps
    // between them are equal, the outermost staying where they are. An object's "followers"
    // (a list of objects) move with it and count as part of its box.
    Q_INVOKABLE static QVariantList aligned(const QVariantList& objects, const QString& how, double pageWidth,
                                            double pageHeight);

    // {"dx", "dy", "clear"} that move the group (an object and its followers) to the first place,
    // in reading order on the grid, where it lies inside the label and clear of the others by a
    // small gap ("clear" true); where there is no such place, where it covers the least of them. A drawn
    // frame (an outlined rectangle or ellipse) is in the way only along its outline: inside it is room.
    Q_INVOKABLE static QVariantMap freePlace(const QVariantList& group, const QVariantList& others,
                                             double pageWidth, double pageHeight, int grid);

    // The shift that brings a moving box onto its neighbours: per axis, the nearest of its edges
    // and centre that lies within `reach` of an edge or centre of one of `targets`; where none
    // does, its left (top) edge onto the grid (a grid below 1: no shift on that axis).
    static QPointF snapOffset(const QRectF& box, const QList<QRectF>& targets, double grid, double reach);
    // The same for one edge being dragged (a resize): the shift of that edge alone.
    static double snapEdge(double edge, Qt::Orientation orientation, const QList<QRectF>& targets,
                           double grid, double reach);

    static QRectF boundingBox(const QVariantMap& object);
    static QRectF boundingBox(const QVariantList& objects);
    // Room kept between a placed object and the label's edge or its neighbours (2 mm).
    static constexpr double kGap = 16;
};
