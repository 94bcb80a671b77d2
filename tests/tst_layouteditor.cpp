// The editor's native side: stored layouts read back for the canvas (bad records left out with the
// message that names them), records written in their fixed order, the page check with rotation,
// and millimetres to layout units.

#include "app/layoutdocument.h"
#include "logcapture.h"
#include "printing/printhandler.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/tagparser.h"
#include "samplereports.h"
#include "testsupport.h"

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
