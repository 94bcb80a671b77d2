#include "app/curveline.h"

#include <QPainter>
#include <QPen>
#include <QtQml>

#include <cmath>

CurveLine::CurveLine(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setRenderTarget(QQuickPaintedItem::FramebufferObject);
    setAcceptHoverEvents(true);
}

void CurveLine::registerQmlType()
{
    qmlRegisterType<CurveLine>("CurveLine", 1, 0, "CurveLine");
}

CurveLine::Geometry CurveLine::geometryFor(const QPoint& start, const QPoint& end)
{
    Geometry geometry;
    const int stubX = start.x() + kStub;
    geometry.path.moveTo(start);
    geometry.path.lineTo(stubX, start.y());

    geometry.elbowX = (end.x() - start.x()) / 2 + start.x();
    if (geometry.elbowX >= stubX) {
        const int elbow = geometry.elbowX;
        geometry.path.lineTo(elbow, start.y());
        geometry.path.lineTo(elbow, end.y());
        geometry.pieces << QLine(start, QPoint(elbow, start.y()));
        if (start.y() != end.y())
            geometry.pieces << QLine(elbow, start.y(), elbow, end.y());
        geometry.pieces << QLine(QPoint(elbow, end.y()), end);
    } else {
        // The end lies left of the start: go round through the middle height.
        const int detourX = end.x() - kStub;
        const int midY = (end.y() - start.y()) / 2 + start.y();
        geometry.elbowX = stubX;
        geometry.detourX = detourX;
        geometry.detourY = midY;
        geometry.path.lineTo(stubX, midY);
        geometry.path.lineTo(detourX, midY);
        geometry.pieces << QLine(start, QPoint(stubX, start.y()));
        if (start.y() != midY)
            geometry.pieces << QLine(stubX, start.y(), stubX, midY);
        if (stubX != detourX)
            geometry.pieces << QLine(stubX, midY, detourX, midY);
        if (midY != end.y())
            geometry.pieces << QLine(detourX, midY, detourX, end.y());
        geometry.pieces << QLine(QPoint(detourX, end.y()), end);
    }
    geometry.path.lineTo(end.x() - kStub, end.y());
    geometry.path.lineTo(end);
    return geometry;
}

namespace {
bool between(double value, int a, int b)
{
    return value >= qMin(a, b) && value <= qMax(a, b);
}
} // namespace

bool CurveLine::hits(const QVector<QLine>& pieces, const QPointF& point)
{
    for (const QLine& piece : pieces) {
        if (piece.y1() == piece.y2()) {
            if (std::abs(point.y() - piece.y1()) < kHitTolerance &&
                between(point.x(), piece.x1(), piece.x2()))
                return true;
        } else if (piece.x1() == piece.x2()) {
            if (std::abs(point.x() - piece.x1()) < kHitTolerance &&
                between(point.y(), piece.y1(), piece.y2()))
                return true;
        }
    }
    return false;
}

void CurveLine::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void CurveLine::setStartPoint(const QPoint& point)
{
    if (point == m_startPoint)
        return;
    m_startPoint = point;
    emit startPointChanged();
    update();
}

void CurveLine::setEndPoint(const QPoint& point)
{
    if (point == m_endPoint)
        return;
    m_endPoint = point;
    emit endPointChanged();
    update();
}

void CurveLine::setLineWidth(double width)
{
    if (width == m_lineWidth)
        return;
    m_lineWidth = width;
    emit lineWidthChanged();
    update();
}

void CurveLine::paint(QPainter* painter)
{
    const Geometry geometry = geometryFor(m_startPoint, m_endPoint);
    m_elbowX = geometry.elbowX;
    m_detourX = geometry.detourX;
    m_detourY = geometry.detourY;
    m_pieces = geometry.pieces;

    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(m_color, m_lineWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(geometry.path);
}

bool CurveLine::contains(const QPointF& point) const
{
    const bool over = hits(m_pieces, point);
    if (over != m_contains) {
        m_contains = over;
        emit const_cast<CurveLine*>(this)->containsChanged();
    }
    return false;
}
