// Fuzzes the settings file reader: the input is the global settings file as found at start. It is
// repaired if damaged, loaded, and read the way the poller and the print side read it.

#include "fuzzsetup.h"
#include "printing/zplprinters.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSetup::start();
    static QTemporaryDir root;
    qputenv("XDG_DATA_DIRS", root.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root.path() + QStringLiteral("/home")).toLocal8Bit());
    SystemPaths::selectComputedLayout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const SystemPaths& paths = SystemPaths::instance();
    {
        QFile file(paths.globalSettingsFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    SettingsManager* settings = SettingsManager::instance();
    if (!settings)
        return 0;
    JobListModel::read(settings);
    ZplPrinters::read(settings);
    settings->getValue(QStringLiteral("MC/lastReportId"), QString(), true);
    settings->getPassword(QStringLiteral("MC/password"), true);
    delete settings;
    // A damaged file is kept aside under a new name each time; the fuzzer makes many of them.
    QDir folder(paths.globalHomeDir);
    for (const QString& copy : folder.entryList({QStringLiteral("*.damaged-*")}, QDir::Files))
        folder.remove(copy);
    return 0;
}
