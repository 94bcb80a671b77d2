// Runs the layout editor's QML tests with the window's services published to the test engine, in
// an isolated data root.

#include "app/applicationsetup.h"
#include "app/imageprovider.h"
#include "app/imageproviderproxy.h"
#include "app/layoutdocument.h"
#include "app/popupnoteprovider.h"
#include "app/viewer.h"
#include "editortesthelper.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        SettingsManager::instance();
        ApplicationSetup::registerResources();
        PopupNoteProvider::registerQmlType();
        LayoutDocument::registerQmlType();
        // One test file after another: the Viewer of the last one goes first, so the program-wide
        // instance is the new one.
        m_viewer.reset();
        m_viewerEngine = std::make_unique<QQmlEngine>();
        m_viewer = std::make_unique<Viewer>(qobject_cast<QGuiApplication*>(qApp), m_viewerEngine.get());
        m_viewer->publishContextProperties(engine->rootContext());
        engine->addImageProvider(QStringLiteral("layouts"),
                                 new ImageProviderProxy(QSharedPointer<ImageProvider>::create()));
        engine->rootContext()->setContextProperty(QStringLiteral("editorTest"), &m_helper);
        engine->addImportPath(QStringLiteral("qrc:/ui/qml"));
    }
    void cleanupTestCase()
    {
        if (m_viewer)
            m_viewer->waitForWorkers(15000);
    }

private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<QQmlEngine> m_viewerEngine;
    std::unique_ptr<Viewer> m_viewer;
    EditorTestHelper m_helper;
};

QUICK_TEST_MAIN_WITH_SETUP(qml_editor, Setup)

#include "main.moc"
