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
    return mounts.isEmpty() ? QDir::homePath() : mounts.first();
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
    return importLogo(source).isEmpty();
}

QString UserAppContainer::importLogo(const QString& source)
{
    const QUrl url(source);
    const QString path = url.isLocalFile() ? url.toLocalFile() : source;
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        qWarning() << "The logo to import cannot be read:" << path;
        return tr("\"%1\" cannot be read.").arg(path);
    }
    if (QImageReader::imageFormat(path).isEmpty()) {
        qWarning() << "The logo to import is not a picture:" << path;
        return tr("\"%1\" is not a picture (PNG, JPEG, GIF, BMP or SVG).").arg(info.fileName());
    }
    const QByteArray content = file.readAll();
    QDir().mkpath(logoDir());
    const QString target = logoDir() + info.fileName();
    QFile existing(target);
    if (existing.exists()) {
        // The same picture is already there (or it is the folder's own file): nothing to do.
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
            return QString();
        qWarning() << "A different logo named" << info.fileName() << "is already in" << logoDir();
        return tr("A different logo named \"%1\" is already in the logo folder. Rename the file, or remove "
                  "that logo first.")
            .arg(info.fileName());
    }
    QFile copy(target);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(content) != content.size() || !copy.flush()) {
        copy.remove(); // never a half-copied logo
        qWarning() << "Could not copy" << path << "to" << target << copy.errorString();
        return tr("\"%1\" could not be copied into the logo folder %2.").arg(info.fileName(), logoDir());
    }
    copy.close();
    emit logosChanged();
    return QString();
}
