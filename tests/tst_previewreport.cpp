// A layout previewed with a real report: how its objects come out for that report, and the reports
// a designer can choose from (printed archive and console) and step through.

#include "app/previewreport.h"
#include "app/samplereportmodel.h"
#include "printing/fileprinter.h"
#include "printing/printspool.h"
#include "report/device.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "standinprocess.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

namespace {

// A model name in a box that elides it, fixed words in bold, the IMEI as text and as a barcode.
QJsonObject identityLayout(int barcodeWidth)
{
    return QJsonDocument::fromJson(
               QByteArray(R"({"name": "Identity", "width": 496, "height": 320, "fixedsize": true,
        "objects": [
        {"type": "TextObject.qml", "item_id": 6, "unformattedString": "<b>Certificate</b>",
         "x": 248, "y": 290, "width": 440, "height": 40, "rotation": 0, "pixelSize": 24},
        {"type": "TextObject.qml", "item_id": 3, "unformattedString": "<model>", "elide": "Right",
         "x": 248, "y": 40, "width": 440, "height": 40, "rotation": 0, "pixelSize": 24},
        {"type": "TextObject.qml", "item_id": 4, "unformattedString": "IMEI: <IMEI>",
         "x": 248, "y": 100, "width": 440, "height": 40, "rotation": 0, "pixelSize": 24},
        {"type": "BarCode.qml", "item_id": 5, "contentOrder": "IMEI", "symbology": "code128",
         "x": 248, "y": 220, "width": WIDTH, "height": 120, "rotation": 0}]})")
                   .replace("WIDTH", QByteArray::number(barcodeWidth)))
        .object();
}

QByteArray reportWithModel(const QByteArray& model)
{
    QByteArray xml = TestSupport::sampleReport();
    xml.replace("iPhone 12 128GB Blue", model);
    return xml;
}

QByteArray reportWithoutImei()
{
    QByteArray xml = TestSupport::sampleReport();
    xml.replace("<entry name=\"imei\" type=\"string\">356789104567892</entry>", "");
    return xml;
}

// "id: problem" of each marked object, for readable failures.
QStringList marks(const QVariantMap& problems)
{
    QStringList lines;
    for (auto it = problems.cbegin(); it != problems.cend(); ++it)
        lines << it.key() + ": " + it.value().toString();
    return lines;
}

} // namespace

class TestPreviewReport : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
        QVERIFY(SettingsManager::instance());
    }

    // Objects that come out empty, elided or too wide for the chosen report are listed by id;
    // example values show every object whole.
    void problemsFollowTheReport_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<int>("barcodeWidth");
        QTest::addColumn<QVariantMap>("problems");
        QTest::newRow("example values") << QByteArray() << 440 << QVariantMap();
        QTest::newRow("short model") << reportWithModel("Pixel 7") << 440 << QVariantMap();
        QTest::newRow("long model") << reportWithModel("Galaxy Z Fold5 Enterprise Edition 1TB Phantom Black")
                                    << 440 << QVariantMap{{"3", "elided"}};
        QTest::newRow("no IMEI") << reportWithoutImei() << 440 << QVariantMap{{"4", "empty"}, {"5", "empty"}};
        // Five millimetres cannot hold fifteen digits of Code 128 even at one dot per module.
        QTest::newRow("narrow barcode")
            << reportWithModel("Pixel 7") << 40 << QVariantMap{{"5", "wider than its box"}};
    }
    void problemsFollowTheReport()
    {
        QFETCH(QByteArray, report);
        QFETCH(int, barcodeWidth);
        QFETCH(QVariantMap, problems);
        SampleReportModel reports(nullptr);
        PreviewReport preview(&reports);
        QVERIFY(report.isEmpty() || preview.setReport(report, "Chosen"));
        QSignalSpy listed(&preview, &PreviewReport::problemsChanged);
        preview.check(identityLayout(barcodeWidth));
        QCOMPARE(marks(preview.objectProblems()), marks(problems));
        QVERIFY(!preview.image().isNull());
        if (problems.isEmpty())
            return;
        QCOMPARE(listed.count(), 1);
        QCOMPARE(preview.problems().size(), problems.size());
        const QString first = preview.problems().first().toMap().value("text").toString();
        QVERIFY2(first == "Text 3: elided" || first == "Text 4: empty" ||
                     first == "Barcode 5: wider than its box",
                 qPrintable(first));
        // Back to example values: the report's marks go.
        QVERIFY(preview.choose(-1));
        const QStringList examples =
            barcodeWidth < 440 ? QStringList{"5: wider than its box"} : QStringList();
        QCOMPARE(marks(preview.objectProblems()), examples);
    }

    // The archive's printed reports and the console's newest are listed newest first, once each; the
    // chosen one becomes the preview's device and next steps to the one before it. A console that
    // cannot be reached says so and leaves the list as it was.
    void chooseAndStepThroughReports()
    {
        QTemporaryDir dir;
        PrintSpool spool(dir.path());
        QList<PrintedRecord> records;
        for (int n : {1, 2}) {
            SpoolEntry e;
            e.jobId = "apple";
            e.layout = "Identity";
            e.printer = FilePrinter::kName;
            e.reportUuid = TestSupport::variantDocumentId(n);
            e.report = TestSupport::sampleReportVariant("Apple", n);
            QVERIFY(spool.add(&e));
            PrintedRecord record;
            record.archiveId = e.id;
            record.printedAt = QDateTime::currentDateTime().addDays(n - 3);
            record.reportUuid = e.reportUuid;
            record.identity = ReportIdentity::scan(e.report);
            records << record;
        }
        QString error;
        QVERIFY(spool.recordPrinted(records, &error));
        spool.archivePrinted(records);

        SampleReportModel reports(&spool);
        reports.readArchive();
        // Report 2 came from the console as well, and report 3 only from there (dated long ago).
        reports.setConsoleReports(
            {TestSupport::sampleReportVariant("Apple", 2), TestSupport::sampleReportVariant("Apple", 3)},
            true);
        QCOMPARE(reports.count(), 3);
        QVERIFY(reports.consoleState().isEmpty());
        QCOMPARE(reports.data(reports.index(0), SampleReportModel::DeviceIdRole).toString(),
                 TestSupport::variantImei(2));

        PreviewReport preview(&reports);
        QSignalSpy changed(&preview, &PreviewReport::changed);
        QVERIFY(!preview.device());
        preview.next();
        QCOMPARE(preview.index(), 0);
        QCOMPARE(preview.device()->identifier(Device::Imei), TestSupport::variantImei(2));
        preview.next();
        QCOMPARE(preview.device()->identifier(Device::Imei), TestSupport::variantImei(1));
        QVERIFY(preview.title().contains(TestSupport::variantImei(1)));
        preview.previous();
        QCOMPARE(preview.index(), 0);
        QCOMPARE(changed.count(), 3);

        reports.setConsoleReports({}, false);
        QCOMPARE(reports.count(), 3);
        QVERIFY(reports.consoleState().contains("cannot be reached"));
    }

    // The console's newest reports are read without moving the poller's watermark; a console that
    // does not answer is told apart from one without reports.
    void consoleNewestLeaveTheWatermark()
    {
        TestSupport::StandInProcess server;
        QVERIFY(server.start());
        TestSupport::setConsole(server.port());
        SettingsManager* settings = SettingsManager::instance();
        settings->setValue("MC/lastReportId", 3, true);
        QList<QByteArray> reports;
        QVERIFY(SampleReportModel::fetchNewest(20, &reports));
        QVERIFY(reports.isEmpty());
        for (int n = 1; n <= 25; ++n)
            QCOMPARE(server.addReport(TestSupport::sampleReportVariant("Apple", n), true), n);
        QVERIFY(SampleReportModel::fetchNewest(20, &reports));
        QCOMPARE(reports.size(), 20);
        QCOMPARE(ReportIdentity::scan(reports.first()).imei, TestSupport::variantImei(6));
        QCOMPARE(ReportIdentity::scan(reports.last()).imei, TestSupport::variantImei(25));
        QCOMPARE(settings->getIntValue("MC/lastReportId", -1, true), 3);
        QVERIFY(server.setFault("/rest-service/report/export/xml", "status", 500));
        QVERIFY(!SampleReportModel::fetchNewest(20, &reports));
    }
};

QTEST_MAIN(TestPreviewReport)
#include "tst_previewreport.moc"
