#include "app/imageprovider.h"

#include "settings/systempaths.h"

#include <QDebug>
#include <QImageReader>
#include <QMutex>

namespace {
const QString kLayoutPrefix = QStringLiteral("layout/");
const QString kCacheBreaker = QStringLiteral("???");

struct ReportPicture
{
    QMutex lock;
    QImage picture;
};

ReportPicture& reportPicture()
{
    static ReportPicture shared;
    return shared;
}
} // namespace

ImageProvider::ImageProvider()
    : QQuickImageProvider(QQmlImageProviderBase::Image, QQmlImageProviderBase::ForceAsynchronousImageLoading)
{}

QString ImageProvider::pathForId(const QString& id)
{
    if (id.isEmpty())
        return QString();
    if (id.startsWith(kLayoutPrefix)) {
        // The "/" after "layout" stays; a doubled separator is harmless.
        QString path = SystemPaths::instance().layoutDir + id.mid(kLayoutPrefix.size() - 1);
        const int cut = path.indexOf(kCacheBreaker);
        if (cut >= 0)
            path.truncate(cut);
        return path;
    }
    QString path = id;
    path.remove(QStringLiteral("image://snapshots/"));
    path.remove(QStringLiteral("image://screenshots/"));
    return path;
}

void ImageProvider::setReportPicture(const QImage& picture)
{
    ReportPicture& shared = reportPicture();
    QMutexLocker locker(&shared.lock);
    shared.picture = picture;
}

QImage ImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize)
{
    if (id.startsWith(QLatin1String("report/"))) {
        QImage picture;
        {
            ReportPicture& shared = reportPicture();
            QMutexLocker locker(&shared.lock);
            picture = shared.picture;
        }
        if (size)
            *size = picture.size();
        if (requestedSize.width() > 0 && requestedSize.height() > 0 && !picture.isNull())
            picture = picture.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return picture;
    }
    const QString path = pathForId(id);
    if (path.isEmpty())
        return QImage();

    QImageReader reader(path);
    if (!reader.canRead()) {
        qDebug() << Q_FUNC_INFO << "Failed to load snapshot from" << path;
        return QImage();
    }
    if (size)
        *size = reader.size();
    if (requestedSize.width() > 0 && requestedSize.height() > 0)
        reader.setScaledSize(requestedSize);
    QImage image = reader.read();
    if (image.isNull())
        qDebug() << Q_FUNC_INFO << "Failed to load snapshot from" << path << reader.errorString();
    return image;
}
