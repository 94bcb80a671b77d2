#include "readonlyfolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace TestSupport {

bool ReadOnlyFolder::makeReadOnly(QString* why)
{
    if (m_mounted)
        return true;
    const QByteArray path = QFile::encodeName(m_folder);
    if (::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0) {
        *why = QStringLiteral("bind mount over %1: %2")
                   .arg(m_folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_mounted = true;
    if (::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        *why = QStringLiteral("read-only remount of %1: %2")
                   .arg(m_folder, QString::fromLocal8Bit(std::strerror(errno)));
        makeWritable();
        return false;
    }
    // Root may write anywhere else; make sure the folder really refuses a write now.
    if (::access(path.constData(), W_OK) == 0) {
        *why = QStringLiteral("%1 is still writable after the read-only remount").arg(m_folder);
        makeWritable();
        return false;
    }
    return true;
}

void ReadOnlyFolder::makeWritable()
{
    if (!m_mounted)
        return;
    // Detached: a file the program opened there meanwhile must not keep the mount (and the test) busy.
    ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    m_mounted = false;
}

} // namespace TestSupport
