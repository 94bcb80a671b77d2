#include "shared/userappcontainer.h"

#include "printing/layoutmanager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QUrl>

UserAppContainer::UserAppContainer(QObject* parent) : QObject(parent)
{
    QDir().mkpath(logoDir());
}

QString UserAppContainer::logoDir() const
{
    return LayoutManager::localLogoDir();
}

QStringList UserAppContainer::logos() const
{
    return QDir(logoDir()).entryList({QStringLiteral("*.png"), QStringLiteral("*.jpg"),
                                      QStringLiteral("*.jpeg"), QStringLiteral("*.gif"),
                                      QStringLiteral("*.svg"), QStringLiteral("*.bmp")},
                                     QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QStringList UserAppContainer::removableMedia() const
{
    QStringList mounts;
    // /media/<drive> (Debian's default) and /media/<user>/<drive>, /run/media/<user>/<drive>.
    for (const QString& base : {QStringLiteral("/media"), QStringLiteral("/run/media")}) {
        const QFileInfoList entries = QDir(base).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries) {
            const QFileInfoList inner =
                QDir(entry.filePath()).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
            const bool userFolder =
                base == QLatin1String("/run/media") || entry.fileName() == qEnvironmentVariable("USER");
            if (userFolder) {
                for (const QFileInfo& drive : inner)
                    mounts.append(drive.filePath());
            } else if (!QDir(entry.filePath()).isEmpty()) {
                mounts.append(entry.filePath()); // an empty mount point folder is no drive
            }
        }
    }
    return mounts;
}

QString UserAppContainer::importFolder() const
{
    const QStringList mounts = removableMedia();
    return mounts.isEmpty() ? QStringLiteral("/media") : mounts.first();
}

bool UserAppContainer::removeLocalLogo(const QString& name)
{
    if (!LayoutManager::isSafeFileName(name) || !logos().contains(name)) {
        qDebug() << Q_FUNC_INFO << "no such logo" << name;
        return false;
    }
    if (!QFile::remove(logoDir() + name)) {
        qDebug() << Q_FUNC_INFO << "could not remove" << logoDir() + name;
        return false;
    }
    emit logosChanged();
    return true;
}

bool UserAppContainer::importLogoFromUsb(const QString& source)
{
    const QUrl url(source);
    const QString path = url.isLocalFile() ? url.toLocalFile() : source;
    const QFileInfo info(path);
    if (!info.isFile() || QImageReader::imageFormat(path).isEmpty()) {
        qDebug() << Q_FUNC_INFO << "not an image file:" << path;
        return false;
    }
    QDir().mkpath(logoDir());
    const QString target = logoDir() + info.fileName();
    if (QFileInfo(target).canonicalFilePath() == info.canonicalFilePath())
        return true;
    QFile::remove(target);
    if (!QFile::copy(path, target)) {
        qDebug() << Q_FUNC_INFO << "could not copy" << path << "to" << target;
        return false;
    }
    emit logosChanged();
    return true;
}
