#include "printing/crashpoint.h"

#include <QByteArray>
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

bool CrashPoint::failing(const char* step, const QString& subject)
{
    const QByteArray wanted = qgetenv("LABELPRINTER_TEST_FAIL");
    if (wanted.isEmpty())
        return false;
    const QByteArray prefix = QByteArray(step) + ':';
    if (!wanted.startsWith(prefix) || !subject.contains(QString::fromUtf8(wanted.mid(prefix.size()))))
        return false;
    std::fprintf(stderr, "Failing %s on purpose: %s\n", step, qPrintable(subject));
    return true;
}
