#pragma once
// Waits until the window is connected to the console and has printed a report, then shows each
// view and the settings panel at each window size and saves what the window shows.

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>

class QQuickItem;
class Viewer;

class ScreenshotDriver : public QObject
{
    Q_OBJECT
public:
    ScreenshotDriver(Viewer* viewer, const QString& outputDir, int timeoutSeconds, QObject* parent = nullptr);

    // Begins waiting; the application quits with 0 when every picture is saved, 1 otherwise.
    void start();

private:
    struct Shot
    {
        QSize size;
        QString view; // a view name, "settings" for the settings panel over the first view, or a state
        int order;    // the picture's number in its file name
    };

    void waitForStation();
    void prepareNext();
    void grabCurrent();
    void finish(int exitCode);
    // A new job selected in the job list, beside a job whose layout does not exist.
    void showNewJob(QQuickItem* frame);
    // Points the station at a port nothing listens on and waits for the window to notice.
    void goOffline();
    // Labels of a job whose layout is gone, once: the failed list and its note.
    void failSomeLabels();

    Viewer* m_viewer;
    QString m_outputDir;
    int m_timeoutSeconds;
    int m_waitedMs = 0;
    QTimer m_timer;
    QList<Shot> m_shots;
    int m_next = 0;
    QString m_newJobId;
    bool m_offline = false;
    bool m_failed = false;
};
