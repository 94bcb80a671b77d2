// Native ZPL label printers, through the stand-in ZPL printer: a label arrives as the page the PDF
// printer would get at the printer's resolution, with the printer's darkness, speed, offset and
// media; paper out, a printer that falls silent, an unreachable printer, a connection broken mid-label
// and a label the printer cannot open keep labels waiting, and each prints once, in order, when the
// printer is ready again.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/crashpoint.h"
#include "printing/labeljob.h"
#include "printing/printermonitor.h"
#include "printing/printhandler.h"
#include "printing/printworker.h"
#include "printing/reportlistmodel.h"
#include "printing/zplprinters.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "stationfixture.h"
#include "testsupport.h"
#include "zplcapture.h"
#include "zplstandinprocess.h"

#include <QPageLayout>
#include <QScopeGuard>
#include <QTcpServer>
#include <QtTest>

namespace {

const QString kPrinter = QStringLiteral("Dock printer");

void addPrinter(int port, int dpi = 203, double left = 0, double top = 0)
{
    ZplPrinterConfig printer;
    printer.name = kPrinter;
    printer.address = QStringLiteral("127.0.0.1:%1").arg(port);
    printer.dotsPerInch = dpi;
    printer.darkness = 22;
    printer.speed = 5;
    printer.offsetLeftMm = left;
    printer.offsetTopMm = top;
    printer.media = ZplPrinterConfig::Media::BlackMark;
    QString error;
    QVERIFY2(ZplPrinters::write(SettingsManager::instance(), printer, kPrinter, &error), qPrintable(error));
}

// The IMEIs on the labels the printer printed, in the order it printed them.
QStringList printedImeis(TestSupport::ZplStandInProcess& printer)
{
    QStringList imeis;
    for (const QJsonValue& record : printer.labels())
        imeis << TestSupport::decodeBarcodes(QImage(record.toObject().value("file").toString()))
                     .filter(QRegularExpression("^\\d{15}$"));
    return imeis;
}

// Reports `first` to `first + count - 1` for the printer as one job; their IMEIs in `imeis`.
void printReports(PrintHandler& handler, int first, int count, QStringList* imeis)
{
    QStringList reports;
    for (int n = first; n < first + count; ++n) {
        reports << QString::fromUtf8(TestSupport::sampleReportVariant("Apple", n));
        *imeis << TestSupport::variantImei(n);
    }
    handler.printReports("Apple phones", "Station label", kPrinter, reports, first, first + count - 1);
}

} // namespace

class TestZplPrinter : public QObject
{
    Q_OBJECT
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QString m_csv;

    bool loggedOnce(const QStringList& imeis, int first)
    {
        for (int n = first; n < first + imeis.size(); ++n) {
            if (TestSupport::linesOf(m_csv, n) != 1)
                return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
        QVERIFY(TestSupport::installStationLayout());
        m_csv = m_root->path() + "/log.csv";
        ReportListModel::instance()->setReportLogPath(m_csv);
        PopupNoteProvider::instance()->ready();
        // A printer that dropped a label is tried again soon.
        SettingsManager::instance()->setValue("printing/retrySeconds", 1, true);
    }

    void cleanupTestCase() { delete m_root; }

    void labelIsThePdfPage_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("top");
        QTest::newRow("203 dpi") << 203 << 0.0 << 0.0;
        QTest::newRow("300 dpi") << 300 << 0.0 << 0.0;
        QTest::newRow("203 dpi, moved right and up") << 203 << 1.5 << -0.5;
    }

    // The printer prints, dot for dot, the page the PDF printer would get at its resolution: the
    // codes scan with every bar on whole dots, and the format carries the printer's settings.
    void labelIsThePdfPage()
    {
        QFETCH(int, dpi);
        QFETCH(double, left);
        QFETCH(double, top);
        TestSupport::ZplStandInProcess printer;
        QVERIFY(printer.start());
        addPrinter(printer.port(), dpi, left, top);
        const QByteArray report = TestSupport::sampleReportVariant("Apple", 91);
        PrintHandler handler;
        QString error;
        QVERIFY(handler.doPrint(report, "Dock", "Station label", kPrinter, error));
        QTRY_COMPARE(printer.labels().size(), 1);
        const QJsonObject record = printer.labels().first().toObject();
        const int shift = qRound(left * dpi / 25.4);
        QCOMPARE(
            QVariantList({record["darkness"].toInt(), record["speed"].toInt(), record["media"].toString(),
                          record["labelShift"].toInt(), record["labelTop"].toInt()}),
            QVariantList({22, 5, "M", -shift, qRound(top * dpi / 25.4)}));
        const QImage label = QImage(record["file"].toString()).convertToFormat(QImage::Format_Grayscale8);
        QVERIFY(TestSupport::decodeBarcodes(label).contains(TestSupport::variantImei(91)));
        // The Code 128 of the station label: centre (248, 315), 448 x 150 units of 1/8 mm.
        const double dots = dpi / 25.4 / 8;
        const QRect code =
            QRectF(QPointF(24 * dots - shift, 240 * dots), QSizeF(448 * dots, 150 * dots)).toRect();
        const QString problem = ZplCapture::wholeModuleProblem(label, code, false);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        if (left != 0 || top != 0)
            return;

        ReportDocument document;
        QVERIFY(document.parse(QString::fromUtf8(report), &error));
        ReportDevice device;
        device.setReport(&document, true);
        const QJsonObject layout = LabelJob::loadLayoutFile("Station label");
        PrintWorker worker(QString(), layout, QSizeF(60, 60), QString(), &device, 1, false);
        worker.setPageSize(PrintWorker::choosePageSize(layout, QSizeF(60, 60), QString(), {}));
        const QSize page =
            QPageLayout(worker.pageSize(), QPageLayout::Portrait, QMarginsF()).fullRectPixels(dpi).size();
        QCOMPARE(label, worker.renderPageImage(page).convertToFormat(QImage::Format_Grayscale8));
    }

    void stoppedPrinterKeepsLabelsWaiting_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("printedFirst"); // labels the printer takes before the fault
        QTest::addColumn<QString>("reason");
        QTest::newRow("paper out before the backlog") << "paperOut" << 0 << "out of labels";
        QTest::newRow("paper out in the middle") << "paperOut" << 4 << "out of labels";
        // It takes a whole label and never confirms it: that label did not print.
        QTest::newRow("silent after a label") << "silent" << 4 << "did not answer after the label";
    }

    // Labels for a printer that stopped wait, unlogged, with a note naming the printer and why;
    // once it prints again each prints once, in order.
    void stoppedPrinterKeepsLabelsWaiting()
    {
        QFETCH(QString, fault);
        QFETCH(int, printedFirst);
        QFETCH(QString, reason);
        TestSupport::ZplStandInProcess printer;
        QVERIFY(printer.start());
        addPrinter(printer.port());
        QVERIFY(!printer
                     .setState(printedFirst == 0 ? QJsonObject{{fault, true}}
                                                 : QJsonObject{{fault + "After", printedFirst}})
                     .isEmpty());
        PrintHandler handler;
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        QStringList imeis;
        const int first = 101 + printedFirst * 10 + (fault == "silent" ? 50 : 0);
        printReports(handler, first, 10, &imeis);
        QTRY_VERIFY_WITH_TIMEOUT(
            handler.spoolState().contains(
                QStringLiteral("%1 labels waiting for %2").arg(10 - printedFirst).arg(kPrinter)),
            20000);
        QVERIFY(std::any_of(notes.cbegin(), notes.cend(), [&reason](const QVariantList& note) {
            return note.at(1).toString().contains(kPrinter) && note.at(1).toString().contains(reason);
        }));
        // What it took before the fault is printed, or waits in its buffer for the paper.
        const QJsonObject state = printer.state();
        QCOMPARE(state["printed"].toInt() + state["buffered"].toInt(), printedFirst);
        QCOMPARE(TestSupport::linesOf(m_csv, first + printedFirst), 0);

        QVERIFY(!printer.setState({{fault, false}}).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(handler.pendingReports(), 0, 20000);
        QTRY_COMPARE(printer.labels().size(), 10);
        QCOMPARE(printedImeis(printer), imeis);
        QTRY_VERIFY(loggedOnce(imeis, first));
    }

    // A printer that cannot be reached keeps its labels; they print once it answers.
    void unreachablePrinterPrintsOnceItAnswers()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int port = probe.serverPort();
        probe.close();
        addPrinter(port);
        PrintHandler handler;
        QStringList imeis;
        printReports(handler, 131, 2, &imeis);
        QTRY_VERIFY_WITH_TIMEOUT(handler.spoolState().contains("2 labels waiting for " + kPrinter), 20000);
        QVERIFY(handler.monitor()->reason(kPrinter).contains("cannot be reached"));

        TestSupport::ZplStandInProcess printer({"--port", QString::number(port)});
        QVERIFY(printer.start());
        QTRY_COMPARE_WITH_TIMEOUT(printer.labels().size(), 2, 20000);
        QCOMPARE(printedImeis(printer), imeis);
        QTRY_VERIFY(loggedOnce(imeis, 131));
    }

    // A label whose printer cannot open it holds back the labels behind it: they print after it,
    // once it can be printed, never before.
    void unopenedLabelHoldsItsLine()
    {
        TestSupport::ZplStandInProcess printer;
        QVERIFY(printer.start());
        addPrinter(printer.port());
        PrintHandler handler;
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        QStringList imeis;
        CrashPoint::setFailing("open:" + TestSupport::variantDocumentId(183).toUtf8());
        const auto cleared = qScopeGuard([] { CrashPoint::setFailing(QByteArray()); });
        printReports(handler, 181, 5, &imeis);
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(notes.cbegin(), notes.cend(),
                                             [](const QVariantList& note) {
                                                 return note.at(1).toString().contains(
                                                     "cannot take this label");
                                             }),
                                 20000);
        CrashPoint::setFailing(QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(handler.pendingReports(), 0, 20000);
        QTRY_COMPARE(printer.labels().size(), 5);
        QCOMPARE(printedImeis(printer), imeis);
        QTRY_VERIFY(loggedOnce(imeis, 181));
    }

    // A connection that breaks in the middle of a label loses nothing: that label goes again.
    void brokenConnectionLosesNothing()
    {
        TestSupport::ZplStandInProcess printer;
        QVERIFY(printer.start());
        addPrinter(printer.port());
        QVERIFY(!printer.setState({{"dropAfterBytes", 2000}}).isEmpty());
        PrintHandler handler;
        QStringList imeis;
        printReports(handler, 161, 3, &imeis);
        QTRY_COMPARE_WITH_TIMEOUT(printer.labels().size(), 3, 20000);
        QVERIFY(printer.state().value("connections").toInt() >= 2); // it was cut and sent again
        QCOMPARE(printedImeis(printer), imeis);
        QTRY_VERIFY2(loggedOnce(imeis, 161), "a label logged twice or not at all");
    }
};

QTEST_MAIN(TestZplPrinter)
#include "tst_zplprinter.moc"
