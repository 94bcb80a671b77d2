#include "printing/crashpoint.h"

#include <QByteArray>
#include <QMutex>
#include <QThread>
#include <QtGlobal>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#else
#include <cstdlib>
#endif

void CrashPoint::reached(const char* moment)
{
    static const QByteArray wanted = qgetenv("LABELPRINTER_TEST_CRASH_AFTER");
    if (wanted.isEmpty() || wanted != moment)
        return;
    std::fprintf(stderr, "Crashing on purpose after %s\n", moment);
#ifdef Q_OS_UNIX
    ::_exit(70);
#else
    std::abort();
#endif
}

namespace {

struct Fault
{
    QMutex lock;
    QByteArray wanted = qgetenv("LABELPRINTER_TEST_FAIL");
};

Fault& fault()
{
    static Fault instance;
    return instance;
}

} // namespace

void CrashPoint::setFailing(const QByteArray& wanted)
{
    Fault& current = fault();
    QMutexLocker locker(&current.lock);
    current.wanted = wanted;
}

bool CrashPoint::failing(const char* step, const QString& subject)
{
    QByteArray wanted;
    {
        Fault& current = fault();
        QMutexLocker locker(&current.lock);
        wanted = current.wanted;
    }
    if (wanted.isEmpty())
        return false;
    const QByteArray prefix = QByteArray(step) + ':';
    if (!wanted.startsWith(prefix) || !subject.contains(QString::fromUtf8(wanted.mid(prefix.size()))))
        return false;
    std::fprintf(stderr, "Failing %s on purpose: %s\n", step, qPrintable(subject));
    return true;
}

void CrashPoint::paced()
{
    static const int milliseconds = qEnvironmentVariableIntValue("LABELPRINTER_TEST_PACE_MS");
    if (milliseconds > 0)
        QThread::msleep(milliseconds);
}
