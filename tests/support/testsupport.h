#pragma once
// Shared fixtures of the test executables.

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace TestSupport {

// A temporary data root: XDG_DATA_DIRS and HOME point into a fresh folder, the application
// identity is set and the computed directory layout is built there. Keep it alive for the test.
class IsolatedDataRoot
{
public:
    IsolatedDataRoot();
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // The data root the program computes under this folder.
    QString dataRoot() const;
    // Environment for a child process that must use the same isolated root.
    QProcessEnvironment environment() const;

private:
    QTemporaryDir m_dir;
};

// Path of the built program.
QString programPath();

} // namespace TestSupport
