// Labels as a person checks them: barcodes a scanner reads (on the label image and on printed pages),
// text where its box says, objects in drawing order, and what is left out with which log line.

#include "barcodedecode.h"
#include "logcapture.h"
#include "printing/barcode.h"
#include "printing/fileprinter.h"
#include "printing/layoutmanager.h"
#include "printing/printworker.h"
#include "printing/shapeobject_.h"
#include "printing/textprintitem_.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/tagparser.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QFile>
#include <QJsonArray>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* kImei = "356789104567892";
const char* kSerial = "F2LXK0QJHG7F";
const char* kEan = "4006381333931";

QJsonObject text(const QString& content, int x, int y, int w, int h, int rotation = 0, int pixelSize = 24)
{
    return QJsonObject{{"type", "TextObject.qml"},
                       {"unformattedString", content},
                       {"x", x},
                       {"y", y},
                       {"width", w},
                       {"height", h},
                       {"rotation", rotation},
                       {"pixelSize", pixelSize},
                       {"background", false}};
}

QJsonObject barcode(const QString& contentOrder, const QString& symbology, int x, int y, int w, int h,
                    int rotation = 0)
{
    return QJsonObject{{"type", "BarCode.qml"},
                       {"contentOrder", contentOrder},
                       {"symbology", symbology},
                       {"x", x},
                       {"y", y},
                       {"width", w},
                       {"height", h},
                       {"rotation", rotation}};
}

QJsonObject image(const QString& path, int x, int y, int w, int h, bool keepAspect = false)
{
    return QJsonObject{{"type", "ShapeObject.qml"},
                       {"sourceImage", path},
                       {"maintainAspectRation", keepAspect},
                       {"x", x},
                       {"y", y},
                       {"width", w},
                       {"height", h},
                       {"rotation", 0}};
}

// A 62 x 100 mm label.
QJsonObject label(const QJsonArray& objects, int width = 496, int height = 800)
{
    return QJsonObject{{"name", "Test label"}, {"width", width}, {"height", height}, {"objects", objects}};
}

// Bounds of the black pixels inside region (pixels), in layout units (five pixels each).
QRectF blackBoundsInUnits(const QImage& img, QRect region = QRect())
{
    const QImage gray = img.convertToFormat(QImage::Format_Grayscale8);
    if (region.isNull())
        region = gray.rect();
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const uchar* line = gray.constScanLine(y);
        for (int x = region.left(); x <= region.right(); ++x) {
            if (line[x] < 128) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    if (right < 0)
        return QRectF();
    const double dpr = img.devicePixelRatio();
    return QRectF(left / dpr, top / dpr, (right + 1 - left) / dpr, (bottom + 1 - top) / dpr);
}

bool isBlack(const QImage& img, QPointF units)
{
    const QPoint p = (units * img.devicePixelRatio()).toPoint();
    return qGray(img.pixel(p)) < 128;
}

QString makeImage(const QString& path, QSize size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::black);
    img.save(path, "PNG");
    return path;
}

} // namespace

class TestLabelRendering : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void barcodesDecodeFromTheLabelImage_data();
    void barcodesDecodeFromTheLabelImage();
    void barcodesDecodeFromPrintedPages_data();
    void barcodesDecodeFromPrintedPages();
    void textLandsInItsBox_data();
    void textLandsInItsBox();
    void elidingKeepsTextInsideItsBox();
    void marksAndTickBox();
    void diagnosticsListIsCutToFit();
    void laterObjectsPaintOverEarlierOnes();
    void imagesScaleWithAndWithoutAspect();
    void drawnShapes();
    void invalidObjectsAreSkippedWithTheirLogLines();
    void labelWithoutBarcodeProgramStillPrintsText();
    void layoutWithoutKeysGivesWhitePage();
    void pageSize_data();
    void pageSize();
    void printerWithoutMatchingPaperUsesTheLabelSize_data();
    void printerWithoutMatchingPaperUsesTheLabelSize();
    void previewImageNextToTheLayout();
    void sampleLabel();
    void reportValuesOnThePrintedPage_data();
    void reportValuesOnThePrintedPage();
    void formerIdentifierTextPrintsTheIdentifier();
    void pageMatchesThePreview_data();
    void pageMatchesThePreview();

private:
    QImage render(const QJsonObject& layout, Device* device = nullptr);

    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<TestSupport::LogCapture> m_log;
    ReportDocument m_report;
    std::unique_ptr<ReportDevice> m_device;
    QTemporaryDir m_files;
};

void TestLabelRendering::initTestCase()
{
    m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
    QVERIFY(m_root->isValid());
    QVERIFY(SettingsManager::instance());
    m_log = std::make_unique<TestSupport::LogCapture>();
    const QByteArray sample = TestSupport::sampleReport();
    QVERIFY(!sample.isEmpty());
    m_report.parse(QString::fromUtf8(sample));
    m_device = std::make_unique<ReportDevice>();
    m_device->setReport(&m_report, true);
    TagParser tags;
    QCOMPARE(tags.propertyValue(m_device.get(), QStringLiteral("IMEI"), false, true), QString(kImei));
    QCOMPARE(tags.propertyValue(m_device.get(), QStringLiteral("System serial"), false, true),
             QString(kSerial));
}

void TestLabelRendering::init()
{
    SettingsManager::instance()->removeKey(QLatin1String(BarCode::kProgramKey), true);
    m_log->clear();
}

QImage TestLabelRendering::render(const QJsonObject& layout, Device* device)
{
    PrintWorker worker(QString(), layout, QSizeF(60, 60), QString(), device, 1, false);
    return worker.renderLabel();
}

void TestLabelRendering::barcodesDecodeFromTheLabelImage_data()
{
    QTest::addColumn<QString>("symbology");
    QTest::addColumn<QString>("contentOrder");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("rotation");
    for (int rotation : {0, 90}) {
        const QByteArray suffix = rotation ? " rotated" : "";
        QTest::newRow("code128" + suffix) << "code128"
                                          << "IMEI" << kImei << rotation;
        QTest::newRow("code39" + suffix) << "code39"
                                         << "System serial" << kSerial << rotation;
        // The first label without a value is passed over.
        QTest::newRow("ean13" + suffix) << "ean13"
                                        << "PIN,IMEI2" << kEan << rotation;
    }
}

void TestLabelRendering::barcodesDecodeFromTheLabelImage()
{
    QFETCH(QString, symbology);
    QFETCH(QString, contentOrder);
    QFETCH(QString, expected);
    QFETCH(int, rotation);
    ReportDevice device(m_device.get());
    device.setIdentifier(Device::Pin, QString());
    device.setIdentifier(Device::Imei2, QString::fromLatin1(kEan));
    const QImage labelImage =
        render(label({barcode(contentOrder, symbology, 248, 400, 420, 140, rotation)}), &device);
    QCOMPARE(labelImage.format(), QImage::Format_Mono);
    QCOMPARE(labelImage.size(), QSize(496 * 5, 800 * 5));
    QCOMPARE(TestSupport::decodeBarcodes(labelImage), QStringList{expected});
    // Rotation turns the bars about the object's centre.
    const QRectF bars = blackBoundsInUnits(labelImage);
    QVERIFY2(qAbs(bars.center().y() - 400) < 3, qPrintable(QString::number(bars.center().y())));
    if (rotation == 90)
        QVERIFY(bars.height() > bars.width());
}

void TestLabelRendering::barcodesDecodeFromPrintedPages_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QString>("symbology");
    QTest::addColumn<QString>("contentOrder");
    QTest::addColumn<QString>("expected");
    for (int dpi : {203, 300}) {
        const QByteArray tag = QByteArray::number(dpi) + " dpi ";
        QTest::newRow(tag + "code128") << dpi << "code128"
                                       << "IMEI" << kImei;
        QTest::newRow(tag + "code39") << dpi << "code39"
                                      << "System serial" << kSerial;
        QTest::newRow(tag + "ean13") << dpi << "ean13"
                                     << "IMEI2" << kEan;
    }
}

void TestLabelRendering::barcodesDecodeFromPrintedPages()
{
    QFETCH(int, dpi);
    QFETCH(QString, symbology);
    QFETCH(QString, contentOrder);
    QFETCH(QString, expected);
    ReportDevice device(m_device.get());
    device.setIdentifier(Device::Imei2, QString::fromLatin1(kEan));
    QJsonObject layout = label({barcode(contentOrder, symbology, 248, 400, 420, 140),
                                text(QStringLiteral("<model>"), 248, 200, 440, 40)});
    layout.insert(QStringLiteral("fixedsize"), true);
    PrintWorker worker(QString(), layout, QSizeF(60, 60), QString(), &device, 1, false);

    const QString pdf = m_files.filePath(QStringLiteral("page-%1-%2.pdf").arg(dpi).arg(symbology));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setColorMode(QPrinter::GrayScale);
    printer.setResolution(dpi);
    QVERIFY(worker.printPage(&printer));
    QCOMPARE(printer.pageLayout().pageSize().size(QPageSize::Millimeter), QSizeF(62, 100));

    const QImage page = TestSupport::rasterisePdf(pdf, dpi);
    QVERIFY(!page.isNull());
    // The PDF page is a whole number of points, so allow a few pixels.
    QVERIFY2(qAbs(page.width() - qRound(62 / 25.4 * dpi)) <= 3, qPrintable(QString::number(page.width())));
    QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{expected});
}

void TestLabelRendering::textLandsInItsBox_data()
{
    QTest::addColumn<QString>("alignment");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QRectF>("box"); // where the object's box lies on the label, layout units
    // Box: centre (248, 400), 200 x 40 units; an odd width of 41 would start at x - 20.
    QTest::newRow("left") << "Left" << 0 << QRectF(148, 380, 200, 40);
    QTest::newRow("center") << "Center" << 0 << QRectF(148, 380, 200, 40);
    QTest::newRow("right") << "Right" << 0 << QRectF(148, 380, 200, 40);
    QTest::newRow("middle is left") << "Middle" << 0 << QRectF(148, 380, 200, 40);
    QTest::newRow("rotated") << "Left" << 90 << QRectF(228, 300, 40, 200);
}

void TestLabelRendering::textLandsInItsBox()
{
    QFETCH(QString, alignment);
    QFETCH(int, rotation);
    QFETCH(QRectF, box);
    QJsonObject record = text(QStringLiteral("<b>HELLO</b>"), 248, 400, 200, 40, rotation, 24);
    record.insert(QStringLiteral("alignment"), alignment);
    const QImage img = render(label({record}));
    const QRectF ink = blackBoundsInUnits(img);
    QVERIFY2(
        box.adjusted(-1, -1, 1, 1).contains(ink),
        qPrintable(
            QStringLiteral("ink %1,%2 %3x%4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
    if (rotation)
        return;
    QVERIFY(ink.width() > 50 && ink.width() < 190);
    const double slackLeft = ink.left() - box.left();
    const double slackRight = box.right() - ink.right();
    if (alignment == QLatin1String("Right"))
        QVERIFY2(slackRight < 6, qPrintable(QString::number(slackRight)));
    else if (alignment == QLatin1String("Center"))
        QVERIFY2(qAbs(slackLeft - slackRight) < 6,
                 qPrintable(QStringLiteral("%1 %2").arg(slackLeft).arg(slackRight)));
    else
        QVERIFY2(slackLeft < 6, qPrintable(QString::number(slackLeft)));
}

void TestLabelRendering::elidingKeepsTextInsideItsBox()
{
    const QString longText = QStringLiteral("A very long line of text that cannot fit");
    QJsonObject clipped = text(longText, 248, 100, 120, 30);
    clipped.insert(QStringLiteral("elide"), QStringLiteral("Right"));
    QJsonObject unclipped = text(longText, 248, 300, 120, 30);
    const QImage img = render(label({clipped, unclipped}));
    const QRectF elided = blackBoundsInUnits(img, QRect(0, 0, img.width(), 200 * 5));
    const QRectF overflow = blackBoundsInUnits(img, QRect(0, 200 * 5, img.width(), 200 * 5));
    QVERIFY2(elided.left() >= 187 && elided.right() <= 310, qPrintable(QString::number(elided.right())));
    QVERIFY2(overflow.right() > 320, qPrintable(QString::number(overflow.right())));
}

void TestLabelRendering::marksAndTickBox()
{
    TextPrintItem_ marked(nullptr, text(QStringLiteral("<b>Bold</b> and <u>under</u>"), 50, 50, 80, 20), 1);
    QCOMPARE(marked.text(), QStringLiteral("Bold and under"));
    QVERIFY(marked.isBold());
    QVERIFY(marked.isUnderline());
    QVERIFY(marked.isValid());

    QJsonObject emptyText = text(QString(), 50, 50, 80, 20);
    QVERIFY(!TextPrintItem_(nullptr, emptyText, 1).isValid());
    emptyText.insert(QStringLiteral("tickBoxFormat"), true);
    QVERIFY(TextPrintItem_(nullptr, emptyText, 1).isValid());

    // A tick box is a square of the box's height at its left with the first character inside.
    QJsonObject tick = text(QStringLiteral(" X "), 248, 400, 200, 40);
    tick.insert(QStringLiteral("tickBoxFormat"), true);
    const QImage img = render(label({tick}));
    const QRectF ink = blackBoundsInUnits(img);
    QVERIFY2(qAbs(ink.left() - 149) < 2 && qAbs(ink.width() - 38) < 3 && qAbs(ink.height() - 38) < 3,
             qPrintable(QStringLiteral("%1 %2x%3").arg(ink.left()).arg(ink.width()).arg(ink.height())));
    QVERIFY(isBlack(img, QPointF(149, 400)));  // the square's left side
    QVERIFY(!isBlack(img, QPointF(155, 385))); // inside the square, away from the glyph
}

void TestLabelRendering::diagnosticsListIsCutToFit()
{
    ReportDevice device(m_device.get());
    QStringList results;
    for (int i = 1; i <= 12; ++i)
        results << QStringLiteral("Test%1=%2").arg(i).arg(i % 2);
    device.info().diagnosticsResults = results.join(QLatin1Char(','));
    QImage img(496 * 5, 800 * 5, QImage::Format_Mono);
    img.setDevicePixelRatio(5);
    QPainter painter(&img);

    TextPrintItem_ roomy(&device, text(QStringLiteral("<diaglist OK,FAILED>"), 248, 400, 400, 400, 0, 20), 1);
    QCOMPARE(roomy.text().count(QLatin1Char('\n')), 11);
    QVERIFY(roomy.paint(&img, &painter));
    QCOMPARE(roomy.text().count(QLatin1Char('\n')), 11); // fits: untouched

    TextPrintItem_ small(&device, text(QStringLiteral("<diaglist OK,FAILED>"), 248, 400, 400, 100, 0, 20), 1);
    const QString firstLine = small.text().section(QLatin1Char('\n'), 0, 0);
    QVERIFY(small.paint(&img, &painter));
    const QStringList lines = small.text().split(QLatin1Char('\n'));
    QVERIFY2(lines.size() >= 2 && lines.size() < 12, qPrintable(small.text()));
    QCOMPARE(lines.first(), firstLine);
    QCOMPARE(lines.last(), QStringLiteral("More tests"));
    QVERIFY(painter.boundingRect(QRectF(0, 0, 400, 100), 0, small.text()).height() < 100);

    TextPrintItem_ tiny(&device, text(QStringLiteral("<diaglist OK,FAILED>"), 248, 400, 400, 30, 0, 20), 1);
    QVERIFY(tiny.paint(&img, &painter));
    QCOMPARE(tiny.text(), QStringLiteral("More tests"));

    // Ordinary text that is too tall is left as it is.
    TextPrintItem_ plain(&device, text(QStringLiteral("a\nb\nc\nd"), 248, 400, 400, 30, 0, 20), 1);
    QVERIFY(plain.paint(&img, &painter));
    QCOMPARE(plain.text(), QStringLiteral("a\nb\nc\nd"));
}

void TestLabelRendering::laterObjectsPaintOverEarlierOnes()
{
    const QString black =
        makeImage(LayoutManager::localLogoDir() + QStringLiteral("black.png"), QSize(50, 50));
    QJsonObject cover = text(QStringLiteral("."), 248, 400, 100, 100);
    cover.insert(QStringLiteral("background"), true);
    const QJsonObject logo = image(black, 248, 400, 200, 200);

    const QImage textOnTop = render(label({logo, cover}));
    QVERIFY(!isBlack(textOnTop, QPointF(280, 430))); // the text's white box covers the logo
    QVERIFY(isBlack(textOnTop, QPointF(160, 320)));  // outside the box the logo remains

    const QImage logoOnTop = render(label({cover, logo}));
    QVERIFY(isBlack(logoOnTop, QPointF(280, 430)));
}

void TestLabelRendering::imagesScaleWithAndWithoutAspect()
{
    const QString wide =
        makeImage(LayoutManager::localLogoDir() + QStringLiteral("wide.png"), QSize(200, 100));
    const QRectF stretched = blackBoundsInUnits(render(label({image(wide, 248, 400, 100, 100, false)})));
    QCOMPARE(stretched, QRectF(198, 350, 100, 100));
    const QRectF kept = blackBoundsInUnits(render(label({image(wide, 248, 400, 100, 100, true)})));
    QCOMPARE(kept, QRectF(198, 350, 100, 50));

    QVERIFY(!ShapeObject_(nullptr, image(m_files.filePath("missing.png"), 10, 10, 10, 10), 1).isValid());
    // An imported layout names the other station's path; the local logo of that name is used.
    QDir().mkpath(LayoutManager::localLogoDir());
    makeImage(LayoutManager::localLogoDir() + QStringLiteral("station-logo.png"), QSize(10, 10));
    QVERIFY(ShapeObject_(nullptr, image("/elsewhere/logos/station-logo.png", 10, 10, 10, 10), 1).isValid());
    // Pictures outside the logo folder are refused, however they are named.
    const QString outside = makeImage(m_files.filePath(QStringLiteral("private.png")), QSize(10, 10));
    QVERIFY(!ShapeObject_(nullptr, image(outside, 10, 10, 10, 10), 1).isValid());
    const QString upward = QDir::current().relativeFilePath(outside);
    QVERIFY(upward.startsWith(QLatin1String("../")));
    QVERIFY(!ShapeObject_(nullptr, image(upward, 10, 10, 10, 10), 1).isValid());
}

void TestLabelRendering::drawnShapes()
{
    auto shape = [](const QString& name) {
        return QJsonObject{{"type", "ShapeObject.qml"},
                           {"sourceShape", name},
                           {"x", 248},
                           {"y", 400},
                           {"width", 100},
                           {"height", 60},
                           {"rotation", 0}};
    };
    const QImage rectangle = render(label({shape("Rectangle")}));
    QCOMPARE(blackBoundsInUnits(rectangle), QRectF(198, 370, 100, 60));
    QVERIFY(!isBlack(rectangle, QPointF(248, 400)));
    QVERIFY(isBlack(render(label({shape("filledEllipse")})), QPointF(248, 400)));
    const QRectF line = blackBoundsInUnits(render(label({shape("line")})));
    QVERIFY(line.height() <= 3 && qAbs(line.center().y() - 400) < 1.5);
    // An unknown shape is valid and prints nothing.
    ShapeObject_ unknown(nullptr, shape("star"), 1);
    QVERIFY(unknown.isValid());
    QVERIFY(blackBoundsInUnits(render(label({shape("star")}))).isNull());
}

void TestLabelRendering::invalidObjectsAreSkippedWithTheirLogLines()
{
    QJsonObject noRotation = text(QStringLiteral("no rotation"), 100, 100, 100, 20);
    noRotation.remove(QStringLiteral("rotation"));
    const QJsonArray objects{QJsonObject{{"x", 1}},
                             QJsonObject{{"type", ""}},
                             QJsonObject{{"type", "ImageObject.qml"}},
                             noRotation,
                             text(QStringLiteral("<firstvalue PIN>"), 100, 200, 100, 20),
                             barcode(QString(), "code128", 248, 300, 300, 100),
                             text(QStringLiteral("PRINTED"), 248, 600, 200, 40)};
    const QImage img = render(label(objects), m_device.get());
    QVERIFY(m_log->contains(QStringLiteral("NO TYPE IN DATA! [x]")));
    QVERIFY(m_log->contains(QStringLiteral("Typestring is empty")));
    QVERIFY(m_log->contains(QStringLiteral("Unknown print type ImageObject.qml")));
    QVERIFY(m_log->contains(QStringLiteral("Invalid dimensions")));
    QCOMPARE(m_log->count(QStringLiteral("Object is not valid. Refusing to print it")), 3);
    // Only the last object printed.
    const QRectF ink = blackBoundsInUnits(img);
    QVERIFY2(QRectF(148, 580, 200, 40).contains(ink), qPrintable(QString::number(ink.top())));
}

void TestLabelRendering::labelWithoutBarcodeProgramStillPrintsText()
{
    const QString missing = m_files.filePath(QStringLiteral("no-such-barcode"));
    SettingsManager::instance()->setValue(QLatin1String(BarCode::kProgramKey), missing, true);
    const QImage img = render(label({barcode("IMEI", "code128", 248, 300, 400, 150),
                                     text(QStringLiteral("IMEI <firstvalue IMEI>"), 248, 600, 400, 40)}),
                              m_device.get());
    QVERIFY(blackBoundsInUnits(img, QRect(0, 0, img.width(), 450 * 5)).isNull());
    QVERIFY(!blackBoundsInUnits(img, QRect(0, 450 * 5, img.width(), 350 * 5)).isNull());
    QCOMPARE(m_log->count(missing), 1);
}

void TestLabelRendering::layoutWithoutKeysGivesWhitePage()
{
    QJsonObject noName = label({text(QStringLiteral("X"), 248, 400, 200, 40)});
    noName.remove(QStringLiteral("name"));
    QJsonObject badObjects = label({});
    badObjects.insert(QStringLiteral("objects"), QStringLiteral("not a list"));

    for (const QJsonObject& layout : {noName, badObjects}) {
        PrintWorker worker(QString(), layout, QSizeF(60, 60), QString(), nullptr, 1, false);
        QImage page(300, 300, QImage::Format_Mono);
        QPainter painter(&page);
        painter.fillRect(page.rect(), Qt::white);
        QVERIFY(!worker.print(&painter));
        painter.end();
        QVERIFY(blackBoundsInUnits(page).isNull());
    }
    QVERIFY(m_log->contains(QStringLiteral("Missing data! [height,objects,width]")));
    QVERIFY(m_log->contains(QStringLiteral("Invalid objects definition")));

    // A good layout goes through the same meta-object call and paints.
    PrintWorker worker(QString(), label({text(QStringLiteral("X"), 248, 400, 200, 40)}), QSizeF(60, 60),
                       QString(), nullptr, 1, false);
    QImage page(496, 800, QImage::Format_Mono);
    QPainter painter(&page);
    painter.fillRect(page.rect(), Qt::white);
    QVERIFY(worker.print(&painter));
    painter.end();
    QVERIFY(!blackBoundsInUnits(page).isNull());
}

void TestLabelRendering::pageSize_data()
{
    QTest::addColumn<QJsonObject>("layout");
    QTest::addColumn<QString>("paperName");
    QTest::addColumn<QSizeF>("expected");
    const QJsonObject loose = label({});
    QJsonObject fixed = label({}, 500, 300);
    fixed.insert(QStringLiteral("fixedsize"), true);
    QJsonObject narrow = label({}, 7, 300);
    narrow.insert(QStringLiteral("fixedsize"), true);
    QTest::newRow("fixed 500 x 300") << fixed << QString() << QSizeF(62, 37);
    QTest::newRow("fixed narrower than 1 mm") << narrow << QString() << QSizeF(60, 60);
    QTest::newRow("printer's paper of the layout's size") << loose << QString() << QSizeF(61.98, 100.08);
    QTest::newRow("paper by name") << loose << "62x29mm" << QSizeF(62, 29);
    QTest::newRow("paper by name with _x_") << loose << "102 x 152" << QSizeF(102, 152);
    QTest::newRow("no paper of the layout's size") << label({}, 400, 244) << QString() << QSizeF(50, 30.5);
    QTest::newRow("no paper of that name") << label({}, 400, 240) << "A7" << QSizeF(50, 30);
    QTest::newRow("layout without a size") << label({}, 0, 240) << QString() << QSizeF(60, 60);
}

void TestLabelRendering::pageSize()
{
    QFETCH(QJsonObject, layout);
    QFETCH(QString, paperName);
    QFETCH(QSizeF, expected);
    const QList<QPageSize> papers{QPageSize(QSizeF(61.98, 100.08), QPageSize::Millimeter, "2.44x3.94in"),
                                  QPageSize(QSizeF(62, 29), QPageSize::Millimeter, "62x29mm"),
                                  QPageSize(QSizeF(102, 152), QPageSize::Millimeter, "102_x_152"),
                                  QPageSize(QSizeF(60, 60), QPageSize::Millimeter, "square")};
    const QPageSize size = PrintWorker::choosePageSize(layout, QSizeF(60, 60), paperName, papers);
    QVERIFY(size.isValid());
    const QSizeF mm = size.size(QPageSize::Millimeter);
    QVERIFY2(qAbs(mm.width() - expected.width()) < 0.05 && qAbs(mm.height() - expected.height()) < 0.05,
             qPrintable(QStringLiteral("%1 x %2").arg(mm.width()).arg(mm.height())));
    if (QTest::currentDataTag() == QByteArray("fixed 500 x 300"))
        QCOMPARE(size.name(), QStringLiteral("62mm x 37mm"));
}

void TestLabelRendering::printerWithoutMatchingPaperUsesTheLabelSize_data()
{
    QTest::addColumn<QString>("printer");
    QTest::newRow("not installed") << "No such printer";
    QTest::newRow("built-in PDF printer") << FilePrinter::kName;
}

void TestLabelRendering::printerWithoutMatchingPaperUsesTheLabelSize()
{
    // A 50 x 30 mm label keeps its shape on the page instead of being stretched onto a stand-in size.
    QFETCH(QString, printer);
    PrintWorker worker(printer, label({}, 400, 240), QSizeF(60, 60), QString(), nullptr, 1, false);
    QCOMPARE(worker.pageSize().size(QPageSize::Millimeter), QSizeF(50, 30));
}

void TestLabelRendering::previewImageNextToTheLayout()
{
    LayoutManager store;
    const QJsonObject layout = label(
        {text(QStringLiteral("<model>"), 248, 400, 400, 40), barcode("IMEI", "code128", 248, 200, 400, 120)});
    QVERIFY(PrintWorker::createPreviewImage(layout, store.layoutDir()));
    const QImage preview(QDir(store.layoutDir()).filePath(QStringLiteral("Test label.png")));
    QCOMPARE(preview.size(), QSize(496, 800));
    QVERIFY(!blackBoundsInUnits(preview).isNull());

    QJsonObject escaping = layout;
    escaping.insert(QStringLiteral("name"), QStringLiteral("../escaped"));
    QVERIFY(!PrintWorker::createPreviewImage(escaping, store.layoutDir()));
    QVERIFY(!QFile::exists(QDir(store.layoutDir()).filePath(QStringLiteral("../escaped.png"))));
}

void TestLabelRendering::sampleLabel()
{
    const QString logo =
        makeImage(LayoutManager::localLogoDir() + QStringLiteral("logo.png"), QSize(120, 60));
    const QJsonArray objects{
        image(logo, 248, 50, 160, 60, true),
        text(QStringLiteral("<manufacturer> <model>"), 248, 120, 460, 36, 0, 28),
        text(QStringLiteral("IMEI: <firstvalue IMEI>"), 248, 170, 460, 30),
        barcode("IMEI", "code128", 248, 260, 440, 120),
        text(QStringLiteral("Serial: <firstvalue System serial>"), 248, 360, 460, 30),
        barcode("System serial", "code39", 248, 450, 440, 120),
        text(QStringLiteral("Status: <devstatus Erased,Failed,Other>"), 248, 560, 460, 30),
        text(QStringLiteral("Report <xmlreport /root/report/korvex_data/description/document_id>"), 248, 620,
             460, 30, 0, 18),
        text(QStringLiteral("Printed <date yyyy-MM-dd>"), 248, 680, 460, 30)};
    const QImage img = render(label(objects), m_device.get());
    QVERIFY(img.save(QStringLiteral("/tmp/label-sample.png"), "PNG"));
    QStringList decoded = TestSupport::decodeBarcodes(img);
    decoded.sort();
    QCOMPARE(decoded, (QStringList{kImei, kSerial}));
}

namespace {

const QString kSuccessfulState = QStringLiteral("<entry name=\"state\" type=\"string\">Successful</entry>");

// The sample report with its one erasure changed: "successful" keeps it, "failed" fails it,
// "unfinished" drops its result, "mixed" adds a failed erasure after it, "none" removes it.
QString reportWithErasures(const QString& kind)
{
    QString xml = QString::fromUtf8(TestSupport::sampleReport());
    const int start = xml.indexOf(QLatin1String("<entries name=\"erasure\">"));
    const int end = xml.indexOf(QLatin1String("</korvex_erasure_report>"));
    const QString erasures = xml.mid(start, xml.lastIndexOf(QLatin1String("</entries>"), end) - start);
    if (kind == QLatin1String("failed")) {
        xml.replace(kSuccessfulState, QString(kSuccessfulState).replace("Successful", "Failed"));
    } else if (kind == QLatin1String("unfinished")) {
        xml.remove(kSuccessfulState);
    } else if (kind == QLatin1String("mixed")) {
        xml.insert(start + erasures.size(),
                   QString(erasures).replace(kSuccessfulState,
                                             QString(kSuccessfulState).replace("Successful", "Failed")));
    } else if (kind == QLatin1String("none")) {
        xml.remove(start, erasures.size());
    }
    return xml;
}

} // namespace

void TestLabelRendering::reportValuesOnThePrintedPage_data()
{
    QTest::addColumn<QString>("erasures");
    QTest::addColumn<QString>("contentOrder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("status, all successful") << "successful"
                                            << "(freetext)<devstatus>"
                                            << "erasure successful";
    QTest::newRow("status, failed") << "failed"
                                    << "(freetext)<devstatus>"
                                    << "erasure failed";
    QTest::newRow("status, one of two failed") << "mixed"
                                               << "(freetext)<devstatus>"
                                               << "erasure failed";
    QTest::newRow("status, no erasure") << "none"
                                        << "(freetext)<devstatus>"
                                        << "connected";
    QTest::newRow("status, erasure without result") << "unfinished"
                                                    << "(freetext)<devstatus>"
                                                    << "connected";
    QTest::newRow("device custom field from the report") << "successful"
                                                         << "(devcustomfield)info1"
                                                         << "PO-2026-1187";
    QTest::newRow("custom field tag from the report") << "successful"
                                                      << "(freetext)<customfield info1>"
                                                      << "PO-2026-1187";
    QTest::newRow("device custom field tag from the report") << "successful"
                                                             << "(freetext)<devcustomfield info1>"
                                                             << "PO-2026-1187";
    QTest::newRow("unknown custom field gives nothing") << "successful"
                                                        << "(devcustomfield)nothing,IMEI" << kImei;
    QTest::newRow("comments are no custom field") << "successful"
                                                  << "(freetext)<customfield Comments>"
                                                  << "<customfield Comments>";
}

void TestLabelRendering::reportValuesOnThePrintedPage()
{
    QFETCH(QString, erasures);
    QFETCH(QString, contentOrder);
    QFETCH(QString, expected);
    ReportDocument report;
    report.parse(reportWithErasures(erasures));
    QVERIFY(report.date().isValid());
    ReportDevice device;
    device.setReport(&report, true);
    QJsonObject layout = label({barcode(contentOrder, "code128", 248, 400, 460, 140)});
    PrintWorker worker(QStringLiteral("No such printer"), layout, QSizeF(60, 60), QString(), &device, 1,
                       false);

    const QString pdf = m_files.filePath(QStringLiteral("report-value.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setResolution(300);
    QVERIFY(worker.printPage(&printer));
    QCOMPARE(TestSupport::decodeBarcodes(TestSupport::rasterisePdf(pdf, 300)), QStringList{expected});
}

void TestLabelRendering::formerIdentifierTextPrintsTheIdentifier()
{
    // Older editors wrote "<firstid>=<devid>" for the identifier; it still prints the identifier.
    ReportDevice device(m_device.get());
    device.info().deviceIdentifier = QStringLiteral("ST7-00042");
    const QImage img =
        render(label({barcode("(freetext)<firstid>=<devid>", "code128", 248, 200, 460, 140),
                      barcode("(freetext)id <firstid>=<devid><firstid>", "code128", 248, 500, 460, 140)}),
               &device);
    QStringList decoded = TestSupport::decodeBarcodes(img);
    decoded.sort();
    QCOMPARE(decoded, (QStringList{"ST7-00042", "id ST7-00042<firstid>"}));
}

void TestLabelRendering::pageMatchesThePreview_data()
{
    QTest::addColumn<QJsonObject>("object");
    QTest::addColumn<QString>("decoded");
    const QString logo = makeImage(m_files.filePath(QStringLiteral("logo.png")), QSize(120, 60));
    QTest::newRow("small text") << text(QStringLiteral("Serial <System serial>"), 248, 100, 440, 30, 0, 14)
                                << QString();
    QTest::newRow("large bold text") << text(QStringLiteral("<b><manufacturer>"), 248, 300, 440, 80, 0, 48)
                                     << QString();
    QTest::newRow("rotated text") << text(QStringLiteral("<model>"), 100, 400, 400, 40, 90, 24) << QString();
    QTest::newRow("logo") << image(logo, 300, 600, 160, 80, true) << QString();
    QTest::newRow("code128") << barcode(QStringLiteral("IMEI"), QStringLiteral("code128"), 248, 400, 420, 140)
                             << QString::fromLatin1(kImei);
    QTest::newRow("code39 rotated") << barcode(QStringLiteral("System serial"), QStringLiteral("code39"), 248,
                                               400, 600, 200, 90)
                                    << QString::fromLatin1(kSerial);
    QTest::newRow("ean13") << barcode(QStringLiteral("IMEI2"), QStringLiteral("ean13"), 248, 650, 300, 120)
                           << QString::fromLatin1(kEan);
}

// Pages drawn at a label printer's resolution put every object where the preview does (within half
// a millimetre), and their barcodes scan with every module a whole number of dots.
void TestLabelRendering::pageMatchesThePreview()
{
    QFETCH(QJsonObject, object);
    QFETCH(QString, decoded);
    ReportDevice device(m_device.get());
    device.setIdentifier(Device::Imei2, QString::fromLatin1(kEan));
    PrintWorker worker(QString(), label({object}), QSizeF(60, 60), QString(), &device, 1, false);
    const QRectF preview = blackBoundsInUnits(worker.renderLabel());
    QVERIFY(!preview.isEmpty());
    const auto mm = [](double units) {
        return units / 8.0;
    };
    for (double dpi : {203.0, 300.0}) {
        const QImage page = worker.renderLabelAt(dpi);
        QCOMPARE(page.format(), QImage::Format_Mono);
        QCOMPARE(page.width(), qRound(62 / 25.4 * dpi));
        const double dotsPerUnit = page.width() / 496.0;
        const QRectF bounds = blackBoundsInUnits(page);
        const QRectF printed(bounds.x() / dotsPerUnit, bounds.y() / dotsPerUnit, bounds.width() / dotsPerUnit,
                             bounds.height() / dotsPerUnit);
        const QString where = QStringLiteral("%1 dpi: preview %2,%3 %4x%5 units, page %6,%7 %8x%9")
                                  .arg(dpi)
                                  .arg(preview.x())
                                  .arg(preview.y())
                                  .arg(preview.width())
                                  .arg(preview.height())
                                  .arg(printed.x())
                                  .arg(printed.y())
                                  .arg(printed.width())
                                  .arg(printed.height());
        QVERIFY2(mm(qAbs(printed.left() - preview.left())) <= 0.5, qPrintable(where));
        QVERIFY2(mm(qAbs(printed.top() - preview.top())) <= 0.5, qPrintable(where));
        if (decoded.isEmpty()) {
            QVERIFY2(mm(qAbs(printed.right() - preview.right())) <= 0.5, qPrintable(where));
            QVERIFY2(mm(qAbs(printed.bottom() - preview.bottom())) <= 0.5, qPrintable(where));
            continue;
        }
        // A code starts where it did; whole-dot modules may make it shorter, never longer.
        const bool turned = object.value("rotation").toInt() == 90;
        if (turned) {
            QVERIFY2(mm(qAbs(printed.right() - preview.right())) <= 0.5, qPrintable(where));
            QVERIFY2(printed.bottom() <= preview.bottom() + 4, qPrintable(where));
        } else {
            QVERIFY2(mm(qAbs(printed.bottom() - preview.bottom())) <= 0.5, qPrintable(where));
            QVERIFY2(printed.right() <= preview.right() + 4, qPrintable(where));
        }
        QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{decoded});
        // Every bar and gap along the middle of the code is a whole multiple of one module.
        const QImage gray = page.convertToFormat(QImage::Format_Grayscale8);
        const int line = int(turned ? bounds.center().x() : bounds.center().y());
        QList<int> runs;
        int run = 0;
        bool black = false;
        const int from = int(turned ? bounds.top() : bounds.left());
        const int to = int(turned ? bounds.bottom() : bounds.right());
        for (int i = from; i < to; ++i) {
            const bool here = (turned ? gray.pixel(line, i) : gray.pixel(i, line)) == qRgb(0, 0, 0);
            if (here != black && run > 0) {
                runs << run;
                run = 0;
            }
            black = here;
            ++run;
        }
        runs << run;
        const int module = *std::min_element(runs.begin(), runs.end());
        for (int r : runs)
            QVERIFY2(r % module == 0, qPrintable(QStringLiteral("run %1, module %2").arg(r).arg(module)));
    }
}

QTEST_MAIN(TestLabelRendering)
#include "tst_labelrendering.moc"
