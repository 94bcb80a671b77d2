// Report parsing by section, path queries, and the device records bound to a report.

#include "report/device.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "samplereports.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

// The console's export of one mobile erasure (tests/data).
const QString kSampleReport = QString::fromUtf8(TestSupport::sampleReport());

const QString kProductLog = QStringLiteral("<log_entry><product_name id=\"23\">Korvex Mobile "
                                           "Eraser</product_name><date>2026-12-01T09:14:05+02:00</date>"
                                           "</log_entry>");
const QString kConsoleLog =
    QStringLiteral("<log_entry><product_name id=\"51\">Korvex Management Console</product_name>"
                   "<date>2026-12-01T10:00:00Z</date></log_entry>");

// A report with the given log entries and sections.
QString report(const QString& logEntries, const QString& sections,
               const QString& documentId = QStringLiteral("doc-1"))
{
    return QStringLiteral("<root><report><korvex_data><description><document_id>%1</document_id>"
                          "<document_log>%2</document_log></description>%3</korvex_data></report></root>")
        .arg(documentId, logEntries, sections);
}

QString systemSection(const QString& entries)
{
    return QStringLiteral("<entries name=\"system\">%1</entries>").arg(entries);
}

} // namespace

class TestReportDocument : public QObject
{
    Q_OBJECT
private slots:
    void sampleIdentity();
    void sampleSystemSection();
    void sampleHardwareTests();
    void sampleErasure();
    void sampleCustomFields();
    void productDate_data();
    void productDate();
    void noDateEmptiesReport();
    void notXml_data();
    void notXml();
    void reparseResets();
    void modelEntryOrder_data();
    void modelEntryOrder();
    void ram_data();
    void ram();
    void emptySystemEntryKeepsValue();
    void duration_data();
    void duration();
    void elapsedTimeInReport_data();
    void elapsedTimeInReport();
    void testSummary_data();
    void testSummary();
    void query_data();
    void query();
    void queryRepeatedAndCopied();
    void queryNameWithQuote();
    void deepNestingRefused();
    void largeReport();

    void reportDeviceInitialState();
    void setReportWithoutCopy();
    void setReportWithCopy();
    void copyFromDevice_data();
    void copyFromDevice();
    void identifierSlots();
    void simStatus_data();
    void simStatus();
    void diagnosticsStatus_data();
    void diagnosticsStatus();
};

void TestReportDocument::sampleIdentity()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    QCOMPARE(doc.documentId(), QStringLiteral("5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35"));
    // The console's own entry comes first and is skipped.
    QCOMPARE(doc.date(), QDateTime::fromString(QStringLiteral("2026-12-01T09:14:05+02:00"), Qt::ISODate));
    QCOMPARE(doc.xml(), kSampleReport);
}

void TestReportDocument::sampleSystemSection()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    const DeviceInfo& info = doc.info();
    QCOMPARE(info.name, QStringLiteral("iPhone of station-07"));
    QCOMPARE(info.manufacturer, QStringLiteral("Apple"));
    QCOMPARE(info.model, QStringLiteral("iPhone 12 128GB Blue"));
    QCOMPARE(info.marketName, QStringLiteral("iPhone 12"));
    QCOMPARE(info.wifiMac, QStringLiteral("f0:99:b6:12:34:56"));
    QCOMPARE(info.mdmStatus, QStringLiteral("Unlocked"));
    QCOMPARE(info.deviceColor, QStringLiteral("Blue"));
    QCOMPARE(info.aModelNumber, QStringLiteral("A2403"));
    QCOMPARE(info.ramAmount, 4);
    QCOMPARE(info.ramUnit, QStringLiteral("GB"));

    QCOMPARE(doc.identifiers().size(), ReportDocument::kIdentifierSlots);
    QCOMPARE(doc.identifier(Device::Imei), QStringLiteral("356789104567892"));
    QCOMPARE(doc.identifier(Device::InternalModel), QStringLiteral("A2403"));
    QCOMPARE(doc.identifier(Device::Serial), QStringLiteral("F2LXK0QJHG7F"));
    QCOMPARE(doc.identifier(Device::Uuid), QStringLiteral("00008101-001A2B3C4D5E6F70"));
    QCOMPARE(doc.identifier(Device::Ecid), QStringLiteral("001A2B3C4D5E6F70"));
    QCOMPARE(doc.identifier(Device::Meid), QStringLiteral("35678910456789"));
    QCOMPARE(doc.identifier(Device::Meid14), QStringLiteral("35678910456789"));
    QCOMPARE(doc.identifier(Device::Pin), QString());
    QCOMPARE(doc.identifier(Device::Region), QStringLiteral("LL/A"));
    QCOMPARE(doc.identifier(Device::Imei2), QStringLiteral("356789104567884"));
    for (int slot : {0, 1, 6, 7, 8, 9, 11, 12})
        QVERIFY2(doc.identifier(slot).isEmpty(), qPrintable(QString::number(slot)));
}

void TestReportDocument::sampleHardwareTests()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    QCOMPARE(doc.testResults(), QStringLiteral("camera_front=1;camera_rear=1;touch_screen=0;speaker=2"));
    QCOMPARE(doc.testSummary(), int(ReportDocument::SummaryFailed));
    QCOMPARE(doc.testingDuration(), 192);
}

void TestReportDocument::sampleErasure()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    QCOMPARE(doc.erasures().size(), 1);
    const ErasureRecord& erasure = doc.erasures().first();
    QCOMPARE(erasure.start, QDateTime::fromString(QStringLiteral("2026-12-01T09:05:11+02:00"), Qt::ISODate));
    QCOMPARE(erasure.elapsedNanoseconds, 534LL * 1000000000LL);
    QCOMPARE(erasure.standardName, QStringLiteral("Cryptographic erasure"));
    QVERIFY(erasure.standard != 0);
    QCOMPARE(erasure.state, int(ErasureRecord::Successful));
    QVERIFY(erasure.hasRounds);
    QCOMPARE(erasure.target.serial, QStringLiteral("F2LXK0QJHG7F"));
    QCOMPARE(erasure.target.capacity, quint64(128000000000ULL));
    QCOMPARE(erasure.target.kind, int(TargetDisk::InternalMemory));
    QCOMPARE(erasure.details.value(QStringLiteral("verified_percentage")), QStringLiteral("100"));
    QCOMPARE(doc.erasureTargets().size(), 1);
    QCOMPARE(doc.erasureDetails().size(), 1);
}

void TestReportDocument::sampleCustomFields()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    QMap<QString, QString> expected;
    expected.insert(QStringLiteral("info1"), QStringLiteral("PO-2026-1187"));
    expected.insert(QStringLiteral("info2"), QStringLiteral("Customer: Northwind Refurb"));
    QCOMPARE(doc.customFields(), expected);
}

void TestReportDocument::productDate_data()
{
    QTest::addColumn<QString>("logEntries");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("documentId"); // given and expected

    QTest::newRow("console entry skipped") << kConsoleLog + kProductLog << "2026-12-01T09:14:05+02:00"
                                           << "doc-1";
    QTest::newRow("console by name only") << "<log_entry><product_name id=\"7\">Korvex Management "
                                             "Console</product_name><date>2020-01-01T00:00:00Z"
                                             "</date></log_entry>" +
                                                 kProductLog
                                          << "2026-12-01T09:14:05+02:00"
                                          << "doc-1";
    QTest::newRow("undated product, then dated")
        << "<log_entry><product_name id=\"9\">Other</product_name></log_entry>" + kProductLog
        << "2026-12-01T09:14:05+02:00"
        << "doc-1";
    QTest::newRow("first dated product wins")
        << kProductLog +
               "<log_entry><product_name id=\"9\">Other</product_name><date>2030-01-01T00:00:00Z</date>"
               "</log_entry>"
        << "2026-12-01T09:14:05+02:00"
        << "doc-1";
    // Only the console touched it: the id stays, there is no date and nothing else is read.
    QTest::newRow("console only") << kConsoleLog << QString() << "doc-1";
    QTest::newRow("no log entries") << QString() << QString() << "doc-1";
    QTest::newRow("entry without product name")
        << "<log_entry><date>2026-12-01T09:14:05Z</date></log_entry>" << QString() << "doc-1";
    // Without a document id nothing is read.
    QTest::newRow("empty document id") << kProductLog << QString() << QString();
}

void TestReportDocument::productDate()
{
    QFETCH(QString, logEntries);
    QFETCH(QString, date);
    QFETCH(QString, documentId);
    ReportDocument doc;
    doc.parse(
        report(logEntries, systemSection(QStringLiteral("<entry name=\"model\">M</entry>")), documentId));
    QCOMPARE(doc.date(), date.isEmpty() ? QDateTime() : QDateTime::fromString(date, Qt::ISODate));
    QCOMPARE(doc.documentId(), documentId);
    QCOMPARE(doc.info().model, date.isEmpty() ? QString() : QStringLiteral("M"));
}

void TestReportDocument::noDateEmptiesReport()
{
    // A product entry without any date: the report data is dropped, the device attributes stay.
    const QString text = report(
        QStringLiteral("<log_entry><product_name id=\"23\">Korvex Mobile Eraser</product_name></log_entry>"),
        systemSection(QStringLiteral("<entry name=\"model\">M</entry><entry name=\"imei\">1</entry>")) +
            QStringLiteral("<entries name=\"hardware_tests\"><entry name=\"summary\">failed</entry>"
                           "<entry name=\"testing_duration\">00:01:00</entry>"
                           "<entry name=\"cam\">failed</entry></entries>"
                           "<entries name=\"erasures\"><entries name=\"erasure\">"
                           "<entry name=\"state\">Failed</entry></entries></entries>"));
    ReportDocument doc;
    doc.parse(text);
    QVERIFY(doc.documentId().isEmpty());
    QVERIFY(!doc.date().isValid());
    QVERIFY(doc.xml().isEmpty());
    QVERIFY(doc.testResults().isEmpty());
    QCOMPARE(doc.testingDuration(), 0);
    QCOMPARE(doc.testSummary(), 0);
    QVERIFY(doc.erasures().isEmpty());
    QVERIFY(doc.query(QStringLiteral("/root/report/korvex_data/description/document_id")).isEmpty());
    QCOMPARE(doc.info().model, QStringLiteral("M"));

    // An unreadable date counts as none.
    doc.parse(
        report(QStringLiteral("<log_entry><product_name id=\"23\">P</product_name><date>yesterday</date>"
                              "</log_entry>"),
               QString()));
    QVERIFY(doc.documentId().isEmpty());
    QVERIFY(doc.xml().isEmpty());
}

void TestReportDocument::notXml_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("plain text") << "not a report";
    QTest::newRow("unclosed") << "<root><report>";
    QTest::newRow("two roots") << "<root/><root/>";
}

void TestReportDocument::notXml()
{
    QFETCH(QString, text);
    ReportDocument doc;
    doc.parse(kSampleReport);
    doc.parse(text);
    QVERIFY(doc.documentId().isEmpty());
    QVERIFY(doc.xml().isEmpty());
    QVERIFY(doc.info().model.isEmpty());
    QVERIFY(doc.identifiers().isEmpty());
    QVERIFY(doc.query(QStringLiteral("/root")).isEmpty());
}

void TestReportDocument::reparseResets()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    doc.parse(report(kConsoleLog, QString(), QStringLiteral("doc-2")));
    QCOMPARE(doc.documentId(), QStringLiteral("doc-2"));
    QVERIFY(doc.erasures().isEmpty());
    QVERIFY(doc.customFields().isEmpty());
    QVERIFY(doc.testResults().isEmpty());
    QVERIFY(doc.info().model.isEmpty());
    QVERIFY(doc.identifier(Device::Imei).isEmpty());
    // The text stays queryable with the new content, not the old.
    QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/description/document_id")),
             QStringList{QStringLiteral("doc-2")});
}

void TestReportDocument::modelEntryOrder_data()
{
    QTest::addColumn<QString>("entries");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a-model number later")
        << "<entry name=\"internal_model\">D53gAP</entry><entry name=\"a_model_number\">A2403</entry>"
        << "A2403";
    QTest::newRow("internal model later")
        << "<entry name=\"a_model_number\">A2403</entry><entry name=\"internal_model\">D53gAP</entry>"
        << "D53gAP";
    QTest::newRow("empty later entry ignored")
        << "<entry name=\"internal_model\">D53gAP</entry><entry name=\"a_model_number\"></entry>"
        << "D53gAP";
}

void TestReportDocument::modelEntryOrder()
{
    QFETCH(QString, entries);
    QFETCH(QString, expected);
    ReportDocument doc;
    doc.parse(report(kProductLog, systemSection(entries)));
    QCOMPARE(doc.identifier(Device::InternalModel), expected);
}

void TestReportDocument::ram_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("unit");
    QTest::newRow("GB") << "4GB" << 4 << "GB";
    QTest::newRow("MB") << "512MB" << 512 << "MB";
    QTest::newRow("no number") << "GB" << 0 << "GB";
    QTest::newRow("not a number") << "lotsGB" << 0 << "GB";
}

void TestReportDocument::ram()
{
    QFETCH(QString, text);
    QFETCH(int, amount);
    QFETCH(QString, unit);
    ReportDocument doc;
    doc.parse(report(kProductLog, systemSection(QStringLiteral("<entry name=\"ram\">%1</entry>").arg(text))));
    QCOMPARE(doc.info().ramAmount, amount);
    QCOMPARE(doc.info().ramUnit, unit);
}

void TestReportDocument::emptySystemEntryKeepsValue()
{
    ReportDocument doc;
    doc.parse(report(kProductLog, systemSection(QStringLiteral("<entry name=\"model\">M1</entry>"
                                                               "<entry name=\"model\"></entry>"
                                                               "<entry name=\"manufacturer\"/>"))));
    QCOMPARE(doc.info().model, QStringLiteral("M1"));
    QVERIFY(doc.info().manufacturer.isEmpty());
}

void TestReportDocument::duration_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("h:m:s") << "01:02:03" << qint64(3723);
    QTest::newRow("two parts") << "62:03" << qint64(-1);
    QTest::newRow("four parts") << "1:2:3:4" << qint64(-1);
    QTest::newRow("letters") << "a:b:c" << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1);
    QTest::newRow("many hours") << "100:00:00" << qint64(360000);
    QTest::newRow("absurd hours") << "99999999999999:00:00" << qint64(-1);
}

void TestReportDocument::duration()
{
    QFETCH(QString, text);
    QFETCH(qint64, seconds);
    QCOMPARE(ReportDocument::readDuration(text), seconds);
}

void TestReportDocument::elapsedTimeInReport_data()
{
    QTest::addColumn<QString>("elapsed");
    QTest::addColumn<qint64>("nanoseconds");
    QTest::newRow("01:02:03") << "01:02:03" << 3723LL * 1000000000LL;
    QTest::newRow("62:03 ignored") << "62:03" << qint64(0);
    QTest::newRow("negative ignored") << "-1:00:00" << qint64(0);
}

void TestReportDocument::elapsedTimeInReport()
{
    QFETCH(QString, elapsed);
    QFETCH(qint64, nanoseconds);
    ReportDocument doc;
    doc.parse(report(kProductLog, QStringLiteral("<entries name=\"erasures\"><entries name=\"erasure\">"
                                                 "<entry name=\"elapsed_time\">%1</entry></entries>"
                                                 "<entries name=\"not_an_erasure\"/></entries>")
                                      .arg(elapsed)));
    QCOMPARE(doc.erasures().size(), 1);
    QCOMPARE(doc.erasures().first().elapsedNanoseconds, nanoseconds);
    QVERIFY(!doc.erasures().first().hasRounds);
}

void TestReportDocument::testSummary_data()
{
    QTest::addColumn<QString>("summary");
    QTest::addColumn<int>("expected");
    QTest::newRow("failed") << "failed" << int(ReportDocument::SummaryFailed);
    QTest::newRow("successful") << "successful" << int(ReportDocument::SummarySuccessful);
    QTest::newRow("not performed") << "not performed" << int(ReportDocument::SummaryNotPerformed);
    QTest::newRow("other") << "Failed" << int(ReportDocument::SummaryNone);
}

void TestReportDocument::testSummary()
{
    QFETCH(QString, summary);
    QFETCH(int, expected);
    ReportDocument doc;
    doc.parse(
        report(kProductLog,
               QStringLiteral("<entries name=\"hardware_tests\"><entry name=\"summary\">%1</entry>"
                              "<entry name=\"x\">maybe</entry><entry name=\"\">failed</entry></entries>")
                   .arg(summary)));
    QCOMPARE(doc.testSummary(), expected);
    QVERIFY(doc.testResults().isEmpty());
}

void TestReportDocument::query_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("document id") << "/root/report/korvex_data/description/document_id"
                                 << QStringList{"5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35"};
    QTest::newRow("section and entry")
        << "/root/report/korvex_data/korvex_hardware_report/system/imei" << QStringList{"356789104567892"};
    QTest::newRow("nested sections")
        << "/root/report/korvex_data/korvex_erasure_report/erasures/erasure/target/capacity"
        << QStringList{"128000000000"};
    QTest::newRow("custom field") << "/root/report/user_data/fields/info2"
                                  << QStringList{"Customer: Northwind Refurb"};
    QTest::newRow("several values")
        << "/root/report/korvex_data/description/document_log/log_entry/product_version"
        << QStringList{"4.6.1", "7.2.0"};
    QTest::newRow("attribute")
        << "/root/report/korvex_data/description/document_log/log_entry/product_name/@id"
        << QStringList{"51", "23"};
    QTest::newRow("missing") << "/root/report/nothing/here" << QStringList();
    // Paths come from label texts: anything beyond names must not reach other documents.
    QTest::newRow("function refused")
        << "/root/report/korvex_data/description/document_id|doc('/etc/hostname')" << QStringList();
    QTest::newRow("predicate refused") << "/root/report[1]" << QStringList();
    QTest::newRow("broken syntax") << "/root/report/'" << QStringList();
}

void TestReportDocument::query()
{
    QFETCH(QString, path);
    QFETCH(QStringList, expected);
    ReportDocument doc;
    doc.parse(kSampleReport);
    QCOMPARE(doc.query(path), expected);
}

void TestReportDocument::queryRepeatedAndCopied()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    const QString imei = QStringLiteral("/root/report/korvex_data/korvex_hardware_report/system/imei");
    const QString id = QStringLiteral("/root/report/korvex_data/description/document_id");
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(doc.query(imei), QStringList{QStringLiteral("356789104567892")});
        QCOMPARE(doc.query(QStringLiteral("/root/missing")), QStringList());
        QCOMPARE(doc.query(id), QStringList{QStringLiteral("5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35")});
    }
    const ReportDocument copy = doc;
    QCOMPARE(copy.query(imei), QStringList{QStringLiteral("356789104567892")});
    // A new parse of the original must not change what the copy answers.
    doc.parse(report(kProductLog, systemSection(QStringLiteral("<entry name=\"imei\">111</entry>"))));
    QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/system/imei")),
             QStringList{QStringLiteral("111")});
    QCOMPARE(copy.query(imei), QStringList{QStringLiteral("356789104567892")});
}

void TestReportDocument::queryNameWithQuote()
{
    ReportDocument doc;
    doc.parse(report(kProductLog, QStringLiteral("<entries name=\"it's &amp; more\"><entry name=\"o'clock\">5"
                                                 "</entry></entries>")));
    QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/it's & more/o'clock")),
             QStringList{QStringLiteral("5")});
}

void TestReportDocument::deepNestingRefused()
{
    QString text;
    for (int i = 0; i < 20000; ++i)
        text += QStringLiteral("<a>");
    for (int i = 0; i < 20000; ++i)
        text += QStringLiteral("</a>");
    ReportDocument doc;
    doc.parse(text);
    QVERIFY(doc.xml().isEmpty());
    QVERIFY(doc.query(QStringLiteral("/a")).isEmpty());
}

void TestReportDocument::largeReport()
{
    QString entries;
    for (int i = 0; i < 20000; ++i)
        entries += QStringLiteral("<entry name=\"e%1\">value %1</entry>").arg(i);
    ReportDocument doc;
    QElapsedTimer timer;
    timer.start();
    doc.parse(report(kProductLog, systemSection(QStringLiteral("<entry name=\"model\">M</entry>")) +
                                      QStringLiteral("<entries name=\"bulk\">%1</entries>").arg(entries)));
    QCOMPARE(doc.info().model, QStringLiteral("M"));
    QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/bulk/e19999")),
             QStringList{QStringLiteral("value 19999")});
    QVERIFY2(timer.elapsed() < 20000, "a large report must parse and answer in a bounded time");
}

void TestReportDocument::reportDeviceInitialState()
{
    ReportDevice device;
    QCOMPARE(device.state(), int(Device::Connected));
    QCOMPARE(device.status(), int(Device::Connected));
    QCOMPARE(device.description(), QString());
    QVERIFY(!device.report());
    Device plain;
    QCOMPARE(plain.description(), QStringLiteral("DUMMY"));
}

void TestReportDocument::setReportWithoutCopy()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    ReportDevice device;
    device.setReport(&doc, false);
    QCOMPARE(device.report(), &doc);
    QVERIFY(device.identifier(Device::Imei).isEmpty());
    QVERIFY(device.info().model.isEmpty());
}

void TestReportDocument::setReportWithCopy()
{
    ReportDocument doc;
    doc.parse(kSampleReport);
    ReportDevice device;
    device.setIdentifier(Device::AlternativeSerial, QStringLiteral("kept"));
    device.setReport(&doc, true);
    QCOMPARE(device.report(), &doc);
    QCOMPARE(device.identifier(Device::Imei), QStringLiteral("356789104567892"));
    QCOMPARE(device.identifier(Device::Imei2), QStringLiteral("356789104567884"));
    // Slots the report leaves empty do not wipe what the device held.
    QCOMPARE(device.identifier(Device::AlternativeSerial), QStringLiteral("kept"));
    QCOMPARE(device.info().marketName, QStringLiteral("iPhone 12"));
    // Report-only data stays with the report.
    QVERIFY(device.erasureRecords().isEmpty());
    QVERIFY(device.disks().isEmpty());
}

void TestReportDocument::copyFromDevice_data()
{
    QTest::addColumn<int>("sourceStatus");
    QTest::addColumn<int>("state");
    QTest::newRow("connected") << 3 << 3;
    QTest::newRow("erased") << 8 << 8;
    QTest::newRow("failed") << 9 << 9;
    QTest::newRow("blacklisted") << 21 << 21;
    QTest::newRow("other becomes connected") << 5 << 3;
}

void TestReportDocument::copyFromDevice()
{
    QFETCH(int, sourceStatus);
    QFETCH(int, state);
    ReportDocument doc;
    doc.parse(kSampleReport);
    ReportDevice source;
    source.setReport(&doc, true);
    source.setStatus(sourceStatus);
    source.info().batteryCycles = 12;
    ReportDevice copy(&source);
    QCOMPARE(copy.state(), state);
    QCOMPARE(copy.status(), state);
    QCOMPARE(copy.report(), &doc);
    QCOMPARE(copy.identifiers(), source.identifiers());
    QCOMPARE(copy.info().batteryCycles, 12);
    QCOMPARE(copy.info().model, source.info().model);
}

void TestReportDocument::identifierSlots()
{
    Device device;
    device.setIdentifier(17, QStringLiteral("last"));
    device.setIdentifier(18, QStringLiteral("beyond"));
    device.setIdentifier(-1, QStringLiteral("before"));
    QCOMPARE(device.identifier(17), QStringLiteral("last"));
    QVERIFY(device.identifier(18).isEmpty());
    QVERIFY(device.identifier(-1).isEmpty());
    QCOMPARE(device.identifiers().size(), Device::kIdentifierSlots);
}

void TestReportDocument::simStatus_data()
{
    QTest::addColumn<int>("present");
    QTest::addColumn<QString>("cards"); // one character per card: 1 flag set, 0 not
    QTest::addColumn<int>("expected");
    QTest::newRow("no SIM information") << 0 << "1" << -1;
    QTest::newRow("no cards") << 1 << "" << 0;
    QTest::newRow("one card, flag") << 1 << "1" << 2;
    QTest::newRow("one card, no flag") << 1 << "0" << 1;
    QTest::newRow("two, first") << 1 << "10" << 3;
    QTest::newRow("two, second") << 1 << "01" << 3;
    QTest::newRow("two, none") << 1 << "00" << 1;
}

void TestReportDocument::simStatus()
{
    QFETCH(int, present);
    QFETCH(QString, cards);
    QFETCH(int, expected);
    Device device;
    device.info().simInfoPresent = present;
    for (QChar c : cards)
        device.info().simCards.append(SimCard{c == QLatin1Char('1')});
    QCOMPARE(device.simStatus(), expected);
}

void TestReportDocument::diagnosticsStatus_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("results");
    QTest::addColumn<int>("expected");
    QTest::newRow("not diagnosed") << 0 << "a=0" << 0;
    QTest::newRow("state 1") << 1 << "a=1" << 1;
    QTest::newRow("a failure") << 2 << "a=1,b=0" << 4;
    QTest::newRow("all passed") << 2 << "a=1,b=1" << 2;
    QTest::newRow("no results") << 2 << "" << 2;
    QTest::newRow("not performed") << 2 << "a=2" << 3;
    QTest::newRow("unknown codes") << 2 << "a=7" << 4;
}

void TestReportDocument::diagnosticsStatus()
{
    QFETCH(int, state);
    QFETCH(QString, results);
    QFETCH(int, expected);
    Device device;
    device.info().diagnosticsState = state;
    device.info().diagnosticsResults = results;
    QCOMPARE(device.diagnosticsStatus(), expected);
}

QTEST_GUILESS_MAIN(TestReportDocument)
#include "tst_reportdocument.moc"
