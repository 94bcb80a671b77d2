#pragma once
// A length in layout units (1/8 millimetre), the unit of layout files, with its conversions.

#include <QJsonValue>

class LayoutLength
{
public:
    static constexpr int kUnitsPerMillimetre = 8;
    // The label image is drawn at this many pixels per layout unit (40 per millimetre).
    static constexpr int kLabelPixelsPerUnit = 5;

    constexpr explicit LayoutLength(int units = 0) : m_units(units) {}
    // An integer value of a layout file; missing or not a number gives the fallback.
    static LayoutLength fromJson(const QJsonValue& value, int fallback = -1)
    {
        return LayoutLength(value.toInt(fallback));
    }

    constexpr int units() const { return m_units; }
    // Whole millimetres, truncated toward zero as page sizes are chosen.
    constexpr int wholeMillimetres() const { return m_units / kUnitsPerMillimetre; }
    constexpr double millimetres() const { return double(m_units) / kUnitsPerMillimetre; }
    constexpr int labelPixels() const { return m_units * kLabelPixelsPerUnit; }

private:
    int m_units;
};
