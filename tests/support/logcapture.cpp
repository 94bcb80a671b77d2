#include "logcapture.h"

#include "logging/logger.h"

#include <QCoreApplication>

namespace TestSupport {

LogCapture::LogCapture()
{
    Logger* logger = Logger::instance();
    if (!logger)
        logger = new Logger(QCoreApplication::instance()); // lives with the application
    // The signal is emitted on the logging thread as the line is written.
    connect(
        logger, &Logger::delayed, this,
        [this](const QString& line) {
            QMutexLocker lock(&m_lock);
            m_lines.append(line);
        },
        Qt::DirectConnection);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&m_lock);
    return m_lines;
}

void LogCapture::clear()
{
    QMutexLocker lock(&m_lock);
    m_lines.clear();
}

int LogCapture::count(const QString& text) const
{
    int n = 0;
    for (const QString& line : lines())
        n += line.contains(text) ? 1 : 0;
    return n;
}

} // namespace TestSupport
