// The editor's document model: undo and redo over whole edits, copies landing in free space on
// the label, snapping while dragging, arrow-key nudges, stored layouts kept through load and save,
// and the text font reaching the printed label.

#include "app/layouthistory.h"
#include "app/layoutmodel.h"
#include "printing/layoutcheck.h"
#include "printing/textprintitem_.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QtTest>

#include <memory>

namespace {

const QVariantMap kSheet{{"name", "Model"}, {"width", 496}, {"height", 800}, {"version", "1"}};

// A layout of the given size (units) with text boxes at the given centres and sizes.
QJsonObject layoutWith(int width, int height, const QList<QRect>& boxes)
{
    QJsonArray objects;
    int id = 0;
    for (const QRect& box : boxes)
        objects.append(QJsonObject{{"type", "TextObject.qml"},
                                   {"unformattedString", QStringLiteral("T%1").arg(id)},
                                   {"item_id", id++},
                                   {"x", box.x()},
                                   {"y", box.y()},
                                   {"width", box.width()},
                                   {"height", box.height()}});
    return QJsonObject{{"name", "Model"}, {"width", width}, {"height", height}, {"objects", objects}};
}

// A new barcode over the IMEI with its human-readable text attached; the barcode's id.
int addBarcodeWithText(LayoutModel* model)
{
    const int barcode = model->addNew("BarCode.qml");
    QVariantMap record = model->recordOf(barcode);
    record.insert("contentOrder", "IMEI");
    record.insert("attachText", true);
    model->updateObject(barcode, record);
    model->syncHumanReadable(barcode);
    return barcode;
}

QRectF boundsOf(const QVariantMap& record)
{
    const double w = record.value("width").toDouble();
    const double h = record.value("height").toDouble();
    return QRectF(record.value("x").toDouble() - w / 2, record.value("y").toDouble() - h / 2, w, h);
}

QRectF boundsOf(const LayoutModel& model, int id)
{
    return boundsOf(model.recordOf(id));
}

// Ink width of a text printed alone on a white image.
int inkWidth(const QJsonObject& record)
{
    TextPrintItem_ item(nullptr, record, 1, nullptr);
    QImage image(600, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    item.paint(&image, &painter);
    painter.end();
    int left = image.width();
    int right = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
    }
    return right - left;
}

} // namespace

class TestLayoutModel : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
    }

    void undoAndRedoReturnEachState()
    {
        LayoutModel model;
        QVERIFY(model.load(layoutWith(496, 800, {QRect(100, 100, 80, 40)})));
        QStringList states{model.text(kSheet)};
        const auto remember = [&] {
            states.append(model.text(kSheet));
        };

        const int added = model.addNew("BarCode.qml");
        QVariantMap barcode = model.recordOf(added);
        barcode.insert("contentOrder", "IMEI");
        barcode.insert("attachText", true);
        QVERIFY(model.updateObject(added, barcode));
        model.syncHumanReadable(added);
        QVERIFY(model.commit("Add barcode"));
        remember();
        model.select(0, false);
        model.beginDrag(0);
        model.dragBy(37, 52, true);
        model.endDrag();
        remember();
        model.select(added, false);
        QCOMPARE(model.copySelection(), 2);
        QCOMPARE(model.paste().size(), 2);
        remember();
        model.select(0, false);
        model.removeSelection();
        remember();
        QCOMPARE(model.history()->undoText(), QStringLiteral("Delete"));

        for (int i = states.size() - 2; i >= 0; --i) {
            model.undo();
            QCOMPARE(model.text(kSheet), states.at(i));
        }
        for (int i = 1; i < states.size(); ++i) {
            model.redo();
            QCOMPARE(model.text(kSheet), states.at(i));
        }
    }

    // Where a copy lands, for a label with room and for one without.
    void copiesLandInsideTheLabel_data()
    {
        QTest::addColumn<QJsonObject>("layout");
        QTest::addColumn<bool>("duplicate");
        QTest::addColumn<bool>("overlapAllowed");
        // A text near the right edge of a 62 mm label: a copy offset to the right would leave it.
        const QJsonObject roomy = layoutWith(496, 800, {QRect(420, 100, 140, 40)});
        // Only room for the one box.
        const QJsonObject full = layoutWith(200, 200, {QRect(100, 100, 190, 190)});
        const QJsonObject fullCorner = layoutWith(200, 200, {QRect(110, 110, 180, 180)});
        // A drawn frame around the whole label leaves room inside it.
        QJsonObject framed = roomy;
        QJsonArray objects = framed.value("objects").toArray();
        objects.prepend(QJsonObject{{"type", "ShapeObject.qml"},
                                    {"sourceShape", "rectangle"},
                                    {"item_id", 9},
                                    {"x", 248},
                                    {"y", 400},
                                    {"width", 480},
                                    {"height", 780}});
        framed.insert("objects", objects);
        QTest::newRow("paste, room") << roomy << false << false;
        QTest::newRow("paste inside a frame") << framed << false << false;
        QTest::newRow("duplicate, room") << roomy << true << false;
        QTest::newRow("paste, full") << full << false << true;
        QTest::newRow("duplicate, full at the corner") << fullCorner << true << true;
    }

    void copiesLandInsideTheLabel()
    {
        QFETCH(QJsonObject, layout);
        QFETCH(bool, duplicate);
        QFETCH(bool, overlapAllowed);
        LayoutModel model;
        QVERIFY(model.load(layout));
        model.setWidthUnits(layout.value("width").toInt());
        model.setHeightUnits(layout.value("height").toInt());
        model.select(0, false);
        QRectF source = boundsOf(model, 0);
        if (!duplicate)
            QCOMPARE(model.copySelection(), 1);

        // A duplicate's source is the copy made before it (the selection); a paste's the copied one.
        for (int round = 0; round < 3; ++round) {
            const QVariantList ids = duplicate ? model.duplicateSelection() : model.paste();
            QCOMPARE(ids.size(), 1);
            const QRectF copy = boundsOf(model, ids.first().toInt());
            QVERIFY2(QRectF(0, 0, model.widthUnits(), model.heightUnits()).contains(copy),
                     qPrintable(QStringLiteral("round %1").arg(round)));
            QVERIFY(copy.topLeft() != source.topLeft());
            if (!overlapAllowed)
                QVERIFY(!copy.intersects(source));
            if (duplicate)
                source = copy;
        }
    }

    void dragSnaps_data()
    {
        QTest::addColumn<QPointF>("drag");
        QTest::addColumn<bool>("free");
        QTest::addColumn<QPointF>("topLeft");
        // Dragged box 80 x 40 starting at (10, 10); a neighbour's left edge at 203 (centre 243).
        QTest::newRow("onto the grid") << QPointF(33, 24) << false << QPointF(40, 30);
        QTest::newRow("right edge onto the neighbour's left edge")
            << QPointF(111, 4) << false << QPointF(123, 10);
        QTest::newRow("left edge onto the neighbour's left edge")
            << QPointF(191, 2) << false << QPointF(203, 10);
        QTest::newRow("shift suspends it") << QPointF(111, 4) << true << QPointF(121, 14);
    }

    void dragSnaps()
    {
        QFETCH(QPointF, drag);
        QFETCH(bool, free);
        QFETCH(QPointF, topLeft);
        LayoutModel model;
        QVERIFY(model.load(layoutWith(496, 800, {QRect(50, 30, 80, 40), QRect(243, 300, 80, 40)})));
        model.setSnapReach(4);
        model.select(0, false);
        model.beginDrag(0);
        model.dragBy(drag.x(), drag.y(), free);
        model.endDrag();
        QCOMPARE(boundsOf(model, 0).topLeft(), topLeft);
    }

    void resizeSnapsTheDraggedEdge_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<bool>("free");
        QTest::addColumn<QRectF>("bounds");
        // Box 80 x 40 with its top left at (10, 10); a neighbour's left edge at 204.
        QTest::newRow("onto the grid") << QSizeF(113, 47) << false << QRectF(10, 10, 110, 50);
        QTest::newRow("onto the neighbour's edge") << QSizeF(190, 40) << false << QRectF(10, 10, 194, 40);
        QTest::newRow("shift suspends it") << QSizeF(190, 48) << true << QRectF(10, 10, 190, 48);
    }

    void resizeSnapsTheDraggedEdge()
    {
        QFETCH(QSizeF, size);
        QFETCH(bool, free);
        QFETCH(QRectF, bounds);
        LayoutModel model;
        QVERIFY(model.load(layoutWith(496, 800, {QRect(50, 30, 80, 40), QRect(244, 300, 80, 40)})));
        model.setSnapReach(4);
        model.resizeTo(0, size.width(), size.height(), true, free);
        QCOMPARE(boundsOf(model, 0), bounds);
    }

    void nudgesMoveFollowersAndUndoAsOne()
    {
        LayoutModel model;
        QVERIFY(model.load(layoutWith(496, 800, {QRect(100, 100, 80, 40)})));
        const int barcode = addBarcodeWithText(&model);
        model.commit("Add barcode");
        const QString before = model.text(kSheet);
        const int text = model.recordOf(barcode).value("textobjectid").toInt();
        const QRectF textBefore = boundsOf(model, text);

        // Selecting the text moves its barcode with it.
        model.select(text, false);
        for (int i = 0; i < 3; ++i)
            model.nudge(LayoutModel::kNudgeUnits, 0);
        model.nudge(0, -10 * LayoutModel::kNudgeUnits);
        QCOMPARE(boundsOf(model, text).topLeft() - textBefore.topLeft(), QPointF(12, -40));
        QCOMPARE(boundsOf(model, text).top(), boundsOf(model, barcode).bottom());

        model.undo();
        QCOMPARE(model.text(kSheet), before);
    }

    void stackingMovesAnObjectWithItsFollower()
    {
        LayoutModel model;
        QVERIFY(model.load(layoutWith(496, 800, {QRect(50, 50, 40, 20), QRect(150, 50, 40, 20)})));
        const int barcode = addBarcodeWithText(&model);
        const int text = model.recordOf(barcode).value("textobjectid").toInt();
        QVERIFY(model.load(QJsonObject{{"objects", QJsonArray::fromVariantList(QVariantList{
                                                       model.recordOf(barcode), model.recordOf(text),
                                                       model.recordOf(0), model.recordOf(1)})}}));
        const auto order = [&] {
            QList<int> ids;
            for (const QVariant& record : model.records())
                ids.append(record.toMap().value("item_id").toInt());
            return ids;
        };
        model.bringToFront(barcode);
        QCOMPARE(order(), QList<int>({0, 1, barcode, text}));
        model.sendToBack(barcode);
        QCOMPARE(order(), QList<int>({barcode, text, 0, 1}));
        model.undo();
        QCOMPARE(order(), QList<int>({0, 1, barcode, text}));
    }

    void typedRotationTurnsTheFollowerToo()
    {
        LayoutModel model;
        QVERIFY(model.load(layoutWith(496, 800, {})));
        const int barcode = addBarcodeWithText(&model);
        model.setRotation(-90);
        const QVariantMap turned = model.recordOf(barcode);
        const QVariantMap text = model.recordOf(turned.value("textobjectid").toInt());
        QCOMPARE(turned.value("rotation").toInt(), 270);
        QCOMPARE(text.value("rotation").toInt(), 270);
        // Below the barcode when turned: to its right on the page.
        QCOMPARE(text.value("y").toInt(), turned.value("y").toInt());
        QVERIFY(text.value("x").toInt() > turned.value("x").toInt());
    }

    void storedLayoutsSurviveLoadAndSave_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QFile demo(QStringLiteral(LABELPRINTER_SOURCE_DIR "/resources/demo/Station label.lyson"));
        QVERIFY(demo.open(QIODevice::ReadOnly));
        QTest::newRow("demo") << demo.readAll();
        QTest::newRow("small") << TestSupport::smallLayout("Small", "<b>Caf\u00e9 \\\"<model>\\\"");
    }

    void storedLayoutsSurviveLoadAndSave()
    {
        QFETCH(QByteArray, stored);
        const QJsonObject original = QJsonDocument::fromJson(stored).object();
        QVERIFY(!original.isEmpty());
        QVariantMap sheet = original.toVariantMap();
        sheet.remove("objects");

        LayoutModel model;
        QVERIFY(model.load(original));
        const QString saved = model.text(sheet);
        QString problem;
        QVERIFY2(LayoutCheck::isPrintable(QJsonDocument::fromJson(saved.toUtf8()).object(), &problem),
                 qPrintable(problem));
        // Every stored key keeps its value.
        const QJsonArray before = original.value("objects").toArray();
        const QJsonArray after = QJsonDocument::fromJson(saved.toUtf8()).object().value("objects").toArray();
        QCOMPARE(after.size(), before.size());
        for (int i = 0; i < before.size(); ++i) {
            const QJsonObject object = before.at(i).toObject();
            for (auto key = object.begin(); key != object.end(); ++key)
                QCOMPARE(after.at(i).toObject().value(key.key()), key.value());
        }
        // What the editor wrote reads back to the same text.
        QVERIFY(model.loadText(saved));
        QCOMPARE(model.text(sheet), saved);
    }

    void textFontReachesThePrintedLabel()
    {
        LayoutModel model;
        QVERIFY(model.load(layoutWith(496, 800, {QRect(300, 50, 580, 90)})));
        QVariantMap record = model.recordOf(0);
        record.insert("unformattedString", "iiiiiiiiii");
        record.insert("pixelSize", 40);
        model.updateObject(0, record);
        const auto printed = [&] {
            return QJsonDocument::fromJson(model.text(kSheet).toUtf8())
                .object()
                .value("objects")
                .toArray()
                .at(0)
                .toObject();
        };
        QVERIFY(!printed().contains("fontFamily"));
        const int defaultWidth = inkWidth(printed());
        record.insert("fontFamily", "DejaVu Sans Mono");
        model.updateObject(0, record);
        QCOMPARE(printed().value("fontFamily").toString(), QStringLiteral("DejaVu Sans Mono"));
        QVERIFY2(inkWidth(printed()) > defaultWidth + 50, "narrow letters are wide in a fixed-width font");
    }
};

QTEST_MAIN(TestLayoutModel)
#include "tst_layoutmodel.moc"
