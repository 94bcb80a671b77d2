#pragma once
// A barcode object of a label: the first report value of its candidate fields, drawn as a code.

#include "printing/barcode.h"
#include "printing/layoutitem.h"

#include <QString>

class BarcodePrintItem_ : public LayoutItem
{
    Q_OBJECT
public:
    enum Roles
    {
        SourceImageRole = 1280,
        ContentOrderRole,
        PrefixStringRole,
        AttachTextRole,
        SymbologyRole,
        TextObjectIdRole
    };

    BarcodePrintItem_(Device* device, const QJsonObject& record, int scale, QObject* parent = nullptr);

    bool paint(QPaintDevice* target, QPainter* painter) override;
    QVariant data(int role) const override;
    static const QHash<int, QByteArray>& roleNames();

    QString content() const { return m_content; }
    QString symbology() const { return m_symbology; }
    const BarcodeOptions& options() const { return m_options; }

    // Optional record keys; without them a code prints as it always did. The module width is in
    // millimetres (a number), the quiet zone in modules on each side, GS1 a flag for Data Matrix.
    static constexpr const char* kModuleWidthKey = "moduleWidthMm";
    static constexpr const char* kQuietZoneKey = "quietZone";
    static constexpr const char* kGs1Key = "gs1";
    // The options a record asks for; values out of range count as not given (LayoutCheck names them).
    static BarcodeOptions optionsOf(const QJsonObject& record);

private:
    QString m_content;
    QString m_symbology;
    BarcodeOptions m_options;
};
