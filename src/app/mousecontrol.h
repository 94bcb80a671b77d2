#pragma once
// Moves the mouse cursor and sets the application's cursor shape while the layout editor drags
// and resizes objects.

#include <QCursor>
#include <QObject>

class MouseControl : public QObject
{
    Q_OBJECT
public:
    explicit MouseControl(QObject* parent = nullptr);

public slots:
    // (x, y) in the coordinates of the first top-level window.
    void setCursorTo(int x, int y);
    void resetCursorShape();
    void setCursorShape(const QCursor& cursor);
    void useResizeCursor();
    void useResizeVCursor();
    void useFDiagCursor();
    void useOpenHandCursor();

private:
    // Replaces the override cursor this object set before, so overrides never stack up.
    void useOverrideCursor(Qt::CursorShape shape);

    bool m_overrideSet = false;
};
