#include "printing/barcodeprintitem_.h"

#include "logging/logger.h"
#include "printing/barcode.h"

#include <QPainter>

BarcodePrintItem_::BarcodePrintItem_(Device* device, const QJsonObject& record, int scale, QObject* parent)
    : LayoutItem(device, record, scale, parent != nullptr, nullptr)
{
    setParent(parent);
    if (!m_valid) {
        logPrintf("%s Base class has already dismissed this. Not constructing\n", Q_FUNC_INFO);
        return;
    }
    const QStringList labels =
        record.value(QLatin1String("contentOrder")).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    m_symbology = record.value(QLatin1String("symbology")).toString(QStringLiteral("code128"));
    m_options = optionsOf(record);
    for (const QString& label : labels) {
        const QString value = m_tagParser.propertyValue(device, label.trimmed(), false, true);
        if (!value.isEmpty()) {
            m_content = value;
            break;
        }
    }
    if (m_content.isEmpty()) {
        m_valid = false;
        m_fitProblem = tr("empty");
    }
}

bool BarcodePrintItem_::paint(QPaintDevice* target, QPainter* painter)
{
    Q_UNUSED(target)
    if (!painter)
        return false;
    if (!m_valid) {
        logPrintf("Barcode is not valid. Refusing to print.\n");
        return false;
    }
    BarCode barcode(m_symbology);
    barcode.setOptions(m_options);
    // Bars must stay solid black and white; blended edges would blur them at one bit per pixel.
    const bool antialiased = painter->testRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::Antialiasing, false);
    applyPlacement(painter);

    const QFont savedFont = painter->font();
    const QPen savedPen = painter->pen();
    const QBrush savedBrush = painter->brush();
    const QRectF box(0, 0, m_width, m_height);
    painter->setPen(QPen(Qt::white));
    painter->setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter->fillRect(box, Qt::white);
    const bool drawn = barcode.drawCode(painter, m_content, box);
    if (drawn && barcode.overflowed())
        m_fitProblem = tr("wider than its box");

    painter->setRenderHint(QPainter::Antialiasing, antialiased);
    painter->setFont(savedFont);
    painter->resetTransform();
    painter->setPen(savedPen);
    painter->setBrush(savedBrush);
    return drawn;
}

BarcodeOptions BarcodePrintItem_::optionsOf(const QJsonObject& record)
{
    BarcodeOptions options;
    const double width = record.value(QLatin1String(kModuleWidthKey)).toDouble(0);
    if (width > 0 && width <= BarCode::kMaxModuleWidthMm)
        options.moduleWidthMm = width;
    const QJsonValue quiet = record.value(QLatin1String(kQuietZoneKey));
    if (quiet.isDouble() && quiet.toDouble() >= 0 && quiet.toDouble() <= BarCode::kMaxQuietZone)
        options.quietZone = quiet.toInt();
    options.gs1 = record.value(QLatin1String(kGs1Key)).toBool(false);
    return options;
}

QVariant BarcodePrintItem_::data(int role) const
{
    if (role == SymbologyRole)
        return m_symbology;
    return LayoutItem::data(role);
}

const QHash<int, QByteArray>& BarcodePrintItem_::roleNames()
{
    static const QHash<int, QByteArray> names{
        {SourceImageRole, "sourceImage"},   {ContentOrderRole, "contentOrder"},
        {PrefixStringRole, "prefixString"}, {AttachTextRole, "attachText"},
        {SymbologyRole, "symbology"},       {TextObjectIdRole, "textObjectId"}};
    return names;
}
