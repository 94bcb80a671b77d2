// QML utility objects: the "layouts" image provider, the connector line's path and hover test,
// the keyboard helper and the cursor overrides.

#include "app/curveline.h"
#include "app/imageprovider.h"
#include "app/imageproviderproxy.h"
#include "app/keyboard.h"
#include "app/mousecontrol.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(QVector<QPoint>)

namespace {

QStringList g_messages;
void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_messages.append(message);
}

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
        const QSize none;
        QTest::newRow("layout") << "layout/Shipping label.png" << none << QSize(40, 20);
        QTest::newRow("layout with cache breaker")
            << "layout/Shipping label.png???17" << none << QSize(40, 20);
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

    void unreadableImageIsLogged()
    {
        ImageProvider provider;
        QCOMPARE(provider.requestImage(QString(), nullptr, QSize()), QImage());

        const QString missing = SystemPaths::instance().layoutDir + QStringLiteral("/Missing.png");
        g_messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        QSize untouched(-1, -1);
        const QImage image =
            provider.requestImage(QStringLiteral("layout/Missing.png???3"), &untouched, QSize());
        qInstallMessageHandler(previous);
        QVERIFY(image.isNull());
        QCOMPARE(untouched, QSize(-1, -1));
        QCOMPARE(g_messages.size(), 1);
        QVERIFY(g_messages.first().contains(QStringLiteral("Failed to load snapshot from")));
        QVERIFY(g_messages.first().contains(missing));
    }

    // The engine owns the proxy; QML asks for images asynchronously through it.
    void proxyServesQmlImages()
    {
        QSharedPointer<ImageProvider> provider(new ImageProvider());
        auto* proxy = new ImageProviderProxy(provider);
        QCOMPARE(proxy->imageType(), QQmlImageProviderBase::Image);
        QVERIFY(proxy->flags().testFlag(QQmlImageProviderBase::ForceAsynchronousImageLoading));

        QQmlEngine engine;
        engine.addImageProvider(QStringLiteral("layouts"), proxy);
        QQmlComponent component(&engine);
        component.setData("import QtQuick 2.15\n"
                          "Image { source: \"image://layouts/layout/Shipping label.png???1\" }",
                          QUrl());
        QScopedPointer<QObject> image(component.create());
        QVERIFY2(image, qPrintable(component.errorString()));
        QTRY_COMPARE(image->property("status").toInt(), 1); // Image.Ready
        QCOMPARE(image->property("sourceSize").toSize(), QSize(40, 20));
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
        QTest::newRow("detour second vertical") << ds << de << QPointF(-20, 40) << true;
        QTest::newRow("detour last piece") << ds << de << QPointF(-5, 50) << true;
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
        QSignalSpy startSpy(&line, &CurveLine::startPointChanged);
        QSignalSpy endSpy(&line, &CurveLine::endPointChanged);
        QSignalSpy widthSpy(&line, &CurveLine::lineWidthChanged);
        QSignalSpy containsSpy(&line, &CurveLine::containsChanged);

        line.setColor(Qt::blue);
        line.setStartPoint(QPoint(0, 0)); // the default: no signal
        line.setEndPoint(QPoint(100, 50));
        line.setLineWidth(4.0);
        line.setLineWidth(4.0);
        QCOMPARE(startSpy.count(), 0);
        QCOMPARE(endSpy.count(), 1);
        QCOMPARE(widthSpy.count(), 1);

        QVERIFY(!line.contains(QPointF(50, 25))); // nothing painted yet
        QCOMPARE(containsSpy.count(), 0);

        QImage image(120, 80, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            line.paint(&painter);
        }
        QCOMPARE(line.elbowX(), 50);
        QCOMPARE(line.detourX(), -1);
        QCOMPARE(image.pixelColor(50, 25), QColor(Qt::blue));
        QCOMPARE(image.pixelColor(80, 10).alpha(), 0);

        QVERIFY(!line.contains(QPointF(50, 25)));
        QVERIFY(line.property("contains").toBool());
        QCOMPARE(containsSpy.count(), 1);
        QVERIFY(!line.contains(QPointF(51, 30)));
        QCOMPARE(containsSpy.count(), 1); // unchanged value, no signal
        QVERIFY(!line.contains(QPointF(50, 60)));
        QVERIFY(!line.property("contains").toBool());
        QCOMPARE(containsSpy.count(), 2);
    }

    void curveLineInQml()
    {
        CurveLine::registerQmlType();
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData(
            "import CurveLine 1.0\n"
            "CurveLine { startPoint: Qt.point(100, 0); endPoint: Qt.point(0, 50); color: \"red\" }",
            QUrl());
        QScopedPointer<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        auto* line = qobject_cast<CurveLine*>(object.data());
        QVERIFY(line);
        QCOMPARE(line->endPoint(), QPoint(0, 50));
        QCOMPARE(line->lineWidth(), 2.0);
    }

    void keyboard()
    {
        Keyboard keyboard;
        const QStringList layouts = {"be", "dk", "gb", "nl", "us"};
        QCOMPARE(keyboard.listKeyboards(), layouts);
        keyboard.setKeyboard(QStringLiteral("dk"));
        QCOMPARE(keyboard.getKeyboard(), QStringLiteral("us"));
        QVERIFY(!keyboard.isShiftDown());

        keyboard.copyToClipboard(QStringLiteral("Tue Mar 5 10:00:00 2024\tJob, \"A\""));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Tue Mar 5 10:00:00 2024\tJob, \"A\""));
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
