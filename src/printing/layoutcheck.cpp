#include "printing/layoutcheck.h"

#include "printing/barcodeprintitem_.h"
#include "printing/layoutlength.h"

#include <QJsonArray>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a true/false value");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a text");
    case QJsonValue::Array:
        return QStringLiteral("a list");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("missing");
}

} // namespace

bool LayoutCheck::isPrintable(const QJsonObject& layout, QString* problem)
{
    return check(layout, true, problem);
}

bool LayoutCheck::isLoadable(const QJsonObject& layout, QString* problem)
{
    return check(layout, false, problem);
}

bool LayoutCheck::check(const QJsonObject& layout, bool complete, QString* problem)
{
    const int minUnits = kMinSideMillimetres * LayoutLength::kUnitsPerMillimetre;
    const int maxUnits = kMaxSideMillimetres * LayoutLength::kUnitsPerMillimetre;
    // Objects of a layout without a size are measured against the largest label.
    int size[2] = {maxUnits, maxUnits};
    const QString sides[2] = {QStringLiteral("width"), QStringLiteral("height")};
    for (int i = 0; i < 2; ++i) {
        const QJsonValue value = layout.value(sides[i]);
        if (value.isUndefined() && !complete)
            continue;
        if (!value.isDouble()) {
            *problem = QStringLiteral("\"%1\" is %2, not a number").arg(sides[i], typeName(value));
            return false;
        }
        const double units = value.toDouble();
        if (!(units >= minUnits && units <= maxUnits)) {
            *problem = QStringLiteral("\"%1\" is %2 mm; a label side must be %3 to %4 mm")
                           .arg(sides[i])
                           .arg(units / LayoutLength::kUnitsPerMillimetre)
                           .arg(kMinSideMillimetres)
                           .arg(kMaxSideMillimetres);
            return false;
        }
        size[i] = int(units);
    }
    // The painter refuses a layout without a name, which would leave a blank page counted as printed.
    if (complete && !layout.contains(QLatin1String("name"))) {
        *problem = QStringLiteral("\"name\" is missing");
        return false;
    }
    const QJsonValue objects = layout.value(QLatin1String("objects"));
    if (objects.isUndefined() && !complete)
        return true;
    if (!objects.isArray()) {
        *problem = QStringLiteral("\"objects\" is %1, not a list").arg(typeName(objects));
        return false;
    }
    const QJsonArray list = objects.toArray();
    for (int i = 0; i < list.size(); ++i) {
        if (!list.at(i).isObject()) {
            *problem = QStringLiteral("\"objects\" entry %1 is %2, not an object")
                           .arg(i + 1)
                           .arg(typeName(list.at(i)));
            return false;
        }
        if (!checkObject(list.at(i).toObject(), i, size[0], size[1], problem))
            return false;
    }
    return true;
}

bool LayoutCheck::checkObject(const QJsonObject& object, int index, int labelWidth, int labelHeight,
                              QString* problem)
{
    const QString where = QStringLiteral("object %1 (%2)")
                              .arg(index + 1)
                              .arg(object.value(QLatin1String("type")).toString(QStringLiteral("no type")));
    // An object may reach past the label's edge, but not by more than the label's own size again.
    const double reach = 2.0 * std::max(labelWidth, labelHeight);
    const char* const geometry[] = {"x", "y", "width", "height", "pixelSize"};
    for (const char* key : geometry) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            continue;
        if (!value.isDouble()) {
            *problem = QStringLiteral("%1: \"%2\" is %3, not a number")
                           .arg(where, QLatin1String(key), typeName(value));
            return false;
        }
        const double number = value.toDouble();
        if (!std::isfinite(number) || std::abs(number) > reach) {
            *problem = QStringLiteral("%1: \"%2\" is %3, far outside the %4 x %5 mm label")
                           .arg(where, QLatin1String(key))
                           .arg(number)
                           .arg(labelWidth / LayoutLength::kUnitsPerMillimetre)
                           .arg(labelHeight / LayoutLength::kUnitsPerMillimetre);
            return false;
        }
    }
    const QJsonValue rotation = object.value(QLatin1String("rotation"));
    if (!rotation.isUndefined() && !rotation.isDouble()) {
        *problem = QStringLiteral("%1: \"rotation\" is %2, not a number").arg(where, typeName(rotation));
        return false;
    }
    return checkBarcodeSizing(object, where, problem);
}

bool LayoutCheck::checkBarcodeSizing(const QJsonObject& object, const QString& where, QString* problem)
{
    // A value in range but of the wrong kind, or out of range, would silently print another size.
    const auto describe = [](const QJsonValue& value) {
        return value.isDouble() ? QString::number(value.toDouble()) : typeName(value);
    };
    const QJsonValue width = object.value(QLatin1String(BarcodePrintItem_::kModuleWidthKey));
    // 0 and -1 are the editor's "not set" (fill the box, the symbology's own margin).
    if (!width.isUndefined() &&
        !(width.isDouble() && width.toDouble() >= 0 && width.toDouble() <= BarCode::kMaxModuleWidthMm)) {
        *problem = QStringLiteral("%1: \"%2\" is %3; a module width is a number of millimetres up to %4, "
                                  "or 0 to fill the box")
                       .arg(where, QLatin1String(BarcodePrintItem_::kModuleWidthKey), describe(width))
                       .arg(BarCode::kMaxModuleWidthMm);
        return false;
    }
    const QJsonValue quiet = object.value(QLatin1String(BarcodePrintItem_::kQuietZoneKey));
    if (!quiet.isUndefined() &&
        !(quiet.isDouble() && quiet.toDouble() >= -1 && quiet.toDouble() <= BarCode::kMaxQuietZone &&
          quiet.toDouble() == std::floor(quiet.toDouble()))) {
        *problem = QStringLiteral("%1: \"%2\" is %3; a quiet zone is a whole number of modules from 0 to %4, "
                                  "or -1 for the code's own")
                       .arg(where, QLatin1String(BarcodePrintItem_::kQuietZoneKey), describe(quiet))
                       .arg(BarCode::kMaxQuietZone);
        return false;
    }
    const QJsonValue gs1 = object.value(QLatin1String(BarcodePrintItem_::kGs1Key));
    if (!gs1.isUndefined() && !gs1.isBool()) {
        *problem = QStringLiteral("%1: \"%2\" is %3, not a true/false value")
                       .arg(where, QLatin1String(BarcodePrintItem_::kGs1Key), typeName(gs1));
        return false;
    }
    return true;
}
