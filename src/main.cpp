#include "app/applicationsetup.h"
#include "logging/logger.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QApplication>
#include <QDebug>
#include <QQmlEngine>

int main(int argc, char* argv[])
{
    ApplicationSetup::preferHeadlessPlatform(argc, argv);
    auto* application = new QApplication(argc, argv);
    // First, so a stop request during start-up still ends in a clean shutdown.
    new QuitOnSignal(application); // owned by the application
    ApplicationSetup::applyIdentity();
    ApplicationSetup::registerResources();

    SystemPaths::selectComputedLayout();
    auto* logger = new Logger(application);
    qDebug() << "Starting" << QCoreApplication::applicationName() << QCoreApplication::applicationVersion();

    auto* engine = new QQmlEngine();
    SettingsManager* settings = SettingsManager::instance();
    if (!settings)
        qWarning() << "Settings are unavailable: the home directory" << SystemPaths::instance().homeDir
                   << "does not exist";

    const int exitCode = application->exec();

    if (settings)
        settings->flush();
    qDebug() << "Leaving with exit code" << exitCode;
    delete engine;
    delete logger;
    delete application;
    return exitCode;
}
