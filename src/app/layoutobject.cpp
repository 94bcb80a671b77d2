#include "app/layoutobject.h"

#include <QDebug>
#include <QJsonObject>
#include <QTransform>
#include <QtMath>

namespace {

const char* const kCommonKeys[] = {"x",       "y",          "width",          "height", "rotation",
                                   "item_id", "followItem", "followLocation", "type"};

bool isNumber(const QVariant& value)
{
    bool ok = false;
    value.toDouble(&ok);
    return value.isValid() && ok && value.type() != QVariant::String;
}

} // namespace

QString LayoutObject::typeName(Kind kind)
{
    switch (kind) {
    case Kind::Text:
        return QStringLiteral("TextObject.qml");
    case Kind::Barcode:
        return QStringLiteral("BarCode.qml");
    case Kind::Image:
        break;
    }
    return QStringLiteral("ShapeObject.qml");
}

bool LayoutObject::kindOf(const QString& typeName, Kind* kind)
{
    for (const Kind candidate : {Kind::Text, Kind::Barcode, Kind::Image}) {
        if (LayoutObject::typeName(candidate) == typeName) {
            *kind = candidate;
            return true;
        }
    }
    return false;
}

int LayoutObject::normalisedRotation(double degrees)
{
    return ((qRound(degrees) % 360) + 360) % 360;
}

bool LayoutObject::fromRecord(const QVariantMap& record, LayoutObject* object)
{
    LayoutObject result;
    bool valid = kindOf(record.value(QStringLiteral("type")).toString(), &result.kind);
    for (const char* required : {"x", "y", "width", "height", "item_id"})
        valid = valid && isNumber(record.value(QLatin1String(required)));
    if (!valid) {
        qDebug() << "Not a layout object:" << QJsonObject::fromVariantMap(record);
        return false;
    }
    const auto units = [&](const char* key) {
        return LayoutLength(qRound(record.value(QLatin1String(key)).toDouble()));
    };
    result.x = units("x");
    result.y = units("y");
    result.width = units("width");
    result.height = units("height");
    result.rotation = normalisedRotation(record.value(QStringLiteral("rotation"), 0).toDouble());
    result.id = record.value(QStringLiteral("item_id")).toInt();
    result.followItem = record.value(QStringLiteral("followItem"), -1).toInt();
    result.followLocation = record.value(QStringLiteral("followLocation")).toString();
    result.properties = record;
    for (const char* key : kCommonKeys)
        result.properties.remove(QLatin1String(key));
    *object = result;
    return true;
}

QVariantMap LayoutObject::record() const
{
    QVariantMap record = properties;
    record.insert(QStringLiteral("type"), typeName(kind));
    record.insert(QStringLiteral("x"), x.units());
    record.insert(QStringLiteral("y"), y.units());
    record.insert(QStringLiteral("width"), width.units());
    record.insert(QStringLiteral("height"), height.units());
    record.insert(QStringLiteral("rotation"), rotation);
    record.insert(QStringLiteral("item_id"), id);
    record.insert(QStringLiteral("followItem"), followItem);
    record.insert(QStringLiteral("followLocation"), followLocation);
    return record;
}

QRectF LayoutObject::bounds() const
{
    const double w = width.units();
    const double h = height.units();
    QTransform placement;
    placement.translate(x.units(), y.units());
    placement.rotate(rotation);
    return placement.mapRect(QRectF(-w / 2, -h / 2, w, h));
}

void LayoutObject::moveCentreTo(const QPointF& centre)
{
    x = LayoutLength(qRound(centre.x()));
    y = LayoutLength(qRound(centre.y()));
}
