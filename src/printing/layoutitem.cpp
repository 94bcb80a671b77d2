#include "printing/layoutitem.h"

#include "logging/logger.h"
#include "printing/barcodeprintitem_.h"
#include "printing/shapeobject_.h"
#include "printing/textprintitem_.h"

#include <QPainter>
#include <QTransform>

LayoutItem::LayoutItem(Device* device, const QJsonObject& record, int scale, bool quiet, QObject* parent)
    : QObject(parent), m_record(record), m_scale(scale)
{
    Q_UNUSED(device)
    m_x = record.value(QLatin1String("x")).toInt(-1) * scale;
    m_y = record.value(QLatin1String("y")).toInt(-1) * scale;
    m_width = record.value(QLatin1String("width")).toInt(-1) * scale;
    m_height = record.value(QLatin1String("height")).toInt(-1) * scale;
    m_rotation = record.value(QLatin1String("rotation")).toInt(-1);
    m_background = record.value(QLatin1String("background")).toBool(true);
    m_valid = m_x >= 0 && m_y >= 0 && m_width >= 0 && m_height >= 0 && m_rotation >= 0;
    if (!m_valid && !quiet)
        logPrintf("%s Invalid dimensions\n", Q_FUNC_INFO);
}

bool LayoutItem::paint(QPaintDevice* target, QPainter* painter)
{
    Q_UNUSED(target)
    Q_UNUSED(painter)
    return false;
}

QVariant LayoutItem::data(int role) const
{
    switch (role) {
    case SelectedRole:
        return m_selected;
    case ItemXRole:
        return m_x;
    case ItemYRole:
        return m_y;
    case ItemWidthRole:
        return m_width;
    case ItemHeightRole:
        return m_height;
    case ItemRotationRole:
        return m_rotation;
    default:
        return QVariant();
    }
}

const QHash<int, QByteArray>& LayoutItem::roleNames()
{
    static const QHash<int, QByteArray> names{
        {SelectedRole, "selected"},   {ItemXRole, "itemX"},           {ItemYRole, "itemY"},
        {ItemWidthRole, "itemWidth"}, {ItemHeightRole, "itemHeight"}, {ItemRotationRole, "itemRotation"},
        {ItemIdRole, "item_id"},      {FollowItemRole, "followItem"}, {FollowLocationRole, "followLocation"},
        {ItemTypeRole, "itemType"}};
    return names;
}

QString LayoutItem::displayName() const
{
    const QString type = m_record.value(QLatin1String("type")).toString();
    QString kind = tr("Object");
    if (type == QLatin1String("TextObject.qml"))
        kind = tr("Text");
    else if (type == QLatin1String("BarCode.qml"))
        kind = tr("Barcode");
    else if (type == QLatin1String("ShapeObject.qml"))
        kind = tr("Image");
    const QJsonValue id = m_record.value(QLatin1String("item_id"));
    return id.isDouble() ? QStringLiteral("%1 %2").arg(kind).arg(id.toInt()) : kind;
}

void LayoutItem::applyPlacement(QPainter* painter) const
{
    QTransform transform;
    transform.translate(m_x, m_y);
    transform.rotate(m_rotation, Qt::ZAxis);
    transform.translate(-(m_width / 2), -(m_height / 2)); // integer halves, as the editor places them
    painter->setTransform(transform, true);               // on top of the label's own scale
}

LayoutItem* createLayoutItem(Device* device, const QJsonObject& record, int scale)
{
    if (!record.contains(QLatin1String("type"))) {
        logPrintf("NO TYPE IN DATA! [%s]\n", qPrintable(record.keys().join(QLatin1Char(','))));
        return nullptr;
    }
    const QString type = record.value(QLatin1String("type")).toString();
    if (type.isEmpty()) {
        logPrintf("Typestring is empty\n");
        return nullptr;
    }
    if (type == QLatin1String("BarCode.qml"))
        return new BarcodePrintItem_(device, record, scale);
    if (type == QLatin1String("TextObject.qml"))
        return new TextPrintItem_(device, record, scale);
    if (type == QLatin1String("ShapeObject.qml"))
        return new ShapeObject_(device, record, scale);
    logPrintf("Unknown print type %s\n", qPrintable(type));
    return nullptr;
}
