#include "app/mousecontrol.h"

#include <QGuiApplication>
#include <QWindow>

MouseControl::MouseControl(QObject* parent) : QObject(parent) {}

void MouseControl::setCursorTo(int x, int y)
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    if (windows.isEmpty())
        return;
    QCursor::setPos(windows.first()->mapToGlobal(QPoint(x, y)));
}

void MouseControl::resetCursorShape()
{
    QGuiApplication::restoreOverrideCursor();
}

void MouseControl::setCursorShape(const QCursor& cursor)
{
    QGuiApplication::setOverrideCursor(cursor);
}

void MouseControl::useResizeCursor()
{
    useOverrideCursor(Qt::SplitHCursor);
}

void MouseControl::useResizeVCursor()
{
    useOverrideCursor(Qt::SplitVCursor);
}

void MouseControl::useFDiagCursor()
{
    useOverrideCursor(Qt::SizeFDiagCursor);
}

void MouseControl::useOpenHandCursor()
{
    useOverrideCursor(Qt::OpenHandCursor);
}

void MouseControl::useOverrideCursor(Qt::CursorShape shape)
{
    if (m_overrideSet)
        QGuiApplication::restoreOverrideCursor();
    QGuiApplication::setOverrideCursor(QCursor(shape));
    m_overrideSet = true;
}
