// Report parsing by section, path queries, and the device records bound to a report.

#include "report/device.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/reportidentity.h"
#include "samplereports.h"

#include <QRegularExpression>
#include <QtTest>

#include <initializer_list>

namespace {

// The console's export of one mobile erasure (tests/data).
const QString kSampleReport = QString::fromUtf8(TestSupport::sampleReport());

// A product's log entry, dated when a date is given.
QString logEntry(const QString& product, const QString& date = QString(),
                 const QString& id = QStringLiteral("23"))
{
    return QStringLiteral("<log_entry><product_name id=\"%1\">%2</product_name>%3</log_entry>")
        .arg(id, product, date.isEmpty() ? QString() : "<date>" + date + "</date>");
}

const QString kProductLog =
    logEntry(QStringLiteral("Korvex Mobile Eraser"), QStringLiteral("2026-12-01T09:14:05+02:00"));
const QString kConsoleLog = logEntry(QStringLiteral("Korvex Management Console"),
                                     QStringLiteral("2026-12-01T10:00:00Z"), QStringLiteral("51"));
const QString kDocumentIdPath = QStringLiteral("/root/report/korvex_data/description/document_id");

// A report with comments, instructions, CDATA, references, a namespace, names with quotes, blanks or
// non-ASCII letters, an entry named like an element, and nameless entries.
const char kOddReportText[] = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<!-- exported -->
<root xml:lang="en"><?station line="2"?>
  <report>
    <korvex_data>
      <description><document_id>odd-1</document_id><document_log><log_entry>
        <product_name id="23">Korvex Mobile Eraser</product_name><date>2026-12-01T09:14:05Z</date>
      </log_entry></document_log></description>
      <entries name="it's &amp; more"><entry name="o'clock">5</entry><entry name="o'clock">6</entry></entries>
      <entries name="Battery health"><entry name="at 100 %">92 %</entry><entry name="cycles (max)">900</entry></entries>
      <entries name="&#252;nicode"><entry name="&#228;">umlaut</entry></entries>
      <entries name=""><entry name="">nameless</entry><entry>no name</entry><entry name="x">in nameless</entry></entries>
      <entries name="bulk"><entry name="e1">one</entry><entry name="e2"/><entry name="e3">  three  </entry></entries>
      <mixed>a<![CDATA[<b>]]>c&amp;d&#65;<!-- between -->e<?p data?>f</mixed>
      <x>element</x>
      <y z="1" xml:lang="de"><y z="2">nested <x>inner</x> tail</y></y>
    </korvex_data>
    <user_data><entries name="fields"><entry name="info1">PO-1</entry></entries></user_data>
  </report>
</root>
)xml";
const QString kOddReport = QString::fromUtf8(kOddReportText);

QString entry(const QString& name, const QString& value)
{
    return QStringLiteral("<entry name=\"%1\">%2</entry>").arg(name, value);
}

QString section(const QString& name, const QString& entries)
{
    return QStringLiteral("<entries name=\"%1\">%2</entries>").arg(name, entries);
}

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

// What a parse kept: "part=value" for each part that is not empty; "erasures" lists their elapsed
// seconds, "ids" the identifiers that are set, "text" tells whether the report text was kept.
QString digest(const ReportDocument& doc)
{
    const DeviceInfo& info = doc.info();
    QStringList elapsed;
    for (const ErasureRecord& erasure : doc.erasures())
        elapsed << QString::number(erasure.elapsedNanoseconds / 1000000000LL);
    QStringList identifiers = doc.identifiers();
    identifiers.removeAll(QString());
    const QStringList parts = {
        "id=" + doc.documentId(),
        "date=" + doc.date().toUTC().toString(Qt::ISODate),
        "text=" + QString(doc.hasReport() ? "kept" : ""),
        "model=" + info.model,
        "maker=" + info.manufacturer,
        "internal=" + doc.identifier(Device::InternalModel),
        "erasures=" + elapsed.join(QLatin1Char(',')),
        "fields=" + QStringList(doc.customFields().keys()).join(QLatin1Char(',')),
        "ids=" + identifiers.join(QLatin1Char(',')),
    };
    return parts.filter(QRegularExpression(QStringLiteral("[^=]$"))).join(QLatin1Char(' '));
}

} // namespace

class TestReportDocument : public QObject
{
    Q_OBJECT
private slots:
    // The console's export of a mobile erasure, and the device records bound to it.
    void sampleReport()
    {
        ReportDocument doc;
        doc.parse(kSampleReport);
        QCOMPARE(doc.documentId(), QStringLiteral("5e2a1c7f-3b9d-4c61-a0f4-9d2e6b8c1a35"));
        // The console's own entry comes first and is skipped.
        QCOMPARE(doc.date(), QDateTime::fromString(QStringLiteral("2026-12-01T09:14:05+02:00"), Qt::ISODate));
        QVERIFY(doc.hasReport());

        const DeviceInfo& info = doc.info();
        QCOMPARE(QStringList({info.manufacturer, info.model, info.marketName, info.wifiMac, info.mdmStatus,
                              info.aModelNumber}),
                 QStringList({"Apple", "iPhone 12 128GB Blue", "iPhone 12", "f0:99:b6:12:34:56", "Unlocked",
                              "A2403"}));
        // By slot: IMEI, internal model, serial, UUID, ECID, MEID, MEID14, region, IMEI2; the others empty.
        QCOMPARE(doc.identifiers().join(QLatin1Char('|')),
                 QStringLiteral("||356789104567892|A2403|F2LXK0QJHG7F|00008101-001A2B3C4D5E6F70||||"
                                "|001A2B3C4D5E6F70|||35678910456789|35678910456789||LL/A|356789104567884"));
        // The erasure as the erasure tags and the device status read it.
        QCOMPARE(doc.erasures().size(), 1);
        const ErasureRecord& erasure = doc.erasures().first();
        QCOMPARE(erasure.state, int(ErasureRecord::Successful));
        QCOMPARE(erasure.target.serial, QStringLiteral("F2LXK0QJHG7F"));
        QCOMPARE(erasure.target.capacity, quint64(128000000000ULL));
        QCOMPARE(erasure.target.kind, int(TargetDisk::InternalMemory));
        QCOMPARE(doc.customFields(), (QMap<QString, QString>{{"info1", "PO-2026-1187"},
                                                             {"info2", "Customer: Northwind Refurb"}}));
        // A device takes the report's identifiers and attributes (the IMEI and market name as tst_tagparser
        // prints them); slots the report leaves empty do not wipe what the device held.
        ReportDevice source;
        source.setIdentifier(Device::AlternativeSerial, QStringLiteral("kept"));
        source.setReport(&doc, true);
        QCOMPARE(source.identifier(Device::Imei2), QStringLiteral("356789104567884"));
        QCOMPARE(source.identifier(Device::AlternativeSerial), QStringLiteral("kept"));
        // Report-only data stays with the report.
        QVERIFY(source.erasureRecords().isEmpty() && source.disks().isEmpty());
        // A copy of the device takes its records and report; its state is one a copy may have: erased
        // and blacklisted stay, anything else becomes connected.
        source.info().batteryCycles = 12;
        for (const auto& [status, state] : {std::pair<int, int>{8, 8}, {21, 21}, {5, 3}}) {
            source.setStatus(status);
            ReportDevice copy(&source);
            QCOMPARE(copy.state(), state);
            QCOMPARE(copy.status(), state);
            QCOMPARE(copy.report(), &doc);
            QCOMPARE(copy.identifiers(), source.identifiers()); // the last slot included
            QCOMPARE(copy.info().batteryCycles, 12);
        }
    }
    // Each row is parsed after the sample report, so a part it does not have must come out empty.
    void parse_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<QString>("expected");
        const QString model = section("system", entry("model", "M"));
        const QString dated = QStringLiteral("id=doc-1 date=2026-12-01T07:14:05Z text=kept");
        auto system = [](const QString& entries) {
            return report(kProductLog, section("system", entries));
        };
        const QString a = entry("a_model_number", "A2403");
        const QString internal = entry("internal_model", "D53gAP");
        auto erasure = [](const QString& elapsed) {
            return report(kProductLog,
                          section("erasures", section("erasure", entry("elapsed_time", elapsed)) +
                                                  "<entries name=\"not_an_erasure\"/>"));
        };
        addRows({
            // The date is the first dated entry of a product other than the console.
            {"console by name only",
             report(logEntry("Korvex Management Console", "2020-01-01T00:00:00Z", "7") + kProductLog, model),
             dated + " model=M"},
            {"undated product, then dated", report(logEntry("Other", "", "9") + kProductLog, model),
             dated + " model=M"},
            {"first dated product wins",
             report(kProductLog + logEntry("Other", "2030-01-01T00:00:00Z", "9"), model), dated + " model=M"},
            // Only the console touched it: the id stays, there is no date and nothing else is read.
            {"console only", report(kConsoleLog, model), "id=doc-1 text=kept"},
            // Without a document id nothing is read; without a product date the report data is dropped
            // and the device attributes stay.
            {"empty document id", report(kProductLog, model, ""), "text=kept"},
            {"product entry without date",
             report(logEntry("Korvex Mobile Eraser"),
                    section("system", entry("model", "M") + entry("imei", "1")) +
                        section("erasures", section("erasure", entry("state", "Failed")))),
             "model=M ids=1"},
            {"unreadable date", report(logEntry("P", "yesterday"), ""), ""},
            // Not a report at all.
            {"empty", "", ""},
            {"unclosed", "<root><report>", ""},
            // Nesting deep enough to exhaust a recursive reader is refused, not followed.
            {"deep nesting", QStringLiteral("<a>").repeated(20000) + QStringLiteral("</a>").repeated(20000),
             ""},
            // System entries: the later of the two model number entries wins, unless it is empty.
            {"a-model number later", system(internal + a), dated + " internal=A2403 ids=A2403"},
            {"internal model later", system(a + internal), dated + " internal=D53gAP ids=D53gAP"},
            {"empty later entry ignored", system(internal + entry("a_model_number", "")),
             dated + " internal=D53gAP ids=D53gAP"},
            {"empty entry keeps value",
             system(entry("model", "M1") + entry("model", "") + "<entry name=\"manufacturer\"/>"),
             dated + " model=M1"},
            // An erasure's elapsed time, "h:m:s"; anything else, or a negative or absurd time, counts as
            // none.
            {"elapsed h:m:s", erasure("01:02:03"), dated + " erasures=3723"},
            {"elapsed two parts", erasure("62:03"), dated + " erasures=0"},
            {"elapsed absurd hours", erasure("99999999999999:00:00"), dated + " erasures=0"},
            {"elapsed negative", erasure("-1:00:00"), dated + " erasures=0"},
            // A value is the entry's text whatever markup carries it; space only between tags is none.
            {"markup inside a value", system(entry("model", "<![CDATA[a<b>]]> &amp; c<!--x-->d<?pi y?>e")),
             dated + " model=a<b> & cde"},
            {"nested text", system(entry("model", "<p>x</p> <p> y </p>tail")), dated + " model=x y tail"},
            {"white space only", system(entry("model", " &#160;\n ") + entry("imei", "\t")), dated},
            {"prefixed entry is another element",
             system("<e:entry xmlns:e=\"urn:e\" name=\"model\">M</e:entry>"), dated},
        });
    }
    void parse()
    {
        QFETCH(QString, xml);
        QFETCH(QString, expected);
        ReportDocument doc;
        doc.parse(kSampleReport);
        doc.parse(xml);
        QCOMPARE(digest(doc), expected);
        if (!doc.hasReport())
            QVERIFY(doc.query(kDocumentIdPath).isEmpty());
    }
    // Path forms as labels and the catalogue write them, on a report with the odd things a console
    // or a hand-made report may hold.
    void query_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("expected");
        const QString base = QStringLiteral("/root/report/korvex_data/");
        const QList<std::pair<const char*, QStringList>> rows = {
            {"description/document_id", {"odd-1"}},
            {"bulk/e1", {"one"}},
            {"bulk/e2", {""}},
            {"bulk/e3", {"  three  "}},
            {"it's & more/o'clock", {"5", "6"}},
            {"\u00fcnicode/\u00e4", {"umlaut"}},
            {"Battery health/at 100 %", {"92 %"}},
            {"Battery health/cycles (max)", {"900"}},
            // Entry names win over element names of the same spelling.
            {"x", {}},
            {"/x", {"in nameless"}},
            // An empty part is a "//" step, never a nameless section or entry; a last "/" asks for
            // everything below.
            {"bulk/", {"one  three  ", "one", "one", "", "  three  ", "  three  "}},
            {"bulk//", {}},
            {"bulk/e1/../@name", {"bulk"}},
            {"bulk/*", {"one", "", "  three  "}},
            // CDATA and references join the text; comments and instructions split it.
            {"mixed", {"a<b>c&dAef"}},
            {"mixed/text()", {"a<b>c&dA", "e", "f"}},
            {"mixed//.", {"a<b>c&dAef", "a<b>c&dA", " between ", "e", "data", "f"}},
            {"nothing/here", {}},
        };
        for (const auto& row : rows)
            QTest::newRow(row.first) << base + QString::fromUtf8(row.first) << row.second;
        const QList<std::pair<const char*, QStringList>> whole = {
            {"//product_name/@id", {"23"}},
            {"//y/@*", {"1", "de", "2"}},
            {"//y/@xml:lang", {"de"}},
            {"//y", {"nested inner tail", "nested inner tail"}},
            {"//y/text()", {"nested ", " tail"}},
            {"//entry/../@name", {"it's & more", "Battery health", "\u00fcnicode", "", "bulk", "fields"}},
            // A "//" step below a context keeps to what lies inside that context.
            {"//y//y", {"nested inner tail"}},
            {"//x//x", {}},
            {"//y/@z//y", {}},
            {"//user_data//fields", {"PO-1"}},
            {"//korvex_data//fields", {}},
            {"//bulk//at 100 %", {}},
            {"root/report", {}},
            {"/root///report", {}},
            {"/root/report[1]", {}},
            {"/root/report/'", {}},
            {"/root/report/node()", {}},
            {"/root/foo:report", {}},
            // Paths come from label texts: anything beyond names must not reach other documents.
            {"/root/report/korvex_data/description/document_id|doc('/etc/hostname')", {}},
        };
        for (const auto& row : whole)
            QTest::newRow(row.first) << QString::fromUtf8(row.first) << row.second;
    }
    void query()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, expected);
        ReportDocument doc;
        QVERIFY(doc.parse(kOddReport));
        QCOMPARE(doc.query(path), expected);
        // A copy keeps answering from its report when the original parses another.
        const ReportDocument copy = doc;
        doc.parse(report(kProductLog, QString()));
        QCOMPARE(doc.query(kDocumentIdPath), QStringList{QStringLiteral("doc-1")});
        QCOMPARE(copy.query(path), expected);
    }
    // Names with quotes and ampersands or spelt like a step, nameless entries (which once made every
    // path query come back empty), and the last of many entries of a large report.
    void largeReport()
    {
        QString entries;
        for (int i = 0; i < 20000; ++i)
            entries += entry(QStringLiteral("e%1").arg(i), QStringLiteral("value %1").arg(i));
        ReportDocument doc;
        doc.parse(
            report(kProductLog, section("", entry("", "blank")) +
                                    section("it's &amp; more", entry("o'clock", "5") + entry("..", "up")) +
                                    section("bulk", entries)));
        QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/it's & more/o'clock")),
                 QStringList{QStringLiteral("5")});
        // An entry named like a step is the entry wherever the step is written.
        QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/it's & more/..")), QStringList{"up"});
        QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/bulk/e1/..")), QStringList());
        QCOMPARE(doc.query(QStringLiteral("/root/report/korvex_data/bulk/e19999")),
                 QStringList{QStringLiteral("value 19999")});
    }
    // What the Report Log shows of a device: the system section's IMEI, serial number and model,
    // an older product's IMEI when the system names none, and nothing from other sections (an
    // erased disk's serial or model is not the device's).
    void identity_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QStringList>("expected"); // device id, serial, model
        const QByteArray sample = TestSupport::sampleReport();
        QTest::newRow("sample") << sample
                                << QStringList{"356789104567892", "F2LXK0QJHG7F", "iPhone 12 128GB Blue"};
        QByteArray serialOnly = sample;
        serialOnly.replace("<entry name=\"imei\"", "<entry name=\"not_imei\"");
        QTest::newRow("serial only") << serialOnly
                                     << QStringList{"F2LXK0QJHG7F", "F2LXK0QJHG7F", "iPhone 12 128GB Blue"};
        const QByteArray legacy =
            "<root><report><korvex_data><korvex_legacy_report><entries name=\"legacy_values\">"
            "<entry name=\"imei\" type=\"string\">990000862471854</entry></entries></korvex_legacy_report>"
            "<korvex_hardware_report><entries name=\"disks\"><entries name=\"disk\">"
            "<entry name=\"serial\" type=\"string\">DISK-1</entry><entry name=\"model\">SSD</entry>"
            "</entries></entries></korvex_hardware_report></korvex_data></report></root>";
        QTest::newRow("older product, disk only") << legacy << QStringList{"990000862471854", "", ""};
        const auto system = [](const QByteArray& entries) {
            return "<entries name=\"system\">" + entries + "</entries>";
        };
        const auto hardware = [](const QByteArray& sections) {
            return "<korvex_hardware_report>" + sections + "</korvex_hardware_report>";
        };
        const QByteArray legacyAfter =
            "<korvex_legacy_report><entries name=\"legacy_values\"><entry name=\"imei\">L-1</entry>"
            "</entries></korvex_legacy_report></report></root>";
        QTest::newRow("the first system section that names the device")
            << "<root><report>" +
                   hardware(system("<entry name=\"x\">-</entry>") +
                            system("<entry name=\"serial\"> S-1 <!-- c --><b>inner</b></entry>") +
                            system("<entry name=\"model\">M-2</entry>")) +
                   legacyAfter
            << QStringList{"S-1", "S-1", ""};
        QTest::newRow("inside an entry, and an older IMEI before it")
            << "<root><report><korvex_legacy_report><entries name=\"legacy_values\"><entry "
               "name=\"imei\"></entry><entry name=\"imei\">L-2</entry></entries></korvex_legacy_report>" +
                   hardware("<entry name=\"korvex_hardware_report\">" + system("<entry name=\"imei\">hidden</entry>") +
                            "</entry>" + system("<entry name=\"model\">M-3</entry>")) +
                   "</report></root>"
            << QStringList{"L-2", "", "M-3"};
        QTest::newRow("not a report") << QByteArray("no xml <here") << QStringList{"", "", ""};
    }
    // Read from the text, and from a report's tree as a print does: the same device.
    void identity()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QStringList, expected);
        const ReportIdentity identity = ReportIdentity::scan(xml);
        QCOMPARE((QStringList{identity.deviceId(), identity.serial, identity.model}), expected);
        ReportDocument document;
        document.parse(xml);
        const ReportIdentity fromTree = document.identity();
        QCOMPARE((QStringList{fromTree.deviceId(), fromTree.serial, fromTree.model}), expected);
    }
};

QTEST_GUILESS_MAIN(TestReportDocument)
#include "tst_reportdocument.moc"
