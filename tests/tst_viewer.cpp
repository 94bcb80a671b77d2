// The main window without QML: its published services, the connection state and poller switch,
// the status-bar message with its fall-back, and the size arguments.

#include "app/viewer.h"
#include "logcapture.h"
#include "mc/xmlpoller.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QWindow>

class TestViewer : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    TestSupport::LogCapture* m_log = nullptr;
    QQmlEngine* m_engine = nullptr;
    Viewer* m_viewer = nullptr;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
        m_log = new TestSupport::LogCapture;
        m_engine = new QQmlEngine;
        m_viewer = new Viewer(qobject_cast<QGuiApplication*>(qApp), m_engine);
        QCOMPARE(Viewer::instance(), m_viewer);
    }

    void cleanupTestCase()
    {
        QVERIFY(m_viewer->waitForWorkers(30000));
        delete m_viewer;
        delete m_engine;
    }

    void servicesArePublished()
    {
        const char* names[] = {"mcReportFields",   "userAppContainer",   "mcconnector",  "translator",
                               "settingsManager",  "processCoordinator", "systemconfig", "layoutmanager",
                               "printerInterface", "processStore",       "mouseControl", "keyboard",
                               "diagnostics",      "devicecustommodel",  "custommodel",  "reportList",
                               "popupProvider",    "xmlpoller",          "mcCertificate"};
        for (const char* name : names)
            QVERIFY2(m_viewer->rootContext()->contextProperty(name).value<QObject*>(), name);
        QCOMPARE(m_viewer->rootContext()->contextProperty("mcconnector").value<QObject*>(), m_viewer);
        QVERIFY(m_viewer->printHandler());
        QCOMPARE(m_viewer->getVersion(), QString("1.2.0.0"));
        QVERIFY(m_viewer->isFeatureEnabled(""));
        QVERIFY(m_viewer->isFeatureEnabled("anything"));
        QCOMPARE(m_viewer->minimumWidth(), 1200);
        QCOMPARE(m_viewer->minimumHeight(), 800);
    }

    void sizeArguments()
    {
        // main() gave the application "width=1500" and "height=abc".
        QCOMPARE(m_viewer->width(), 1500);
        QCOMPARE(m_viewer->height(), QWindow().height()); // "height=abc" is not a number: ignored
    }

    void firstCheckRunsWithoutQml()
    {
        // No console settings in a fresh data root: the check started by the constructor says so.
        QTRY_COMPARE_WITH_TIMEOUT(m_viewer->connectionState(), QString("Invalid settings"), 15000);
        QVERIFY(!m_viewer->poller()->isEnabled());
    }

    void connectionStateDrivesThePoller()
    {
        QSignalSpy changed(m_viewer, &Viewer::connectionStateChanged);
        m_viewer->setMcStatus("Connected");
        QVERIFY(m_viewer->poller()->isEnabled());
        m_viewer->setMcStatus("connected");
        QVERIFY(!m_viewer->poller()->isEnabled());
        QCOMPARE(m_viewer->connectionState(), QString("connected"));
        QCOMPARE(changed.count(), 2);
        m_viewer->checkMcConnection();
        QCOMPARE(m_viewer->connectionState(), QString("Connecting"));
        QTRY_COMPARE_WITH_TIMEOUT(m_viewer->connectionState(), QString("Invalid settings"), 15000);
    }

    void everyPressEndsInAFinalState()
    {
        // Each press comes the moment a check has delivered its state, while its thread still ends.
        QTRY_VERIFY_WITH_TIMEOUT(m_viewer->connectionState() != QString("Connecting"), 15000);
        const int wanted = 40;
        int presses = 0;
        const QMetaObject::Connection again = connect(m_viewer, &Viewer::connectionStateChanged, this, [&] {
            if (m_viewer->connectionState() != QString("Connecting") && presses < wanted) {
                ++presses;
                m_viewer->checkMcConnection();
            }
        });
        ++presses;
        m_viewer->checkMcConnection();
        QTRY_COMPARE_WITH_TIMEOUT(presses, wanted, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(m_viewer->connectionState(), QString("Invalid settings"), 15000);
        disconnect(again);
    }

    void statusBarMessage()
    {
        QSignalSpy changed(m_viewer, &Viewer::statusBarMessageChanged);
        m_viewer->setStatusBarMessage("Printing");
        QCOMPARE(changed.count(), 1);
        m_viewer->setStatusBarMessage("Printing"); // the same text: nothing
        QCOMPARE(changed.count(), 1);
        m_viewer->onStatusBarMessageTimeout();
        QCOMPARE(m_viewer->statusBarMessage(), QString("Ready"));
        m_viewer->onStatusBarMessageTimeout(); // notifies even when already "Ready"
        QCOMPARE(changed.count(), 3);

        // From a worker thread the text is handed to the window's thread.
        QThread* worker =
            QThread::create([this] { m_viewer->setStatusBarMessage("Fetching Reports: 1 - 5"); });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        QTRY_COMPARE(m_viewer->statusBarMessage(), QString("Fetching Reports: 1 - 5"));
        // ... and falls back to "Ready" ten seconds after the last change.
        QTRY_COMPARE_WITH_TIMEOUT(m_viewer->statusBarMessage(), QString("Ready"), 12000);
    }

    void secondWindowKeepsTheFirst()
    {
        QQmlEngine engine;
        Viewer second(qobject_cast<QGuiApplication*>(qApp), &engine);
        QVERIFY(m_log->contains("Warning: Reinitialization of viewer instance!"));
        QCOMPARE(Viewer::instance(), m_viewer);
        QVERIFY(second.waitForWorkers(30000));
    }
};

int main(int argc, char* argv[])
{
    // The window reads its size from the application's arguments; QtTest must not see them.
    QVector<char*> appArgs(argv, argv + argc);
    char width[] = "width=1500";
    char height[] = "height=abc";
    appArgs << width << height;
    int appArgc = appArgs.size();
    QApplication app(appArgc, appArgs.data());
    TestViewer test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_viewer.moc"
