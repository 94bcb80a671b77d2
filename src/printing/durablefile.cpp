#include "printing/durablefile.h"

#include "printing/crashpoint.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool syncPath(const QString& path, bool folder)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY));
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#else
    // Windows commits renames with the file; QSaveFile has already flushed the data.
    Q_UNUSED(path)
    Q_UNUSED(folder)
    return true;
#endif
}

} // namespace

bool DurableFile::syncFile(const QString& path)
{
    if (CrashPoint::failing("sync", path))
        return false;
    return syncPath(path, false);
}

bool DurableFile::syncFolder(const QString& folder)
{
    return syncPath(folder, true);
}

QStringList DurableFile::syncFiles(const QStringList& paths)
{
    QStringList failed;
    QStringList flush;
    for (const QString& path : paths)
        (CrashPoint::failing("sync", path) ? failed : flush) << path;
    if (flush.isEmpty())
        return failed;
#if defined(Q_OS_LINUX)
    const int fd = ::open(QFile::encodeName(flush.first()).constData(), O_RDONLY);
    const bool flushed = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!flushed)
        failed += flush;
#else
    for (const QString& path : qAsConst(flush)) {
        if (!syncPath(path, false))
            failed << path;
    }
#endif
    return failed;
}

bool DurableFile::write(const QString& path, const QByteArray& data, QString* error, bool sync)
{
    QSaveFile file(path);
    // QSaveFile syncs the data before it renames the file into place.
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        qDebug() << Q_FUNC_INFO << "cannot write" << path << file.errorString();
        return false;
    }
    if (sync)
        syncFolder(QFileInfo(path).absolutePath());
    return true;
}

bool DurableFile::rename(const QString& from, const QString& to, QString* error, bool sync)
{
    const QString target = QFileInfo(to).absolutePath();
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        if (error)
            *error = reason;
        qDebug() << Q_FUNC_INFO << "cannot rename" << from << "to" << to << reason;
        return false;
    }
    if (!sync)
        return true;
    syncFolder(target);
    const QString source = QFileInfo(from).absolutePath();
    if (source != target)
        syncFolder(source);
    return true;
}

bool DurableFile::remove(const QString& path)
{
    if (!QFile::remove(path))
        return false;
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}
