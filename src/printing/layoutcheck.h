#pragma once
// Whether a layout file's content can be printed safely: the label size within the editor's limits,
// the keys of the right types, and no object far outside the label. A layout that fails would print
// a blank label or take the page renderer down.

#include <QJsonObject>
#include <QString>

class LayoutCheck
{
public:
    // The editor's own label limits, 10 to 1000 mm a side.
    static constexpr int kMinSideMillimetres = 10;
    static constexpr int kMaxSideMillimetres = 1000;

    // True when `layout` may be printed; otherwise false with *problem naming the key at fault.
    static bool isPrintable(const QJsonObject& layout, QString* problem);
    // The same at load, where a layout still being made may lack the size or the objects.
    static bool isLoadable(const QJsonObject& layout, QString* problem);

private:
    static bool check(const QJsonObject& layout, bool complete, QString* problem);
    static bool checkObject(const QJsonObject& object, int index, int labelWidth, int labelHeight,
                            QString* problem);
    // A barcode's optional module width, quiet zone and GS1 flag.
    static bool checkBarcodeSizing(const QJsonObject& object, const QString& where, QString* problem);
};
