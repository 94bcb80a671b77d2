#pragma once
// Collects the log's lines (logPrintf and the Qt message functions) while a test runs.

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

class Logger;

namespace TestSupport {

class LogCapture : public QObject
{
    Q_OBJECT
public:
    // Starts the program's log (once per process) under the current data root and listens to it.
    LogCapture();

    // Safe while other threads log.
    QStringList lines() const;
    // Lines holding the text.
    int count(const QString& text) const;
    bool contains(const QString& text) const { return count(text) > 0; }
    void clear();

private:
    mutable QMutex m_lock;
    QStringList m_lines;
};

} // namespace TestSupport
