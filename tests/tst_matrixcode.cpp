// Two-dimensional codes and the size of codes on the label: what a scanner reads at a label printer's
// resolution, modules of whole dots, module width and quiet zone as asked, the fit warning, and the
// checks on the keys that ask for them.

#include "app/layoutdocument.h"
#include "barcodedecode.h"
#include "printing/barcode.h"
#include "printing/layoutcheck.h"
#include "printing/matrixcode.h"
#include "printing/printworker.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QPainter>
#include <QtTest>

namespace {

const QString kLink = QStringLiteral("https://example.com/reports/2026/356789104567892");
const QString kGs1 = QStringLiteral("[01]09501101530003[17]140704[10]AB-123");

// A barcode of fixed content centred at (x, y) of a 62 x 100 mm label (layout units).
QJsonObject code(const QString& symbology, const QString& content, int x, int y, int width, int height,
                 int rotation = 0, const QJsonObject& extra = {})
{
    QJsonObject object{{"type", "BarCode.qml"},
                       {"contentOrder", QStringLiteral("(freetext)") + content},
                       {"symbology", symbology},
                       {"x", x},
                       {"y", y},
                       {"width", width},
                       {"height", height},
                       {"rotation", rotation}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

QImage printed(const QJsonArray& objects, double dpi, QStringList* problems = nullptr)
{
    PrintWorker worker(QString(),
                       QJsonObject{{"name", "Codes"}, {"width", 496}, {"height", 800}, {"objects", objects}},
                       QSizeF(62, 100), QString(), nullptr, 1, false);
    const QImage page = worker.renderLabelAt(dpi).convertToFormat(QImage::Format_Grayscale8);
    if (problems)
        *problems = worker.problems();
    return page;
}

bool black(const QImage& page, int x, int y)
{
    return page.constScanLine(y)[x] < 128;
}

QRect inkBounds(const QImage& page)
{
    QRect ink;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (black(page, x, y))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// The lengths of the black and white runs along every row and column of the area.
QList<int> runs(const QImage& page, const QRect& area)
{
    QList<int> lengths;
    const auto walk = [&](int count, int steps, auto pixel) {
        for (int line = 0; line < count; ++line) {
            int run = 0;
            bool last = pixel(line, 0);
            for (int i = 0; i < steps; ++i) {
                const bool now = pixel(line, i);
                if (now != last) {
                    lengths << run;
                    run = 0;
                    last = now;
                }
                ++run;
            }
            lengths << run;
        }
    };
    walk(area.height(), area.width(),
         [&](int row, int i) { return black(page, area.left() + i, area.top() + row); });
    walk(area.width(), area.height(),
         [&](int column, int i) { return black(page, area.left() + column, area.top() + i); });
    return lengths;
}

} // namespace

class TestMatrixCode : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(SettingsManager::instance());
    }

    void scannedAtPrinterResolutions_data()
    {
        QTest::addColumn<QJsonObject>("object");
        QTest::addColumn<QString>("reader"); // "zbarimg" or a ZXingReader format
        QTest::addColumn<QString>("decoded");
        QTest::addColumn<QString>("identifier"); // expected symbology identifier, ZXingReader only
        QTest::addColumn<double>("dpi");
        const QJsonObject qr = code("qrcode", kLink, 248, 300, 280, 280);
        const QJsonObject turnedQr = code("qrcode", kLink, 248, 300, 280, 280, 90);
        const QJsonObject dm = code("datamatrix", kGs1, 248, 300, 200, 200, 0, {{"gs1", true}});
        const QJsonObject pdf = code("pdf417", kLink, 248, 300, 440, 200);
        const QJsonObject turnedPdf = code("pdf417", kLink, 248, 400, 440, 200, 270);
        const QString gs1Text = QStringLiteral("01095011015300031714070410AB-123");
        for (double dpi : {203.0, 300.0}) {
            const QByteArray at = QByteArray::number(dpi) + " dpi";
            QTest::newRow("qr " + at) << qr << "zbarimg" << kLink << QString() << dpi;
            QTest::newRow("qr turned " + at) << turnedQr << "zbarimg" << kLink << QString() << dpi;
            QTest::newRow("gs1 datamatrix " + at) << dm << "DataMatrix" << gs1Text << "]d2" << dpi;
            QTest::newRow("pdf417 " + at) << pdf << "PDF417" << kLink << QString() << dpi;
            QTest::newRow("pdf417 turned " + at) << turnedPdf << "PDF417" << kLink << QString() << dpi;
        }
    }
    // The printed symbol scans, and it is its module grid drawn with one whole number of dots per
    // module: its ink is exactly the symbol's modules wide and high, every run a multiple of a module.
    void scannedAtPrinterResolutions()
    {
        QFETCH(QJsonObject, object);
        QFETCH(QString, reader);
        QFETCH(QString, decoded);
        QFETCH(QString, identifier);
        QFETCH(double, dpi);
        const QImage page = printed({object}, dpi);
        if (reader == "zbarimg") {
            QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{decoded});
        } else {
            bool missing = false;
            // The symbol with a margin half its size: ZXingReader overlooks a small Data Matrix on a large
            // white page.
            const QRect ink = inkBounds(page);
            const QImage symbol = page.copy(
                ink.adjusted(-ink.width() / 2, -ink.height() / 2, ink.width() / 2, ink.height() / 2));
            const QList<TestSupport::ZXingSymbol> symbols =
                TestSupport::decodeWithZXing(symbol, reader, &missing);
            if (missing)
                QSKIP("ZXingReader is not installed (package zxing-cpp-tools)");
            QCOMPARE(symbols.size(), 1);
            QCOMPARE(symbols.first().text, decoded);
            if (!identifier.isEmpty())
                QCOMPARE(symbols.first().identifier, identifier);
        }

        MatrixCode matrix;
        QString error;
        QVERIFY(matrix.encode(object.value("symbology").toString(),
                              object.value("contentOrder").toString().mid(10), object.value("gs1").toBool(),
                              &error));
        const bool turned = object.value("rotation").toInt() % 180 != 0;
        const QSize modules = turned ? matrix.modules().transposed() : matrix.modules();
        const QRect ink = inkBounds(page);
        const int module = ink.width() / modules.width();
        QVERIFY2(module >= 1 && ink.width() == modules.width() * module &&
                     ink.height() == modules.height() * module,
                 qPrintable(QStringLiteral("%1 x %2 dots for %3 x %4 modules")
                                .arg(ink.width())
                                .arg(ink.height())
                                .arg(modules.width())
                                .arg(modules.height())));
        for (int run : runs(page, ink))
            QVERIFY2(run % module == 0,
                     qPrintable(QStringLiteral("run of %1 dots, module %2").arg(run).arg(module)));
    }

    void sizeAsAsked_data()
    {
        QTest::addColumn<QString>("symbology");
        QTest::addColumn<QJsonObject>("sizing");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("module");    // dots; 0: whatever fills the box
        QTest::addColumn<int>("quietZone"); // modules left of the ink
        QTest::addColumn<int>("boxWidth");  // layout units
        const auto row = [](const char* name, const char* symbology, const QJsonObject& sizing, double dpi,
                            int module, int quiet, int boxWidth = 400) {
            QTest::newRow(name) << symbology << sizing << dpi << module << quiet << boxWidth;
        };
        row("qr 0.5 mm at 300 dpi", "qrcode", {{"moduleWidthMm", 0.5}}, 300, 6, 4);
        row("qr 0.5 mm at 203 dpi", "qrcode", {{"moduleWidthMm", 0.5}}, 203, 4, 4);
        // Data Matrix of this content: 24 modules; 50 mm at 203 dpi hold 26 modules of 15 dots, 44 of 9.
        row("datamatrix filling its box", "datamatrix", {}, 203, 15, 1);
        row("datamatrix in a wide quiet zone", "datamatrix", {{"quietZone", 10}}, 203, 9, 10);
        row("pdf417 without a quiet zone", "pdf417", {{"quietZone", 0}, {"moduleWidthMm", 0.25}}, 300, 3, 0);
        row("code128 0.25 mm at 300 dpi", "code128", {{"moduleWidthMm", 0.25}}, 300, 3, 1);
        row("code128 0.375 mm at 203 dpi", "code128", {{"moduleWidthMm", 0.375}}, 203, 3, 1);
        row("code128 in a quiet zone of 10", "code128", {{"quietZone", 10}}, 203, 0, 10, 496);
        row("code39 quiet zone without margin", "code39", {{"quietZone", 0}}, 300, 0, 0, 496);
    }
    // A module width prints that many whole dots (rounded from millimetres at the printer) and a
    // quiet zone leaves that many modules white before the code.
    void sizeAsAsked()
    {
        QFETCH(QString, symbology);
        QFETCH(QJsonObject, sizing);
        QFETCH(double, dpi);
        QFETCH(int, module);
        QFETCH(int, quietZone);
        QFETCH(int, boxWidth);
        const QString content = MatrixCode::handles(symbology) ? kLink : QStringLiteral("SN12345");
        const QImage page = printed({code(symbology, content, 248, 400, boxWidth, 400, 0, sizing)}, dpi);
        const QRect ink = inkBounds(page);
        QVERIFY(!ink.isEmpty());

        // The code's own width in modules, without any margin.
        int modules = 0;
        if (MatrixCode::handles(symbology)) {
            MatrixCode matrix;
            QString error;
            QVERIFY(matrix.encode(symbology, content, false, &error));
            modules = matrix.modules().width();
        } else {
            BarCode bars(symbology);
            QVERIFY(bars.readPattern(content, symbology));
            BarcodeOptions oneUnit; // one module per layout unit
            oneUnit.moduleWidthMm = 1.0 / 8;
            const QVector<QRectF> laid = BarCode::barRects(bars.pattern(), QRectF(0, 0, 10000, 1), oneUnit);
            modules = qRound(laid.last().right() - laid.first().left());
        }
        const int drawn = ink.width() / modules;
        QCOMPARE(ink.width(), drawn * modules);
        if (module > 0)
            QCOMPARE(drawn, module);
        const double boxLeft = (248 - boxWidth / 2) * dpi / 25.4 / 8;
        QVERIFY2(qAbs(ink.left() - (boxLeft + quietZone * drawn)) <= 1.0,
                 qPrintable(QStringLiteral("ink from %1, box from %2, module %3")
                                .arg(ink.left())
                                .arg(boxLeft)
                                .arg(drawn)));
    }

    void fitWarning_data()
    {
        QTest::addColumn<QString>("symbology");
        QTest::addColumn<QString>("content");
        QTest::addColumn<bool>("gs1");
        QTest::addColumn<double>("moduleWidthMm");
        QTest::addColumn<QSize>("box"); // layout units
        QTest::addColumn<bool>("encoded");
        QTest::addColumn<QSizeF>("over"); // mm, within 0.1
        // 29 modules with its quiet zone, at 203 dpi 8 dots of 1.001 mm each.
        QTest::newRow("qr wider and higher")
            << "qrcode"
            << "ABC" << false << 1.0 << QSize(160, 160) << true << QSizeF(9.03, 9.03);
        QTest::newRow("qr fills a box it fits")
            << "qrcode" << kLink << false << 0.0 << QSize(160, 160) << true << QSizeF(0, 0);
        // 7 rows of 3 modules and the zones: 25 modules of 4 dots (0.5 mm) in a 10 mm high box.
        QTest::newRow("pdf417 too high only")
            << "pdf417"
            << "SN12345" << false << 0.5 << QSize(800, 80) << true << QSizeF(0, 2.51);
        // 1 + 695 modules (start, 60 characters, check, stop), one dot each at 203 dpi, in a 5 mm box.
        QTest::newRow("code128 too long at one dot")
            << "code128" << QString(60, QLatin1Char('x')) << false << 0.0 << QSize(40, 80) << true
            << QSizeF(696 / (203 / 25.4) - 5, 0);
        QTest::newRow("gs1 element string refused")
            << "datamatrix"
            << "[01]123" << true << 0.0 << QSize(200, 200) << false << QSizeF(0, 0);
        QTest::newRow("ean13 refuses letters")
            << "ean13"
            << "ABC" << false << 0.0 << QSize(200, 200) << false << QSizeF(0, 0);
    }
    // The editor is told by how much a code misses its box at the printer's resolution, or why it
    // cannot be printed at all.
    void fitWarning()
    {
        QFETCH(QString, symbology);
        QFETCH(QString, content);
        QFETCH(bool, gs1);
        QFETCH(double, moduleWidthMm);
        QFETCH(QSize, box);
        QFETCH(bool, encoded);
        QFETCH(QSizeF, over);
        const QVariantMap fit = LayoutDocument::barcodeFit(symbology, content, gs1, moduleWidthMm, -1,
                                                           box.width(), box.height(), 203);
        QCOMPARE(fit.value("encoded").toBool(), encoded);
        const bool fits = encoded && over.isNull();
        QCOMPARE(fit.value("fits").toBool(), fits);
        QCOMPARE(fit.value("message").toString().isEmpty(), fits);
        QVERIFY2(qAbs(fit.value("overWidthMm").toDouble() - over.width()) < 0.1 &&
                     qAbs(fit.value("overHeightMm").toDouble() - over.height()) < 0.1,
                 qPrintable(fit.value("message").toString()));
        if (!encoded)
            return;
        // Printed into that box at the same resolution, the code says whether it spilled over, as
        // the preview marks it.
        const double unitsToDots = 203 / 25.4 / 8;
        QImage image(qCeil(box.width() * unitsToDots), qCeil(box.height() * unitsToDots),
                     QImage::Format_Grayscale8);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.scale(unitsToDots, unitsToDots);
        BarCode drawn(symbology);
        drawn.setOptions({moduleWidthMm, -1, gs1});
        QVERIFY(drawn.drawCode(&painter, content, QRectF(0, 0, box.width(), box.height())));
        QCOMPARE(drawn.overflowed(), !fits);
    }

    // Content the symbology refuses prints nothing in its box and is named for the label's note, as
    // a one-dimensional code that cannot be encoded is; the rest of the label prints.
    void refusedContentIsNamed()
    {
        QStringList problems;
        const QImage page = printed({code("datamatrix", "[01]123", 248, 200, 200, 200, 0, {{"gs1", true}}),
                                     code("qrcode", kLink, 248, 600, 280, 280)},
                                    203, &problems);
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.first().contains("[01]123"), qPrintable(problems.first()));
        const QRect ink = inkBounds(page);
        QVERIFY2(ink.top() > 400 * 203 / 25.4 / 8, "the refused code left ink in its box");
        QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{kLink});
    }

    void badSizingIsNamed_data()
    {
        QTest::addColumn<QJsonObject>("sizing");
        QTest::addColumn<QString>("named"); // empty: the layout is fine
        QTest::newRow("all set") << QJsonObject{{"moduleWidthMm", 0.375}, {"quietZone", 0}, {"gs1", true}}
                                 << "";
        QTest::newRow("negative width") << QJsonObject{{"moduleWidthMm", -1}} << "\"moduleWidthMm\" is -1";
        QTest::newRow("width as text")
            << QJsonObject{{"moduleWidthMm", "0.3"}} << "\"moduleWidthMm\" is a text";
        QTest::newRow("width of a centimetre")
            << QJsonObject{{"moduleWidthMm", 10}} << "\"moduleWidthMm\" is 10";
        QTest::newRow("half a module") << QJsonObject{{"quietZone", 2.5}} << "\"quietZone\" is 2.5";
        QTest::newRow("negative zone") << QJsonObject{{"quietZone", -2}} << "\"quietZone\" is -2";
        QTest::newRow("editor's unset values") << QJsonObject{{"moduleWidthMm", 0}, {"quietZone", -1}} << "";
        QTest::newRow("flag as text") << QJsonObject{{"gs1", "yes"}} << "\"gs1\" is a text";
    }
    // A stored value the printer cannot honour refuses the layout with the key and value named,
    // instead of printing a code of another size.
    void badSizingIsNamed()
    {
        QFETCH(QJsonObject, sizing);
        QFETCH(QString, named);
        const QJsonObject layout{
            {"name", "Codes"},
            {"width", 496},
            {"height", 800},
            {"objects", QJsonArray{code("datamatrix", kGs1, 248, 400, 200, 200, 0, sizing)}}};
        QString problem;
        QCOMPARE(LayoutCheck::isPrintable(layout, &problem), named.isEmpty());
        if (named.isEmpty())
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        else
            QVERIFY2(problem.contains(named) && problem.contains("object 1"), qPrintable(problem));
    }
};

QTEST_MAIN(TestMatrixCode)
#include "tst_matrixcode.moc"
