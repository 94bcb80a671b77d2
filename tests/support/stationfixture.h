#pragma once
// Fixtures of the station tests: the settings of a station, its layouts, the window and its
// services in the test process, and the real program as a child process.

#include "app/viewer.h"

#include <QByteArray>
#include <QProcess>
#include <QQmlEngine>
#include <QString>
#include <QStringList>

#include <csignal>

namespace TestSupport {

class IsolatedDataRoot;

QByteArray readAll(const QString& path);
// The label files (*.pdf) in `dir`, by name.
QStringList labelFiles(const QString& dir);
// How many label files in `labels`, and how many lines of the printed-reports log `csv`, name the
// sample report variant n.
int labelsOf(const QString& labels, int n);
int linesOf(const QString& csv, int n);

// The demo layout "Station label" in the layout folder and its logo in the logo folder.
bool installStationLayout();
// Printing into a test's folder: PDF labels to `labels`, the printed-reports log to `csv`, the demo
// layout installed and popup notes delivered at once (no window).
bool preparePrinting(const QString& labels, const QString& csv);
// A 30 x 20 mm layout `name`: `text` as text and the IMEI as Code 128, so backlogs print quickly.
QByteArray smallLayout(const QString& name, const QString& text = QStringLiteral("<IMEI>"));
bool writeLayout(const QString& name, const QByteArray& json);

// The console settings for the stand-in on loopback `port`.
void setConsole(int port, const QString& password = QStringLiteral("demo"));
// A print job; with `filterField`, one filter comparing that field with `value` by `op`.
void addJob(const QString& id, const QString& name, bool active, const QString& layout,
            const QString& printer, const QString& filterField = QString(), const QString& op = QString(),
            const QString& value = QString());

// A station that takes every report of the console on loopback `port` as new (watermark 0, not
// paused) and prints it with one job "all" ("All phones", the small layout "Small label") on
// `printer`: label files to `labels`, the printed-reports log to `csv`. Other jobs and console
// settings are dropped. Only the settings change: a program started afterwards reads them.
bool prepareStation(int port, const QString& labels, const QString& csv, const QString& printer);

// The real program, headless, logging to its log file in `root`.
class ProgramProcess
{
public:
    explicit ProgramProcess(const IsolatedDataRoot& root) : m_root(root) {}
    ~ProgramProcess() { stop(); }
    // With `crashAfter`, the program ends itself at that moment as a crash would (CrashPoint).
    // With `paceMs`, each label takes at least that long, so a backlog can be stopped in its middle.
    void start(const QString& crashAfter = QString(), int paceMs = 0);
    // Waits for the program to end by itself; false when it still runs.
    bool waitForExit(int milliseconds);
    // Sends `signal` and waits; the exit code, or -1 when the program did not exit normally.
    int stop(int signal = SIGTERM);
    QString logFile() const;
    qint64 pid() const { return m_process.processId(); }
    QString log() const { return QString::fromLatin1(readAll(logFile())); }

private:
    const IsolatedDataRoot& m_root;
    QProcess m_process;
};

// The window and its services in this process, without QML; polls on request.
class Station
{
public:
    Station();
    ~Station();
    Viewer& viewer() { return m_viewer; }
    PrintHandler* handler() { return m_viewer.printHandler(); }
    // Waits until the connection check says "Connected".
    bool connected();
    // One poll, then printing until `waiting` labels are left (those whose printer is missing).
    void pollNow(int waiting = 0);

private:
    QQmlEngine m_engine;
    Viewer m_viewer;
};

} // namespace TestSupport
