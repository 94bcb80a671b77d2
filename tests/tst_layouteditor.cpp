// The editor's native side: stored layouts read back for the canvas (bad records left out with the
// message that names them), records written in their fixed order, the page check with rotation,
// millimetres to layout units, the undo history, aligning, free places, copies of objects and the
// field choosers.

#include "app/layoutdocument.h"
#include "app/layoutgeometry.h"
#include "app/layouthistory.h"
#include "app/objectclipboard.h"
#include "logcapture.h"
#include "printing/printhandler.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/tagparser.h"
#include "samplereports.h"
#include "testsupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

class TestLayoutEditor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readsBackOnlyWhatTheCanvasCanShow();
    void writesRecordsInTheirOrderAndDropsInvalidOnes();
    void pageCheckTurnsWithTheObject_data();
    void pageCheckTurnsWithTheObject();
    void sizesAreWholeMillimetres();
    void historyStepsThroughEveryState();
    void historyMergesRunsAndKeepsItsDepth();
    void millimetreTextIsRead_data();
    void millimetreTextIsRead();
    void millimetresRoundTripEveryUnit();
    void geometryKeepsTheCoveredCorner();
    void alignsCoveredBoxes_data();
    void alignsCoveredBoxes();
    void distributesWithEqualGaps();
    void freePlaceAvoidsOthers();
    void copiesKeepTheirLinks();
    void clipboardPastesFurtherEachTime();
    void choosersAreSortedAndSearchable();
    void chooserTagsNeverShowRawTags();

private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<TestSupport::LogCapture> m_log;
};

void TestLayoutEditor::initTestCase()
{
    m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
    QVERIFY(m_root->isValid());
    m_log = std::make_unique<TestSupport::LogCapture>();
}

void TestLayoutEditor::readsBackOnlyWhatTheCanvasCanShow()
{
    const QJsonArray objects{
        QJsonObject{{"type", "TextObject.qml"},
                    {"x", 10},
                    {"y", 10},
                    {"width", 40},
                    {"height", 20},
                    {"unformattedString", "<model>"},
                    {"item_id", 0}},
        QJsonObject{{"type", "TextObject.qml"}, {"x", 10}, {"width", 40}, {"height", 20}},
        QJsonObject{{"type", "TextObject.qml"}, {"x", 10}, {"y", 10}, {"width", 40}, {"height", 20}},
        QJsonObject{{"type", "BarCode.qml"}, {"x", 10}, {"y", 10}, {"width", 40}, {"height", 20}},
        // Layouts written by hand or elsewhere lack the editor's keys: ids are numbered freely.
        QJsonObject{{"type", "BarCode.qml"},
                    {"x", 50},
                    {"y", 50},
                    {"width", 80},
                    {"height", 30},
                    {"contentOrder", "IMEI"},
                    {"attachText", "true"}},
        QJsonObject{{"type", "ShapeObject.qml"},
                    {"x", 5},
                    {"y", 5},
                    {"width", 8},
                    {"height", 8},
                    {"sourceShape", "ellipse"}}};
    m_log->clear();
    const QVariantList records = LayoutDocument::editorRecords(QJsonObject{{"objects", objects}});

    QCOMPARE(records.size(), 3);
    QCOMPARE(m_log->count(QStringLiteral("JSON does not contain common dimensions: ")), 1);
    QCOMPARE(m_log->count(QStringLiteral("JSON does not contain all data for textobject: ")), 1);
    QCOMPARE(m_log->count(QStringLiteral("JSON does not contain all data for barcode: ")), 1);
    const QVariantMap barcode = records.at(1).toMap();
    QCOMPARE(barcode.value("item_id").toInt(), 1);
    QCOMPARE(barcode.value("attachText"), QVariant(true));
    QCOMPARE(barcode.value("followItem").toInt(), -1);
    QCOMPARE(records.at(2).toMap().value("item_id").toInt(), 2);
    QCOMPARE(records.at(2).toMap().value("rotation").toInt(), 0);
}

void TestLayoutEditor::writesRecordsInTheirOrderAndDropsInvalidOnes()
{
    LayoutDocument document;
    const QVariantMap text{{"type", "TextObject.qml"},
                           {"unformattedString", "Caf\u00e9 \"<model>\""},
                           {"x", 100.4},
                           {"y", 50.6},
                           {"width", 80},
                           {"height", 20},
                           {"rotation", 90},
                           {"item_id", 3}};
    const QVariantMap broken{{"type", "TextObject.qml"}, {"x", "left"}, {"item_id", 4}};
    const QVariantMap unknown{
        {"type", "ImageObject.qml"}, {"x", 1}, {"y", 1}, {"width", 1}, {"height", 1}, {"item_id", 5}};
    m_log->clear();
    const QString written = document.layoutText({{"name", "A \"quoted\" name"},
                                                 {"width", 496},
                                                 {"height", 800},
                                                 {"fixedsize", true},
                                                 {"version", "1.2"}},
                                                {text, broken, unknown});

    QCOMPARE(m_log->count(QStringLiteral("FOUND INVALID CHILD!")), 2);
    QJsonParseError error;
    const QJsonObject layout = QJsonDocument::fromJson(written.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(layout.value("name").toString(), QStringLiteral("A \"quoted\" name"));
    const QJsonArray objects = layout.value("objects").toArray();
    QCOMPARE(objects.size(), 1);
    const QJsonObject record = objects.at(0).toObject();
    QCOMPARE(record.value("x").toInt(), 100);
    QCOMPARE(record.value("y").toInt(), 51);
    QCOMPARE(record.value("unformattedString").toString(), QStringLiteral("Caf\u00e9 \"<model>\""));
    QVERIFY(written.indexOf("\"version\"") > written.indexOf("\"objects\""));
    QVERIFY(written.indexOf("\"followLocation\"") < written.indexOf("\"type\""));
}

void TestLayoutEditor::pageCheckTurnsWithTheObject_data()
{
    QTest::addColumn<int>("rotation");
    QTest::addColumn<bool>("outside");
    // A 300 x 40 box centred on a 320 x 200 page: fits lying, not standing.
    QTest::newRow("lying") << 0 << false;
    QTest::newRow("upside down") << 180 << false;
    QTest::newRow("standing") << 90 << true;
    QTest::newRow("slanted") << 45 << true;
}

void TestLayoutEditor::pageCheckTurnsWithTheObject()
{
    QFETCH(int, rotation);
    QFETCH(bool, outside);
    const QVariantMap record{
        {"x", 160}, {"y", 100}, {"width", 300}, {"height", 40}, {"rotation", rotation}, {"item_id", 7}};
    const QVariantList ids = LayoutDocument::objectsOutsidePage({record}, 320, 200);
    QCOMPARE(ids, outside ? QVariantList{7} : QVariantList{});
}

void TestLayoutEditor::sizesAreWholeMillimetres()
{
    QCOMPARE(LayoutDocument::unitsFromMillimetres(62), 496);
    // A stored width that is not whole millimetres prints (and shows) truncated.
    QCOMPARE(LayoutDocument::millimetresFromUnits(500), 62);
    QCOMPARE(LayoutDocument::clampSideMm(5), 10);
    QCOMPARE(LayoutDocument::clampSideMm(1200), 1000);
    QCOMPARE(LayoutDocument::paperSizeMillimetres("62mm x 100mm").value("height").toInt(), 100);
    QVERIFY(LayoutDocument::paperSizeMillimetres("Custom").isEmpty());
}

namespace {

QVariantMap box(int id, double x, double y, double width, double height, double rotation = 0)
{
    return {{"item_id", id},  {"x", x},           {"y", y},
            {"width", width}, {"height", height}, {"rotation", rotation}};
}

QVariantList state(int x)
{
    return {box(0, x, 10, 40, 20)};
}

} // namespace

void TestLayoutEditor::historyStepsThroughEveryState()
{
    LayoutHistory history;
    QSignalSpy changed(&history, &LayoutHistory::changed);
    history.reset(state(0));
    QVERIFY(!history.canUndo());
    QVERIFY(!history.isModified());
    QVERIFY(!history.commit(state(0), "Nothing"));

    for (int x = 1; x <= 4; ++x)
        QVERIFY(history.commit(state(x), QStringLiteral("Move %1").arg(x)));
    QVERIFY(history.isModified());
    QCOMPARE(history.undoText(), QStringLiteral("Move 4"));
    for (int x = 3; x >= 0; --x)
        QCOMPARE(history.undo(), state(x));
    QVERIFY(!history.canUndo());
    QVERIFY(!history.isModified());
    QCOMPARE(history.undo(), state(0));
    QCOMPARE(history.redoText(), QStringLiteral("Move 1"));
    for (int x = 1; x <= 4; ++x)
        QCOMPARE(history.redo(), state(x));
    QVERIFY(!history.canRedo());

    // Saved in the middle: stepping away and back again makes it unmodified again.
    history.undo();
    history.markSaved();
    QVERIFY(!history.isModified());
    history.redo();
    QVERIFY(history.isModified());
    history.undo();
    QVERIFY(!history.isModified());

    // A new change after undoing drops what could have been redone.
    QVERIFY(history.commit(state(9), "Other"));
    QVERIFY(!history.canRedo());
    QCOMPARE(history.undo(), state(3));
    QVERIFY(changed.count() > 10);

    history.reset(state(5));
    QVERIFY(!history.canUndo());
    QVERIFY(!history.canRedo());
    QCOMPARE(history.current(), state(5));
}

void TestLayoutEditor::historyMergesRunsAndKeepsItsDepth()
{
    LayoutHistory history;
    history.reset(state(0));
    history.commit(state(1), "Move");
    for (int x = 2; x <= 5; ++x)
        history.commit(state(x), "Resize", "wheel 0");
    history.commit(state(6), "Resize", "wheel 1");
    QCOMPARE(history.undo(), state(5));
    QCOMPARE(history.undo(), state(1));
    // After undoing, the same key starts a step of its own.
    history.commit(state(7), "Resize", "wheel 0");
    history.commit(state(8), "Resize", "wheel 0");
    QCOMPARE(history.undo(), state(1));

    history.reset(state(0));
    const int changes = LayoutHistory::kDepth + 50;
    for (int x = 1; x <= changes; ++x)
        history.commit(state(x), "Move");
    int steps = 0;
    while (history.canUndo()) {
        history.undo();
        ++steps;
    }
    QCOMPARE(steps, LayoutHistory::kDepth);
    QCOMPARE(history.current(), state(changes - LayoutHistory::kDepth));
}

void TestLayoutEditor::millimetreTextIsRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("units");
    QTest::newRow("decimal point") << "12.5" << QVariant(100);
    QTest::newRow("decimal comma") << "12,5" << QVariant(100);
    QTest::newRow("unit and blanks") << " 7 mm " << QVariant(56);
    QTest::newRow("left of the label") << "-3" << QVariant(-24);
    QTest::newRow("rounded to units") << "0.06" << QVariant(0);
    QTest::newRow("no digits") << "." << QVariant();
    QTest::newRow("empty") << "" << QVariant();
    QTest::newRow("words") << "ten" << QVariant();
    QTest::newRow("two numbers") << "1.2.3" << QVariant();
}

void TestLayoutEditor::millimetreTextIsRead()
{
    QFETCH(QString, text);
    QFETCH(QVariant, units);
    QCOMPARE(LayoutGeometry::unitsFromMillimetreText(text), units);
}

void TestLayoutEditor::millimetresRoundTripEveryUnit()
{
    // One decimal of a millimetre is finer than half a unit: what is shown reads back the same.
    for (int units = -100; units <= 8000; ++units) {
        const QString text = LayoutGeometry::millimetreText(units);
        QCOMPARE(LayoutGeometry::unitsFromMillimetreText(text).toInt(), units);
    }
    QCOMPARE(LayoutGeometry::millimetreText(480), QStringLiteral("60.0"));
    QCOMPARE(LayoutGeometry::millimetreText(-0.2), QStringLiteral("0.0"));
}

void TestLayoutEditor::geometryKeepsTheCoveredCorner()
{
    // Standing (90 degrees): 80 wide and 20 high covers 20 x 80 around (100, 100).
    const QVariantMap standing = box(1, 100, 100, 80, 20, 90);
    const QVariantMap bounds = LayoutGeometry::bounds(standing);
    QCOMPARE(bounds.value("left").toDouble(), 90.0);
    QCOMPARE(bounds.value("top").toDouble(), 60.0);

    QVariantMap moved = LayoutGeometry::withGeometry(standing, "left", 0);
    QCOMPARE(moved.value("x").toDouble(), 10.0);
    QCOMPARE(moved.value("y").toDouble(), 100.0);

    QVariantMap longer = LayoutGeometry::withGeometry(standing, "width", 120);
    QVariantMap after = standing;
    after.insert(longer);
    const QVariantMap afterBounds = LayoutGeometry::bounds(after);
    QCOMPARE(afterBounds.value("left").toDouble(), 90.0);
    QCOMPARE(afterBounds.value("top").toDouble(), 60.0);
    QCOMPARE(afterBounds.value("bottom").toDouble(), 180.0);
}

void TestLayoutEditor::alignsCoveredBoxes_data()
{
    QTest::addColumn<QVariantList>("objects");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QVariantList>("shifts"); // dx, dy per object

    const QVariantMap a = box(1, 50, 50, 40, 20);   // 30..70 x 40..60
    const QVariantMap b = box(2, 200, 150, 80, 40); // 160..240 x 130..170
    QTest::newRow("left") << QVariantList{a, b} << "left" << QVariantList{0, 0, -130, 0};
    QTest::newRow("centre") << QVariantList{a, b} << "center" << QVariantList{85, 0, -65, 0};
    QTest::newRow("right") << QVariantList{a, b} << "right" << QVariantList{170, 0, 0, 0};
    QTest::newRow("top") << QVariantList{a, b} << "top" << QVariantList{0, 0, 0, -90};
    QTest::newRow("middle") << QVariantList{a, b} << "middle" << QVariantList{0, 55, 0, -45};
    QTest::newRow("bottom") << QVariantList{a, b} << "bottom" << QVariantList{0, 110, 0, 0};
    // One object goes to the label's edge (label 400 x 300).
    QTest::newRow("one to the right") << QVariantList{a} << "right" << QVariantList{330, 0};
    QTest::newRow("one to the middle") << QVariantList{b} << "middle" << QVariantList{0, 0};
    // Standing, its covered box is 20 wide: 40..60.
    QTest::newRow("turned") << QVariantList{box(3, 50, 50, 40, 20, 90)} << "left" << QVariantList{-40, 0};
    // A barcode with its text below: the pair goes to the bottom, not the barcode alone.
    QVariantMap barcode = box(4, 100, 100, 80, 40);
    barcode.insert("followers", QVariantList{box(5, 100, 130, 80, 20)});
    QTest::newRow("with follower") << QVariantList{barcode} << "bottom" << QVariantList{0, 160};
}

void TestLayoutEditor::alignsCoveredBoxes()
{
    QFETCH(QVariantList, objects);
    QFETCH(QString, how);
    QFETCH(QVariantList, shifts);
    const QVariantList result = LayoutGeometry::aligned(objects, how, 400, 300);
    QCOMPARE(result.size(), objects.size());
    for (int i = 0; i < result.size(); ++i) {
        const QVariantMap shift = result[i].toMap();
        QCOMPARE(shift.value("item_id"), objects[i].toMap().value("item_id"));
        QCOMPARE(shift.value("dx").toDouble(), shifts[2 * i].toDouble());
        QCOMPARE(shift.value("dy").toDouble(), shifts[2 * i + 1].toDouble());
    }
}

void TestLayoutEditor::distributesWithEqualGaps()
{
    // Given out of order: 0..20, 100..160 and 40..50; the outer two stay, the gaps become 35.
    const QVariantList objects{box(1, 10, 0, 20, 10), box(2, 130, 0, 60, 10), box(3, 45, 0, 10, 10)};
    const QVariantList result = LayoutGeometry::aligned(objects, "horizontal", 400, 300);
    QMap<int, double> dx;
    for (const QVariant& shift : result)
        dx.insert(shift.toMap().value("item_id").toInt(), shift.toMap().value("dx").toDouble());
    QCOMPARE(dx.value(1), 0.0);
    QCOMPARE(dx.value(3), 15.0);
    QCOMPARE(dx.value(2), 0.0);
    // Two objects have no gap to even out.
    for (const QVariant& shift : LayoutGeometry::aligned(objects.mid(0, 2), "vertical", 400, 300))
        QCOMPARE(shift.toMap().value("dy").toDouble(), 0.0);
}

void TestLayoutEditor::freePlaceAvoidsOthers()
{
    const auto placed = [](const QVariantMap& object, const QVariantMap& shift) {
        return box(9, object.value("x").toDouble() + shift.value("dx").toDouble(),
                   object.value("y").toDouble() + shift.value("dy").toDouble(),
                   object.value("width").toDouble(), object.value("height").toDouble());
    };
    const QVariantMap fresh = box(9, 200, 200, 100, 40);
    // Empty label: the first grid line clear of the edge.
    QRectF first =
        LayoutGeometry::boundingBox(placed(fresh, LayoutGeometry::freePlace({fresh}, {}, 496, 800, 10)));
    QCOMPARE(first.topLeft(), QPointF(20, 20));

    // A wide text across the top and a logo on the left: below the text, right of the logo.
    const QVariantList others{box(1, 248, 40, 480, 60), box(2, 60, 200, 100, 200)};
    const QRectF spot =
        LayoutGeometry::boundingBox(placed(fresh, LayoutGeometry::freePlace({fresh}, others, 496, 800, 10)));
    for (const QVariant& other : others)
        QVERIFY(!spot.intersects(LayoutGeometry::boundingBox(other.toMap())));
    QVERIFY(QRectF(0, 0, 496, 800).contains(spot));
    QCOMPARE(int(spot.left()) % 10, 0);
    QCOMPARE(spot.top(), 90.0);

    // A full label: the place that covers the least.
    const QVariantList full{box(1, 100, 100, 200, 200), box(2, 100, 150, 200, 100)};
    const QRectF crowded =
        LayoutGeometry::boundingBox(placed(fresh, LayoutGeometry::freePlace({fresh}, full, 200, 200, 10)));
    QCOMPARE(crowded.intersected(QRectF(0, 100, 200, 100)).height(), 0.0);

    // A drawn frame round the label leaves its inside free; a filled one does not.
    QVariantMap frame = box(3, 248, 400, 480, 780);
    frame.insert({{"type", "ShapeObject.qml"}, {"sourceShape", "rectangle"}, {"sourceImage", ""}});
    const QRectF framed =
        LayoutGeometry::boundingBox(placed(fresh, LayoutGeometry::freePlace({fresh}, {frame}, 496, 800, 10)));
    QCOMPARE(framed.topLeft(), QPointF(30, 30));
    frame.insert("sourceShape", "filledrectangle");
    const QRectF covered =
        LayoutGeometry::boundingBox(placed(fresh, LayoutGeometry::freePlace({fresh}, {frame}, 496, 800, 10)));
    QCOMPARE(covered.topLeft(), QPointF(0, 0));

    // Larger than the label: its corner at the label's.
    const QVariantMap huge = box(9, 0, 0, 1000, 1000);
    QCOMPARE(LayoutGeometry::boundingBox(placed(huge, LayoutGeometry::freePlace({huge}, {}, 200, 200, 10)))
                 .topLeft(),
             QPointF(0, 0));
}

void TestLayoutEditor::copiesKeepTheirLinks()
{
    QVariantMap barcode = box(2, 100, 100, 80, 40);
    barcode.insert(
        {{"type", "BarCode.qml"}, {"textobjectid", 5}, {"attachText", "true"}, {"followItem", -1}});
    QVariantMap text = box(5, 100, 130, 80, 20);
    text.insert({{"type", "TextObject.qml"}, {"followItem", 2}, {"followLocation", "below"}});
    QVariantMap other = box(0, 10, 10, 10, 10);
    other.insert({{"type", "ShapeObject.qml"}, {"boundObject", 2}, {"followItem", -1}});
    const QVariantList all{other, barcode, text};

    // The barcode alone is chosen; its text comes along, both get free ids and the link.
    const QVariantList copies = ObjectClipboard::duplicates({barcode}, all, {0, 2, 5, 1});
    QCOMPARE(copies.size(), 2);
    const QVariantMap copiedBarcode = copies[0].toMap();
    const QVariantMap copiedText = copies[1].toMap();
    QCOMPARE(copiedBarcode.value("item_id").toInt(), 3);
    QCOMPARE(copiedText.value("item_id").toInt(), 4);
    QCOMPARE(copiedBarcode.value("textobjectid").toInt(), 4);
    QCOMPARE(copiedBarcode.value("attachText").toString(), QStringLiteral("true"));
    QCOMPARE(copiedText.value("followItem").toInt(), 3);
    QCOMPARE(copiedText.value("followLocation").toString(), QStringLiteral("below"));
    QCOMPARE(copiedBarcode.value("x").toDouble(), 100.0 + ObjectClipboard::kOffset);

    // The text alone becomes a text of its own; a barcode without its text has none; a link to
    // an object not copied is dropped.
    const QVariantMap loneText = ObjectClipboard::renumbered({text}, {}, 0)[0].toMap();
    QCOMPARE(loneText.value("followItem").toInt(), -1);
    QCOMPARE(loneText.value("followLocation").toString(), QString());
    const QVariantMap loneBarcode = ObjectClipboard::renumbered({barcode}, {}, 0)[0].toMap();
    QCOMPARE(loneBarcode.value("textobjectid").toInt(), -1);
    QCOMPARE(loneBarcode.value("attachText").toString(), QStringLiteral("false"));
    QCOMPARE(ObjectClipboard::renumbered({other}, {}, 0)[0].toMap().value("boundObject").toInt(), -1);
}

void TestLayoutEditor::clipboardPastesFurtherEachTime()
{
    ObjectClipboard clipboard;
    QSignalSpy canPaste(&clipboard, &ObjectClipboard::canPasteChanged);
    QGuiApplication::clipboard()->setText(QStringLiteral("plain text"));
    QVERIFY(!clipboard.canPaste());
    QVERIFY(clipboard.paste({}).isEmpty());

    QVariantMap text = box(1, 50, 60, 80, 20);
    text.insert("type", "TextObject.qml");
    QCOMPARE(clipboard.copy({text}, {text}), 1);
    QVERIFY(clipboard.canPaste());
    QVERIFY(canPaste.count() > 0);
    const QVariantMap first = clipboard.paste({1}).value(0).toMap();
    const QVariantMap second = clipboard.paste({1, first.value("item_id")}).value(0).toMap();
    QCOMPARE(first.value("x").toDouble(), 50.0 + ObjectClipboard::kOffset);
    QCOMPARE(second.value("x").toDouble(), 50.0 + 2 * ObjectClipboard::kOffset);
    QVERIFY(first.value("item_id") != second.value("item_id"));

    // Another program's copy takes the clipboard over.
    QGuiApplication::clipboard()->setText(QStringLiteral("other"));
    QVERIFY(!clipboard.canPaste());
}

void TestLayoutEditor::choosersAreSortedAndSearchable()
{
    const QVariantList entries{QVariantMap{{"label", "model"}, {"tag", "<model>"}},
                               QVariantMap{{"label", "IMEI"}, {"tag", "<firstid IMEI>=<firstvalue IMEI>"}},
                               QVariantMap{{"label", "Battery Health"}, {"tag", "<batteryhealth>"}},
                               QVariantMap{{"label", "Identifier"}}};
    const auto labels = [](const QVariantList& list) {
        QStringList out;
        for (const QVariant& entry : list)
            out.append(entry.type() == QVariant::String ? entry.toString()
                                                        : entry.toMap().value("label").toString());
        return out;
    };
    QCOMPARE(labels(LayoutDocument::filteredEntries(entries, "")),
             QStringList({"Battery Health", "Identifier", "IMEI", "model"}));
    // By the tag as well as the name; every word must be found.
    QCOMPARE(labels(LayoutDocument::filteredEntries(entries, "firstvalue")), QStringList({"IMEI"}));
    QCOMPARE(labels(LayoutDocument::filteredEntries(entries, "bat HEALTH")), QStringList({"Battery Health"}));
    QCOMPARE(labels(LayoutDocument::filteredEntries(entries, "bat model")), QStringList());
    QCOMPARE(labels(LayoutDocument::filteredEntries({"b", "C", "a"}, "")), QStringList({"a", "b", "C"}));
}

void TestLayoutEditor::chooserTagsNeverShowRawTags()
{
    // Every tag the text dialog inserts shows an example value in the preview and a report value
    // on the label, never the tag itself.
    ReportDocument report;
    report.parse(QString::fromUtf8(TestSupport::sampleReport()));
    ReportDevice device;
    device.setReport(&report, true);
    device.info().deviceIdentifier = QStringLiteral("ST7-00042");
    PrintHandler handler;
    TagParser parser;
    for (const QVariant& entry : LayoutDocument::textContentKinds()) {
        const QVariantMap kind = entry.toMap();
        if (kind.value(QStringLiteral("kind")).toString() != QLatin1String("tag"))
            continue;
        const QString label = kind.value(QStringLiteral("label")).toString();
        const QString tag = kind.value(QStringLiteral("tag")).toString();
        const QString preview = handler.formatText(tag, false);
        QVERIFY2(!preview.contains(QLatin1Char('<')),
                 qPrintable(QStringLiteral("%1: preview \"%2\"").arg(label, preview)));
        QString printed = tag;
        parser.formatAndPatch(printed, &device, false, false);
        QVERIFY2(!printed.contains(QLatin1Char('<')),
                 qPrintable(QStringLiteral("%1: printed \"%2\"").arg(label, printed)));
        if (label == QLatin1String("Same as Device Idenfier"))
            QCOMPARE(printed, QStringLiteral("ST7-00042"));
    }
}

QTEST_MAIN(TestLayoutEditor)
#include "tst_layouteditor.moc"
