// A layout printed once from the editor, with example values: the label file a person checks, and
// the notes they get when it cannot be printed.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/fileprinter.h"
#include "printing/printhandler.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

namespace {

QJsonObject exampleLayout()
{
    return QJsonDocument::fromJson(R"({"width": 496, "height": 800, "name": "Shelf label", "fixedsize": true,
        "objects": [{"type": "BarCode.qml", "contentOrder": "IMEI,System serial", "symbology": "code128",
            "x": 248, "y": 300, "width": 440, "height": 160, "rotation": 0}]})")
        .object();
}

} // namespace

class TestTestPrint : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
        QVERIFY(SettingsManager::instance());
        PopupNoteProvider::instance()->ready();
    }

    void testPrint_data()
    {
        QTest::addColumn<QJsonObject>("layout");
        QTest::addColumn<QString>("printer");
        QTest::addColumn<bool>("printed");
        QJsonObject noObjects = exampleLayout(), noName = exampleLayout();
        noObjects.remove(QStringLiteral("objects"));
        noName.remove(QStringLiteral("name"));
        QTest::newRow("file printer") << exampleLayout() << FilePrinter::kName << true;
        QTest::newRow("unknown printer") << exampleLayout() << "No such printer 42" << false;
        // A default printer must not stand in for one the user did not pick.
        QTest::newRow("no printer chosen") << exampleLayout() << "" << false;
        // A layout without its objects prints nothing at all.
        QTest::newRow("layout without objects") << noObjects << FilePrinter::kName << false;
        // It used to send a blank page and report it as printed.
        QTest::newRow("layout without a name") << noName << FilePrinter::kName << false;
    }

    // Printed once with example values, or the user is told why not and nothing is written.
    void testPrint()
    {
        QFETCH(QJsonObject, layout);
        QFETCH(QString, printer);
        QFETCH(bool, printed);
        SettingsManager::instance()->setValue(QStringLiteral("defaultPrinter"), FilePrinter::kName, true);
        PrintHandler handler;
        QSignalSpy written(&handler, &PrintHandler::labelFileWritten);
        QSignalSpy status(&handler, &PrintHandler::statusBarMessage);
        QSignalSpy notes(PopupNoteProvider::instance(), &PopupNoteProvider::showErrorText);
        const QStringList before = TestSupport::labelFiles(FilePrinter::folder());
        QCOMPARE(handler.testPrint(layout, printer), printed);
        SettingsManager::instance()->removeKey(QStringLiteral("defaultPrinter"), true);
        QCOMPARE(notes.count(), printed ? 0 : 1);
        QCOMPARE(TestSupport::labelFiles(FilePrinter::folder()).size(), before.size() + (printed ? 1 : 0));
        if (!printed) {
            QVERIFY(status.count() == 1 && !status.at(0).at(0).toString().isEmpty());
            return;
        }
        QCOMPARE(written.count(), 1);
        const QString pdf = written.at(0).at(0).toString();
        // The dialog tells the user this file.
        QCOMPARE(handler.lastTestPrintFile(), pdf);
        const QImage page = TestSupport::rasterisePdf(pdf, 300);
        // A fixed 62 x 100 mm label on its own page size.
        QVERIFY2(qAbs(page.width() - qRound(62 / 25.4 * 300)) <= 3,
                 qPrintable(QString::number(page.width())));
        // No report: the barcode carries the example IMEI.
        QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{QStringLiteral("012345678901234")});
    }

    // With a report chosen in the editor, the test label carries that report's values.
    void testPrintForAReport()
    {
        ReportDocument report;
        QVERIFY(report.parse(QString::fromUtf8(TestSupport::sampleReportVariant("Apple", 7))));
        ReportDevice device;
        device.setReport(&report, true);
        PrintHandler handler;
        QSignalSpy written(&handler, &PrintHandler::labelFileWritten);
        QVERIFY(handler.testPrint(exampleLayout(), FilePrinter::kName, &device));
        QCOMPARE(written.count(), 1);
        const QImage page = TestSupport::rasterisePdf(written.at(0).at(0).toString(), 300);
        QCOMPARE(TestSupport::decodeBarcodes(page), QStringList{TestSupport::variantImei(7)});
    }
};

QTEST_MAIN(TestTestPrint)
#include "tst_testprint.moc"
