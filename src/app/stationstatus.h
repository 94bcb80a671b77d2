#pragma once
// The station's state in one snapshot, for those who watch a station without its window: the
// console, polling, the labels waiting per printer and since when, failed and printed labels. Taken
// on the window's thread; the last snapshot may be read from any thread.

#include <QDateTime>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>

class Viewer;

class StationStatus : public QObject
{
    Q_OBJECT
public:
    explicit StationStatus(Viewer* viewer, QObject* parent = nullptr);

    // Takes a new snapshot now (window thread only) and returns it.
    QJsonObject refresh();
    // The last snapshot; any thread.
    QJsonObject snapshot() const;

    // Labels waiting longer than this make the station unhealthy (setting kMaxWaitKey, seconds).
    static const QString kMaxWaitKey;
    static constexpr int kDefaultMaxWaitSeconds = 300;

    // Whether a snapshot says printing is healthy: the console reached and no label waiting longer
    // than the limit.
    static bool healthy(const QJsonObject& snapshot);
    // The snapshot in a few lines for a terminal.
    static QString toText(const QJsonObject& snapshot);
    // One line for the service manager ("Connected, 3 labels waiting for Zebra-1: paper out").
    static QString oneLine(const QJsonObject& snapshot);
    // The snapshot as Prometheus metrics.
    static QString toMetrics(const QJsonObject& snapshot);

signals:
    // The one-line summary changed (emitted by refresh).
    void summaryChanged(QString line);

private:
    void onConnectionStateChanged();

    Viewer* m_viewer;
    QString m_consoleState;
    QDateTime m_consoleSince;
    QTimer m_timer;
    QString m_lastLine;
    mutable QMutex m_lock;
    QJsonObject m_snapshot;
};
