// Barcodes: the program's command line and output, the module arithmetic, and bars a scanner reads.

#include "app/layoutdocument.h"
#include "barcodedecode.h"
#include "logcapture.h"
#include "printing/barcode.h"
#include "settings/settingsmanager.h"
#include "testsupport.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QtTest>

namespace {

QImage draw(const QString& symbology, const QString& code, QSize size = QSize(1600, 400))
{
    QImage image(size, QImage::Format_Mono);
    QPainter painter(&image);
    painter.fillRect(image.rect(), Qt::white); // QImage::fill(Qt::white) means index 0 (black) on Mono
    // A white margin around the box gives the scanner its quiet zone on the right as well.
    BarCode(symbology).drawCode(&painter, code, QRectF(100, 50, size.width() - 200, size.height() - 100));
    return image;
}

} // namespace

class TestBarCode : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
        QVERIFY(SettingsManager::instance());
        m_log = std::make_unique<TestSupport::LogCapture>();
    }
    void cleanup() { m_log->clear(); }
    void widthLine_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("pattern");
        const char* const rows[][3] = {
            {"after the marker line",
             "%!PS\n% Printing barcode for \"x\"\n"
             "% The space/bar succession is represented by the following widths (space first):\n"
             "% 911132111123\n[\n",
             "911132111123"},
            {"line beginning with % 0", "%!PS\n% 0211214\n[\n% 0999\n", "0211214"},
            {"carriage return kept", "% 0211\r\n", "0211\r"},
            {"stop at [", "%!PS\n[\n% 0211214\n", ""},
            {"marker as last line", "x\n% The space/bar", ""},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
    }
    void widthLine()
    {
        QFETCH(QString, output);
        QFETCH(QString, pattern);
        QCOMPARE(BarCode::patternFromOutput(output), pattern);
    }
    void moduleArithmetic_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<QVector<QRectF>>("bars");
        // 1 + 11 modules in 120 * 0.99 units: 9.9 per module; the left margin is one module.
        QTest::newRow("module from the box")
            << "0211214" << QRectF(0, 0, 120, 10)
            << QVector<QRectF>{{9.9, 0, 19.8, 10}, {39.6, 0, 9.9, 10}, {69.3, 0, 9.9, 10}};
        // 1 + 2 modules in 297 units would be 99 per module; capped at 25, leaving white on the right.
        QTest::newRow("offset box") << "02" << QRectF(10, 5, 300, 7) << QVector<QRectF>{{35, 5, 50, 7}};
        // Unknown characters are one module; zero-width bars are left out.
        QTest::newRow("other characters")
            << "9x0a1" << QRectF(0, 0, 99, 10)
            << QVector<QRectF>{{24.5025, 0, 24.5025, 10}, {49.005, 0, 24.5025, 10}};
    }
    void moduleArithmetic()
    {
        QFETCH(QString, pattern);
        QFETCH(QRectF, rect);
        QFETCH(QVector<QRectF>, bars);
        QCOMPARE(BarCode::barRects(pattern, rect), bars); // QRectF compares with a relative tolerance
    }
    // Quotes and blanks in report values reach the program as they are. Content the symbology refuses
    // draws nothing and says so.
    void drawnBarsDecode()
    {
        const QString quoted = QStringLiteral("A \"B\" -e C");
        QCOMPARE(TestSupport::decodeBarcodes(draw(QStringLiteral("code128"), quoted)), QStringList{quoted});

        QImage white(1600, 400, QImage::Format_Grayscale8);
        white.fill(255);
        QCOMPARE(draw(QStringLiteral("ean13"), QStringLiteral("not digits"))
                     .convertToFormat(QImage::Format_Grayscale8),
                 white);
        QVERIFY(m_log->contains(QStringLiteral("Failed to create barcode for ")));
    }
    void batchRunMatchesSingleRuns_data()
    {
        QTest::addColumn<QString>("symbology");
        for (const QString& symbology : LayoutDocument::symbologies()) {
            if (!LayoutDocument::isTwoDimensional(symbology)) // libzint's are encoded in-process
                QTest::newRow(qPrintable(symbology)) << symbology;
        }
    }
    // One run for many codes gives each code the widths a run of its own gives, and leaves out exactly
    // the codes a run of their own cannot encode: spaces, quotes, non-ASCII and odd lengths included.
    void batchRunMatchesSingleRuns()
    {
        QFETCH(QString, symbology);
        QStringList codes;
        for (int n = 0; n < 200; ++n) {
            const QString forms[] = {
                QString::number(400638133393LL + n * 7919LL), // 12 digits: EAN gets its check digit
                QStringLiteral("SN %1-%2").arg(n).arg(n * 31, 4, 16, QLatin1Char('0')).toUpper(),
                QStringLiteral("a\"b' %1").arg(n),
                QStringLiteral("Größe %1 µ").arg(n),
                QString::number(35678910456789LL + n) + QString::number(n % 10),
                QStringLiteral("  leading and trailing  %1 ").arg(n),
                QStringLiteral("lower-case %1 $/+%").arg(n),
                QString(QLatin1Char('X')).repeated(n % 40 + 1),
            };
            codes << forms[n % 8];
        }
        bool ran = false;
        const QHash<QString, QString> batch = BarCode::readPatterns(codes, symbology, &ran);
        QVERIFY(ran);
        int encoded = 0;
        for (const QString& code : codes) {
            QProcess process;
            process.start(BarCode::program(), BarCode::arguments(code, symbology));
            QVERIFY(process.waitForFinished(10000));
            const QString alone =
                BarCode::patternFromOutput(QString::fromLocal8Bit(process.readAllStandardOutput()));
            QVERIFY2(batch.value(code) == alone, qPrintable(code));
            encoded += alone.isEmpty() ? 0 : 1;
        }
        QVERIFY(encoded > 20); // the comparison covered codes the symbology takes, not only refusals
    }

    // A barcode program that cannot be started is reported, not taken for a run that encoded nothing.
    void missingProgram()
    {
        SettingsManager* settings = SettingsManager::instance();
        settings->setValue(QLatin1String(BarCode::kProgramKey), QStringLiteral("/nonexistent/barcode"), true);
        bool ran = true;
        const QHash<QString, QString> patterns =
            BarCode::readPatterns({QStringLiteral("123")}, "code128", &ran);
        settings->setValue(QLatin1String(BarCode::kProgramKey), QString(), true);
        QVERIFY(!ran);
        QVERIFY(patterns.isEmpty());
        QVERIFY(m_log->contains(QStringLiteral("could not be started: No such file or directory")));
    }

private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<TestSupport::LogCapture> m_log;
};

QTEST_MAIN(TestBarCode)
#include "tst_barcode.moc"
