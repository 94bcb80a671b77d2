#pragma once
// Start-up steps of the entry point that do not need the main window.

#include <QObject>
#include <QStringList>

class QCoreApplication;

namespace ApplicationSetup {

inline constexpr const char* kVersion = "1.2.0.0";
// Drawn at any size; the package installs the same file and renderings of it as the desktop icon.
inline constexpr const char* kWindowIcon = ":/ui/qml/pics/src/header-logo-small.svg";

// Without "--ui" nothing is shown, so a station service needs no display: use the offscreen
// platform unless the caller chose one. Must run before the application object exists.
void preferHeadlessPlatform(int argc, char** argv);

// Keeps the heap's large blocks in the process: reports of hundreds of kilobytes are read, copied
// and freed all day, and handing each block back to the system made every next one a run of page
// faults. Call first in main.
void keepLargeBlocks();

// Makes the compiled-in resources (QML, pictures, the report field catalogue) reachable under ":/".
// The library is static, so its resources must be registered by name before first use.
void registerResources();

// Organisation and application names (the data root derives from them), version and display name.
void applyIdentity();

// Exit code when another program holds the data root (the service unit does not restart on it).
inline constexpr int kExitDataRootInUse = 3;
// Shows why the program does not start in a dialog when the window was asked for (the refusal
// itself is already on stderr).
void showRefusal(const QString& text, bool window);

} // namespace ApplicationSetup

// Ends the event loop cleanly on SIGINT, SIGTERM or SIGHUP, so a service stop flushes settings and the log.
class QuitOnSignal : public QObject
{
    Q_OBJECT
public:
    explicit QuitOnSignal(QCoreApplication* application);
    ~QuitOnSignal() override;

signals:
    void quitRequested(int signalNumber);

private:
    void poll();
};
