#include "app/systemdnotifier.h"

#include <QCoreApplication>
#include <QDebug>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

SystemdNotifier::SystemdNotifier(QObject* parent) : QObject(parent)
{
    m_socket = qEnvironmentVariable("NOTIFY_SOCKET");
    if (m_socket.isEmpty())
        return;
    // The watchdog is meant for the main process only.
    const QString watchdogPid = qEnvironmentVariable("WATCHDOG_PID");
    bool ok = false;
    const qint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
    if (ok && usec > 0 &&
        (watchdogPid.isEmpty() || watchdogPid.toLongLong() == QCoreApplication::applicationPid())) {
        m_pingMs = int(std::max<qint64>(100, usec / 2000));
        m_watchdog.setInterval(m_pingMs);
        // Sent from the event loop: a loop that hangs stops the pings, and the manager restarts us.
        connect(&m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
        m_watchdog.start();
        qDebug() << "Service watchdog: a ping every" << m_pingMs << "ms";
    }
}

void SystemdNotifier::ready()
{
    send("READY=1");
}

void SystemdNotifier::status(const QString& line)
{
    QString text = line;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    send("STATUS=" + text.toUtf8());
}

void SystemdNotifier::stopping()
{
    m_watchdog.stop();
    send("STOPPING=1");
}

bool SystemdNotifier::send(const QByteArray& message)
{
    if (m_socket.isEmpty())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = m_socket.toLocal8Bit();
    if (path.size() >= int(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    // "@name" is a socket in the abstract namespace, whose name starts with a zero byte.
    if (path.startsWith('@'))
        address.sun_path[0] = '\0';
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool sent = false;
    if (fd >= 0) {
        sent = ::sendto(fd, message.constData(), size_t(message.size()), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), length) == message.size();
        ::close(fd);
    }
    if (!sent && !m_failureLogged) {
        m_failureLogged = true;
        qWarning() << "The service manager's notification socket" << m_socket
                   << "cannot be reached:" << std::strerror(errno);
    }
    return sent;
}
