#pragma once
// A process-flow object the window publishes for QML. The stand-alone printer runs no process
// flows, so it carries no state; it exists so QML that names it finds it.

#include <QObject>

class ProcessTagValues : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
};
