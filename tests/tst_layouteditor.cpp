// The editor's native side, where the canvas test cannot reach: bad stored records left out,
// the page check with rotation, millimetre text, history merging, aligning turned
// objects and followers, free places, links of copied objects and every chooser tag's output.

#include "app/layoutdocument.h"
#include "app/layoutgeometry.h"
#include "app/layouthistory.h"
#include "app/objectclipboard.h"
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

namespace {

QVariantMap box(int id, double x, double y, double width, double height, double rotation = 0)
{
    return {{"item_id", id},  {"x", x},           {"y", y},
            {"width", width}, {"height", height}, {"rotation", rotation}};
}

QVariantMap typed(QVariantMap record, const QVariantMap& extra)
{
    record.insert(extra);
    return record;
}

QVariantList state(int x)
{
    return {box(0, x, 10, 40, 20)};
}

} // namespace

class TestLayoutEditor : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
    }

    void recordsReadAndWritten()
    {
        const auto record = [](const QString& type, const QVariantMap& extra) {
            return QJsonObject::fromVariantMap(
                typed({{"type", type}, {"x", 10}, {"width", 40}, {"height", 20}}, extra));
        };
        // Left out: no y, a text without its string, a barcode without its contents.
        const QJsonArray objects{
            record("TextObject.qml", {{"y", 10}, {"unformattedString", "<model>"}, {"item_id", 0}}),
            record("TextObject.qml", {}), record("TextObject.qml", {{"y", 10}}),
            record("BarCode.qml", {{"y", 10}}),
            // Written by hand or elsewhere without the editor's keys: ids numbered freely.
            record("BarCode.qml", {{"y", 50}, {"contentOrder", "IMEI"}, {"attachText", "true"}}),
            record("ShapeObject.qml", {{"y", 5}, {"sourceShape", "ellipse"}})};
        const QVariantList records = LayoutDocument::editorRecords(QJsonObject{{"objects", objects}});

        QCOMPARE(records.size(), 3);
        const QVariantMap barcode = records.at(1).toMap();
        QCOMPARE(barcode.value("item_id").toInt(), 1);
        QCOMPARE(barcode.value("attachText"), QVariant(true));
        QCOMPARE(barcode.value("followItem").toInt(), -1);
        QCOMPARE(records.at(2).toMap().value("item_id").toInt(), 2);
        QCOMPARE(records.at(2).toMap().value("rotation").toInt(), 0);

        // Written back: only valid records, positions rounded, texts escaped for JSON.
        LayoutDocument document;
        const QVariantMap text =
            typed(box(3, 100.4, 50.6, 80, 20, 90),
                  {{"type", "TextObject.qml"}, {"unformattedString", "Caf\u00e9 \"<model>\""}});
        const QVariantMap broken{{"type", "TextObject.qml"}, {"x", "left"}, {"item_id", 4}};
        const QVariantMap unknown = typed(box(5, 1, 1, 1, 1), {{"type", "ImageObject.qml"}});
        const QVariantMap sheet{
            {"name", "A \"quoted\" name"}, {"width", 496}, {"height", 800}, {"version", "1.2"}};
        const QString written = document.layoutText(sheet, {text, broken, unknown});

        QJsonParseError error;
        const QJsonObject layout = QJsonDocument::fromJson(written.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(layout.value("name").toString(), QStringLiteral("A \"quoted\" name"));
        const QJsonArray stored = layout.value("objects").toArray();
        QCOMPARE(stored.size(), 1);
        const QJsonObject storedText = stored.at(0).toObject();
        QCOMPARE(QPoint(storedText.value("x").toInt(), storedText.value("y").toInt()), QPoint(100, 51));
        QCOMPARE(storedText.value("unformattedString").toString(), QStringLiteral("Caf\u00e9 \"<model>\""));
    }

    // A barcode's module width, quiet zone and GS1 flag survive the editor: written when set, read
    // back as written, and a barcode that does not set them is written without them.
    void barcodeSizingSurvivesTheEditor()
    {
        const QVariantMap barcode{{"type", "BarCode.qml"}, {"contentOrder", "IMEI"}};
        const QVariantMap plain = typed(box(1, 100, 100, 200, 100), typed(barcode, {{"quietZone", -1}}));
        const QVariantMap sized = typed(
            box(2, 300, 300, 200, 200),
            typed(barcode,
                  {{"symbology", "datamatrix"}, {"moduleWidthMm", 0.3754}, {"quietZone", 0}, {"gs1", true}}));
        LayoutDocument document;
        const QVariantMap sheet{{"name", "Codes"}, {"width", 496}, {"height", 800}};
        const QString written = document.layoutText(sheet, {plain, sized});
        const QJsonObject layout = QJsonDocument::fromJson(written.toUtf8()).object();
        const QJsonArray objects = layout.value("objects").toArray();
        QCOMPARE(objects.size(), 2);
        for (const char* key : {"moduleWidthMm", "quietZone", "gs1"})
            QVERIFY2(!objects.at(0).toObject().contains(key), key);
        const QJsonObject stored = objects.at(1).toObject();
        QCOMPARE(stored.value("moduleWidthMm"), QJsonValue(0.375));
        QCOMPARE(stored.value("quietZone"), QJsonValue(0));
        QCOMPARE(stored.value("gs1"), QJsonValue(true));
        QCOMPARE(document.layoutText(sheet, LayoutDocument::editorRecords(layout)), written);
    }

    // A turned object is checked and placed by the box it covers.
    void geometryTurnsWithTheObject()
    {
        // A 300 x 40 box centred on a 320 x 200 page: fits lying, not standing or slanted.
        for (int rotation : {0, 180, 90, 45})
            QCOMPARE(LayoutDocument::objectsOutsidePage({box(7, 160, 100, 300, 40, rotation)}, 320, 200),
                     rotation % 180 ? QVariantList{7} : QVariantList{});
        // Standing (90 degrees): 80 wide and 20 high covers 20 x 80 around (100, 100).
        const QVariantMap standing = box(1, 100, 100, 80, 20, 90);
        const QVariantMap moved = LayoutGeometry::withGeometry(standing, "left", 0);
        QCOMPARE(QPointF(moved.value("x").toDouble(), moved.value("y").toDouble()), QPointF(10, 100));
        const QVariantMap bounds =
            LayoutGeometry::bounds(typed(standing, LayoutGeometry::withGeometry(standing, "width", 120)));
        QCOMPARE(QVector<double>({bounds.value("left").toDouble(), bounds.value("top").toDouble(),
                                  bounds.value("bottom").toDouble()}),
                 QVector<double>({90, 60, 180}));
    }

    void millimetres()
    {
        // A stored width that is not whole millimetres prints (and shows) truncated.
        QCOMPARE(LayoutDocument::millimetresFromUnits(500), 62);
        QCOMPARE(LayoutDocument::paperSizeMillimetres("62mm x 100mm").value("height").toInt(), 100);
        QVERIFY(LayoutDocument::paperSizeMillimetres("Custom").isEmpty());
        // One decimal of a millimetre is finer than half a unit: what is shown reads back the same.
        for (int units = -100; units <= 8000; ++units)
            QCOMPARE(LayoutGeometry::unitsFromMillimetreText(LayoutGeometry::millimetreText(units)).toInt(),
                     units);
        QCOMPARE(LayoutGeometry::millimetreText(-0.2), QStringLiteral("0.0"));
        // Beyond what the canvas test types ("12.5"): the value, or none.
        const QList<QPair<QString, QVariant>> texts{{"25,4", 203}, {" 7 mm ", 56}, {"-3", -24},  {"0.06", 0},
                                                    {"wide", {}},  {"", {}},       {"1.2.3", {}}};
        for (const auto& [text, units] : texts)
            QCOMPARE(LayoutGeometry::unitsFromMillimetreText(text), units);
    }

    // Stepping through every state is done on the canvas; here what the canvas does not reach.
    void historyMergesRunsAndKeepsItsDepth()
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

        // Saved in the middle: stepping away and back again makes it unmodified again.
        history.redo();
        history.markSaved();
        history.undo();
        QVERIFY(history.isModified());
        history.redo();
        QVERIFY(!history.isModified());
        // A new change after undoing drops what could have been redone.
        history.undo();
        QVERIFY(history.commit(state(9), "Other"));
        QVERIFY(!history.canRedo());
    }

    // Each object's shift, aligned the way asked or ("free") put where a new one lands.
    void placesCoveredBoxes_data()
    {
        QTest::addColumn<QVariantList>("objects");
        QTest::addColumn<QVariantList>("others");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QSize>("label");
        QTest::addColumn<QVariantList>("shifts"); // dx, dy per object
        const QVariantList none;
        const QSize label(400, 300);
        // The canvas test aligns plain boxes left and one to the label's centre.
        const QVariantMap a = box(1, 50, 50, 40, 20);   // 30..70 x 40..60
        const QVariantMap b = box(2, 200, 150, 80, 40); // 160..240 x 130..170
        QTest::newRow("middle") << QVariantList{a, b} << none << "middle" << label
                                << QVariantList{0, 55, 0, -45};
        QTest::newRow("one to the right")
            << QVariantList{a} << none << "right" << label << QVariantList{330, 0};
        // Standing, its covered box is 20 wide: 40..60.
        QTest::newRow("turned") << QVariantList{box(3, 50, 50, 40, 20, 90)} << none << "left" << label
                                << QVariantList{-40, 0};
        // A barcode with its text below: the pair goes to the bottom, not the barcode alone.
        const QVariantMap barcode =
            typed(box(4, 100, 100, 80, 40), {{"followers", QVariantList{box(5, 100, 130, 80, 20)}}});
        QTest::newRow("with follower")
            << QVariantList{barcode} << none << "bottom" << label << QVariantList{0, 160};
        // Given out of order: 0..20, 100..160 and 40..50; the outer two stay, the gaps become 35.
        const QVariantList spread{box(1, 10, 0, 20, 10), box(2, 130, 0, 60, 10), box(3, 45, 0, 10, 10)};
        QTest::newRow("spread") << spread << none << "horizontal" << label << QVariantList{0, 0, 0, 0, 15, 0};

        // A new object covering 200..300 x 200..240; the shift says where its corner lands.
        const QVariantList fresh{box(9, 250, 220, 100, 40)};
        const QSize page(496, 800);
        QTest::newRow("free: first grid line clear of the edge")
            << fresh << none << "free" << page << QVariantList{-180, -180};
        // A full label: the place that covers the least, clear of the lower half.
        QTest::newRow("free: crowded")
            << fresh << QVariantList{box(1, 100, 100, 200, 200), box(2, 100, 150, 200, 100)} << "free"
            << QSize(200, 200) << QVariantList{-180, -180};
        // A drawn frame round the label leaves its inside free; a filled one does not.
        const QVariantMap frame =
            typed(box(3, 248, 400, 480, 780),
                  {{"type", "ShapeObject.qml"}, {"sourceShape", "rectangle"}, {"sourceImage", ""}});
        QTest::newRow("free: inside a frame")
            << fresh << QVariantList{frame} << "free" << page << QVariantList{-170, -170};
        QTest::newRow("free: filled frame")
            << fresh << QVariantList{typed(frame, {{"sourceShape", "filledrectangle"}})} << "free" << page
            << QVariantList{-200, -200};
        QTest::newRow("free: larger than the label") << QVariantList{box(9, 0, 0, 1000, 1000)} << none
                                                     << "free" << QSize(200, 200) << QVariantList{500, 500};
    }

    void placesCoveredBoxes()
    {
        QFETCH(QVariantList, objects);
        QFETCH(QVariantList, others);
        QFETCH(QString, how);
        QFETCH(QSize, label);
        QFETCH(QVariantList, shifts);
        const QVariantList placed =
            how == "free" ? QVariantList{typed(
                                LayoutGeometry::freePlace(objects, others, label.width(), label.height(), 10),
                                {{"item_id", 9}})}
                          : LayoutGeometry::aligned(objects, how, label.width(), label.height());
        QMap<int, QPointF> byId;
        for (const QVariant& shift : placed) {
            const QVariantMap map = shift.toMap();
            byId.insert(map.value("item_id").toInt(),
                        QPointF(map.value("dx").toDouble(), map.value("dy").toDouble()));
        }
        QCOMPARE(byId.size(), objects.size());
        for (int i = 0; i < objects.size(); ++i) {
            const int id = objects[i].toMap().value("item_id").toInt();
            QCOMPARE(byId.value(id), QPointF(shifts[2 * i].toDouble(), shifts[2 * i + 1].toDouble()));
        }
    }

    // Pasting on the canvas is in tst_layouteditor.qml test_h; here the links that cannot go along
    // and another program's copy.
    void clipboardLinksAndOtherPrograms()
    {
        const QVariantMap barcode = typed(
            box(2, 100, 100, 80, 40), {{"type", "BarCode.qml"}, {"textobjectid", 5}, {"attachText", "true"}});
        const QVariantMap loneBarcode = ObjectClipboard::renumbered({barcode}, {}, 0)[0].toMap();
        QCOMPARE(loneBarcode.value("textobjectid").toInt(), -1);
        QCOMPARE(loneBarcode.value("attachText").toString(), QStringLiteral("false"));
        const QVariantMap shape =
            typed(box(0, 10, 10, 10, 10), {{"type", "ShapeObject.qml"}, {"boundObject", 2}});
        QCOMPARE(ObjectClipboard::renumbered({shape}, {}, 0)[0].toMap().value("boundObject").toInt(), -1);

        ObjectClipboard clipboard;
        QGuiApplication::clipboard()->setText(QStringLiteral("plain text"));
        QVERIFY(!clipboard.canPaste());
        QVERIFY(clipboard.paste({}).isEmpty());
        QCOMPARE(clipboard.copy({box(1, 50, 60, 80, 20)}, {box(1, 50, 60, 80, 20)}), 1);
        QVERIFY(clipboard.canPaste());
        QGuiApplication::clipboard()->setText(QStringLiteral("other"));
        QVERIFY(!clipboard.canPaste());
    }

    // Every tag the text dialog inserts shows an example value in the preview and a report value on
    // the label, never the tag itself.
    void chooserTagsNeverShowRawTags()
    {
        ReportDocument report;
        report.parse(QString::fromUtf8(TestSupport::sampleReport()));
        ReportDevice device;
        device.setReport(&report, true);
        device.info().deviceIdentifier = QStringLiteral("ST7-00042");
        PrintHandler handler;
        TagParser parser;
        QStringList devices;
        for (const QVariant& entry : LayoutDocument::textContentKinds()) {
            const QString tag = entry.toMap().value(QStringLiteral("tag")).toString();
            if (entry.toMap().value(QStringLiteral("kind")) != QLatin1String("tag"))
                continue;
            QString printed = tag;
            parser.formatAndPatch(printed, &device, false, false);
            const QString shown = handler.formatText(tag, false) + QLatin1Char('|') + printed;
            QVERIFY2(!shown.contains('<'), qPrintable(tag + ": " + shown));
            if (tag == QLatin1String("<devid>"))
                devices << printed;
        }
        devices.removeDuplicates();
        QCOMPARE(devices, QStringList{QStringLiteral("ST7-00042")});
    }
};

QTEST_MAIN(TestLayoutEditor)
#include "tst_layouteditor.moc"
