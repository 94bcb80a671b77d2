// The report field catalogue: the compiled-in resource, the reader's lookups, and the CSV line
// rules (quotes, doubled quotes, fields over several lines); and the catalogue's paths, and every
// other path form, answered alike by the report tree and by the XML query engine.

#include "mc/mcreportfieldreader.h"
#include "report/reportdocument.h"
#include "reportgenerator.h"
#include "samplereports.h"
#include "testsupport.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {
const QString kResource = QStringLiteral(":/resources/resources/report_columns.csv");

// Every path of a report's elements: by element names, and by section and entry names below
// korvex_data and user_data as labels write them; each also with its attributes and as a "//" path.
void addReportPaths(const QDomElement& element, const QString& byElement, const QString& byName,
                    QSet<QString>* paths)
{
    const QString name = element.attribute(QStringLiteral("name"));
    const bool named =
        (element.tagName() == QLatin1String("entries") || element.tagName() == QLatin1String("entry")) &&
        !name.isEmpty() && !name.contains(QLatin1Char('/'));
    const QString elementPath = byElement + QLatin1Char('/') + element.tagName();
    const QString namePath = byName + QLatin1Char('/') + (named ? name : element.tagName());
    for (const QString& path : {elementPath, namePath}) {
        paths->insert(path);
        paths->insert(path + QStringLiteral("/@name"));
        paths->insert(path + QStringLiteral("/@*"));
        paths->insert(path + QStringLiteral("/text()"));
    }
    paths->insert(QStringLiteral("//") + (named ? name : element.tagName()));
    for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
        addReportPaths(child, elementPath, namePath, paths);
}

// Path forms beyond plain names: roots, "//" steps, axis steps, attributes, refused and malformed
// paths, missing names and odd characters.
const char* const kPathForms[] = {"",
                                  "/",
                                  "//",
                                  "///",
                                  "/root",
                                  "root",
                                  "root/report",
                                  "/root/",
                                  "/root//",
                                  "/root/report/.",
                                  "/root/report/..",
                                  "/root/..",
                                  "/..",
                                  "/.",
                                  "//.",
                                  "//..",
                                  "/*",
                                  "/*/*",
                                  "//*",
                                  "//*/..",
                                  "//@*",
                                  "//@name",
                                  "@id",
                                  "/@id",
                                  "//product_name/@id",
                                  "//product_name/@*",
                                  "//product_name/@id/..",
                                  "//product_name/@id/.",
                                  "//product_name/@id/text()",
                                  "//product_name/@id//.",
                                  "//text()",
                                  "//document_id/text()",
                                  "//entries",
                                  "//entry",
                                  "//system",
                                  "//system/serial",
                                  "//erasure//capacity",
                                  "/root//serial",
                                  "//serial",
                                  "/root/report/korvex_data/korvex_hardware_report/entries/entry",
                                  "/root/report/korvex_data/korvex_hardware_report/system/entry/@name",
                                  "/root/report/user_data/fields/*",
                                  "/root/report/user_data/fields/Comments",
                                  "/root/report/[1]",
                                  "/root/report[1]",
                                  "/root/x|doc('/etc/hostname')",
                                  "/root/report/'",
                                  "/root/report/korvex_data/nothing/here",
                                  "/x",
                                  "/root/report/xml:lang",
                                  "/root/@xml:lang",
                                  "//@xml:lang",
                                  "/root/xs:report",
                                  "/root/foo:report",
                                  "/root/report/@.",
                                  "/root/report/node()",
                                  "/root/report/ korvex_data",
                                  "/root/report/korvex_data/",
                                  "/root/report/korvex_data//",
                                  "/root/report/korvex_data///entry",
                                  "//entries/@name",
                                  "//entries[@name='system']",
                                  "/ROOT",
                                  "/root/report/korvex_data/korvex_hardware_report/system/SERIAL",
                                  "/root/report/korvex_data/korvex_hardware_report/system/serial/..//@name",
                                  "/root/report/korvex_data/*/system/imei",
                                  "/root/report/*/*/*/imei",
                                  "/root/report/korvex_data/korvex_hardware_report/text()",
                                  "/root/report/korvex_data/description/document_id/",
                                  "/root/report/korvex_data/description/document_id//",
                                  "/root/report/korvex_data/description/document_id/.",
                                  "/root/report/korvex_data/description/document_id/@x",
                                  "//-",
                                  "/root/report/a-b",
                                  "/root/report/1abc",
                                  "/root/report/a.b",
                                  "/root/report/\u00e9",
                                  "/root/report/korvex_data/bulk/e3",
                                  "//bulk",
                                  "//e3",
                                  "/root/report/korvex_data/it's & more/o'clock",
                                  "//o'clock",
                                  "//text()/..",
                                  "//comment()",
                                  "/root/report/text",
                                  "/root/report/korvex_data/report",
                                  "/root/report/korvex_data/report/report",
                                  "/root/report/korvex_data/reported/reported",
                                  "/root/report/korvex_data/x/text()",
                                  "//x/..",
                                  "//y/text()",
                                  "/root/report/korvex_data/bulk/",
                                  "/root/report/korvex_data/x//.",
                                  "//entry/../@name",
                                  "//y/@*",
                                  "//text()/..",
                                  "//report",
                                  "/root/report/*/report",
                                  "//..",
                                  "/root/report/korvex_data/../korvex_data/./description",
                                  "/root/./report/../report/korvex_data",
                                  "/root/report/korvex_data/Battery health",
                                  "/root/report/korvex_data/Battery health/@name",
                                  "/root/report/korvex_data/\u00fcnicode/\u00e4",
                                  "//\u00e4",
                                  "/root/report/korvex_data/quoted/\"q\"",
                                  "//a\"b",
                                  "/root/report/korvex_data/text()/x",
                                  "//x",
                                  "//y",
                                  "//y/@z",
                                  "//y/@xml:lang",
                                  "//p"};

// A report with the odd things a console or a hand-made report may hold: comments, instructions,
// CDATA, references, whitespace, namespaces, sections named like elements or steps, nameless entries.
const char* const kOddReport = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<!-- exported -->
<root xml:lang="en"><?station line="2"?>
  <report>
    <korvex_data>
      <description><document_id>odd-1</document_id><document_log><log_entry>
        <product_name id="23">Korvex Mobile Eraser</product_name><date>2026-12-01T09:14:05Z</date>
      </log_entry></document_log></description>
      <entries name="report"><entry name="report">section and entry named like an element</entry></entries>
      <entries name="it's &amp; more"><entry name="o'clock">5</entry><entry name="o'clock">6</entry></entries>
      <entries name="Battery health"><entry name="text()">92 %</entry><entry name="..">up</entry></entries>
      <entries name="&#252;nicode"><entry name="&#228;">umlaut</entry></entries>
      <entries name="quoted"><entry name='"q"'>quote</entry><entry name="a&quot;b">ab</entry></entries>
      <entries name=""><entry name="">nameless</entry><entry>no name</entry><entry name="x">in nameless</entry></entries>
      <entries name="a/b"><entry name="c">slash</entry></entries>
      <entries name="bulk"><entry name="e1">one</entry><entry name="e2"/><entry name="e3">  three  </entry></entries>
      <x>a<![CDATA[<b>]]>c&amp;d&#65;<!-- between -->e<?p data?>f</x>
      <y z="1" xml:lang="de"><y z="2">nested <x>inner</x> tail</y></y>
      <text>element named text</text>
    </korvex_data>
    <user_data><entries name="fields"><entry name="info1">PO-1</entry><entry name="Comments">c</entry></entries></user_data>
  </report>
</root>
<!-- after -->
)xml";

struct Sample
{
    QString name;
    QString xml;
    QStringList paths; // the report's own paths (from the fuzz corpus)
};

// The stand-in's reports of every kind (phones, computers, issue reports, all with custom fields),
// some with nameless sections and entries added, the sample report, the fuzz corpus and the odd report.
QVector<Sample> samples()
{
    QVector<Sample> result;
    ReportGenerator generator(20261208);
    QDateTime date(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC);
    int computers = 0;
    int issues = 0;
    int phones = 0;
    for (int i = 0; computers < 4 || issues < 4 || phones < 8; ++i) {
        const ReportGenerator::Report report = generator.next(date.addSecs(i * 3600));
        const bool computer = report.xml.contains(QLatin1String("Korvex Drive Eraser"));
        int& count = report.issue ? issues : (computer ? computers : phones);
        if (count >= (report.issue || computer ? 4 : 8))
            continue;
        ++count;
        QString xml = QStringLiteral("<root>") + report.xml + QStringLiteral("</root>");
        const QString kind = report.issue ? QStringLiteral("issue")
                             : computer   ? QStringLiteral("computer")
                                          : QStringLiteral("phone");
        result.append({QStringLiteral("%1 %2").arg(kind).arg(count), xml, {}});
        if (count <= 2) {
            xml.replace(
                QLatin1String("<entries name=\"fields\">"),
                QLatin1String("<entries name=\"fields\"><entry name=\"\">blank</entry><entry>none</entry>"));
            xml.replace(QLatin1String("</korvex_data>"),
                        QLatin1String(
                            "<entries name=\"\"><entry name=\"\">nameless</entry></entries></korvex_data>"));
            result.append({QStringLiteral("%1 %2 with nameless entries").arg(kind).arg(count), xml, {}});
        }
    }
    result.append({QStringLiteral("sample"), QString::fromUtf8(TestSupport::sampleReport()), {}});
    result.append({QStringLiteral("sample issue variant"),
                   QString::fromUtf8(TestSupport::sampleReportVariant(QStringLiteral("Samsung"), 7, true)),
                   {}});
    const QDir corpus(QStringLiteral(LABELPRINTER_SOURCE_DIR "/fuzz/corpus/reportdocument"));
    for (const QString& file : corpus.entryList(QDir::Files, QDir::Name)) {
        QFile input(corpus.filePath(file));
        if (!input.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = input.readAll();
        const int split = bytes.indexOf('\0');
        Sample sample{
            QStringLiteral("corpus ") + file, QString::fromUtf8(split < 0 ? bytes : bytes.left(split)), {}};
        if (split >= 0)
            sample.paths = QString::fromUtf8(bytes.mid(split + 1)).split(QLatin1Char('\n'));
        result.append(sample);
    }
    // A section or entry named like an element stands for it in every path: here for "report".
    const QString odd = QString::fromUtf8(kOddReport);
    result.append({QStringLiteral("odd report, sections named like elements"), odd, {}});
    result.append({QStringLiteral("odd report"),
                   QString(odd).replace(QLatin1String("name=\"report\""), QLatin1String("name=\"reported\"")),
                   {}});
    return result;
}

} // namespace

class TestReportFields : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    MCReportFieldReader m_reader;

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(m_reader.importKeylist(kResource));
    }
    void resourceShape()
    {
        const QStringList paths = m_reader.getSearchPaths();
        QCOMPARE(paths.size(), 538);
        QCOMPARE(QSet<QString>(paths.begin(), paths.end()).size(), 538);
        QCOMPARE(m_reader.getLabels(MCReportFieldReader::kAllCategories), m_reader.getLabels(QString()));
        // The filter editor offers operators for every data type of the catalogue.
        QCOMPARE(m_reader.getDataTypes(), QStringList({"date", "uint", "string"}));
        for (const QString& type : m_reader.getDataTypes())
            QVERIFY2(!m_reader.getValidOperationsForUI(type).isEmpty(), qPrintable(type));

        const QStringList categories = m_reader.categories();
        QCOMPARE(categories.first(), QString(MCReportFieldReader::kAllCategories));
        QStringList sorted = categories.mid(1);
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(categories.mid(1), sorted);
        // The layout editor's form of a path finds the value in a report.
        ReportDocument doc;
        doc.parse(QString::fromUtf8(TestSupport::sampleReport()));
        QCOMPARE(doc.query(m_reader.getFormattedSearchPath("Info 2")),
                 QStringList{QStringLiteral("Customer: Northwind Refurb")});
    }
    // Each category's paths lie in its own part of a report.
    void categoryPrefixes_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("prefix");
        const char* const rows[][2] = {
            {"ZMC SPECIFIC REPORT VALUES", "report."},
            {"DESCRIPTION", "korvex_data.description.description_entries."},
            {"ERASURE REPORT - ERASURE INFORMATION", "korvex_data.korvex_erasure_report.erasures.erasure."},
            {"HARDWARE REPORT - BATTERY INFORMATION",
             "korvex_data.korvex_hardware_report.batteries.battery."},
            {"HARDWARE REPORT - SYSTEM INFORMATION", "korvex_data.korvex_hardware_report.system."},
            {"USER DATA - CUSTOM FIELDS", "user_data.fields."},
            {"USER DATA - INFO FIELDS", "user_data.fields.info"},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[0]) << QString(row[1]);
    }
    void categoryPrefixes()
    {
        QFETCH(QString, category);
        QFETCH(QString, prefix);
        const QStringList paths = m_reader.getSearchPaths(category);
        QVERIFY(!paths.isEmpty());
        QCOMPARE(m_reader.getLabels(category).size(), paths.size());
        for (const QString& p : paths)
            QVERIFY2(p.startsWith(prefix), qPrintable(p));
    }
    // A missing file leaves only the catch-all category; a file read by the CSV line rules.
    void lineRules()
    {
        MCReportFieldReader reader;
        QVERIFY(!reader.importKeylist("/nonexistent/report_columns.csv"));
        QCOMPARE(reader.categories(), QStringList({MCReportFieldReader::kAllCategories}));
        QCOMPARE(reader.getSearchPath("Date", "d"), QString("d"));

        QTemporaryDir dir;
        const QString path = dir.filePath("columns.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Category,Search path,Label,Description,Data type,Valid operators\r\n"
                   "A,a.one,One,\"Say \"\"hi\"\", then go\",string,\"eq, like\"\r\n"
                   "A,a.two,Two,\"first line\r\nsecond, line\",uint,\"eq, neq\"\r\n"
                   "short,row\r\n"
                   "B,b.one,One,plain,date,\"eq, neq, lt, gt\"\r\n");
        file.close();
        QVERIFY(reader.importKeylist(path));
        QCOMPARE(reader.getDescription("a.one"), QString("Say \"hi\",then go"));
        QCOMPARE(reader.getDescription("a.two"), QString("first line\r\nsecond,line"));
        QCOMPARE(reader.getDataType("a.two"), QString("uint"));
        QCOMPARE(reader.getSearchPaths(), QStringList({"a.one", "a.two", "b.one"}));
        QCOMPARE(reader.getSearchPath("One"), QString("b.one")); // the later row wins
        QCOMPARE(reader.getDataTypes(), QStringList({"string", "uint", "date"}));
        QCOMPARE(reader.categories(), QStringList({MCReportFieldReader::kAllCategories, "A", "B"}));
    }
    // The report tree gives what the XML query engine gives, for the catalogue's paths, the path forms
    // and each report's own paths, on every kind of report.
    void treeAgreesWithQueryEngine()
    {
        QStringList common;
        for (const QString& path : m_reader.getSearchPaths())
            common.append(QStringLiteral("/root/report/") +
                          QString(path).replace(QLatin1Char('.'), QLatin1Char('/')));
        const int catalogue = common.size();
        for (const char* form : kPathForms)
            common.append(QString::fromUtf8(form));
        int queries = 0;
        int withValues = 0;
        int reports = 0;
        QStringList differences;
        for (const Sample& sample : samples()) {
            ReportDocument doc;
            doc.parse(sample.xml);
            QSet<QString> own;
            QDomDocument dom;
            if (dom.setContent(sample.xml))
                addReportPaths(dom.documentElement(), QString(), QString(), &own);
            for (const QString& path : sample.paths)
                own.insert(path);
            QStringList paths = common + QStringList(own.begin(), own.end());
            for (const QString& path : paths) {
                const QStringList tree = doc.query(path);
                const QStringList engine = doc.legacyQuery(path);
                ++queries;
                withValues += engine.isEmpty() ? 0 : 1;
                if (tree != engine && differences.size() < 30)
                    differences.append(QStringLiteral("%1: %2\n  tree:   %3\n  engine: %4")
                                           .arg(sample.name, path, tree.join(QLatin1Char('|')),
                                                engine.join(QLatin1Char('|'))));
            }
            ++reports;
        }
        qInfo("%d reports, %d catalogue paths and %d path forms each plus their own paths: %d queries, "
              "%d with values",
              reports, catalogue, common.size() - catalogue, queries, withValues);
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
        QVERIFY(withValues > queries / 4);
    }
};

QTEST_GUILESS_MAIN(TestReportFields)
#include "tst_reportfields.moc"
