// Labels as a person checks them: barcodes a scanner reads (on the label image and on printed pages),
// text where its box says, objects in drawing order, and what is left out.

#include "barcodedecode.h"
#include "logcapture.h"
#include "printing/barcode.h"
#include "printing/fileprinter.h"
#include "printing/layoutmanager.h"
#include "printing/pdffileoutput.h"
#include "printing/printworker.h"
#include "printing/shapeobject_.h"
#include "printing/textprintitem_.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QPainter>
#include <QPrinter>
#include <QtTest>

namespace {

const char* kImei = "356789104567892";
const char* kSerial = "F2LXK0QJHG7F";
const char* kEan = "4006381333931";

QJsonObject with(QJsonObject o, const char* key, const QJsonValue& value)
{
    o.insert(QLatin1String(key), value);
    return o;
}

QJsonObject placed(QJsonObject o, int x, int y, int w, int h, int rotation)
{
    for (const auto& [key, value] :
         {std::pair<const char*, int>{"x", x}, {"y", y}, {"width", w}, {"height", h}, {"rotation", rotation}})
        o = with(o, key, value);
    return o;
}

QJsonObject text(const QString& content, int x, int y, int w, int h, int rotation = 0, int pixelSize = 24)
{
    return placed({{"type", "TextObject.qml"},
                   {"unformattedString", content},
                   {"pixelSize", pixelSize},
                   {"background", false}},
                  x, y, w, h, rotation);
}

QJsonObject barcode(const QString& contentOrder, const QString& symbology, int x, int y, int w, int h,
                    int rotation = 0)
{
    return placed({{"type", "BarCode.qml"}, {"contentOrder", contentOrder}, {"symbology", symbology}}, x, y,
                  w, h, rotation);
}

QJsonObject image(const QString& path, int x, int y, int w, int h, bool keepAspect = false)
{
    return placed({{"type", "ShapeObject.qml"}, {"sourceImage", path}, {"maintainAspectRation", keepAspect}},
                  x, y, w, h, 0);
}

QJsonObject shape(const QString& name)
{
    return placed({{"type", "ShapeObject.qml"}, {"sourceShape", name}}, 248, 400, 100, 60, 0);
}

// A 62 x 100 mm label.
QJsonObject label(const QJsonArray& objects, int width = 496, int height = 800)
{
    return QJsonObject{{"name", "Test label"}, {"width", width}, {"height", height}, {"objects", objects}};
}

// Bounds of the black pixels, in layout units (five pixels each).
QRectF blackBoundsInUnits(const QImage& img)
{
    const QImage gray = img.convertToFormat(QImage::Format_Grayscale8);
    QRect ink;
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x)
            if (gray.constScanLine(y)[x] < 128)
                ink |= QRect(x, y, 1, 1);
    const double dpr = img.devicePixelRatio();
    return ink.isNull() ? QRectF() : QRectF(QPointF(ink.topLeft()) / dpr, QSizeF(ink.size()) / dpr);
}

QString describe(const QRectF& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
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

// The sample report with its one erasure changed: "successful" keeps it, "unfinished" drops its
// result, "mixed" adds a failed erasure after it.
QString reportWithErasures(const QString& kind)
{
    QString xml = QString::fromUtf8(TestSupport::sampleReport());
    const QString ok = "<entry name=\"state\" type=\"string\">Successful</entry>";
    const int start = xml.indexOf("<entries name=\"erasure\">");
    const int end = xml.lastIndexOf("</entries>", xml.indexOf("</korvex_erasure_report>"));
    if (kind == "unfinished")
        xml.replace(ok, QString());
    else if (kind == "mixed")
        xml.insert(end, xml.mid(start, end - start).replace(ok, QString(ok).replace("Successful", "Failed")));
    return xml;
}

// The sample report, its erasure changed as reportWithErasures says, on a device.
struct Sample
{
    explicit Sample(const QString& erasures = QStringLiteral("successful"))
    {
        report.parse(reportWithErasures(erasures));
        device.setReport(&report, true);
    }
    ReportDocument report;
    ReportDevice device;
};

} // namespace

class TestLabelRendering : public QObject
{
    Q_OBJECT

private:
    QImage render(const QJsonObject& layout, Device* device = nullptr)
    {
        return PrintWorker(QString(), layout, QSizeF(60, 60), QString(), device, 1, false).renderLabel();
    }

    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<Sample> m_sample;
    std::unique_ptr<TestSupport::LogCapture> m_log;
    QTemporaryDir m_files;

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(SettingsManager::instance());
        m_log = std::make_unique<TestSupport::LogCapture>();
        m_sample = std::make_unique<Sample>();
    }

    void init()
    {
        SettingsManager::instance()->removeKey(QLatin1String(BarCode::kProgramKey), true);
        m_log->clear();
    }

    void pageMatchesThePreview_data()
    {
        QTest::addColumn<QJsonObject>("object");
        QTest::addColumn<QString>("decoded");  // empty: no barcode
        QTest::addColumn<QString>("erasures"); // how the report's erasure was changed
        const auto row = [](const QString& name, const QJsonObject& object, const QString& decoded = {},
                            const char* erasures = "successful") {
            QTest::newRow(qPrintable(name)) << object << decoded << erasures;
        };
        const QString logo = makeImage(LayoutManager::localLogoDir() + "logo.png", QSize(120, 60));
        row("small text", text("Serial <System serial>", 248, 100, 440, 30, 0, 14));
        row("rotated text", text("<model>", 100, 400, 400, 40, 90, 24));
        row("logo", image(logo, 300, 600, 160, 80, true));
        row("code128", barcode("IMEI", "code128", 248, 400, 420, 140), kImei);
        row("code128 rotated", barcode("IMEI", "code128", 248, 400, 420, 140, 90), kImei);
        row("code39", barcode("System serial", "code39", 248, 400, 420, 140), kSerial);
        // The first label without a value is passed over.
        row("ean13", barcode("PIN,IMEI2", "ean13", 248, 400, 300, 120), kEan);
        // Older editors wrote "<firstid>=<devid>" for the identifier; it still prints the identifier.
        row("former identifier text", barcode("(freetext)<firstid>=<devid>", "code128", 248, 200, 460, 140),
            "ST7-00042");
        row("former identifier text among others",
            barcode("(freetext)id <firstid>=<devid><firstid>", "code128", 248, 500, 460, 140),
            "id ST7-00042<firstid>");
        // Values taken from the report itself.
        const auto value = [&](const char* name, const QString& tags, const QString& expected,
                               const char* erasures = "successful") {
            // Upright, so the longer texts get room enough to scan at 203 dpi.
            row(name, barcode(tags, "code128", 248, 400, 700, 160, 90), expected, erasures);
        };
        const QString status = QStringLiteral("(freetext)<devstatus>");
        value("status, all successful", status, "erasure successful");
        value("status, one of two failed", status, "erasure failed", "mixed");
        value("status, erasure without result", status, "connected", "unfinished");
        // Other tag forms: tst_tagparser.
        value("device custom field", "(devcustomfield)info1", "PO-2026-1187");
        value("comments are no custom field", "(freetext)<customfield Comments>", "<customfield Comments>");
    }

    // Pages drawn at a label printer's resolution put every object where the preview does (within half
    // a millimetre), and their barcodes scan with every module a whole number of dots.
    void pageMatchesThePreview()
    {
        QFETCH(QJsonObject, object);
        QFETCH(QString, decoded);
        QFETCH(QString, erasures);
        Sample sample(erasures);
        ReportDevice& device = sample.device;
        device.setIdentifier(Device::Pin, QString());
        device.setIdentifier(Device::Imei2, QString::fromLatin1(kEan));
        device.info().deviceIdentifier = QStringLiteral("ST7-00042");
        const bool turned = object.value("rotation").toInt() == 90;
        PrintWorker worker(QString(), label({object}), QSizeF(60, 60), QString(), &device, 1, false);
        const QImage previewImage = worker.renderLabel();
        QCOMPARE(previewImage.size(), QSize(496 * 5, 800 * 5));
        const QRectF preview = blackBoundsInUnits(previewImage);
        QVERIFY(!preview.isEmpty());
        if (!decoded.isEmpty()) {
            QCOMPARE(TestSupport::decodeBarcodes(previewImage), QStringList{decoded});
            // Rotation turns the bars about the object's centre.
            QVERIFY2(qAbs(preview.center().y() - object.value("y").toInt()) < 3,
                     qPrintable(describe(preview)));
            QCOMPARE(preview.height() > preview.width(), turned);
        }
        for (double dpi : {203.0, 300.0}) {
            const QImage page = worker.renderLabelAt(dpi);
            QCOMPARE(page.format(), QImage::Format_Mono);
            QCOMPARE(page.width(), qRound(62 / 25.4 * dpi));
            const double dotsPerUnit = page.width() / 496.0;
            const QRectF bounds = blackBoundsInUnits(page);
            const QRectF printed(bounds.topLeft() / dotsPerUnit, bounds.size() / dotsPerUnit);
            const QByteArray where = QStringLiteral("%1 dpi: preview %2, page %3")
                                         .arg(dpi)
                                         .arg(describe(preview), describe(printed))
                                         .toUtf8();
            // Every edge within half a millimetre (four units); along a code's length the page may end
            // it sooner, as whole-dot modules make a code shorter, never longer.
            const auto near = [](double page, double shown, bool mayEndSooner) {
                return mayEndSooner ? page <= shown + 4 : qAbs(page - shown) <= 4;
            };
            const bool code = !decoded.isEmpty();
            QVERIFY2(near(printed.left(), preview.left(), false) &&
                         near(printed.top(), preview.top(), false) &&
                         near(printed.right(), preview.right(), code && !turned) &&
                         near(printed.bottom(), preview.bottom(), code && turned),
                     where.constData());
            if (decoded.isEmpty())
                continue;
            QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{decoded});
            // Every bar and gap along the middle of the code is a whole multiple of one module.
            const int line = int(turned ? bounds.center().x() : bounds.center().y());
            QList<int> runs;
            bool last = false;
            for (int i = int(turned ? bounds.top() : bounds.left());
                 i < (turned ? bounds.bottom() : bounds.right()); ++i) {
                const bool black = qGray(turned ? page.pixel(line, i) : page.pixel(i, line)) < 128;
                if (runs.isEmpty() || black != last)
                    runs << 0;
                ++runs.last();
                last = black;
            }
            const int module = *std::min_element(runs.begin(), runs.end());
            for (int r : runs)
                QVERIFY2(r % module == 0, qPrintable(QStringLiteral("run %1, module %2").arg(r).arg(module)));
        }
    }

    // Objects resolved for a device keep their values after its report is gone: the page and the
    // barcodes for the batch's one run of the barcode program come out as from the report itself.
    void resolvedLabelOutlivesItsReport_data() { pageMatchesThePreview_data(); }
    void resolvedLabelOutlivesItsReport()
    {
        QFETCH(QJsonObject, object);
        QFETCH(QString, erasures);
        auto sample = std::make_unique<Sample>(erasures);
        sample->device.setIdentifier(Device::Pin, QString());
        sample->device.setIdentifier(Device::Imei2, QString::fromLatin1(kEan));
        sample->device.info().deviceIdentifier = QStringLiteral("ST7-00042");
        const QJsonObject layout = label({object});
        PrintWorker resolved(QString(), layout, QSizeF(60, 60), QString(), &sample->device, 1, false);
        resolved.resolveObjects();
        QImage expected;
        QList<QPair<QString, QString>> codes;
        {
            PrintWorker live(QString(), layout, QSizeF(60, 60), QString(), &sample->device, 1, false);
            expected = live.renderLabelAt(300);
            codes = live.barcodeContents();
        }
        sample.reset();
        QCOMPARE(resolved.barcodeContents(), codes);
        QCOMPARE(resolved.renderLabelAt(300), expected);
    }

    void linearCodesPrintAsBefore_data()
    {
        QTest::addColumn<QJsonObject>("object");
        QTest::addColumn<double>("dpi"); // 0: the label image
        QTest::addColumn<QByteArray>("digest");
        const QJsonObject code128 = barcode("IMEI", "code128", 248, 400, 420, 140);
        const QJsonObject code39 = barcode("System serial", "code39", 248, 400, 420, 140, 90);
        const QJsonObject ean13 = barcode("PIN,IMEI2", "ean13", 248, 400, 300, 120, 180);
        QTest::newRow("code128 203 dpi")
            << code128 << 203.0 << QByteArray("22783c56768f6fbda26e1b9aae5f076f");
        QTest::newRow("code128 300 dpi")
            << code128 << 300.0 << QByteArray("06e86b4b418ff80539d0bc1ade716e4c");
        QTest::newRow("code128 label image")
            << code128 << 0.0 << QByteArray("7c98dfce06802c60a7b362ff2332843f");
        QTest::newRow("code39 turned 203 dpi")
            << code39 << 203.0 << QByteArray("2bf864bbb695eca2e29e3b09bf2c2fc1");
        QTest::newRow("code39 turned 600 dpi")
            << code39 << 600.0 << QByteArray("23526253f7ec1e99bf0279620f80c9c1");
        QTest::newRow("ean13 upside down 300 dpi")
            << ean13 << 300.0 << QByteArray("5a4a1614f80d28f82332a8a7f450a93c");
        QTest::newRow("ean13 upside down label image")
            << ean13 << 0.0 << QByteArray("944a49e719388e24d4285c5e70b0ad7b");
    }
    // Layouts stored before codes had a module width or quiet zone print dot for dot as they did.
    void linearCodesPrintAsBefore()
    {
        QFETCH(QJsonObject, object);
        QFETCH(double, dpi);
        QFETCH(QByteArray, digest);
        Sample sample;
        ReportDevice& device = sample.device;
        device.setIdentifier(Device::Pin, QString());
        device.setIdentifier(Device::Imei2, QString::fromLatin1(kEan));
        PrintWorker worker(QString(), label({object}), QSizeF(60, 60), QString(), &device, 1, false);
        const QImage image = (dpi > 0 ? worker.renderLabelAt(dpi) : worker.renderLabel())
                                 .convertToFormat(QImage::Format_Grayscale8);
        QCryptographicHash hash(QCryptographicHash::Md5);
        for (int y = 0; y < image.height(); ++y)
            hash.addData(reinterpret_cast<const char*>(image.constScanLine(y)), image.width());
        QCOMPARE(hash.result().toHex(), digest);
    }

    void inkLandsInItsBox_data()
    {
        QTest::addColumn<QJsonArray>("objects");
        QTest::addColumn<QRectF>("box"); // where the ink may lie, layout units; null: nothing printed
        // How the ink fills the box: "Right" aligned, or "exact".
        QTest::addColumn<QString>("fill");
        QTest::addColumn<bool>("programMissing");
        const auto row = [](const char* name, const QJsonArray& objects, const QRectF& box,
                            const QString& fill = {}, bool programMissing = false) {
            QTest::newRow(name) << objects << box << fill << programMissing;
        };
        // Box: centre (248, 400), 200 x 40 units; an odd width of 41 would start at x - 20.
        const QRectF box(148, 380, 200, 40);
        row("right aligned", {with(text("<b>HELLO</b>", 248, 400, 200, 40), "alignment", "Right")}, box,
            "Right");
        row("rotated text", {text("<b>HELLO</b>", 248, 400, 200, 40, 90)}, QRectF(228, 300, 40, 200));
        row("elided",
            {with(text("A very long line of text that cannot fit", 248, 400, 120, 30), "elide", "Right")},
            QRectF(188, 385, 120, 30));
        const QString wide = makeImage(LayoutManager::localLogoDir() + "wide.png", QSize(200, 100));
        row("image stretched", {image(wide, 248, 400, 100, 100, false)}, QRectF(198, 350, 100, 100), "exact");
        row("image keeping its aspect", {image(wide, 248, 400, 100, 100, true)}, QRectF(198, 350, 100, 50),
            "exact");
        row("rectangle", {shape("Rectangle")}, QRectF(198, 370, 100, 60), "exact");
        row("unknown shape", {shape("star")}, QRectF());
        // Whatever cannot be drawn is left out; the text after it still prints where it should.
        const QJsonObject printed = text("PRINTED", 248, 600, 200, 40);
        QJsonObject noRotation = text("no rotation", 100, 100, 100, 20);
        noRotation.remove(QStringLiteral("rotation"));
        row("invalid objects are skipped",
            {QJsonObject{{"x", 1}}, QJsonObject{{"type", ""}}, QJsonObject{{"type", "ImageObject.qml"}},
             noRotation, text("<firstvalue PIN>", 100, 200, 100, 20),
             barcode(QString(), "code128", 248, 300, 300, 100), printed},
            QRectF(148, 580, 200, 40));
        row("barcode program missing", {barcode("IMEI", "code128", 248, 300, 400, 150), printed},
            QRectF(148, 580, 200, 40), {}, true);
    }
    void inkLandsInItsBox()
    {
        QFETCH(QJsonArray, objects);
        QFETCH(QRectF, box);
        QFETCH(QString, fill);
        QFETCH(bool, programMissing);
        const QString missing = m_files.filePath(QStringLiteral("no-such-barcode"));
        if (programMissing)
            SettingsManager::instance()->setValue(QLatin1String(BarCode::kProgramKey), missing, true);
        const QRectF ink = blackBoundsInUnits(render(label(objects), &m_sample->device));
        // A missing barcode program is named, once.
        QCOMPARE(m_log->count(missing), programMissing ? 1 : 0);
        const QByteArray where = describe(ink).toUtf8();
        if (box.isNull() || fill == "exact")
            QCOMPARE(ink, box);
        else
            QVERIFY2(!ink.isNull() && box.adjusted(-1, -1, 1, 1).contains(ink), where.constData());
        if (fill == "Right")
            QVERIFY2(ink.width() > 50 && ink.width() < 190 && box.right() - ink.right() < 6,
                     where.constData());
    }

    void textMarksAndDiagnostics()
    {
        TextPrintItem_ marked(nullptr, text("<b>Bold</b> and <u>under</u>", 50, 50, 80, 20), 1);
        QCOMPARE(marked.text(), QStringLiteral("Bold and under"));
        QVERIFY(marked.isBold() && marked.isUnderline() && marked.isValid());
        const QJsonObject emptyText = text(QString(), 50, 50, 80, 20);
        QVERIFY(!TextPrintItem_(nullptr, emptyText, 1).isValid());
        QVERIFY(TextPrintItem_(nullptr, with(emptyText, "tickBoxFormat", true), 1).isValid());
        // A diagnostics list too long for its box is cut to fit.
        ReportDevice device(&m_sample->device);
        device.info().diagnosticsResults = "Test1=1,Test2=0,Test3=1,Test4=0,Test5=1,Test6=0,Test7=1,Test8=0,"
                                           "Test9=1,Test10=0,Test11=1,Test12=0";
        QImage img(496 * 5, 800 * 5, QImage::Format_Mono);
        img.setDevicePixelRatio(5);
        QPainter painter(&img);
        // The text of a 400-unit-wide box of `height` after painting.
        const auto painted = [&](int height, const QString& content) {
            TextPrintItem_ item(&device, text(content, 248, 400, 400, height, 0, 20), 1);
            return item.paint(&img, &painter) ? item.text() : QStringLiteral("(not painted)");
        };
        const QString list = QStringLiteral("<diaglist OK,FAILED>");
        const QString all = painted(400, list), small = painted(100, list);
        QCOMPARE(all.count('\n'), 11); // fits: untouched
        QVERIFY2(small.startsWith(all.section('\n', 0, 0) + '\n') && small.endsWith("\nMore tests") &&
                     painter.boundingRect(QRectF(0, 0, 400, 100), 0, small).height() < 100,
                 qPrintable(small));
        QCOMPARE(painted(30, list), QStringLiteral("More tests"));
        // Ordinary text that is too tall is left as it is.
        QCOMPARE(painted(30, "a\nb\nc\nd"), QStringLiteral("a\nb\nc\nd"));
    }

    void shapesImagesAndPreviewFile()
    {
        const QImage rectangle = render(label({shape("Rectangle")}));
        QVERIFY(isBlack(rectangle, QPointF(198, 400)) && !isBlack(rectangle, QPointF(248, 400)));
        QVERIFY(!ShapeObject_(nullptr, image(m_files.filePath("missing.png"), 10, 10, 10, 10), 1).isValid());
        // An imported layout names the other station's path; the local logo of that name is used.
        makeImage(LayoutManager::localLogoDir() + "station-logo.png", QSize(10, 10));
        QVERIFY(
            ShapeObject_(nullptr, image("/elsewhere/logos/station-logo.png", 10, 10, 10, 10), 1).isValid());
        // Pictures outside the logo folder are refused, however they are named.
        const QString outside = makeImage(m_files.filePath("private.png"), QSize(10, 10));
        const QString upward = QDir::current().relativeFilePath(outside);
        QVERIFY(upward.startsWith(QLatin1String("../")));
        for (const QString& path : {outside, upward})
            QVERIFY2(!ShapeObject_(nullptr, image(path, 10, 10, 10, 10), 1).isValid(), qPrintable(path));
        // A layout without a name draws nothing (without objects: tst_testprint).
        QJsonObject noName = label({text("X", 248, 400, 200, 40)});
        noName.remove(QStringLiteral("name"));
        QVERIFY(render(noName).isNull());
        // The editor's preview picture beside the layout, and never outside the layout folder.
        const QDir dir(LayoutManager().layoutDir());
        const QJsonObject layout = label({barcode("IMEI", "code128", 248, 200, 400, 120)});
        QVERIFY(PrintWorker::createPreviewImage(layout, dir.path()));
        const QImage preview(dir.filePath("Test label.png"));
        QVERIFY(preview.size() == QSize(496, 800) && !blackBoundsInUnits(preview).isNull());
        QVERIFY(!PrintWorker::createPreviewImage(with(layout, "name", "../escaped"), dir.path()));
        QVERIFY(!QFile::exists(dir.filePath("../escaped.png")));
    }

    // The page's one-bit cut keeps every pixel Qt's own threshold cut keeps, on odd widths too.
    void blackAndWhiteCutMatchesQt()
    {
        QImage grey(203, 37, QImage::Format_Grayscale8);
        for (int y = 0; y < grey.height(); ++y)
            for (int x = 0; x < grey.width(); ++x)
                grey.scanLine(y)[x] = uchar((x * 7 + y * 13) % 256);
        grey.setDotsPerMeterX(11811);
        const QImage ours = PrintWorker::blackAndWhite(grey);
        const QImage qt = grey.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly);
        QCOMPARE(ours.color(0), qRgb(0, 0, 0));
        QCOMPARE(ours.dotsPerMeterX(), 11811);
        QCOMPARE(ours.convertToFormat(QImage::Format_RGB32), qt.convertToFormat(QImage::Format_RGB32));
    }

    // A label's PDF holds the page dot for dot at its resolution, on a page of the label's size, under
    // its title; an odd width keeps its last dots.
    void pdfHoldsThePageDotForDot()
    {
        QImage page(201, 150, QImage::Format_Mono);
        page.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                page.setPixel(x, y, (x / 3 + y / 2) % 3 == 0 || x == page.width() - 1 ? 0 : 1);
        // 216 dpi is three dots a point: the page is 68 x 50 points, the image a point narrower.
        const QPageSize size(QSize(68, 50), QString(), QPageSize::ExactMatch);
        QTemporaryDir dir;
        const QString path = dir.filePath("label.pdf");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(PdfFileOutput::writePdf(&file, page, size, 216,
                                        QString::fromUtf8("Gr\xc3\xbc\xc3\x9f (1) \\ x")));
        file.close();

        const QImage back = TestSupport::rasterisePdf(path, 216)
                                .convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly)
                                .convertToFormat(QImage::Format_RGB32);
        QVERIFY2(back.size() == QSize(204, 150),
                 qPrintable(QString("%1 x %2").arg(back.width()).arg(back.height())));
        QCOMPARE(back.copy(0, 0, 201, 150), page.convertToFormat(QImage::Format_RGB32));
        for (int y = 0; y < back.height(); ++y)
            QVERIFY(back.pixel(201, y) == qRgb(255, 255, 255) && back.pixel(203, y) == qRgb(255, 255, 255));
        QProcess info;
        info.start("pdfinfo", {path});
        QVERIFY(info.waitForFinished(30000));
        const QString text = QString::fromUtf8(info.readAllStandardOutput()).simplified();
        QVERIFY2(info.exitCode() == 0 &&
                     text.contains(QString::fromUtf8("Title: Gr\xc3\xbc\xc3\x9f (1) \\ x")) &&
                     text.contains("Page size: 68 x 50 pts"),
                 qPrintable(text + info.readAllStandardError()));
    }

    void pageSize_data()
    {
        QTest::addColumn<QJsonObject>("layout");
        QTest::addColumn<QString>("paperName");
        QTest::addColumn<QString>("printer"); // set: a real worker for that printer, without the papers below
        QTest::addColumn<QSizeF>("expected");
        const auto row = [](const char* name, const QJsonObject& layout, const QSizeF& expected,
                            const QString& paper = {}, const QString& printer = {}) {
            QTest::newRow(name) << layout << paper << printer << expected;
        };
        row("fixed 500 x 300", with(label({}, 500, 300), "fixedsize", true), {62, 37});
        row("fixed narrower than 1 mm", with(label({}, 7, 300), "fixedsize", true), {60, 60});
        row("printer's paper of the layout's size", label({}), {61.98, 100.08});
        row("paper by name", label({}), {62, 29}, "62x29mm");
        row("paper by name with _x_", label({}), {102, 152}, "102 x 152");
        row("no paper of the layout's size", label({}, 400, 244), {50, 30.5});
        row("layout without a size", label({}, 0, 240), {60, 60});
        // A 50 x 30 mm label keeps its shape on the page instead of being stretched onto a stand-in size.
        row("printer not installed", label({}, 400, 240), {50, 30}, {}, "No such printer");
        row("built-in PDF printer", label({}, 400, 240), {50, 30}, {}, FilePrinter::kName);
    }

    void pageSize()
    {
        QFETCH(QJsonObject, layout);
        QFETCH(QString, paperName);
        QFETCH(QString, printer);
        QFETCH(QSizeF, expected);
        const QList<QPageSize> papers{QPageSize(QSizeF(61.98, 100.08), QPageSize::Millimeter, "2.44x3.94in"),
                                      QPageSize(QSizeF(62, 29), QPageSize::Millimeter, "62x29mm"),
                                      QPageSize(QSizeF(102, 152), QPageSize::Millimeter, "102_x_152"),
                                      QPageSize(QSizeF(60, 60), QPageSize::Millimeter, "square")};
        const QPageSize size =
            printer.isEmpty()
                ? PrintWorker::choosePageSize(layout, QSizeF(60, 60), paperName, papers)
                : PrintWorker(printer, layout, QSizeF(60, 60), QString(), nullptr, 1, false).pageSize();
        QVERIFY(size.isValid());
        const QSizeF mm = size.size(QPageSize::Millimeter);
        QVERIFY2(qAbs(mm.width() - expected.width()) < 0.05 && qAbs(mm.height() - expected.height()) < 0.05,
                 qPrintable(QStringLiteral("%1 x %2").arg(mm.width()).arg(mm.height())));
    }
};

QTEST_MAIN(TestLabelRendering)
#include "tst_labelrendering.moc"
