// Labels as a person checks them: barcodes a scanner reads (on the label image and on printed pages),
// text where its box says, objects in drawing order, and what is left out.

#include "barcodedecode.h"
#include "printing/barcode.h"
#include "printing/fileprinter.h"
#include "printing/layoutmanager.h"
#include "printing/printworker.h"
#include "printing/shapeobject_.h"
#include "printing/textprintitem_.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
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

QJsonObject placed(QJsonObject o, int x, int y, int w, int h, int rotation)
{
    const std::pair<const char*, int> keys[] = {
        {"x", x}, {"y", y}, {"width", w}, {"height", h}, {"rotation", rotation}};
    for (const auto& [key, value] : keys)
        o.insert(QLatin1String(key), value);
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
    QRect ink;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
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

const QString kSuccessfulState = QStringLiteral("<entry name=\"state\" type=\"string\">Successful</entry>");

// The sample report with its one erasure changed: "successful" keeps it, "failed" fails it,
// "unfinished" drops its result, "mixed" adds a failed erasure after it, "none" removes it.
QString reportWithErasures(const QString& kind)
{
    QString xml = QString::fromUtf8(TestSupport::sampleReport());
    const int start = xml.indexOf(QLatin1String("<entries name=\"erasure\">"));
    const int end = xml.indexOf(QLatin1String("</korvex_erasure_report>"));
    const QString erasures = xml.mid(start, xml.lastIndexOf(QLatin1String("</entries>"), end) - start);
    const QString failed = QString(kSuccessfulState).replace("Successful", "Failed");
    if (kind == QLatin1String("failed"))
        xml.replace(kSuccessfulState, failed);
    else if (kind == QLatin1String("unfinished"))
        xml.remove(kSuccessfulState);
    else if (kind == QLatin1String("mixed"))
        xml.insert(start + erasures.size(), QString(erasures).replace(kSuccessfulState, failed));
    else if (kind == QLatin1String("none"))
        xml.remove(start, erasures.size());
    return xml;
}

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
    ReportDocument m_report;
    std::unique_ptr<ReportDevice> m_device;
    QTemporaryDir m_files;

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
        QVERIFY(SettingsManager::instance());
        const QByteArray sample = TestSupport::sampleReport();
        QVERIFY(!sample.isEmpty());
        m_report.parse(QString::fromUtf8(sample));
        m_device = std::make_unique<ReportDevice>();
        m_device->setReport(&m_report, true);
    }

    void init() { SettingsManager::instance()->removeKey(QLatin1String(BarCode::kProgramKey), true); }

    void pageMatchesThePreview_data()
    {
        QTest::addColumn<QJsonObject>("object");
        QTest::addColumn<QString>("decoded");
        const QString logo =
            makeImage(LayoutManager::localLogoDir() + QStringLiteral("logo.png"), QSize(120, 60));
        QTest::newRow("small text") << text(QStringLiteral("Serial <System serial>"), 248, 100, 440, 30, 0,
                                            14)
                                    << QString();
        QTest::newRow("large bold text")
            << text(QStringLiteral("<b><manufacturer>"), 248, 300, 440, 80, 0, 48) << QString();
        QTest::newRow("rotated text")
            << text(QStringLiteral("<model>"), 100, 400, 400, 40, 90, 24) << QString();
        QTest::newRow("logo") << image(logo, 300, 600, 160, 80, true) << QString();
        for (int rotation : {0, 90}) {
            const QByteArray turned = rotation ? " rotated" : "";
            QTest::newRow("code128" + turned)
                << barcode("IMEI", "code128", 248, 400, 420, 140, rotation) << kImei;
            QTest::newRow("code39" + turned) << barcode("System serial", "code39", 248, 400,
                                                        rotation ? 600 : 420, rotation ? 200 : 140, rotation)
                                             << kSerial;
            // The first label without a value is passed over.
            QTest::newRow("ean13" + turned)
                << barcode("PIN,IMEI2", "ean13", 248, 400, 300, 120, rotation) << kEan;
        }
        // Older editors wrote "<firstid>=<devid>" for the identifier; it still prints the identifier.
        QTest::newRow("former identifier text")
            << barcode("(freetext)<firstid>=<devid>", "code128", 248, 200, 460, 140) << "ST7-00042";
        QTest::newRow("former identifier text among others")
            << barcode("(freetext)id <firstid>=<devid><firstid>", "code128", 248, 500, 460, 140)
            << "id ST7-00042<firstid>";
    }

    // Pages drawn at a label printer's resolution put every object where the preview does (within half
    // a millimetre), and their barcodes scan with every module a whole number of dots.
    void pageMatchesThePreview()
    {
        QFETCH(QJsonObject, object);
        QFETCH(QString, decoded);
        ReportDevice device(m_device.get());
        device.setIdentifier(Device::Pin, QString());
        device.setIdentifier(Device::Imei2, QString::fromLatin1(kEan));
        device.info().deviceIdentifier = QStringLiteral("ST7-00042");
        const bool turned = object.value("rotation").toInt() == 90;
        PrintWorker worker(QString(), label({object}), QSizeF(60, 60), QString(), &device, 1, false);
        const QImage previewImage = worker.renderLabel();
        QCOMPARE(previewImage.format(), QImage::Format_Mono);
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
        const auto mm = [](double units) {
            return units / 8.0;
        };
        for (double dpi : {203.0, 300.0}) {
            const QImage page = worker.renderLabelAt(dpi);
            QCOMPARE(page.format(), QImage::Format_Mono);
            QCOMPARE(page.width(), qRound(62 / 25.4 * dpi));
            const double dotsPerUnit = page.width() / 496.0;
            const QRectF bounds = blackBoundsInUnits(page);
            const QRectF printed(bounds.topLeft() / dotsPerUnit, bounds.size() / dotsPerUnit);
            const QByteArray whereText = QStringLiteral("%1 dpi: preview %2, page %3")
                                             .arg(dpi)
                                             .arg(describe(preview), describe(printed))
                                             .toUtf8();
            const char* where = whereText.constData();
            QVERIFY2(mm(qAbs(printed.left() - preview.left())) <= 0.5, where);
            QVERIFY2(mm(qAbs(printed.top() - preview.top())) <= 0.5, where);
            if (decoded.isEmpty()) {
                QVERIFY2(mm(qAbs(printed.right() - preview.right())) <= 0.5, where);
                QVERIFY2(mm(qAbs(printed.bottom() - preview.bottom())) <= 0.5, where);
                continue;
            }
            // A code starts where it did; whole-dot modules may make it shorter, never longer.
            if (turned) {
                QVERIFY2(mm(qAbs(printed.right() - preview.right())) <= 0.5, where);
                QVERIFY2(printed.bottom() <= preview.bottom() + 4, where);
            } else {
                QVERIFY2(mm(qAbs(printed.bottom() - preview.bottom())) <= 0.5, where);
                QVERIFY2(printed.right() <= preview.right() + 4, where);
            }
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

    void printedPageDecodes_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("erasures");
        QTest::addColumn<QString>("symbology");
        QTest::addColumn<QString>("contentOrder");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, int dpi, const char* erasures, const char* symbology,
                            const QString& contentOrder, const QString& expected) {
            QTest::newRow(name) << dpi << erasures << symbology << contentOrder << expected;
        };
        // Any code at either resolution: the page image itself is checked by pageMatchesThePreview.
        row("203 dpi code128", 203, "successful", "code128", "IMEI", kImei);
        row("300 dpi code39", 300, "successful", "code39", "System serial", kSerial);
        row("203 dpi ean13", 203, "successful", "ean13", "IMEI2", kEan);
        // Values taken from the report itself.
        const auto value = [&](const char* name, const char* erasures, const QString& tags,
                               const QString& expected) {
            row(name, 300, erasures, "code128", tags, expected);
        };
        const QString status = QStringLiteral("(freetext)<devstatus>");
        value("status, all successful", "successful", status, "erasure successful");
        value("status, failed", "failed", status, "erasure failed");
        value("status, one of two failed", "mixed", status, "erasure failed");
        value("status, no erasure", "none", status, "connected");
        value("status, erasure without result", "unfinished", status, "connected");
        value("device custom field", "successful", "(devcustomfield)info1", "PO-2026-1187");
        value("custom field tag", "successful", "(freetext)<customfield info1>", "PO-2026-1187");
        value("device custom field tag", "successful", "(freetext)<devcustomfield info1>", "PO-2026-1187");
        value("unknown custom field gives nothing", "successful", "(devcustomfield)nothing,IMEI", kImei);
        value("comments are no custom field", "successful", "(freetext)<customfield Comments>",
              "<customfield Comments>");
    }

    // Through the printer: the page has the label's size and its barcode scans.
    void printedPageDecodes()
    {
        QFETCH(int, dpi);
        QFETCH(QString, erasures);
        QFETCH(QString, symbology);
        QFETCH(QString, contentOrder);
        QFETCH(QString, expected);
        ReportDocument report;
        report.parse(reportWithErasures(erasures));
        QVERIFY(report.date().isValid());
        ReportDevice device;
        device.setReport(&report, true);
        device.setIdentifier(Device::Imei2, QString::fromLatin1(kEan));
        QJsonObject layout = label({barcode(contentOrder, symbology, 248, 400, 420, 140),
                                    text(QStringLiteral("<model>"), 248, 200, 440, 40)});
        layout.insert(QStringLiteral("fixedsize"), true);
        PrintWorker worker(QString(), layout, QSizeF(60, 60), QString(), &device, 1, false);

        const QString pdf = m_files.filePath(QStringLiteral("page.pdf"));
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
        QVERIFY2(qAbs(page.width() - qRound(62 / 25.4 * dpi)) <= 3,
                 qPrintable(QString::number(page.width())));
        QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{expected});
    }

    void textLandsInItsBox_data()
    {
        QTest::addColumn<QString>("alignment");
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QRectF>("box"); // where the object's box lies on the label, layout units
        // Box: centre (248, 400), 200 x 40 units; an odd width of 41 would start at x - 20.
        for (const char* alignment : {"Left", "Center", "Right"})
            QTest::newRow(alignment) << alignment << 0 << QRectF(148, 380, 200, 40);
        QTest::newRow("middle is left") << "Middle" << 0 << QRectF(148, 380, 200, 40);
        QTest::newRow("rotated") << "Left" << 90 << QRectF(228, 300, 40, 200);
    }

    void textLandsInItsBox()
    {
        QFETCH(QString, alignment);
        QFETCH(int, rotation);
        QFETCH(QRectF, box);
        QJsonObject record = text(QStringLiteral("<b>HELLO</b>"), 248, 400, 200, 40, rotation, 24);
        record.insert(QStringLiteral("alignment"), alignment);
        const QRectF ink = blackBoundsInUnits(render(label({record})));
        QVERIFY2(box.adjusted(-1, -1, 1, 1).contains(ink), qPrintable(describe(ink)));
        if (rotation)
            return;
        QVERIFY(ink.width() > 50 && ink.width() < 190);
        const double slackLeft = ink.left() - box.left();
        const double slackRight = box.right() - ink.right();
        const QByteArray slack = QByteArray::number(slackLeft) + " " + QByteArray::number(slackRight);
        if (alignment == QLatin1String("Right"))
            QVERIFY2(slackRight < 6, slack.constData());
        else if (alignment == QLatin1String("Center"))
            QVERIFY2(qAbs(slackLeft - slackRight) < 6, slack.constData());
        else
            QVERIFY2(slackLeft < 6, slack.constData());
    }

    void elidingKeepsTextInsideItsBox()
    {
        const QString longText = QStringLiteral("A very long line of text that cannot fit");
        QJsonObject clipped = text(longText, 248, 100, 120, 30);
        clipped.insert(QStringLiteral("elide"), QStringLiteral("Right"));
        const QImage img = render(label({clipped, text(longText, 248, 300, 120, 30)}));
        const QRectF elided = blackBoundsInUnits(img, QRect(0, 0, img.width(), 200 * 5));
        const QRectF overflow = blackBoundsInUnits(img, QRect(0, 200 * 5, img.width(), 200 * 5));
        QVERIFY2(elided.left() >= 187 && elided.right() <= 310, qPrintable(describe(elided)));
        QVERIFY2(overflow.right() > 320, qPrintable(describe(overflow)));
    }

    void marksAndTickBox()
    {
        TextPrintItem_ marked(nullptr, text(QStringLiteral("<b>Bold</b> and <u>under</u>"), 50, 50, 80, 20),
                              1);
        QCOMPARE(marked.text(), QStringLiteral("Bold and under"));
        QVERIFY(marked.isBold() && marked.isUnderline() && marked.isValid());

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
                 qPrintable(describe(ink)));
        QVERIFY(isBlack(img, QPointF(149, 400)));  // the square's left side
        QVERIFY(!isBlack(img, QPointF(155, 385))); // inside the square, away from the glyph
    }

    void diagnosticsListIsCutToFit()
    {
        ReportDevice device(m_device.get());
        QStringList results;
        for (int i = 1; i <= 12; ++i)
            results << QStringLiteral("Test%1=%2").arg(i).arg(i % 2);
        device.info().diagnosticsResults = results.join(QLatin1Char(','));
        QImage img(496 * 5, 800 * 5, QImage::Format_Mono);
        img.setDevicePixelRatio(5);
        QPainter painter(&img);
        // The text of a 400-unit-wide box of `height` before and after painting.
        const auto painted = [&](const QString& content, int height) {
            TextPrintItem_ item(&device, text(content, 248, 400, 400, height, 0, 20), 1);
            const QString before = item.text();
            const bool ok = item.paint(&img, &painter);
            return std::make_tuple(ok, before, item.text());
        };
        const QString list = QStringLiteral("<diaglist OK,FAILED>");

        const auto [roomyOk, roomyBefore, roomy] = painted(list, 400);
        QVERIFY(roomyOk);
        QCOMPARE(roomyBefore.count(QLatin1Char('\n')), 11);
        QCOMPARE(roomy, roomyBefore); // fits: untouched

        const auto [smallOk, smallBefore, small] = painted(list, 100);
        QVERIFY(smallOk);
        const QStringList lines = small.split(QLatin1Char('\n'));
        QVERIFY2(lines.size() >= 2 && lines.size() < 12, qPrintable(small));
        QCOMPARE(lines.first(), smallBefore.section(QLatin1Char('\n'), 0, 0));
        QCOMPARE(lines.last(), QStringLiteral("More tests"));
        QVERIFY(painter.boundingRect(QRectF(0, 0, 400, 100), 0, small).height() < 100);

        QCOMPARE(std::get<2>(painted(list, 30)), QStringLiteral("More tests"));
        // Ordinary text that is too tall is left as it is.
        QCOMPARE(std::get<2>(painted(QStringLiteral("a\nb\nc\nd"), 30)), QStringLiteral("a\nb\nc\nd"));
    }

    void laterObjectsPaintOverEarlierOnes()
    {
        const QString black =
            makeImage(LayoutManager::localLogoDir() + QStringLiteral("black.png"), QSize(50, 50));
        QJsonObject cover = text(QStringLiteral("."), 248, 400, 100, 100);
        cover.insert(QStringLiteral("background"), true);
        const QJsonObject logo = image(black, 248, 400, 200, 200);

        const QImage textOnTop = render(label({logo, cover}));
        QVERIFY(!isBlack(textOnTop, QPointF(280, 430))); // the text's white box covers the logo
        QVERIFY(isBlack(textOnTop, QPointF(160, 320)));  // outside the box the logo remains
        QVERIFY(isBlack(render(label({cover, logo})), QPointF(280, 430)));
    }

    // Pictures from outside the logo folder: tst_edges' logosFromOutsideTheLogoFolder.
    void imagesScaleWithAndWithoutAspect()
    {
        const QString wide =
            makeImage(LayoutManager::localLogoDir() + QStringLiteral("wide.png"), QSize(200, 100));
        QCOMPARE(blackBoundsInUnits(render(label({image(wide, 248, 400, 100, 100, false)}))),
                 QRectF(198, 350, 100, 100));
        QCOMPARE(blackBoundsInUnits(render(label({image(wide, 248, 400, 100, 100, true)}))),
                 QRectF(198, 350, 100, 50));

        QVERIFY(!ShapeObject_(nullptr, image(m_files.filePath("missing.png"), 10, 10, 10, 10), 1).isValid());
        // An imported layout names the other station's path; the local logo of that name is used.
        makeImage(LayoutManager::localLogoDir() + QStringLiteral("station-logo.png"), QSize(10, 10));
        QVERIFY(
            ShapeObject_(nullptr, image("/elsewhere/logos/station-logo.png", 10, 10, 10, 10), 1).isValid());
    }

    void drawnShapes()
    {
        auto shape = [](const QString& name) {
            return placed({{"type", "ShapeObject.qml"}, {"sourceShape", name}}, 248, 400, 100, 60, 0);
        };
        const QImage rectangle = render(label({shape("Rectangle")}));
        QCOMPARE(blackBoundsInUnits(rectangle), QRectF(198, 370, 100, 60));
        QVERIFY(!isBlack(rectangle, QPointF(248, 400)));
        QVERIFY(isBlack(render(label({shape("filledEllipse")})), QPointF(248, 400)));
        const QRectF line = blackBoundsInUnits(render(label({shape("line")})));
        QVERIFY(line.height() <= 3 && qAbs(line.center().y() - 400) < 1.5);
        // An unknown shape is valid and prints nothing.
        QVERIFY(ShapeObject_(nullptr, shape("star"), 1).isValid());
        QVERIFY(blackBoundsInUnits(render(label({shape("star")}))).isNull());
    }

    void onlyPrintableObjectsPrint_data()
    {
        QTest::addColumn<QJsonArray>("objects");
        QTest::addColumn<bool>("programMissing");
        QJsonObject noRotation = text(QStringLiteral("no rotation"), 100, 100, 100, 20);
        noRotation.remove(QStringLiteral("rotation"));
        QTest::newRow("invalid objects are skipped")
            << QJsonArray{QJsonObject{{"x", 1}},
                          QJsonObject{{"type", ""}},
                          QJsonObject{{"type", "ImageObject.qml"}},
                          noRotation,
                          text(QStringLiteral("<firstvalue PIN>"), 100, 200, 100, 20),
                          barcode(QString(), "code128", 248, 300, 300, 100)}
            << false;
        QTest::newRow("barcode program missing")
            << QJsonArray{barcode("IMEI", "code128", 248, 300, 400, 150)} << true;
    }

    // Whatever cannot be drawn is left out; the text after it still prints where it should.
    void onlyPrintableObjectsPrint()
    {
        QFETCH(QJsonArray, objects);
        QFETCH(bool, programMissing);
        if (programMissing)
            SettingsManager::instance()->setValue(QLatin1String(BarCode::kProgramKey),
                                                  m_files.filePath(QStringLiteral("no-such-barcode")), true);
        objects.append(text(QStringLiteral("PRINTED"), 248, 600, 200, 40));
        const QRectF ink = blackBoundsInUnits(render(label(objects), m_device.get()));
        QVERIFY(!ink.isNull());
        QVERIFY2(QRectF(148, 580, 200, 40).contains(ink), qPrintable(describe(ink)));
    }

    void layoutWithoutKeysGivesWhitePage()
    {
        QJsonObject noName = label({text(QStringLiteral("X"), 248, 400, 200, 40)});
        noName.remove(QStringLiteral("name"));
        QJsonObject badObjects = label({});
        badObjects.insert(QStringLiteral("objects"), QStringLiteral("not a list"));
        // A good layout goes through the same meta-object call and paints.
        const QJsonObject good = label({text(QStringLiteral("X"), 248, 400, 200, 40)});

        const QList<QJsonObject> layouts{noName, badObjects, good};
        for (const QJsonObject& layout : layouts) {
            PrintWorker worker(QString(), layout, QSizeF(60, 60), QString(), nullptr, 1, false);
            QImage page(496, 800, QImage::Format_Mono);
            QPainter painter(&page);
            painter.fillRect(page.rect(), Qt::white);
            const bool printed = worker.print(&painter);
            painter.end();
            QCOMPARE(printed, &layout == &layouts.last());
            QCOMPARE(!blackBoundsInUnits(page).isNull(), printed);
        }
    }

    void pageSize_data()
    {
        QTest::addColumn<QJsonObject>("layout");
        QTest::addColumn<QString>("paperName");
        QTest::addColumn<QString>("printer"); // set: a real worker for that printer, without the papers below
        QTest::addColumn<QSizeF>("expected");
        const QJsonObject loose = label({});
        QJsonObject fixed = label({}, 500, 300);
        fixed.insert(QStringLiteral("fixedsize"), true);
        QJsonObject narrow = label({}, 7, 300);
        narrow.insert(QStringLiteral("fixedsize"), true);
        QTest::newRow("fixed 500 x 300") << fixed << QString() << QString() << QSizeF(62, 37);
        QTest::newRow("fixed narrower than 1 mm") << narrow << QString() << QString() << QSizeF(60, 60);
        QTest::newRow("printer's paper of the layout's size")
            << loose << QString() << QString() << QSizeF(61.98, 100.08);
        QTest::newRow("paper by name") << loose << "62x29mm" << QString() << QSizeF(62, 29);
        QTest::newRow("paper by name with _x_") << loose << "102 x 152" << QString() << QSizeF(102, 152);
        QTest::newRow("no paper of the layout's size")
            << label({}, 400, 244) << QString() << QString() << QSizeF(50, 30.5);
        QTest::newRow("no paper of that name") << label({}, 400, 240) << "A7" << QString() << QSizeF(50, 30);
        QTest::newRow("layout without a size")
            << label({}, 0, 240) << QString() << QString() << QSizeF(60, 60);
        // A 50 x 30 mm label keeps its shape on the page instead of being stretched onto a stand-in size.
        QTest::newRow("printer not installed")
            << label({}, 400, 240) << QString() << "No such printer" << QSizeF(50, 30);
        QTest::newRow("built-in PDF printer")
            << label({}, 400, 240) << QString() << FilePrinter::kName << QSizeF(50, 30);
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

    void previewImageNextToTheLayout()
    {
        LayoutManager store;
        const QJsonObject layout = label({text(QStringLiteral("<model>"), 248, 400, 400, 40),
                                          barcode("IMEI", "code128", 248, 200, 400, 120)});
        QVERIFY(PrintWorker::createPreviewImage(layout, store.layoutDir()));
        const QImage preview(QDir(store.layoutDir()).filePath(QStringLiteral("Test label.png")));
        QCOMPARE(preview.size(), QSize(496, 800));
        QVERIFY(!blackBoundsInUnits(preview).isNull());

        QJsonObject escaping = layout;
        escaping.insert(QStringLiteral("name"), QStringLiteral("../escaped"));
        QVERIFY(!PrintWorker::createPreviewImage(escaping, store.layoutDir()));
        QVERIFY(!QFile::exists(QDir(store.layoutDir()).filePath(QStringLiteral("../escaped.png"))));
    }
};

QTEST_MAIN(TestLabelRendering)
#include "tst_labelrendering.moc"
