#pragma once
// A QML item that draws an elbow-shaped connector line between two points and reports whether
// the mouse is over it without taking mouse input.

#include <QColor>
#include <QLine>
#include <QPainterPath>
#include <QPoint>
#include <QQuickPaintedItem>
#include <QVector>

class CurveLine : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
    Q_PROPERTY(QPoint startPoint READ startPoint WRITE setStartPoint NOTIFY startPointChanged)
    Q_PROPERTY(QPoint endPoint READ endPoint WRITE setEndPoint NOTIFY endPointChanged)
    Q_PROPERTY(double lineWidth READ lineWidth WRITE setLineWidth NOTIFY lineWidthChanged)
    Q_PROPERTY(bool contains READ isPointerOver NOTIFY containsChanged)
public:
    // The drawn path and the straight pieces the hover test uses.
    struct Geometry
    {
        QPainterPath path;
        int elbowX = 0;
        int detourX = -1; // -1: no detour
        int detourY = -1; // the detour's mid y; -1: no detour
        QVector<QLine> pieces;
    };

    static constexpr int kStub = 20;
    static constexpr double kHitTolerance = 6.0;

    explicit CurveLine(QQuickItem* parent = nullptr);

    // Registers "CurveLine" 1.0 under the module "CurveLine".
    static void registerQmlType();

    static Geometry geometryFor(const QPoint& start, const QPoint& end);
    // Whether the point lies within the tolerance of one of the pieces.
    static bool hits(const QVector<QLine>& pieces, const QPointF& point);

    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    QPoint startPoint() const { return m_startPoint; }
    void setStartPoint(const QPoint& point);
    QPoint endPoint() const { return m_endPoint; }
    void setEndPoint(const QPoint& point);
    double lineWidth() const { return m_lineWidth; }
    void setLineWidth(double width);
    bool isPointerOver() const { return m_contains; }

    int elbowX() const { return m_elbowX; }
    int detourX() const { return m_detourX; }
    int detourY() const { return m_detourY; }

    void paint(QPainter* painter) override;
    // Never takes the point (mouse input passes through) but records whether it is over the line.
    bool contains(const QPointF& point) const override;

signals:
    void startPointChanged();
    void endPointChanged();
    void lineWidthChanged();
    void containsChanged();

private:
    QColor m_color;
    QPoint m_startPoint;
    QPoint m_endPoint;
    int m_elbowX = 0;
    int m_detourX = -1;
    int m_detourY = -1;
    double m_lineWidth = 2.0;
    // Qt's hover handling asks through the const contains(); the answer is kept as state.
    mutable bool m_contains = false;
    QVector<QLine> m_pieces; // of the last painted path
};
