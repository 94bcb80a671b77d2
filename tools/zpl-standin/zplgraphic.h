#pragma once
// Reads a ^GF graphic field: ASCII hex (with ZPL's row compression), binary, or base64 with or without
// zlib (:Z64: and :B64:).

#include <QByteArray>
#include <QImage>
#include <QString>

class ZplGraphic
{
public:
    // The image of the parameters "a,b,c,d,data" of ^GF: one bit per dot, black where a bit is 1,
    // d * 8 dots wide and c / d rows high; data that stops early leaves the rest white. A null image
    // with *error when the field cannot be read.
    static QImage decode(const QByteArray& params, QString* error);
};
