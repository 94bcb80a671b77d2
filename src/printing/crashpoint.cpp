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
