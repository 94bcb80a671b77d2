#pragma once
// The process-wide clock: UTC adjusted by the time-zone offset of the global settings file.

#include <QDateTime>
#include <QObject>

#include <atomic>

class TimeProvider : public QObject
{
    Q_OBJECT
public:
    // Created on first use (thread-safe) and never destroyed.
    static TimeProvider* instance();

    QDateTime currentTime() const;
    qint64 timezoneOffset() const { return m_timezoneOffset; }

    // Offset in seconds of a "timezone" value such as "+02:00"; 0 for anything without a ':' after
    // the sign.
    static qint64 offsetFromText(const QString& text);

public slots:
    void setMCTimeDelta(int delta);

private:
    TimeProvider();

    std::atomic<bool> m_mcTimeDeltaSet{false};
    std::atomic<int> m_mcTimeDelta{0};
    const qint64 m_timezoneOffset;
};
