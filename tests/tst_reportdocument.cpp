// Report parsing by section, path queries, and the device records bound to a report.

#include "report/device.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "samplereports.h"

#include <QElapsedTimer>
#include <QtTest>

#include <initializer_list>

namespace {

// The console's export of one mobile erasure (tests/data).
const QString kSampleReport = QString::fromUtf8(TestSupport::sampleReport());

const QString kProductLog = QStringLiteral("<log_entry><product_name id=\"23\">Korvex Mobile "
                                           "Eraser</product_name><date>2026-12-01T09:14:05+02:00</date>"
                                           "</log_entry>");
const QString kConsoleLog =
    QStringLiteral("<log_entry><product_name id=\"51\">Korvex Management Console</product_name>"
                   "<date>2026-12-01T10:00:00Z</date></log_entry>");
const QString kDocumentIdPath = QStringLiteral("/root/report/korvex_data/description/document_id");

// One data row per line: the row's name, then a text for each column.
void addRows(std::initializer_list<std::initializer_list<QString>> rows)
{
    for (const auto& row : rows) {
        QTestData& data = QTest::newRow(qPrintable(*row.begin()));
        for (auto cell = row.begin() + 1; cell != row.end(); ++cell)
            data << *cell;
    }
}

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
    void sampleReport()
    {
        ReportDocument doc;
        doc.parse(kSampleReport);
        QCOMPARE(doc.documentId(), QStringLiteral("5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35"));
        // The console's own entry comes first and is skipped.
        QCOMPARE(doc.date(), QDateTime::fromString(QStringLiteral("2026-12-01T09:14:05+02:00"), Qt::ISODate));
        QCOMPARE(doc.xml(), kSampleReport);

        const DeviceInfo& info = doc.info();
        QCOMPARE(QStringList({info.name, info.manufacturer, info.model, info.marketName, info.wifiMac,
                              info.mdmStatus, info.deviceColor, info.aModelNumber, info.ramUnit}),
                 QStringList({"iPhone of station-07", "Apple", "iPhone 12 128GB Blue", "iPhone 12",
                              "f0:99:b6:12:34:56", "Unlocked", "Blue", "A2403", "GB"}));
        QCOMPARE(info.ramAmount, 4);
        // By slot: IMEI, internal model, serial, UUID, ECID, MEID, MEID14, region, IMEI2; the others empty.
        QCOMPARE(doc.identifiers().join(QLatin1Char('|')),
                 QStringLiteral("||356789104567892|A2403|F2LXK0QJHG7F|00008101-001A2B3C4D5E6F70||||"
                                "|001A2B3C4D5E6F70|||35678910456789|35678910456789||LL/A|356789104567884"));

        QCOMPARE(doc.testResults(), QStringLiteral("camera_front=1;camera_rear=1;touch_screen=0;speaker=2"));
        QCOMPARE(doc.testSummary(), int(ReportDocument::SummaryFailed));
        QCOMPARE(doc.testingDuration(), 192);

        QCOMPARE(doc.erasures().size(), 1);
        const ErasureRecord& erasure = doc.erasures().first();
        QCOMPARE(erasure.start,
                 QDateTime::fromString(QStringLiteral("2026-12-01T09:05:11+02:00"), Qt::ISODate));
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

        QMap<QString, QString> custom;
        custom.insert(QStringLiteral("info1"), QStringLiteral("PO-2026-1187"));
        custom.insert(QStringLiteral("info2"), QStringLiteral("Customer: Northwind Refurb"));
        QCOMPARE(doc.customFields(), custom);
    }
    void productDate_data()
    {
        QTest::addColumn<QString>("logEntries");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("documentId"); // given and expected
        const QString dated = QStringLiteral("2026-12-01T09:14:05+02:00");
        const QString other = QStringLiteral("<log_entry><product_name id=\"9\">Other</product_name>");
        addRows({
            {"console entry skipped", kConsoleLog + kProductLog, dated, "doc-1"},
            {"console by name only",
             "<log_entry><product_name id=\"7\">Korvex Management Console</product_name>"
             "<date>2020-01-01T00:00:00Z</date></log_entry>" +
                 kProductLog,
             dated, "doc-1"},
            {"undated product, then dated", other + "</log_entry>" + kProductLog, dated, "doc-1"},
            {"first dated product wins",
             kProductLog + other + "<date>2030-01-01T00:00:00Z</date></log_entry>", dated, "doc-1"},
            // Only the console touched it: the id stays, there is no date and nothing else is read.
            {"console only", kConsoleLog, "", "doc-1"},
            {"no log entries", "", "", "doc-1"},
            {"entry without product name", "<log_entry><date>2026-12-01T09:14:05Z</date></log_entry>", "",
             "doc-1"},
            // Without a document id nothing is read.
            {"empty document id", kProductLog, "", ""},
        });
    }
    void productDate()
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
    void noDateEmptiesReport()
    {
        // A product entry without any date: the report data is dropped, the device attributes stay.
        const QString text = report(
            QStringLiteral(
                "<log_entry><product_name id=\"23\">Korvex Mobile Eraser</product_name></log_entry>"),
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
        QVERIFY(doc.query(kDocumentIdPath).isEmpty());
        QCOMPARE(doc.info().model, QStringLiteral("M"));

        // An unreadable date counts as none.
        doc.parse(
            report(QStringLiteral("<log_entry><product_name id=\"23\">P</product_name><date>yesterday</date>"
                                  "</log_entry>"),
                   QString()));
        QVERIFY(doc.documentId().isEmpty());
        QVERIFY(doc.xml().isEmpty());
    }
    void notXml_data()
    {
        QTest::addColumn<QString>("text");
        addRows({{"empty", ""}, {"plain text", "not a report"}, {"unclosed", "<root><report>"}});
        QTest::newRow("two roots") << "<root/><root/>";
        // Nesting deep enough to exhaust a recursive reader is refused, not followed.
        QTest::newRow("deep nesting")
            << QStringLiteral("<a>").repeated(20000) + QStringLiteral("</a>").repeated(20000);
    }
    void notXml()
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
        QVERIFY(doc.query(QStringLiteral("/a")).isEmpty());
    }
    void reparseResets()
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
        QCOMPARE(doc.query(kDocumentIdPath), QStringList{QStringLiteral("doc-2")});
    }
    void systemEntries_data()
    {
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("expected"); // model|manufacturer|internal model|RAM amount and unit
        const QString a = QStringLiteral("<entry name=\"a_model_number\">A2403</entry>");
        const QString internal = QStringLiteral("<entry name=\"internal_model\">D53gAP</entry>");
        const QString ram = QStringLiteral("<entry name=\"ram\">%1</entry>");
        addRows({
            // The later of the two model number entries wins, unless it is empty.
            {"a-model number later", internal + a, "||A2403|0"},
            {"internal model later", a + internal, "||D53gAP|0"},
            {"empty later entry ignored", internal + "<entry name=\"a_model_number\"></entry>", "||D53gAP|0"},
            {"RAM in GB", ram.arg("4GB"), "|||4GB"},
            {"RAM in MB", ram.arg("512MB"), "|||512MB"},
            {"RAM without number", ram.arg("GB"), "|||0GB"},
            {"RAM not a number", ram.arg("lotsGB"), "|||0GB"},
            {"empty entry keeps value",
             "<entry name=\"model\">M1</entry><entry name=\"model\"></entry><entry name=\"manufacturer\"/>",
             "M1|||0"},
        });
    }
    void systemEntries()
    {
        QFETCH(QString, entries);
        QFETCH(QString, expected);
        ReportDocument doc;
        doc.parse(report(kProductLog, systemSection(entries)));
        const DeviceInfo& info = doc.info();
        QCOMPARE(QStringList({info.model, info.manufacturer, doc.identifier(Device::InternalModel),
                              QString::number(info.ramAmount) + info.ramUnit})
                     .join(QLatin1Char('|')),
                 expected);
    }
    void duration_data()
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
        QTest::newRow("negative") << "-1:00:00" << qint64(-3600);
    }
    // The reader, and an erasure's elapsed time in a report, where a duration below 0 counts as none.
    void duration()
    {
        QFETCH(QString, text);
        QFETCH(qint64, seconds);
        QCOMPARE(ReportDocument::readDuration(text), seconds);
        ReportDocument doc;
        doc.parse(report(kProductLog, QStringLiteral("<entries name=\"erasures\"><entries name=\"erasure\">"
                                                     "<entry name=\"elapsed_time\">%1</entry></entries>"
                                                     "<entries name=\"not_an_erasure\"/></entries>")
                                          .arg(text)));
        QCOMPARE(doc.erasures().size(), 1);
        QCOMPARE(doc.erasures().first().elapsedNanoseconds, qMax(seconds, qint64(0)) * 1000000000LL);
        QVERIFY(!doc.erasures().first().hasRounds);
    }
    void testSummary_data()
    {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<int>("expected");
        QTest::newRow("failed") << "failed" << int(ReportDocument::SummaryFailed);
        QTest::newRow("successful") << "successful" << int(ReportDocument::SummarySuccessful);
        QTest::newRow("not performed") << "not performed" << int(ReportDocument::SummaryNotPerformed);
        QTest::newRow("other") << "Failed" << int(ReportDocument::SummaryNone);
    }
    void testSummary()
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
    void query_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("expected");
        const QString base = QStringLiteral("/root/report/korvex_data/");
        QTest::newRow("document id") << kDocumentIdPath
                                     << QStringList{"5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35"};
        QTest::newRow("section and entry")
            << base + "korvex_hardware_report/system/imei" << QStringList{"356789104567892"};
        QTest::newRow("nested sections")
            << base + "korvex_erasure_report/erasures/erasure/target/capacity" << QStringList{"128000000000"};
        QTest::newRow("custom field")
            << "/root/report/user_data/fields/info2" << QStringList{"Customer: Northwind Refurb"};
        QTest::newRow("several values")
            << base + "description/document_log/log_entry/product_version" << QStringList{"4.6.1", "7.2.0"};
        QTest::newRow("attribute") << base + "description/document_log/log_entry/product_name/@id"
                                   << QStringList{"51", "23"};
        QTest::newRow("missing") << "/root/report/nothing/here" << QStringList();
        // Paths come from label texts: anything beyond names must not reach other documents.
        QTest::newRow("function refused") << kDocumentIdPath + "|doc('/etc/hostname')" << QStringList();
        QTest::newRow("predicate refused") << "/root/report[1]" << QStringList();
        QTest::newRow("broken syntax") << "/root/report/'" << QStringList();
    }
    void query()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, expected);
        ReportDocument doc;
        doc.parse(kSampleReport);
        QCOMPARE(doc.query(path), expected);
    }
    void queryRepeatedAndCopied()
    {
        ReportDocument doc;
        doc.parse(kSampleReport);
        const QString imei = QStringLiteral("/root/report/korvex_data/korvex_hardware_report/system/imei");
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(doc.query(imei), QStringList{QStringLiteral("356789104567892")});
            QCOMPARE(doc.query(QStringLiteral("/root/missing")), QStringList());
            QCOMPARE(doc.query(kDocumentIdPath),
                     QStringList{QStringLiteral("5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35")});
        }
        const ReportDocument copy = doc;
        QCOMPARE(copy.query(imei), QStringList{QStringLiteral("356789104567892")});
        // A new parse of the original must not change what the copy answers.
        doc.parse(report(kProductLog, systemSection(QStringLiteral("<entry name=\"imei\">111</entry>"))));
        QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/system/imei")),
                 QStringList{QStringLiteral("111")});
        QCOMPARE(copy.query(imei), QStringList{QStringLiteral("356789104567892")});
    }
    void queryNameWithQuote()
    {
        ReportDocument doc;
        doc.parse(
            report(kProductLog, QStringLiteral("<entries name=\"it's &amp; more\"><entry name=\"o'clock\">5"
                                               "</entry></entries>")));
        QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/it's & more/o'clock")),
                 QStringList{QStringLiteral("5")});
    }
    void largeReport()
    {
        QString entries;
        for (int i = 0; i < 20000; ++i)
            entries += QStringLiteral("<entry name=\"e%1\">value %1</entry>").arg(i);
        ReportDocument doc;
        QElapsedTimer timer;
        timer.start();
        doc.parse(
            report(kProductLog, systemSection(QStringLiteral("<entry name=\"model\">M</entry>")) +
                                    QStringLiteral("<entries name=\"bulk\">%1</entries>").arg(entries)));
        QCOMPARE(doc.info().model, QStringLiteral("M"));
        QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/bulk/e19999")),
                 QStringList{QStringLiteral("value 19999")});
        QVERIFY2(timer.elapsed() < 20000, "a large report must parse and answer in a bounded time");
    }
    void setReport()
    {
        ReportDocument doc;
        doc.parse(kSampleReport);
        ReportDevice bound;
        bound.setReport(&doc, false);
        QCOMPARE(bound.report(), &doc);
        QVERIFY(bound.identifier(Device::Imei).isEmpty());
        QVERIFY(bound.info().model.isEmpty());

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
    void copyFromDevice_data()
    {
        QTest::addColumn<int>("sourceStatus");
        QTest::addColumn<int>("state");
        QTest::newRow("connected") << 3 << 3;
        QTest::newRow("erased") << 8 << 8;
        QTest::newRow("failed") << 9 << 9;
        QTest::newRow("blacklisted") << 21 << 21;
        QTest::newRow("other becomes connected") << 5 << 3;
    }
    void copyFromDevice()
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
    void identifierSlots()
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
    // The SIM and diagnostics states a device derives from its attributes.
    void derivedStates_data()
    {
        QTest::addColumn<int>("present");
        QTest::addColumn<QString>("cards"); // one character per card: 1 flag set, 0 not
        QTest::addColumn<int>("sim");
        QTest::addColumn<int>("diagState");
        QTest::addColumn<QString>("results");
        QTest::addColumn<int>("diagnostics");
        QTest::newRow("no SIM information, not diagnosed") << 0 << "1" << -1 << 0 << "a=0" << 0;
        QTest::newRow("no cards, state 1") << 1 << "" << 0 << 1 << "a=1" << 1;
        QTest::newRow("one card flagged, a failure") << 1 << "1" << 2 << 2 << "a=1,b=0" << 4;
        QTest::newRow("one card, all passed") << 1 << "0" << 1 << 2 << "a=1,b=1" << 2;
        QTest::newRow("two, first flagged, no results") << 1 << "10" << 3 << 2 << "" << 2;
        QTest::newRow("two, second flagged, not performed") << 1 << "01" << 3 << 2 << "a=2" << 3;
        QTest::newRow("two, none flagged, unknown codes") << 1 << "00" << 1 << 2 << "a=7" << 4;
    }
    void derivedStates()
    {
        QFETCH(int, present);
        QFETCH(QString, cards);
        QFETCH(int, sim);
        QFETCH(int, diagState);
        QFETCH(QString, results);
        QFETCH(int, diagnostics);
        Device device;
        device.info().simInfoPresent = present;
        for (QChar c : cards)
            device.info().simCards.append(SimCard{c == QLatin1Char('1')});
        device.info().diagnosticsState = diagState;
        device.info().diagnosticsResults = results;
        QCOMPARE(device.simStatus(), sim);
        QCOMPARE(device.diagnosticsStatus(), diagnostics);
    }
};

QTEST_GUILESS_MAIN(TestReportDocument)
#include "tst_reportdocument.moc"
