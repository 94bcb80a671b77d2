#include "app/layoutdocument.h"

#include "app/layoutgeometry.h"
#include "app/layouthistory.h"
#include "app/layoutmodel.h"
#include "app/layoutobjectview.h"
#include "app/objectclipboard.h"
#include "printing/layoutlength.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaObject>
#include <QRegularExpression>
#include <QTransform>
#include <QtMath>
#include <QtQml>

#include <algorithm>

namespace {

const QString kText = QStringLiteral("TextObject.qml");
const QString kBarcode = QStringLiteral("BarCode.qml");
const QString kImage = QStringLiteral("ShapeObject.qml");

enum class KeyKind
{
    Integer,
    Boolean,
    String,
    EscapedString
};

struct Key
{
    const char* name;
    KeyKind kind;
    QVariant fallback;
    // Written only when it holds something: layouts without it read as before.
    bool optional = false;
};

const QList<Key>& commonKeys()
{
    static const QList<Key> keys{
        {"x", KeyKind::Integer, QVariant()},     {"y", KeyKind::Integer, QVariant()},
        {"width", KeyKind::Integer, QVariant()}, {"height", KeyKind::Integer, QVariant()},
        {"rotation", KeyKind::Integer, 0},       {"item_id", KeyKind::Integer, QVariant()},
        {"followItem", KeyKind::Integer, -1},    {"followLocation", KeyKind::String, QString()}};
    return keys;
}

const QList<Key>& typeKeys(const QString& type)
{
    static const QList<Key> text{{"type", KeyKind::String, kText},
                                 {"bold", KeyKind::Boolean, false},
                                 {"underline", KeyKind::Boolean, false},
                                 {"formattedString", KeyKind::EscapedString, QString()},
                                 {"unformattedString", KeyKind::EscapedString, QString()},
                                 {"pixelSize", KeyKind::Integer, 24},
                                 {"multiline", KeyKind::Boolean, false},
                                 {"elide", KeyKind::EscapedString, QStringLiteral("None")},
                                 {"alignment", KeyKind::EscapedString, QStringLiteral("Left")},
                                 {"showboundingrect", KeyKind::Boolean, false},
                                 {"tickBoxFormat", KeyKind::Boolean, false},
                                 {"background", KeyKind::Boolean, false},
                                 {"fontFamily", KeyKind::String, QString(), true}};
    static const QList<Key> barcode{{"type", KeyKind::String, kBarcode},
                                    {"sourceimage", KeyKind::String, QString()},
                                    {"contentOrder", KeyKind::String, QString()},
                                    {"prefixString", KeyKind::String, QString()},
                                    {"attachText", KeyKind::String, QStringLiteral("false")},
                                    {"symbology", KeyKind::String, QStringLiteral("code128")},
                                    {"textobjectid", KeyKind::Integer, -1}};
    static const QList<Key> image{{"type", KeyKind::String, kImage},
                                  {"sourceImage", KeyKind::String, QString()},
                                  {"sourceShape", KeyKind::String, QString()},
                                  {"maintainAspectRation", KeyKind::Boolean, true},
                                  {"boundObject", KeyKind::Integer, -1}};
    static const QList<Key> none;
    if (type == kText)
        return text;
    if (type == kBarcode)
        return barcode;
    if (type == kImage)
        return image;
    return none;
}

bool isNumber(const QVariant& value)
{
    bool ok = false;
    value.toDouble(&ok);
    return value.isValid() && ok && value.type() != QVariant::String;
}

QString compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

LayoutDocument::LayoutDocument(QObject* parent) : QObject(parent) {}

void LayoutDocument::registerQmlType()
{
    qmlRegisterType<LayoutDocument>("LayoutEditing", 1, 0, "LayoutDocument");
    qmlRegisterType<LayoutHistory>("LayoutEditing", 1, 0, "LayoutHistory");
    qmlRegisterType<LayoutGeometry>("LayoutEditing", 1, 0, "LayoutGeometry");
    qmlRegisterType<ObjectClipboard>("LayoutEditing", 1, 0, "ObjectClipboard");
    qmlRegisterType<LayoutObjectView>("LayoutEditing", 1, 0, "LayoutObjectView");
    qmlRegisterType<LayoutModel>("LayoutEditing", 1, 0, "LayoutModel");
}

void LayoutDocument::setEscaper(QObject* escaper)
{
    if (m_escaper == escaper)
        return;
    m_escaper = escaper;
    emit escaperChanged();
}

int LayoutDocument::unitsPerMillimetre()
{
    return LayoutLength::kUnitsPerMillimetre;
}

QString LayoutDocument::forbiddenNameCharacters()
{
    return QStringLiteral("/\\?%*:|\"<>.");
}

int LayoutDocument::unitsFromMillimetres(int millimetres)
{
    return millimetres * LayoutLength::kUnitsPerMillimetre;
}

int LayoutDocument::millimetresFromUnits(int units)
{
    // Truncated, as printing turns a fixed size into its page size.
    return LayoutLength(units).wholeMillimetres();
}

int LayoutDocument::clampSideMm(int millimetres)
{
    return qBound(kMinimumSideMm, millimetres, kMaximumSideMm);
}

QVariantMap LayoutDocument::paperSizeMillimetres(const QString& sizeText)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d+)mm x (\\d+)mm\\s*$"));
    const QRegularExpressionMatch match = pattern.match(sizeText);
    if (!match.hasMatch())
        return {};
    return {{QStringLiteral("width"), match.captured(1).toInt()},
            {QStringLiteral("height"), match.captured(2).toInt()}};
}

QString LayoutDocument::paperSizeText(int widthMm, int heightMm)
{
    return QStringLiteral("%1mm x %2mm").arg(widthMm).arg(heightMm);
}

QString LayoutDocument::nameError(const QString& name, const QStringList& existingNames,
                                  const QString& ownName)
{
    if (name.isEmpty())
        return tr("Enter a name for the layout");
    for (const QChar c : forbiddenNameCharacters()) {
        if (name.contains(c))
            return tr("A layout name cannot contain any of: %1").arg(forbiddenNameCharacters());
    }
    if (name.trimmed().isEmpty())
        return tr("Enter a name for the layout");
    if (name != ownName && existingNames.contains(name))
        return tr("Entered layout name already exists");
    return QString();
}

QString LayoutDocument::quoted(const QString& text, bool escapeText) const
{
    if (escapeText && m_escaper) {
        QString escaped;
        if (QMetaObject::invokeMethod(m_escaper, "jsonEscaped", Q_RETURN_ARG(QString, escaped),
                                      Q_ARG(QString, text)))
            return QLatin1Char('"') + escaped + QLatin1Char('"');
        qDebug() << Q_FUNC_INFO << "escaper has no jsonEscaped; writing plain JSON";
    }
    // A one-element array serialises the string with JSON's own quoting; strip the brackets.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString LayoutDocument::recordText(const QVariantMap& record) const
{
    const QString type = record.value(QStringLiteral("type")).toString();
    const QList<Key>& specific = typeKeys(type);
    bool valid = !specific.isEmpty();
    for (const char* required : {"x", "y", "width", "height", "item_id"})
        valid = valid && isNumber(record.value(QLatin1String(required)));
    if (!valid) {
        qDebug() << "FOUND INVALID CHILD!" << QJsonObject::fromVariantMap(record);
        return QString();
    }

    QStringList parts;
    const auto write = [&](const Key& key) {
        const QVariant value =
            record.contains(QLatin1String(key.name)) ? record.value(QLatin1String(key.name)) : key.fallback;
        if (key.optional && value.toString().isEmpty())
            return;
        QString text;
        switch (key.kind) {
        case KeyKind::Integer:
            text = QString::number(qRound(value.toDouble()));
            break;
        case KeyKind::Boolean:
            text = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
            break;
        case KeyKind::String:
        case KeyKind::EscapedString: {
            // "attachText" is stored as a string; the canvas holds it as a bool.
            const QString string = value.type() == QVariant::Bool
                                       ? (value.toBool() ? QStringLiteral("true") : QStringLiteral("false"))
                                       : value.toString();
            text = quoted(string, key.kind == KeyKind::EscapedString);
            break;
        }
        }
        parts.append(QStringLiteral("\"%1\":%2").arg(QLatin1String(key.name), text));
    };
    for (const Key& key : commonKeys())
        write(key);
    for (const Key& key : specific)
        write(key);
    return QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
}

QJsonObject LayoutDocument::storedRecord(const QVariantMap& record) const
{
    const QString text = recordText(record);
    return text.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(text.toUtf8()).object();
}

QString LayoutDocument::layoutText(const QVariantMap& layout, const QVariantList& records) const
{
    QStringList objects;
    for (const QVariant& record : records) {
        const QString text = recordText(record.toMap());
        if (!text.isEmpty())
            objects.append(text);
    }
    const auto flag = [](bool value) {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    };
    return QStringLiteral("{\"width\":%1,\"height\":%2,\"name\":%3,\"fixedsize\":%4,\"sizestr\":%5,"
                          "\"objects\":[\n%6\n],\"version\":%7}")
        .arg(layout.value(QStringLiteral("width")).toInt())
        .arg(layout.value(QStringLiteral("height")).toInt())
        .arg(quoted(layout.value(QStringLiteral("name")).toString(), false),
             flag(layout.value(QStringLiteral("fixedsize")).toBool()),
             quoted(layout.value(QStringLiteral("sizestr")).toString(), false),
             objects.join(QStringLiteral(",\n")),
             quoted(layout.value(QStringLiteral("version")).toString(), false));
}

QVariantList LayoutDocument::objectsOutsidePage(const QVariantList& records, int widthUnits, int heightUnits)
{
    QVariantList outside;
    const QRectF page(0, 0, widthUnits, heightUnits);
    for (const QVariant& value : records) {
        const QVariantMap record = value.toMap();
        const qreal w = record.value(QStringLiteral("width")).toDouble();
        const qreal h = record.value(QStringLiteral("height")).toDouble();
        QTransform placement;
        placement.translate(record.value(QStringLiteral("x")).toDouble(),
                            record.value(QStringLiteral("y")).toDouble());
        placement.rotate(record.value(QStringLiteral("rotation")).toDouble());
        const QRectF box = placement.mapRect(QRectF(-w / 2, -h / 2, w, h));
        // Half a unit of slack: positions are rounded to whole units when written.
        if (!page.adjusted(-0.5, -0.5, 0.5, 0.5).contains(box))
            outside.append(record.value(QStringLiteral("item_id")));
    }
    return outside;
}

QVariantList LayoutDocument::editorRecords(const QJsonObject& layout)
{
    const QJsonArray objects = layout.value(QStringLiteral("objects")).toArray();
    QVariantList records;
    QVariantList usedIds;
    for (const QJsonValue& value : objects) {
        const QJsonObject object = value.toObject();
        if (object.contains(QStringLiteral("item_id")))
            usedIds.append(object.value(QStringLiteral("item_id")).toInt());
    }
    for (const QJsonValue& value : objects) {
        const QJsonObject object = value.toObject();
        bool common = true;
        for (const char* key : {"x", "y", "width", "height"})
            common = common && object.value(QLatin1String(key)).isDouble();
        if (!common) {
            qDebug() << "JSON does not contain common dimensions: " << compact(object);
            continue;
        }
        const QString type = object.value(QStringLiteral("type")).toString();
        if (type == kText && !object.value(QStringLiteral("unformattedString")).isString()) {
            qDebug() << "JSON does not contain all data for textobject: " << compact(object);
            continue;
        }
        if (type == kBarcode && !object.value(QStringLiteral("contentOrder")).isString()) {
            qDebug() << "JSON does not contain all data for barcode: " << compact(object);
            continue;
        }
        if (type != kText && type != kBarcode && type != kImage) {
            qDebug() << "Unknown object type in layout: " << compact(object);
            continue;
        }
        QVariantMap record = object.toVariantMap();
        for (const Key& key : commonKeys() + typeKeys(type)) {
            if (!record.contains(QLatin1String(key.name)) && key.fallback.isValid() && !key.optional)
                record.insert(QLatin1String(key.name), key.fallback);
        }
        if (!object.value(QStringLiteral("item_id")).isDouble()) {
            const int id = firstFreeId(usedIds);
            usedIds.append(id);
            record.insert(QStringLiteral("item_id"), id);
        }
        if (type == kBarcode)
            record.insert(QStringLiteral("attachText"),
                          record.value(QStringLiteral("attachText")).toString() == QLatin1String("true"));
        records.append(record);
    }
    return records;
}

int LayoutDocument::firstFreeId(const QVariantList& usedIds)
{
    int id = 0;
    QList<int> used;
    for (const QVariant& value : usedIds)
        used.append(value.toInt());
    while (used.contains(id))
        ++id;
    return id;
}

QVariantList LayoutDocument::textContentKinds()
{
    const auto entry = [](const QString& label, const QString& kind, const QString& tag = QString()) {
        return QVariantMap{
            {QStringLiteral("label"), label}, {QStringLiteral("kind"), kind}, {QStringLiteral("tag"), tag}};
    };
    const auto tag = [&](const QString& label, const QString& text) {
        return entry(label, QStringLiteral("tag"), text);
    };
    return {
        tag(QStringLiteral("Device status"), QStringLiteral("<devstatus>")),
        entry(QStringLiteral("Identifier"), QStringLiteral("identifier")),
        tag(QStringLiteral("Same as Device Identifier"), QStringLiteral("<devid>")),
        entry(QStringLiteral("Free text"), QStringLiteral("free")),
        tag(QStringLiteral("Date"), QStringLiteral("<date yyyy-MM-dd HH:mm:ss>")),
        tag(QStringLiteral("Model"), QStringLiteral("<model>")),
        tag(QStringLiteral("UsbId"), QStringLiteral("<usbid>")),
        tag(QStringLiteral("Diagnostics status"), QStringLiteral("<diagstatus>")),
        entry(QStringLiteral("Diagnostics test"), QStringLiteral("diagnostics")),
        tag(QStringLiteral("Find My iPhone"), QStringLiteral("<fmip>")),
        tag(QStringLiteral("Lost/Stolen/Blocked"), QStringLiteral("<lsb>")),
        tag(QStringLiteral("Rooted Status"), QStringLiteral("<rooted>")),
        tag(QStringLiteral("Disk size"), QStringLiteral("<disksize>")),
        tag(QStringLiteral("Disk design capacity"), QStringLiteral("<diskdesign>")),
        tag(QStringLiteral("Type"), QStringLiteral("<type>")),
        tag(QStringLiteral("A-Model Number"), QStringLiteral("<amodelnumber>")),
        tag(QStringLiteral("Alternative Serial"), QStringLiteral("<alternativeserial>")),
        tag(QStringLiteral("Alternative Source And Serial"), QStringLiteral("<alternativesourceandserial>")),
        entry(QStringLiteral("Custom field"), QStringLiteral("customfield")),
        entry(QStringLiteral("Device custom field"), QStringLiteral("devcustomfield")),
        tag(QStringLiteral("Manufacturer"), QStringLiteral("<manufacturer>")),
        tag(QStringLiteral("Erasure duration"), QStringLiteral("<eraseduration>")),
        tag(QStringLiteral("Erasure method"), QStringLiteral("<erasemethod>")),
        tag(QStringLiteral("Overwriting rounds"), QStringLiteral("<eraserounds>")),
        tag(QStringLiteral("IMEI"), identifierTag({QStringLiteral("IMEI")})),
        tag(QStringLiteral("IMEI2"), identifierTag({QStringLiteral("IMEI2")})),
        tag(QStringLiteral("MEID"), identifierTag({QStringLiteral("MEID")})),
        tag(QStringLiteral("Wifi MAC"), QStringLiteral("<wifimac>")),
        tag(QStringLiteral("Wifi MAC address"), QStringLiteral("WiFi MAC: <wifimac>")),
        tag(QStringLiteral("Battery Serial"), QStringLiteral("<batteryserial>")),
        tag(QStringLiteral("Device identifier"), QStringLiteral("<devid>")),
        tag(QStringLiteral("USB serial"), identifierTag({QStringLiteral("USB serial")})),
        tag(QStringLiteral("System serial"), identifierTag({QStringLiteral("System serial")})),
        tag(QStringLiteral("Battery Health"), QStringLiteral("<batteryhealth>")),
        tag(QStringLiteral("Battery recharge cycles"), QStringLiteral("<batterycycles>")),
        tag(QStringLiteral("Battery capacity (current)"), QStringLiteral("<batterycapacurrent>")),
        tag(QStringLiteral("Battery capacity (design)"), QStringLiteral("<batterycapadesign>")),
        tag(QStringLiteral("Battery temperature"), QStringLiteral("<batterytemperature>")),
        tag(QStringLiteral("MDM locked"), QStringLiteral("<mdm>")),
        tag(QStringLiteral("FRP locked"), QStringLiteral("<frp>")),
        tag(QStringLiteral("Region"), QStringLiteral("<region>")),
        tag(QStringLiteral("Unsupported"), QStringLiteral("<unsupported>")),
        tag(QStringLiteral("Marketing name"), QStringLiteral("<MARKETNAME>")),
        entry(QStringLiteral("XML report item"), QStringLiteral("xmlreport"))};
}

QStringList LayoutDocument::identifierLabels()
{
    return {QStringLiteral("IMEI"),       QStringLiteral("IMEI2"),
            QStringLiteral("MEID"),       QStringLiteral("MEID14"),
            QStringLiteral("ECID"),       QStringLiteral("Device identifier"),
            QStringLiteral("USB serial"), QStringLiteral("System serial"),
            QStringLiteral("PIN"),        QStringLiteral("Alternative Serial")};
}

QString LayoutDocument::identifierTag(const QStringList& labels)
{
    const QString list = labels.join(QLatin1Char(','));
    return QStringLiteral("<firstid %1>=<firstvalue %1>").arg(list);
}

QString LayoutDocument::customFieldTag(const QString& name, bool deviceField)
{
    return (deviceField ? QStringLiteral("<devcustomfield %1>") : QStringLiteral("<customfield %1>"))
        .arg(name);
}

QString LayoutDocument::diagnosticsTestTag(const QString& testName, bool shortForm)
{
    const QString form =
        shortForm
            ? QStringLiteral("<diagname NAMEOFTEST>:<diagresult NAMEOFTEST,P,F, , >")
            : QStringLiteral("<diagname NAMEOFTEST>:<diagresult NAMEOFTEST,Passed,Failed,Not performed,Not "
                             "performed>");
    return QString(form).replace(QStringLiteral("NAMEOFTEST"), testName);
}

QString LayoutDocument::diagnosticsListTag(bool successful, bool failed, bool notPerformed, bool notAvailable)
{
    QStringList kinds;
    if (successful)
        kinds.append(QStringLiteral("OK"));
    if (failed)
        kinds.append(QStringLiteral("FAILED"));
    if (notPerformed)
        kinds.append(QStringLiteral("NOT PERFORMED"));
    if (notAvailable)
        kinds.append(QStringLiteral("NOT AVAILABLE"));
    return QStringLiteral("<diaglist %1>").arg(kinds.join(QLatin1Char(',')));
}

QString LayoutDocument::xmlReportTag(const QString& formattedSearchPath)
{
    return QStringLiteral("<xmlreport %1>").arg(formattedSearchPath);
}

QVariantList LayoutDocument::barcodeContents(const QStringList& deviceCustomFields)
{
    const auto entry = [](const QString& text, const QString& label) {
        return QVariantMap{{QStringLiteral("text"), text}, {QStringLiteral("label"), label}};
    };
    QVariantList contents;
    for (const char* label :
         {"IMEI", "IMEI2", "MEID", "MEID14", "Device identifier", "USB serial", "System serial", "PIN"})
        contents.append(entry(QLatin1String(label), QLatin1String(label)));
    contents.append(entry(QStringLiteral("Alternative Serial"), QStringLiteral("Alternative Serial")));
    contents.append(entry(QStringLiteral("A-Model Number"), QStringLiteral("A-Model Number")));
    contents.append(entry(QStringLiteral("Free text"), QStringLiteral("(freetext)")));
    for (const QString& field : deviceCustomFields)
        contents.append(entry(field, QStringLiteral("(devcustomfield)") + field));
    return contents;
}

QString LayoutDocument::freeTextContent(const QString& text)
{
    // The content list is comma-separated: a comma in the text would split it.
    return QStringLiteral("(freetext)") + QString(text).remove(QLatin1Char(','));
}

QString LayoutDocument::humanReadableText(const QString& contentOrder, const QString& prefix)
{
    const QString value = QStringLiteral("<firstvalue %1>").arg(contentOrder);
    if (!prefix.isEmpty())
        return prefix + QStringLiteral(": ") + value;
    return QStringLiteral("<firstid %1>: ").arg(contentOrder) + value;
}

QStringList LayoutDocument::symbologies()
{
    return {QStringLiteral("code39"), QStringLiteral("code128"), QStringLiteral("ean-13")};
}

QVariantList LayoutDocument::filteredEntries(const QVariantList& entries, const QString& search)
{
    const auto text = [](const QVariant& entry, const char* key) {
        return entry.type() == QVariant::String ? (qstrcmp(key, "label") == 0 ? entry.toString() : QString())
                                                : entry.toMap().value(QLatin1String(key)).toString();
    };
    const QStringList words = search.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QVariantList kept;
    for (const QVariant& entry : entries) {
        const QString label = text(entry, "label");
        const QString tag = text(entry, "tag");
        const bool matches = std::all_of(words.begin(), words.end(), [&](const QString& word) {
            return label.contains(word, Qt::CaseInsensitive) || tag.contains(word, Qt::CaseInsensitive);
        });
        if (matches)
            kept.append(entry);
    }
    std::stable_sort(kept.begin(), kept.end(), [&](const QVariant& a, const QVariant& b) {
        return text(a, "label").compare(text(b, "label"), Qt::CaseInsensitive) < 0;
    });
    return kept;
}

QVariantList LayoutDocument::shapeNames()
{
    const auto entry = [](const char* value, const QString& label) {
        return QVariantMap{{QStringLiteral("value"), QLatin1String(value)}, {QStringLiteral("label"), label}};
    };
    return {entry("rectangle", tr("Rectangle")),  entry("filledrectangle", tr("Filled rectangle")),
            entry("ellipse", tr("Ellipse")),      entry("filledellipse", tr("Filled ellipse")),
            entry("line", tr("Horizontal line")), entry("verticalline", tr("Vertical line"))};
}

QString LayoutDocument::shapeLabel(const QString& value)
{
    for (const QVariant& entry : shapeNames()) {
        if (entry.toMap().value(QStringLiteral("value")).toString() == value)
            return entry.toMap().value(QStringLiteral("label")).toString();
    }
    return value;
}
