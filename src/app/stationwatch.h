#pragma once
// What lets a station without a window be watched: the status snapshot, the socket that answers
// "labelprinter --status", the service manager's notifications and watchdog, and the optional
// local health endpoint.

#include <QObject>
#include <QString>

#include <memory>

class HealthServer;
class StationStatus;
class StatusServer;
class SystemdNotifier;
class Viewer;

class StationWatch : public QObject
{
    Q_OBJECT
public:
    StationWatch(Viewer* viewer, const QString& dataRoot, QObject* parent = nullptr);
    ~StationWatch() override;

    StationStatus* status() const { return m_status; }
    // Tells the service manager the stop has begun and closes the endpoints.
    void shutDown();

    // Environment variable of the tests: blocks the event loop for this many milliseconds, once, a
    // second after READY, as a hung program would.
    static constexpr const char* kBlockLoopVariable = "LABELPRINTER_TEST_BLOCK_LOOP_MS";

    // `labelprinter --status [--json]`: asks the program of `dataRoot`, prints, and returns the exit
    // code: 0 healthy, 1 labels wait too long or the console is unreachable, 2 no program answers.
    static int printStatus(const QString& dataRoot, bool json);

private:
    void sendReady();

    StationStatus* m_status;
    StatusServer* m_server;
    SystemdNotifier* m_notifier;
    std::unique_ptr<HealthServer> m_health;
    bool m_ready = false;
    bool m_shutDown = false;
};
