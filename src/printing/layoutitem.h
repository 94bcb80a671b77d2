#pragma once
// One printable object of a label layout, built from its record for one device and painted once.

#include "report/tagparser.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QVariant>

class Device;
class QPaintDevice;
class QPainter;

class LayoutItem : public QObject
{
    Q_OBJECT
public:
    enum Roles
    {
        SelectedRole = 512,
        ItemXRole,
        ItemYRole,
        ItemWidthRole,
        ItemHeightRole,
        ItemRotationRole,
        ItemIdRole,
        FollowItemRole,
        FollowLocationRole,
        ItemTypeRole
    };

    LayoutItem(Device* device, const QJsonObject& record, int scale, bool quiet, QObject* parent = nullptr);

    // Draws the object; false when nothing could be drawn.
    virtual bool paint(QPaintDevice* target, QPainter* painter);
    virtual QVariant data(int role) const;
    static const QHash<int, QByteArray>& roleNames();

    bool isValid() const { return m_valid; }
    int x() const { return m_x; }
    int y() const { return m_y; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int rotation() const { return m_rotation; }
    const QJsonObject& record() const { return m_record; }
    // How the object came out for its device when that is not as designed: "empty", "elided" or
    // "wider than its box" (known after paint); empty when it came out whole.
    QString fitProblem() const { return m_fitProblem; }
    // How the user recognises the object in a list: its kind and id ("Text 3", "Barcode 1").
    QString displayName() const;

protected:
    // Centre at (x, y), rotated about it; the object then draws in (0, 0, width, height).
    void applyPlacement(QPainter* painter) const;

    TagParser m_tagParser;
    bool m_selected = false;
    QJsonObject m_record;
    int m_rotation = -1;
    int m_x = -1;
    int m_y = -1;
    int m_width = -1;
    int m_height = -1;
    bool m_valid = false;
    int m_scale = 1;
    bool m_background = true;
    QString m_fitProblem;
};

// The printable object for a record's "type"; null (with a log line) for anything unknown.
// The caller owns the result.
LayoutItem* createLayoutItem(Device* device, const QJsonObject& record, int scale);
