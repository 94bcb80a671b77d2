#pragma once
// One object of a layout as the editor holds it: its kind, its place and size in layout units,
// its id and the object it follows, and the kind's own keys as the record stores them.

#include "printing/layoutlength.h"

#include <QRectF>
#include <QString>
#include <QVariantMap>

class LayoutObject
{
public:
    enum class Kind
    {
        Text,
        Barcode,
        Image // a logo or a drawn shape
    };

    // The object of an editor record (as LayoutDocument::editorRecords gives them); false when the
    // record is no object the editor can show, with a log line.
    static bool fromRecord(const QVariantMap& record, LayoutObject* object);
    // The record as the editor and LayoutDocument::layoutText take it.
    QVariantMap record() const;

    static QString typeName(Kind kind);
    static bool kindOf(const QString& typeName, Kind* kind);

    // The box the object covers on the page, turned.
    QRectF bounds() const;
    QPointF centre() const { return QPointF(x.units(), y.units()); }
    void moveCentreTo(const QPointF& centre);
    bool isFollower() const { return followItem >= 0; }

    Kind kind = Kind::Text;
    int id = -1;
    LayoutLength x;
    LayoutLength y;
    LayoutLength width;
    LayoutLength height;
    // Whole degrees, 0 to 359: printing turns the object about its centre by any of them.
    int rotation = 0;
    int followItem = -1;
    QString followLocation;
    // The kind's keys (text, symbology, image, links), as the record holds them.
    QVariantMap properties;

    // The whole degrees from 0 to 359 of any angle.
    static int normalisedRotation(double degrees);
};
