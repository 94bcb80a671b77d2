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
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(QVector<QPoint>)

namespace {

QVector<QPoint> pathPoints(const QPainterPath& path)
{
    QVector<QPoint> points;
    for (int i = 0; i < path.elementCount(); ++i)
        points << QPointF(path.elementAt(i)).toPoint();
    return points;
}

} // namespace

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

    void curveGeometry_data()
    {
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("end");
        QTest::addColumn<int>("elbowX");
        QTest::addColumn<int>("detourX");
        QTest::addColumn<int>("detourY");
        QTest::addColumn<QVector<QPoint>>("path");
        QTest::newRow("elbow") << QPoint(0, 0) << QPoint(100, 50) << 50 << -1 << -1
                               << QVector<QPoint>{{0, 0}, {20, 0}, {50, 0}, {50, 50}, {80, 50}, {100, 50}};
        QTest::newRow("detour") << QPoint(100, 0) << QPoint(0, 50) << 120 << -20 << 25
                                << QVector<QPoint>{{100, 0},  {120, 0},  {120, 25},
                                                   {-20, 25}, {-20, 50}, {0, 50}};
        // Too close for an elbow after the stub: goes round although the end is to the right.
        QTest::newRow("close") << QPoint(0, 0) << QPoint(30, 40) << 20 << 10 << 20
                               << QVector<QPoint>{{0, 0}, {20, 0}, {20, 20}, {10, 20}, {10, 40}, {30, 40}};
    }
    void curveGeometry()
    {
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);
        QFETCH(int, elbowX);
        QFETCH(int, detourX);
        QFETCH(int, detourY);
        QFETCH(QVector<QPoint>, path);
        const CurveLine::Geometry geometry = CurveLine::geometryFor(start, end);
        QCOMPARE(geometry.elbowX, elbowX);
        QCOMPARE(geometry.detourX, detourX);
        QCOMPARE(geometry.detourY, detourY);
        QCOMPARE(pathPoints(geometry.path), path);
    }

    void curveHits_data()
    {
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("end");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<bool>("hit");
        const QPoint s(0, 0), e(100, 50);
        QTest::newRow("on the elbow") << s << e << QPointF(50, 25) << true;
        QTest::newRow("below the elbow") << s << e << QPointF(50, 60) << false;
        QTest::newRow("near the first piece") << s << e << QPointF(10, 5.9) << true;
        QTest::newRow("just outside the tolerance") << s << e << QPointF(10, 6) << false;
        QTest::newRow("end of the last piece") << s << e << QPointF(100, 50) << true;
        QTest::newRow("past the end") << s << e << QPointF(101, 50) << false;
        const QPoint ds(100, 0), de(0, 50);
        QTest::newRow("detour first vertical") << ds << de << QPointF(121, 10) << true;
        QTest::newRow("detour middle") << ds << de << QPointF(50, 27) << true;
        QTest::newRow("inside the detour") << ds << de << QPointF(50, 40) << false;
        QTest::newRow("straight line") << QPoint(0, 10) << QPoint(100, 10) << QPointF(50, 10) << true;
    }
    void curveHits()
    {
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);
        QFETCH(QPointF, point);
        QFETCH(bool, hit);
        QCOMPARE(CurveLine::hits(CurveLine::geometryFor(start, end).pieces, point), hit);
    }

    // The item takes no mouse input, but tracks through contains() whether the pointer is over the
    // line it last painted.
    void curveLineItem()
    {
        CurveLine line;
        line.setSize(QSizeF(120, 80));
        QSignalSpy containsSpy(&line, &CurveLine::containsChanged);
        line.setColor(Qt::blue);
        line.setEndPoint(QPoint(100, 50));
        line.setLineWidth(4.0);
        QVERIFY(!line.contains(QPointF(50, 25))); // nothing painted yet
        QCOMPARE(containsSpy.count(), 0);

        QImage image(120, 80, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            line.paint(&painter);
        }
        QCOMPARE(image.pixelColor(50, 25), QColor(Qt::blue));
        QCOMPARE(image.pixelColor(80, 10).alpha(), 0);

        QVERIFY(!line.contains(QPointF(50, 25)));
        QVERIFY(line.property("contains").toBool());
        QVERIFY(!line.contains(QPointF(51, 30)));
        QCOMPARE(containsSpy.count(), 1); // unchanged value, no signal
        QVERIFY(!line.contains(QPointF(50, 60)));
        QVERIFY(!line.property("contains").toBool());
        QCOMPARE(containsSpy.count(), 2);
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
