#include "app/layoutgeometry.h"

#include "printing/layoutlength.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTransform>
#include <QtMath>

#include <algorithm>
#include <limits>

namespace {

double number(const QVariantMap& map, const char* key)
{
    return map.value(QLatin1String(key)).toDouble();
}

QVariantMap shift(const QVariant& id, double dx, double dy)
{
    return {{QStringLiteral("item_id"), id}, {QStringLiteral("dx"), dx}, {QStringLiteral("dy"), dy}};
}

// The object's own box together with those of the objects that follow it.
QRectF groupBox(const QVariantMap& object)
{
    QRectF box = LayoutGeometry::boundingBox(object);
    for (const QVariant& follower : object.value(QStringLiteral("followers")).toList())
        box |= LayoutGeometry::boundingBox(follower.toMap());
    return box;
}

// An outlined shape drawn around other objects, not a picture that covers them.
bool isFrame(const QVariantMap& object)
{
    const QString shape = object.value(QStringLiteral("sourceShape")).toString();
    return object.value(QStringLiteral("type")).toString() == QLatin1String("ShapeObject.qml") &&
           object.value(QStringLiteral("sourceImage")).toString().isEmpty() &&
           (shape == QLatin1String("rectangle") || shape == QLatin1String("ellipse"));
}

// Left, centre and right (or top, middle and bottom) of a box.
QList<double> lines(const QRectF& box, Qt::Orientation orientation)
{
    if (orientation == Qt::Horizontal)
        return {box.left(), box.center().x(), box.right()};
    return {box.top(), box.center().y(), box.bottom()};
}

// The shortest shift within reach from one of `moving` to a line of the targets; false for none.
bool nearestLine(const QList<double>& moving, Qt::Orientation orientation, const QList<QRectF>& targets,
                 double reach, double* shift)
{
    bool found = false;
    for (const QRectF& target : targets) {
        for (const double line : lines(target, orientation)) {
            for (const double value : moving) {
                const double delta = line - value;
                if (qAbs(delta) <= reach && (!found || qAbs(delta) < qAbs(*shift))) {
                    *shift = delta;
                    found = true;
                }
            }
        }
    }
    return found;
}

double gridShift(double value, double grid)
{
    return grid >= 1 ? qRound(value / grid) * grid - value : 0;
}

double overlapArea(const QRectF& a, const QRectF& b)
{
    const QRectF common = a.intersected(b);
    return common.isValid() ? common.width() * common.height() : 0;
}

} // namespace

QString LayoutGeometry::millimetreText(double units)
{
    const double millimetres = qRound(units * 10 / LayoutLength::kUnitsPerMillimetre) / 10.0;
    // Never "-0.0" for a length that rounds to nothing.
    return QString::number(millimetres == 0 ? 0.0 : millimetres, 'f', 1);
}

QVariant LayoutGeometry::unitsFromMillimetreText(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(-?\\d{0,5}(?:[.,]\\d*)?)\\s*(?:mm)?\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    QString digits = match.captured(1);
    if (!match.hasMatch() || !digits.contains(QRegularExpression(QStringLiteral("\\d"))))
        return QVariant();
    bool ok = false;
    const double millimetres = QLocale::c().toDouble(digits.replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    if (!ok)
        return QVariant();
    return qRound(millimetres * LayoutLength::kUnitsPerMillimetre);
}

QRectF LayoutGeometry::boundingBox(const QVariantMap& object)
{
    const double w = number(object, "width");
    const double h = number(object, "height");
    QTransform placement;
    placement.translate(number(object, "x"), number(object, "y"));
    placement.rotate(number(object, "rotation"));
    return placement.mapRect(QRectF(-w / 2, -h / 2, w, h));
}

QRectF LayoutGeometry::boundingBox(const QVariantList& objects)
{
    QRectF box;
    for (const QVariant& object : objects)
        box = box.isNull() ? boundingBox(object.toMap()) : box | boundingBox(object.toMap());
    return box;
}

QVariantMap LayoutGeometry::bounds(const QVariantMap& object)
{
    const QRectF box = boundingBox(object);
    return {{QStringLiteral("left"), box.left()},
            {QStringLiteral("top"), box.top()},
            {QStringLiteral("right"), box.right()},
            {QStringLiteral("bottom"), box.bottom()}};
}

QVariantMap LayoutGeometry::withGeometry(const QVariantMap& object, const QString& field, double units)
{
    QVariantMap changed = object;
    const QRectF before = boundingBox(object);
    if (field == QLatin1String("width") || field == QLatin1String("height"))
        changed.insert(field, qMax(1.0, units));
    const QRectF after = boundingBox(changed);
    double left = before.left();
    double top = before.top();
    if (field == QLatin1String("left"))
        left = units;
    else if (field == QLatin1String("top"))
        top = units;
    QVariantMap result;
    result.insert(QStringLiteral("x"), number(object, "x") + left - after.left());
    result.insert(QStringLiteral("y"), number(object, "y") + top - after.top());
    result.insert(QStringLiteral("width"), changed.value(QStringLiteral("width")));
    result.insert(QStringLiteral("height"), changed.value(QStringLiteral("height")));
    return result;
}

QVariantList LayoutGeometry::aligned(const QVariantList& objects, const QString& how, double pageWidth,
                                     double pageHeight)
{
    QList<QRectF> boxes;
    QRectF reference;
    for (const QVariant& object : objects) {
        boxes.append(groupBox(object.toMap()));
        reference = reference.isNull() ? boxes.last() : reference | boxes.last();
    }
    if (objects.size() == 1)
        reference = QRectF(0, 0, pageWidth, pageHeight);

    QVariantList shifts;
    const bool horizontal = how == QLatin1String("horizontal");
    if (horizontal || how == QLatin1String("vertical")) {
        QList<int> order;
        for (int i = 0; i < boxes.size(); ++i)
            order.append(i);
        const auto start = [&](int i) {
            return horizontal ? boxes[i].left() : boxes[i].top();
        };
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return start(a) < start(b); });
        double extent = 0;
        for (const QRectF& box : boxes)
            extent += horizontal ? box.width() : box.height();
        const double span = horizontal ? reference.width() : reference.height();
        const double gap = boxes.size() > 2 ? (span - extent) / (boxes.size() - 1) : 0;
        double next = horizontal ? reference.left() : reference.top();
        for (int i : order) {
            // Fewer than three objects have no gaps to even out.
            const double delta = boxes.size() > 2 ? next - start(i) : 0;
            next += (horizontal ? boxes[i].width() : boxes[i].height()) + gap;
            shifts.append(shift(objects[i].toMap().value(QStringLiteral("item_id")), horizontal ? delta : 0,
                                horizontal ? 0 : delta));
        }
        return shifts;
    }

    for (int i = 0; i < boxes.size(); ++i) {
        const QRectF& box = boxes[i];
        double dx = 0;
        double dy = 0;
        if (how == QLatin1String("left"))
            dx = reference.left() - box.left();
        else if (how == QLatin1String("center"))
            dx = reference.center().x() - box.center().x();
        else if (how == QLatin1String("right"))
            dx = reference.right() - box.right();
        else if (how == QLatin1String("top"))
            dy = reference.top() - box.top();
        else if (how == QLatin1String("middle"))
            dy = reference.center().y() - box.center().y();
        else if (how == QLatin1String("bottom"))
            dy = reference.bottom() - box.bottom();
        shifts.append(shift(objects[i].toMap().value(QStringLiteral("item_id")), dx, dy));
    }
    return shifts;
}

QVariantMap LayoutGeometry::freePlace(const QVariantList& group, const QVariantList& others, double pageWidth,
                                      double pageHeight, int grid)
{
    const QRectF box = boundingBox(group);
    QList<QRectF> taken;
    QList<QRectF> frames;
    for (const QVariant& other : others)
        (isFrame(other.toMap()) ? frames : taken).append(boundingBox(other.toMap()));
    const int step = qMax(1, grid);
    // Left and top edges on grid lines, first with room to the label's edge, then without.
    const auto firstLine = [step](double from) {
        return qCeil(from / step) * step;
    };

    QPointF best = box.topLeft();
    double bestOverlap = std::numeric_limits<double>::max();
    for (const double margin : {kGap, 0.0}) {
        for (double top = firstLine(margin); top + box.height() <= pageHeight - margin; top += step) {
            for (double left = firstLine(margin); left + box.width() <= pageWidth - margin; left += step) {
                const QRectF candidate(left, top, box.width(), box.height());
                const QRectF padded = candidate.adjusted(-kGap, -kGap, kGap, kGap);
                double covered = 0;
                bool clear = true;
                for (const QRectF& other : taken) {
                    clear = clear && !padded.intersects(other);
                    covered += overlapArea(candidate, other);
                }
                for (const QRectF& frame : frames) {
                    const bool inside = frame.adjusted(kGap, kGap, -kGap, -kGap).contains(candidate);
                    clear = clear && (inside || !padded.intersects(frame));
                    covered += inside ? 0 : overlapArea(candidate, frame);
                }
                if (clear)
                    return {{QStringLiteral("dx"), left - box.left()},
                            {QStringLiteral("dy"), top - box.top()},
                            {QStringLiteral("clear"), true}};
                if (covered < bestOverlap) {
                    bestOverlap = covered;
                    best = candidate.topLeft();
                }
            }
        }
    }
    // Larger than the label: its top left corner at the label's.
    if (bestOverlap == std::numeric_limits<double>::max())
        best = QPointF(0, 0);
    return {{QStringLiteral("dx"), best.x() - box.left()},
            {QStringLiteral("dy"), best.y() - box.top()},
            {QStringLiteral("clear"), false}};
}

QPointF LayoutGeometry::snapOffset(const QRectF& box, const QList<QRectF>& targets, double grid, double reach)
{
    QPointF offset;
    double shift = 0;
    offset.setX(nearestLine(lines(box, Qt::Horizontal), Qt::Horizontal, targets, reach, &shift)
                    ? shift
                    : gridShift(box.left(), grid));
    offset.setY(nearestLine(lines(box, Qt::Vertical), Qt::Vertical, targets, reach, &shift)
                    ? shift
                    : gridShift(box.top(), grid));
    return offset;
}

double LayoutGeometry::snapEdge(double edge, Qt::Orientation orientation, const QList<QRectF>& targets,
                                double grid, double reach)
{
    double shift = 0;
    return nearestLine({edge}, orientation, targets, reach, &shift) ? shift : gridShift(edge, grid);
}
