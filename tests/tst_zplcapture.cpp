// The stand-in ZPL printer: ~DG graphics decoded as a printer expands them, labels counted as their
// bytes arrive, and bars measured in whole dots.

#include "zplcapture.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <numeric>

namespace {

QByteArray graphic(const QByteArray& name, int bytesPerRow, int rows, const QByteArray& data)
{
    return "~DG" + name + ',' + QByteArray::number(bytesPerRow * rows) + ',' +
           QByteArray::number(bytesPerRow) + ',' + data;
}

QByteArray printed(const QByteArray& name)
{
    return "^XA^FO0,0^XG" + name + ",1,1^FS^XZ";
}

QStringList hexRows(const QImage& image, int bytesPerRow)
{
    QStringList rows;
    for (int y = 0; y < image.height(); ++y)
        rows << QByteArray(reinterpret_cast<const char*>(image.constScanLine(y)), bytesPerRow)
                    .toHex()
                    .toUpper();
    return rows;
}

// Bars and gaps of the given widths, black first, inside a white margin; turned a quarter turn when
// `across`. `box` gets the area around the code.
QImage bars(const QList<int>& runs, bool across, QRect* box)
{
    const int length = std::accumulate(runs.begin(), runs.end(), 0);
    QImage image(length + 20, 30, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    int x = 10;
    for (int i = 0; i < runs.size(); x += runs[i++])
        if (i % 2 == 0)
            painter.fillRect(x, 5, runs[i], 20, Qt::black);
    painter.end();
    *box = across ? QRect(0, 0, 30, length + 20) : image.rect();
    return across ? image.transformed(QTransform().rotate(90)) : image;
}

} // namespace

class TestZplCapture : public QObject
{
    Q_OBJECT
private slots:
    void decodesCompressedRows_data()
    {
        QTest::addColumn<int>("bytesPerRow");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("rows");
        const QString f = QStringLiteral("F");
        const QString o = QStringLiteral("0");
        QTest::newRow("plain hex, spaces and lower case")
            << 2 << QByteArray("FF00 0f\r\n0f") << QStringList{"FF00", "0F0F"};
        QTest::newRow("counts G..Y") << 10 << QByteArray("GAHBIC,Y0F")
                                     << QStringList{"ABBCCC" + o.repeated(14), o.repeated(19) + f};
        // Counts add up: 40 + 3, and 400 + 20 + 1 copies.
        QTest::newRow("combined counts")
            << 32 << QByteArray("hIF,") << QStringList{f.repeated(43) + o.repeated(21)};
        QTest::newRow("large combined counts")
            << 256 << QByteArray("zgGF,") << QStringList{f.repeated(421) + o.repeated(91)};
        QTest::newRow("comma and exclamation mark fill the row")
            << 4 << QByteArray(",3!,") << QStringList{"00000000", "3FFFFFFF", "00000000"};
        QTest::newRow("colon repeats the row before")
            << 2 << QByteArray(":A5C3::,:") << QStringList{"0000", "A5C3", "A5C3", "A5C3", "0000", "0000"};
    }

    void decodesCompressedRows()
    {
        QFETCH(int, bytesPerRow);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, rows);
        const QList<QImage> images = ZplCapture::decodeGraphics(
            graphic("R:T.GRF", bytesPerRow, rows.size(), data) + printed("R:T.GRF"));
        QCOMPARE(images.size(), 1);
        QCOMPARE(images[0].size(), QSize(bytesPerRow * 8, rows.size()));
        QCOMPARE(hexRows(images[0], bytesPerRow), rows);
    }

    void measuresBarsInWholeDots_data()
    {
        QTest::addColumn<QList<int>>("runs");
        QTest::addColumn<bool>("across");
        QTest::addColumn<bool>("whole");
        QTest::newRow("whole modules") << QList<int>{2, 2, 4, 2, 6, 4, 2} << false << true;
        QTest::newRow("a run of one dot too many") << QList<int>{3, 3, 6, 4, 3} << false << false;
        QTest::newRow("turned code") << QList<int>{2, 4, 2, 2, 6} << true << true;
        QTest::newRow("turned code, uneven") << QList<int>{2, 3, 2} << true << false;
    }

    void measuresBarsInWholeDots()
    {
        QFETCH(QList<int>, runs);
        QFETCH(bool, across);
        QFETCH(bool, whole);
        QRect box;
        const QImage image = bars(runs, across, &box);
        QCOMPARE(ZplCapture::runLengths(image, box, across), runs);
        const QString problem = ZplCapture::wholeModuleProblem(image, box, across);
        QVERIFY2(problem.isEmpty() == whole, qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestZplCapture)
#include "tst_zplcapture.moc"
