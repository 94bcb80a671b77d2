#include "settings/systempaths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <memory>

namespace {

QMutex g_pathsLock;
std::unique_ptr<SystemPaths> g_paths; // never freed before exit, as every user may hold a reference

bool canCreateAndWrite(const QString& dir)
{
    if (!QDir().mkpath(dir))
        return false;
    QTemporaryFile probe(dir + QStringLiteral("/.writetest_XXXXXX"));
    return probe.open();
}

} // namespace

SystemPaths SystemPaths::fixedLayout()
{
    SystemPaths p;
    p.globalSettingsFile = QStringLiteral("/opt/KORVEX/home//global/.settingsStorage");
    p.homeDir = QStringLiteral("/opt/KORVEX/home/");
    p.globalHomeDir = QStringLiteral("/opt/KORVEX/home//global/");
    p.rootDir = QStringLiteral("/opt/KORVEX");
    p.binDir = QStringLiteral("/usr/local/quillon/bin");
    p.activeDir = QStringLiteral("/opt/KORVEX/active");
    p.evalUserDir = QStringLiteral("/opt/KORVEX/home//evaluser");
    p.userSettingsFile = QStringLiteral("/opt/KORVEX/active/.settingsStorage");
    p.layoutDir = QStringLiteral("/opt/KORVEX/home//global//customlayouts");
    p.processDir = QStringLiteral("/opt/KORVEX/home//global//customprocesses");
    p.downerDir = QStringLiteral("/opt/KORVEX/Downer");
    p.iosDir = QStringLiteral("/opt/KORVEX/IOS/");
    p.cacheDir = QStringLiteral("/usr/local/quillon/");
    p.usbIdsFile = QStringLiteral("/usr/local/share/usb.ids");
    p.dataDir = QStringLiteral("/usr/local/share/");
    return p;
}

SystemPaths SystemPaths::computedLayout(const QString& root)
{
    SystemPaths p;
    p.rootDir = root;
    p.homeDir = root + QStringLiteral("/home/");
    p.globalHomeDir = root + QStringLiteral("/home/global/");
    p.globalSettingsFile = QStringLiteral("%1settingsStorage.ini").arg(p.globalHomeDir);
    p.activeDir = root + QStringLiteral("/active/");
    p.evalUserDir = root + QStringLiteral("/home/evaluser");
    p.layoutDir = QStringLiteral("%1/customlayouts/").arg(p.globalHomeDir);
    p.processDir = QStringLiteral("%1/customprocesses/").arg(p.globalHomeDir);
    p.downerDir = root + QStringLiteral("/Downer/");
    p.iosDir = root + QStringLiteral("/IOS/");
    p.cacheDir = root + QStringLiteral("/.cache/");
    p.usbIdsFile = root + QStringLiteral("/.data/usb.ids");
    p.dataDir = root + QStringLiteral("/.data/");
    p.userSettingsFile = QStringLiteral("%1/settingsStorage.ini").arg(p.activeDir);
    return p;
}

QString SystemPaths::computedRoot()
{
    const QString org = QCoreApplication::organizationName();
    const QString app = QCoreApplication::applicationName();
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);

    auto completed = [&](QString r) {
        if (!r.contains(org))
            r += org + QLatin1Char('/') + app;
        return r;
    };

    if (locations.size() > 1) {
        const QString machineWide = completed(locations.at(1));
        if (canCreateAndWrite(machineWide))
            return machineWide;
        // An ordinary user cannot write the machine-wide folder (/usr/local/share on Linux).
        if (!locations.isEmpty()) {
            const QString perUser = completed(locations.at(0));
            qDebug() << "Data location" << machineWide << "is not writable, using" << perUser;
            return perUser;
        }
    }
    return completed(locations.value(0));
}

const SystemPaths& SystemPaths::selectComputedLayout()
{
    qDebug() << "INITIALING SYSMTEPAHT:" << QCoreApplication::organizationName()
             << QCoreApplication::applicationName();
    SystemPaths p = computedLayout(computedRoot());
    qDebug() << "ROOTDI:" << p.rootDir << "HOME:" << p.homeDir << "globalHome" << p.globalHomeDir
             << "active:" << p.activeDir << "layoutdir" << p.layoutDir << "processDir" << p.processDir;
    for (const QString& dir :
         {p.rootDir, p.homeDir, p.globalHomeDir, p.activeDir, p.layoutDir, p.processDir}) {
        if (!QFileInfo::exists(dir))
            QDir().mkpath(dir);
    }
    QMutexLocker lock(&g_pathsLock);
    if (!g_paths)
        g_paths = std::make_unique<SystemPaths>(p);
    else
        *g_paths = p; // callers hold references to the record, so it is updated in place
    return *g_paths;
}

const SystemPaths& SystemPaths::instance()
{
    QMutexLocker lock(&g_pathsLock);
    if (!g_paths)
        g_paths = std::make_unique<SystemPaths>(fixedLayout());
    return *g_paths;
}
