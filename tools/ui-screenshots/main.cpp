// The label printer's window, started as the program starts it with "--ui", driven through its
// views so that each can be saved as a picture:
//   ui-screenshots --out DIR [--timeout SECONDS]

#include "app/applicationsetup.h"
#include "app/curveline.h"
#include "app/popupnoteprovider.h"
#include "app/viewer.h"
#include "logging/logger.h"
#include "screenshotdriver.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QApplication>
#include <QQmlEngine>
#include <QUrl>

#include <cstdio>

int main(int argc, char* argv[])
{
    auto* application = new QApplication(argc, argv);
    new QuitOnSignal(application);
    ApplicationSetup::applyIdentity();
    ApplicationSetup::registerResources();

    QString outputDir;
    int timeoutSeconds = 90;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--out"))
            outputDir = arguments.at(i + 1);
        else if (arguments.at(i) == QLatin1String("--timeout"))
            timeoutSeconds = arguments.at(i + 1).toInt();
    }
    if (outputDir.isEmpty() || timeoutSeconds <= 0) {
        std::fprintf(stderr, "usage: ui-screenshots --out DIR [--timeout SECONDS]\n");
        return 2;
    }

    SystemPaths::selectComputedLayout();
    auto* logger = new Logger(application);
    if (!SettingsManager::instance())
        std::fprintf(stderr, "ui-screenshots: settings are unavailable\n");

    auto* engine = new QQmlEngine();
    auto* viewer = new Viewer(application, engine, nullptr);
    CurveLine::registerQmlType();
    PopupNoteProvider::registerQmlType();
    viewer->resize(1200, 800);
    viewer->setSource(QUrl(QStringLiteral("qrc:/ui/qml/standalone.qml")));
    viewer->show();

    ScreenshotDriver driver(viewer, outputDir, timeoutSeconds);
    driver.start();
    const int exitCode = application->exec();

    if (!viewer->waitForWorkers(15000)) {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    delete viewer;
    delete engine;
    delete logger;
    delete application;
    return exitCode;
}
