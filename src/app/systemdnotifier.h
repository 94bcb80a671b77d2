#pragma once
// Tells the service manager how the program is doing, through the notification socket it passes in
// NOTIFY_SOCKET: READY once the start-up is done, a one-line STATUS when the station's state
// changes, and WATCHDOG pings from the event loop so that a hung program is restarted. Does nothing
// when the program was not started by a service manager.

#include <QObject>
#include <QString>
#include <QTimer>

class SystemdNotifier : public QObject
{
    Q_OBJECT
public:
    explicit SystemdNotifier(QObject* parent = nullptr);

    bool active() const { return !m_socket.isEmpty(); }
    // The ping interval: half the watchdog time the manager asked for; 0 without a watchdog.
    int watchdogIntervalMs() const { return m_pingMs; }

    void ready();
    void status(const QString& line);
    // Sends "STOPPING=1" so the manager knows the stop is on its way.
    void stopping();

    // Sends one notification; false when it could not be sent (logged once).
    bool send(const QByteArray& message);

private:
    QString m_socket;
    int m_pingMs = 0;
    QTimer m_watchdog;
    bool m_failureLogged = false;
};
