#include "testsupport.h"

#include "app/applicationsetup.h"
#include "settings/systempaths.h"

#include <QDir>

namespace TestSupport {

IsolatedDataRoot::IsolatedDataRoot()
{
    if (!m_dir.isValid())
        return;
    QDir().mkpath(m_dir.path() + QStringLiteral("/share"));
    QDir().mkpath(m_dir.path() + QStringLiteral("/home"));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_dir.path() + QStringLiteral("/share")));
    qputenv("HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/home")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/home/.local/share")));
    ApplicationSetup::applyIdentity();
    ApplicationSetup::registerResources();
    SystemPaths::selectComputedLayout();
}

QString IsolatedDataRoot::dataRoot() const
{
    return m_dir.path() + QStringLiteral("/share/Korvex/KorvexSupportTool");
}

QProcessEnvironment IsolatedDataRoot::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_DIRS"), m_dir.path() + QStringLiteral("/share"));
    env.insert(QStringLiteral("HOME"), m_dir.path() + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.path() + QStringLiteral("/home/.local/share"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    return env;
}

QString programPath()
{
    return QStringLiteral(LABELPRINTER_BIN);
}

} // namespace TestSupport
