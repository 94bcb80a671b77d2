#include "shared/durationlog.h"

#include "logging/logger.h"

DurationLog::DurationLog(const char* label) : m_label(label)
{
    m_timer.start();
}

DurationLog::~DurationLog()
{
    const unsigned long long elapsed = static_cast<unsigned long long>(m_timer.elapsed());
    // Red on a terminal, so long waits stand out in the console log.
    logPrintf("\033[31m%s lasted for %llu mseconds(%llu)\n\033[0m", m_label.constData(), elapsed,
              elapsed / 1000);
}
