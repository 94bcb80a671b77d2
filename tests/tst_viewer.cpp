// The main window without QML: the size arguments, a check pressed as one ends, a refused
// certificate met twice, and the status-bar message from other threads. The poller following the
// connection state is in tests/qml/tst_settingspanel.qml.

#include "app/popupnoteprovider.h"
#include "app/viewer.h"
#include "logcapture.h"
#include "logging/logger.h"
#include "mc/certificatetrust.h"
#include "mc/xmlpoller.h"
#include "settings/settingsmanager.h"
#include "standinprocess.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QWindow>

class TestViewer : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QQmlEngine* m_engine = nullptr;
    Viewer* m_viewer = nullptr;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
        // Starts the program's log, whose lines the check below holds on to.
        new TestSupport::LogCapture;
        m_engine = new QQmlEngine;
        m_viewer = new Viewer(qobject_cast<QGuiApplication*>(qApp), m_engine);
        QCOMPARE(Viewer::instance(), m_viewer);
        // main() gave the application "width=1500" and "height=abc", which is no number: ignored.
        QCOMPARE(m_viewer->width(), 1500);
        QCOMPARE(m_viewer->height(), QWindow().height());
    }

    void cleanupTestCase()
    {
        QVERIFY(m_viewer->waitForWorkers(30000));
        delete m_viewer;
        delete m_engine;
    }

    void pressAsACheckEndsGetsACheckOfItsOwn()
    {
        // The first contact sets the report-id watermark; its duration line is written after the
        // check delivered "Connected". Holding the checker thread there opens the moment in which
        // a press used to find the thread still running and start nothing.
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        SettingsManager* settings = SettingsManager::instance();
        settings->removeKey("MC/lastReportId", true);
        TestSupport::setConsole(server.port());
        const QMetaObject::Connection hold = connect(
            Logger::instance(), &Logger::delayed, this,
            [](const QString& line) {
                if (line.contains("REPORT DURATION") && QThread::currentThread() != qApp->thread())
                    QThread::msleep(1500);
            },
            Qt::DirectConnection);
        bool pressed = false;
        const QMetaObject::Connection press = connect(m_viewer, &Viewer::connectionStateChanged, this, [&] {
            if (!pressed && m_viewer->connectionState() == QString("Connected")) {
                pressed = true;
                m_viewer->checkMcConnection();
            }
        });
        m_viewer->checkMcConnection();
        QTRY_VERIFY_WITH_TIMEOUT(pressed, 15000);
        QCOMPARE(m_viewer->connectionState(), QString("Connecting"));
        QTRY_COMPARE_WITH_TIMEOUT(m_viewer->connectionState(), QString("Connected"), 15000);
        disconnect(press);
        disconnect(hold);
        QVERIFY(m_viewer->waitForWorkers(15000));
        settings->removeKey("MC", true);
    }

    // Polls that lose the console turn the state to "Failed to connect" with one note per outage,
    // however often they and the checks after them fail; the next outage has a note of its own.
    void lostConsoleIsOneNotePerOutage()
    {
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        m_viewer->poller()->setHeld(true); // no real poll: there is no console
        m_viewer->setMcStatus("Connected");
        for (int outage = 1; outage <= 2; ++outage) {
            emit m_viewer->poller()->consoleUnreachable();
            emit m_viewer->poller()->consoleUnreachable();
            QTRY_COMPARE(m_viewer->connectionState(), QString("Failed to connect"));
            QVERIFY(!m_viewer->poller()->isEnabled());
            m_viewer->setMcStatus("Failed to connect"); // a check again, still without an answer
            emit m_viewer->poller()->consoleUnreachable();
            QTest::qWait(50);
            QCOMPARE(notes.count(), outage);
            m_viewer->setMcStatus("Connected");
            QVERIFY(m_viewer->poller()->isEnabled());
        }
        m_viewer->setMcStatus("Failed to connect");
        m_viewer->poller()->setHeld(false);
    }

    // "Invalid settings" lasts only while a console field is empty: a completed form is checked
    // without a press, and a field emptied says so at once.
    void invalidSettingsFollowTheForm()
    {
        SettingsManager* settings = SettingsManager::instance();
        QObject* form = qvariant_cast<QObject*>(m_viewer->rootContext()->contextProperty("connectionForm"));
        QVERIFY(form);
        QTcpServer probe; // a port nothing listens on
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const int port = probe.serverPort();
        probe.close();
        TestSupport::setConsole(port);
        m_viewer->setMcStatus("Invalid settings");
        QVERIFY(QMetaObject::invokeMethod(form, "fieldsEdited"));
        QTRY_COMPARE_WITH_TIMEOUT(m_viewer->connectionState(), QString("Failed to connect"), 15000);
        settings->setValue("MC/password", QString(), true);
        QVERIFY(QMetaObject::invokeMethod(form, "fieldsEdited"));
        QTRY_COMPARE(m_viewer->connectionState(), QString("Invalid settings"));
        QVERIFY(m_viewer->waitForWorkers(15000));
        settings->removeKey("MC", true);
    }

    void certificateNoteAndStatusBarMessage()
    {
        // A poll and the check may both meet the same refused certificate: one state, one note.
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        m_viewer->setMcStatus("Connected");
        QVERIFY(m_viewer->poller()->isEnabled());
        emit CertificateTrust::instance()->refused();
        QTRY_COMPARE(m_viewer->connectionState(), QString("Certificate changed"));
        QVERIFY(!m_viewer->poller()->isEnabled());
        m_viewer->setMcStatus("Certificate changed");
        QCOMPARE(notes.count(), 1);
        m_viewer->setMcStatus("Failed to connect");

        // A status-bar message from a worker thread is handed to the window's thread.
        QThread* worker =
            QThread::create([this] { m_viewer->setStatusBarMessage("Fetching Reports: 1 - 5"); });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        QTRY_COMPARE(m_viewer->statusBarMessage(), QString("Fetching Reports: 1 - 5"));
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
