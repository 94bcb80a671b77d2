#include "printing/shapeobject_.h"

#include "printing/layoutmanager.h"

#include <QDebug>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QUrl>

ShapeObject_::ShapeObject_(Device* device, const QJsonObject& record, int scale, QObject* parent)
    : LayoutItem(device, record, scale, parent != nullptr, nullptr)
{
    setParent(parent);
    m_sourceImage = record.value(QLatin1String("sourceImage")).toString();
    m_sourceShape = record.value(QLatin1String("sourceShape")).toString();
    m_keepAspect = record.value(QLatin1String("maintainAspectRation")).toBool(false);
    // The source alone decides: an image must exist, otherwise a shape must be named.
    if (!m_sourceImage.isEmpty()) {
        m_imageFile = resolveImage(m_sourceImage);
        m_valid = !m_imageFile.isEmpty();
    } else {
        m_valid = !m_sourceShape.isEmpty();
    }
}

QString ShapeObject_::resolveImage(const QString& sourceImage)
{
    QString path = sourceImage;
    if (path.startsWith(QLatin1String("file:")))
        path = QUrl(path).toLocalFile(); // the editor's QML may hand over URLs
    // Logos come from the logo folder only (the editor imports into it): a layout must not print
    // any picture file of the station it names.
    const QString folder = QFileInfo(LayoutManager::localLogoDir()).canonicalFilePath();
    const QFileInfo given(path);
    if (given.isAbsolute() && given.isFile() && !folder.isEmpty() &&
        given.canonicalFilePath().startsWith(folder + QLatin1Char('/')))
        return given.canonicalFilePath();
    // A path from elsewhere (another station, or "../") keeps only its file name, looked up in the folder.
    const QString name = given.fileName();
    if (LayoutManager::isSafeFileName(name)) {
        const QString local = LayoutManager::localLogoDir() + name;
        if (QFileInfo(local).isFile())
            return local;
    }
    qWarning() << "Logo" << sourceImage << "refused: only pictures in the logo folder"
               << LayoutManager::localLogoDir() << "are printed";
    return QString();
}

QStringList ShapeObject_::knownShapes()
{
    return {QStringLiteral("rectangle"), QStringLiteral("filledrectangle"),
            QStringLiteral("ellipse"),   QStringLiteral("filledellipse"),
            QStringLiteral("line"),      QStringLiteral("verticalline")};
}

bool ShapeObject_::paint(QPaintDevice* target, QPainter* painter)
{
    Q_UNUSED(target)
    if (!painter)
        return false;
    const QPen savedPen = painter->pen();
    const QBrush savedBrush = painter->brush();
    applyPlacement(painter);

    bool drawn = false;
    if (m_imageFile.isEmpty()) {
        drawn = paintShape(painter);
    } else {
        const QImage image(m_imageFile);
        if (!image.isNull()) {
            const QImage scaled =
                image.scaled(m_width, m_height, m_keepAspect ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio,
                             Qt::FastTransformation);
            const QRectF area(0, 0, scaled.width(), scaled.height());
            painter->setPen(QPen(Qt::white));
            painter->setBrush(QBrush(Qt::white, Qt::SolidPattern));
            painter->fillRect(area, Qt::white);
            painter->drawImage(area, scaled);
            drawn = true;
        }
    }

    painter->setPen(savedPen);
    painter->setBrush(savedBrush);
    painter->resetTransform();
    return drawn || m_imageFile.isEmpty();
}

bool ShapeObject_::paintShape(QPainter* painter)
{
    const QString shape = m_sourceShape.toLower();
    if (!knownShapes().contains(shape)) {
        qDebug() << Q_FUNC_INFO << "Shape" << m_sourceShape << "is not drawn when printing";
        return false;
    }
    // Lines as wide as a text object's pen (a quarter millimetre), kept inside the box.
    const qreal pen = 2.0 * m_scale;
    painter->setPen(QPen(QBrush(Qt::black), pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    const bool filled = shape.startsWith(QLatin1String("filled"));
    painter->setBrush(filled ? QBrush(Qt::black, Qt::SolidPattern) : QBrush(Qt::NoBrush));
    const QRectF inner = QRectF(0, 0, m_width, m_height).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    if (shape.endsWith(QLatin1String("rectangle")))
        painter->drawRect(inner);
    else if (shape.endsWith(QLatin1String("ellipse")))
        painter->drawEllipse(inner);
    else if (shape == QLatin1String("line"))
        painter->drawLine(QPointF(inner.left(), m_height / 2.0), QPointF(inner.right(), m_height / 2.0));
    else
        painter->drawLine(QPointF(m_width / 2.0, inner.top()), QPointF(m_width / 2.0, inner.bottom()));
    return true;
}

QVariant ShapeObject_::data(int role) const
{
    switch (role) {
    case SourceImageRole:
        return m_sourceImage;
    case SourceShapeRole:
        return m_sourceShape;
    case MaintainAspectRatioRole:
        return m_keepAspect;
    default:
        return LayoutItem::data(role);
    }
}

const QHash<int, QByteArray>& ShapeObject_::roleNames()
{
    static const QHash<int, QByteArray> names{{SourceImageRole, "sourceImage"},
                                              {SourceShapeRole, "sourceShape"},
                                              {MaintainAspectRatioRole, "maintainAspectRatio"}};
    return names;
}
