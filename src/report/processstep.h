#pragma once
// One step a device went through in a process flow; only its group and elapsed time matter here.

#include <QtGlobal>

struct ProcessStep
{
    int group = 0;
    qint64 elapsedNanoseconds = 0;
};
