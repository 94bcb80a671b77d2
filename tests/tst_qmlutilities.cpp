// QML utility objects: the "layouts" image provider, the connector line's path and hover test,
// and the cursor overrides. The provider as QML loads it is checked by the layouts view's
// preview in tests/qml_editor.

#include "app/curveline.h"
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
        QTest::newRow("layout") << "layout/Shipping label.png" << none << QSize(40, 20);
        QTest::newRow("scaled") << "layout/Shipping label.png???2" << QSize(10, 5) << QSize(10, 5);
        QTest::newRow("width only is not scaled")
            << "layout/Shipping label.png" << QSize(10, 0) << QSize(40, 20);
        QTest::newRow("file path") << m_layoutPicture << none << QSize(40, 20);
        QTest::newRow("snapshot url") << "image://snapshots/" + m_layoutPicture << QSize(8, 4) << QSize(8, 4);
        QTest::newRow("screenshot url") << "image://screenshots/" + m_layoutPicture << none << QSize(40, 20);
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
        QCOMPARE(provider.requestImage(QString(), nullptr, QSize()), QImage());
        QSize untouched(-1, -1);
        QVERIFY(
            provider.requestImage(QStringLiteral("layout/Missing.png???3"), &untouched, QSize()).isNull());
        QCOMPARE(untouched, QSize(-1, -1));
    }

    // No screen draws the connector line yet: its paths and hover test in one compact check.
    void curveGeometry()
    {
        struct Case
        {
            QPoint start, end;
            QVector<int> elbowAndDetour;
            QVector<QPoint> path;
        };
        const Case cases[] = {
            {{0, 0}, {100, 50}, {50, -1, -1}, {{0, 0}, {20, 0}, {50, 0}, {50, 50}, {80, 50}, {100, 50}}},
            {{100, 0},
             {0, 50},
             {120, -20, 25},
             {{100, 0}, {120, 0}, {120, 25}, {-20, 25}, {-20, 50}, {0, 50}}},
            // Too close for an elbow after the stub: goes round although the end is to the right.
            {{0, 0}, {30, 40}, {20, 10, 20}, {{0, 0}, {20, 0}, {20, 20}, {10, 20}, {10, 40}, {30, 40}}}};
        for (const Case& c : cases) {
            const CurveLine::Geometry geometry = CurveLine::geometryFor(c.start, c.end);
            QCOMPARE(QVector<int>({geometry.elbowX, geometry.detourX, geometry.detourY}), c.elbowAndDetour);
            QVector<QPoint> points;
            for (int i = 0; i < geometry.path.elementCount(); ++i)
                points << QPointF(geometry.path.elementAt(i)).toPoint();
            QCOMPARE(points, c.path);
        }
        // Hovering: within the tolerance of a piece, not past its end nor inside a detour.
        const QVector<QLine> elbow = CurveLine::geometryFor({0, 0}, {100, 50}).pieces;
        QVERIFY(CurveLine::hits(elbow, {10, 5.9}) && !CurveLine::hits(elbow, {10, 6}));
        QVERIFY(!CurveLine::hits(elbow, {101, 50}) &&
                !CurveLine::hits(CurveLine::geometryFor({100, 0}, {0, 50}).pieces, {50, 40}));
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

        mouse.setCursorShape(QCursor(Qt::WaitCursor));
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        mouse.resetCursorShape();
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(TestQmlUtilities)
#include "tst_qmlutilities.moc"
