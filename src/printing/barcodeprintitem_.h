#pragma once
// A barcode object of a label: the first report value of its candidate fields, drawn as bars.

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

private:
    QString m_content;
    QString m_symbology;
};
