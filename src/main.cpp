#include "app/applicationsetup.h"
#include "app/commandline.h"
#include "app/curveline.h"
#include "app/layoutdocument.h"
#include "app/popupnoteprovider.h"
#include "app/stationwatch.h"
#include "app/viewer.h"
#include "logging/logger.h"
#include "settings/settingsmanager.h"
#include "settings/stationlock.h"
#include "settings/systempaths.h"

#include <QApplication>
#include <QDebug>
#include <QLoggingCategory>
#include <QQmlEngine>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    ApplicationSetup::keepLargeBlocks();
    ApplicationSetup::preferHeadlessPlatform(argc, argv);
    auto* application = new QApplication(argc, argv);
    // First, so a stop request during start-up still ends in a clean shutdown.
    new QuitOnSignal(application); // owned by the application
    ApplicationSetup::applyIdentity();
    CommandLine commandLine(QCoreApplication::arguments());
    if (commandLine.action() == CommandLine::Action::ShowStatus) {
        // Asks the running program; nothing of this one starts, and its debug lines stay quiet.
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        const int exitCode = StationWatch::printStatus(SystemPaths::computedRoot(), commandLine.json());
        delete application;
        return exitCode;
    }
    if (commandLine.action() != CommandLine::Action::Run) {
        const int exitCode = commandLine.printAnswer(); // --help or --version: nothing else starts
        delete application;
        return exitCode;
    }
    ApplicationSetup::registerResources();

    SystemPaths::selectComputedLayout();
    // Before the log: a refused second program must not touch the other one's log file.
    StationLock stationLock(SystemPaths::instance().rootDir);
    if (!stationLock.acquire()) {
        ApplicationSetup::showRefusal(stationLock.refusal(), commandLine.showUi());
        delete application;
        return ApplicationSetup::kExitDataRootInUse;
    }
    auto* logger = new Logger(application);
    qDebug() << "Starting" << QCoreApplication::applicationName() << QCoreApplication::applicationVersion();
    qDebug() << "Holding the data root through" << stationLock.path();
    commandLine.logWarnings();
    SettingsManager* settings = SettingsManager::instance();
    if (!settings)
        qWarning() << "Settings are unavailable: the home directory" << SystemPaths::instance().homeDir
                   << "does not exist";

    auto* engine = new QQmlEngine();
    auto* viewer = new Viewer(application, engine, nullptr);
    CurveLine::registerQmlType();
    PopupNoteProvider::registerQmlType();
    LayoutDocument::registerQmlType();
    if (commandLine.showUi()) {
        viewer->setSource(QUrl(QStringLiteral("qrc:/ui/qml/standalone.qml")));
        viewer->show();
    }

    auto* watch = new StationWatch(viewer, SystemPaths::instance().rootDir);

    const int exitCode = application->exec();
    watch->shutDown();

    if (settings)
        settings->flush();
    // A request to the console can take a minute to time out, and a print system may not answer at
    // all; a stop must not wait for either.
    if (!viewer->waitForWorkers(15000)) {
        qWarning() << "A console or print system request is still running; leaving without waiting for it";
        qDebug() << "Leaving with exit code" << exitCode;
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    qDebug() << "Leaving with exit code" << exitCode;
    delete watch;
    delete viewer;
    delete engine;
    delete logger;
    delete application;
    return exitCode;
}
