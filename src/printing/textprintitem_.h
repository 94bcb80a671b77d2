#pragma once
// A text object of a label: tags resolved for the device, then drawn in its box (or as a tick box).

#include "printing/layoutitem.h"

#include <QString>

class TextPrintItem_ : public LayoutItem
{
    Q_OBJECT
public:
    enum Roles
    {
        BoldRole = 768,
        UnderlineRole,
        FormattedStringRole,
        UnformattedStringRole,
        PixelSizeRole,
        MultilineRole,
        ElideRole,
        AlignmentRole,
        ShowBoundingRectRole,
        TickboxFormatRole,
        BackgroundRole
    };

    // Quiet (no log lines, example values for lists) when a parent is given, as the editor does.
    TextPrintItem_(Device* device, const QJsonObject& record, int scale, QObject* parent = nullptr);

    bool paint(QPaintDevice* target, QPainter* painter) override;
    QVariant data(int role) const override;
    static const QHash<int, QByteArray>& roleNames();

    // The text after tags and the bold/underline marks are resolved.
    QString text() const { return m_text; }
    bool isBold() const { return m_bold; }
    bool isUnderline() const { return m_underline; }

private:
    // Cuts a diagnostics list that does not fit its box, ending it with "More tests".
    void fitDiagnosticsList(QPainter* painter, const QRectF& box, int flags, QRectF& bounding);

    bool m_underline = false;
    bool m_bold = false;
    bool m_tickBox = false;
    int m_pixelSize = 12;
    QString m_text;
    QString m_elide;
    QString m_alignment;
    // Empty: the default font.
    QString m_fontFamily;
    bool m_multiline = false;
    bool m_diagnosticsList = false;
};
