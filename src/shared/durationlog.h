#pragma once
// Scope timer: when it ends, logs how long the labelled piece of work lasted.

#include <QByteArray>
#include <QElapsedTimer>

class DurationLog
{
public:
    explicit DurationLog(const char* label);
    ~DurationLog();

    DurationLog(const DurationLog&) = delete;
    DurationLog& operator=(const DurationLog&) = delete;

private:
    QByteArray m_label;
    QElapsedTimer m_timer;
};
