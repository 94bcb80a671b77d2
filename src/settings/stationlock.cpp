#include "settings/stationlock.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

StationLock::StationLock(const QString& dataRoot)
    : m_path(QDir(dataRoot).filePath(QStringLiteral("labelprinter.lock"))), m_file(m_path)
{
    // Never stale by age: a program that runs for months keeps its lock. QLockFile still takes over
    // a lock whose process is gone.
    m_file.setStaleLockTime(0);
}

bool StationLock::acquire()
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (m_file.tryLock(0))
        return true;
    switch (m_file.error()) {
    case QLockFile::LockFailedError: {
        QString host, application;
        m_file.getLockInfo(&m_holderPid, &host, &application);
        m_refusal = QStringLiteral("Another label printer (process %1%2) already prints from %3. Only one "
                                   "program may use a data folder: stop the other one (the window or the "
                                   "service) first.")
                        .arg(m_holderPid)
                        .arg(host.isEmpty() ? QString() : QStringLiteral(" on ") + host)
                        .arg(QFileInfo(m_path).absolutePath());
        break;
    }
    case QLockFile::PermissionError:
        m_refusal = QStringLiteral("The lock file %1 cannot be created: permission denied").arg(m_path);
        break;
    default:
        m_refusal = QStringLiteral("The lock file %1 cannot be created").arg(m_path);
        break;
    }
    qWarning().noquote() << m_refusal;
    return false;
}
