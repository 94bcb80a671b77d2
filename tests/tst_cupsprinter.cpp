// Real platform printers: a private CUPS server with a cups-pdf queue declaring label sizes and
// queues on CUPS's own ZPL label driver whose socket backend reaches a stand-in printer of the test.
// What the printer receives must scan with every bar on whole printer dots; a queue that refuses or
// is stopped keeps its labels waiting, unlogged, until it takes them. Skipped without CUPS.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "stationfixture.h"
#include "testsupport.h"
#include "zplcapture.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <unistd.h>

namespace {
QTemporaryDir* g_cupsDir = nullptr;
const QString kQueue = QStringLiteral("LabelTest%1").arg(getpid());
const QString kZpl203 = QStringLiteral("Zpl203_%1").arg(getpid());
const QString kZpl300 = QStringLiteral("Zpl300_%1").arg(getpid());
ZplCapture* g_printer203 = nullptr;
ZplCapture* g_printer300 = nullptr;
// The files the queue's backend wrote.
QStringList queued()
{
    return QDir(g_cupsDir->path() + "/PDF").entryList({"*.pdf"}, QDir::Files);
}

// A CUPS command against the private server; false when it failed.
bool cups(const QString& program, const QStringList& arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

// A 62 x 100 mm layout holding one barcode, centred, `width` x `height` units (8 a millimetre).
QByteArray barcodeLayout(const QString& name, const QString& content, const QString& symbology, int width,
                         int height, int rotation)
{
    const QJsonObject code{
        {"type", "BarCode.qml"}, {"contentOrder", content}, {"symbology", symbology}, {"x", 248}, {"y", 400},
        {"width", width},        {"height", height},        {"rotation", rotation}};
    return QJsonDocument(
               QJsonObject{{"name", name}, {"width", 496}, {"height", 800}, {"objects", QJsonArray{code}}})
        .toJson();
}

// The IMEIs the label graphics carry, in the order the printer received them.
QStringList printedImeis(const ZplCapture& printer)
{
    QStringList imeis;
    for (const QImage& label : ZplCapture::decodeGraphics(printer.all()))
        imeis << TestSupport::decodeBarcodes(label).filter(QRegularExpression("^\\d{15}$"));
    return imeis;
}
} // namespace

class TestCupsPrinter : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QProcess m_cups;
    QString m_csv;

private slots:
    void initTestCase()
    {
        if (geteuid() != 0 || !QFile::exists("/usr/sbin/cupsd") ||
            !QFile::exists("/usr/lib/cups/backend/cups-pdf"))
            QSKIP("CUPS tests need root, cupsd and the cups-pdf backend; skipped");
        m_cups.setProcessChannelMode(QProcess::MergedChannels);
        g_printer203 = new ZplCapture(this);
        g_printer300 = new ZplCapture(this);
        QVERIFY(g_printer203->listen() && g_printer300->listen());
        m_cups.start("bash", {LABELPRINTER_SOURCE_DIR "/scripts/cups-label-queue.sh", g_cupsDir->path(),
                              kQueue, QStringLiteral("%1=%2@203").arg(kZpl203).arg(g_printer203->port()),
                              QStringLiteral("%1=%2@300").arg(kZpl300).arg(g_printer300->port())});
        QByteArray out;
        if (!QTest::qWaitFor([&] { return (out += m_cups.readAll()).contains("ready"); }, 60000))
            QSKIP(qPrintable("CUPS could not be started here: " + QString::fromLocal8Bit(out).trimmed()));
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
        QVERIFY(TestSupport::installStationLayout());
        m_csv = m_root->path() + "/log.csv";
        ReportListModel::instance()->setReportLogPath(m_csv);
        PopupNoteProvider::instance()->ready();
        // A refused printer is tried again soon.
        SettingsManager::instance()->setValue("printing/retrySeconds", 1, true);
    }

    void cleanupTestCase()
    {
        if (m_cups.state() == QProcess::Running) {
            m_cups.terminate();
            m_cups.waitForFinished(10000);
        }
    }

    // The queue is listed with its label sizes, and its own paper is taken for the label (which paper
    // a layout takes: tst_labelrendering's pageSize). Labels from the spool reach the queue as jobs
    // titled with the job and the report, so the queue (here: the file names it writes) tells them
    // apart. Each page has the label's size and a barcode a scanner reads.
    void labelsReachTheQueue()
    {
        PrintHandler handler;
        QTRY_VERIFY_WITH_TIMEOUT(handler.activePrinters().contains(kQueue), 10000);
        const QStringList sizes = handler.getAllPagesizes();
        QVERIFY2(sizes.contains("62mm x 100mm") && sizes.contains("102mm x 152mm"),
                 qPrintable(sizes.join(", ")));
        QStringList reports;
        for (int n = 51; n <= 53; ++n)
            reports << QString::fromUtf8(TestSupport::sampleReportVariant("Apple", n));
        handler.printReports("Apple phones", "Station label", kQueue, reports, 51, 53);
        QTRY_COMPARE_WITH_TIMEOUT(handler.pendingReports(), 0, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(queued().size(), 3, 60000);
        QTest::qWait(500); // the backend may still be writing
        for (int n = 51; n <= 53; ++n) {
            const QStringList files = queued().filter(TestSupport::variantDocumentId(n));
            QVERIFY2(files.size() == 1, qPrintable(queued().join(' ')));
            const QImage page = TestSupport::rasterisePdf(g_cupsDir->path() + "/PDF/" + files.first(), 300);
            // 62 x 100 mm, within the points the PDF page is rounded to.
            QVERIFY2(qAbs(page.width() - 732) <= 3 && qAbs(page.height() - 1181) <= 3,
                     qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
            QVERIFY(TestSupport::decodeBarcodes(page).contains(TestSupport::variantImei(n)));
        }
    }

    void barsLandOnWholePrinterDots_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("symbology");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("decoded");
        QTest::addColumn<int>("rotation");
        const QString imei = TestSupport::variantImei(61);
        for (const auto& [queue, dpi] : {std::pair<QString, int>{kZpl203, 203}, {kZpl300, 300}}) {
            for (int rotation : {0, 90}) {
                const auto row = [&, queue = queue, dpi = dpi](const char* code, const QString& content,
                                                               const QString& decoded) {
                    QTest::addRow("%s %d dpi %d", code, dpi, rotation)
                        << queue << dpi << QString(code) << content << decoded << rotation;
                };
                row("code128", "IMEI", imei);
                row("code39", "(freetext)F2LXK0QJHG7F", "F2LXK0QJHG7F");
                row("ean13", "(freetext)4006381333931", "4006381333931");
            }
        }
    }

    // The label graphic a ZPL printer receives through CUPS's own driver scans, and every bar and gap
    // of the code is a whole multiple of one module in the printer's dots (no resampling on the way).
    void barsLandOnWholePrinterDots()
    {
        QFETCH(QString, queue);
        QFETCH(int, dpi);
        QFETCH(QString, symbology);
        QFETCH(QString, content);
        QFETCH(QString, decoded);
        QFETCH(int, rotation);
        ZplCapture* printer = dpi == 203 ? g_printer203 : g_printer300;
        const int before = printer->labelCount();
        const int width = symbology == "ean13" ? 300 : 420;
        const int height = 140;
        QVERIFY(TestSupport::writeLayout(
            "Code label", barcodeLayout("Code label", content, symbology, width, height, rotation)));
        PrintHandler handler;
        QString error;
        QVERIFY(handler.doPrint(TestSupport::sampleReportVariant("Apple", 61), "Codes", "Code label", queue,
                                error));
        QTRY_COMPARE_WITH_TIMEOUT(printer->labelCount(), before + 1, 30000);
        const QImage label = ZplCapture::decodeGraphics(printer->connections().last()).last();
        QCOMPARE(TestSupport::decodeBarcodes(label), QStringList{decoded});
        // The code's box in dots (layout units are eighths of a millimetre).
        const double dots = dpi / 25.4 / 8;
        const QSizeF size = rotation == 90 ? QSizeF(height, width) : QSizeF(width, height);
        const QRect box =
            QRectF(QPointF(248 - size.width() / 2, 400 - size.height() / 2) * dots, size * dots).toRect();
        const QString problem = ZplCapture::wholeModuleProblem(label, box, rotation == 90);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void refusedLabelsWait_data()
    {
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("resume");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not accepting") << "cupsreject"
                                       << "cupsaccept"
                                       << "does not accept jobs";
        QTest::newRow("stopped") << "cupsdisable"
                                 << "cupsenable"
                                 << "the queue is stopped";
    }

    // A queue that refuses jobs or is stopped keeps its labels waiting: nothing reaches the printer or
    // the printed-reports log, and a note names the printer and why. Once the queue takes jobs again
    // they print by themselves, each once, in spool order.
    void refusedLabelsWait()
    {
        QFETCH(QString, stop);
        QFETCH(QString, resume);
        QFETCH(QString, reason);
        QVERIFY(TestSupport::installStationLayout());
        QVERIFY(cups(stop, {kZpl203}));
        PrintHandler handler;
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        const int before = g_printer203->labelCount();
        const int first = stop == "cupsreject" ? 71 : 81;
        QStringList reports, imeis;
        for (int n = first; n < first + 3; ++n) {
            reports << QString::fromUtf8(TestSupport::sampleReportVariant("Apple", n));
            imeis << TestSupport::variantImei(n);
        }
        handler.printReports("Apple phones", "Station label", kZpl203, reports, first, first + 2);
        QTRY_VERIFY_WITH_TIMEOUT(handler.spoolState().contains("3 labels waiting for " + kZpl203), 20000);
        QVERIFY(std::any_of(notes.cbegin(), notes.cend(), [&](const QVariantList& note) {
            return note.at(1).toString().contains(kZpl203) && note.at(1).toString().contains(reason);
        }));
        QTest::qWait(1500); // a second look at the queue must not let them through
        QCOMPARE(handler.pendingReports(), 3);
        QCOMPARE(g_printer203->labelCount(), before);
        for (int n = first; n < first + 3; ++n)
            QCOMPARE(TestSupport::linesOf(m_csv, n), 0);

        QVERIFY(cups(resume, {kZpl203}));
        QTRY_COMPARE_WITH_TIMEOUT(handler.pendingReports(), 0, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(g_printer203->labelCount(), before + 3, 30000);
        const QStringList printed = printedImeis(*g_printer203);
        QCOMPARE(printed.mid(printed.size() - 3), imeis);
        for (int n = first; n < first + 3; ++n)
            QCOMPARE(TestSupport::linesOf(m_csv, n), 1);
    }
};

int main(int argc, char* argv[])
{
    // The private server must be known before Qt's print support first asks CUPS.
    g_cupsDir = new QTemporaryDir;
    qputenv("CUPS_SERVER", QFile::encodeName(g_cupsDir->path() + "/cups.sock"));
    QApplication app(argc, argv);
    TestCupsPrinter test;
    const int result = QTest::qExec(&test, argc, argv);
    delete g_cupsDir;
    return result;
}
#include "tst_cupsprinter.moc"
