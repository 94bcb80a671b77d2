// QML utility objects: the "layouts" image provider and the cursor overrides. The provider as QML
// loads it is checked by the layouts view's preview in tests/qml_editor.

#include "app/imageprovider.h"
#include "app/mousecontrol.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QApplication>
#include <QImage>
#include <QTest>

class TestQmlUtilities : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QString m_layoutPicture;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot();
        QVERIFY(m_root->isValid());
        m_layoutPicture = SystemPaths::instance().layoutDir + QStringLiteral("Shipping label.png");
        QImage picture(40, 20, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(m_layoutPicture));
    }
    void cleanupTestCase() { delete m_root; }

    void imageFromId_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QSize>("expected");
        const QSize none; // the layouts view loads "layout/<name>.png???<count>" in tests/qml_editor
        QTest::newRow("scaled") << "layout/Shipping label.png???2" << QSize(10, 5) << QSize(10, 5);
        QTest::newRow("width only is not scaled")
            << "layout/Shipping label.png" << QSize(10, 0) << QSize(40, 20);
        QTest::newRow("file path") << m_layoutPicture << none << QSize(40, 20);
    }
    void imageFromId()
    {
        QFETCH(QString, id);
        QFETCH(QSize, requested);
        QFETCH(QSize, expected);
        ImageProvider provider;
        QSize fullSize;
        const QImage image = provider.requestImage(id, &fullSize, requested);
        QCOMPARE(image.size(), expected);
        QCOMPARE(fullSize, QSize(40, 20));
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::red));
    }

    void unreadableImage()
    {
        ImageProvider provider;
        QSize untouched(-1, -1);
        QVERIFY(
            provider.requestImage(QStringLiteral("layout/Missing.png???3"), &untouched, QSize()).isNull());
        QCOMPARE(untouched, QSize(-1, -1));
    }

    // Switching between drag cursors replaces the override instead of stacking it, so one reset
    // brings the normal cursor back.
    void cursorOverridesDoNotStack()
    {
        MouseControl mouse;
        mouse.useResizeCursor();
        mouse.useResizeVCursor();
        mouse.useFDiagCursor();
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::SizeFDiagCursor);
        mouse.useOpenHandCursor();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::OpenHandCursor);
        mouse.resetCursorShape();
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(TestQmlUtilities)
#include "tst_qmlutilities.moc"
