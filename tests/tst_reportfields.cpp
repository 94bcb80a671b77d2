// The report field catalogue: the compiled-in resource, the reader's lookups, and the CSV line
// rules (quotes, doubled quotes, fields over several lines).

#include "mc/mcreportfieldreader.h"
#include "report/reportdocument.h"
#include "samplereports.h"
#include "testsupport.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {
const QString kResource = QStringLiteral(":/resources/resources/report_columns.csv");
}

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
    // A filter offers the comparisons the console makes for its field: "not equal" where a text
    // field allows it, no pattern where it does not; numbers keep all four; a field the catalogue
    // does not know gets its data type's.
    void operatorsFollowTheField_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("text with like") << "user_data.fields.info1"
                                        << "string" << QStringList{"==", "~"};
        QTest::newRow("text with neq") << "korvex_data.korvex_legacy_report.legacy_values.rooted"
                                       << "string" << QStringList{"==", "!="};
        QTest::newRow("number") << "report.id"
                                << "uint" << QStringList{"==", "!=", "<", ">"};
        QTest::newRow("unknown field") << "user_data.not.listed"
                                       << "string" << QStringList{"==", "~"};
    }
    void operatorsFollowTheField()
    {
        QFETCH(QString, path);
        QFETCH(QString, type);
        QFETCH(QStringList, offered);
        QCOMPARE(m_reader.operatorsFor(path, type), offered);
        for (const QString& op : offered)
            QVERIFY2(m_reader.operatorHelp(op).startsWith(op + " ("), qPrintable(op));
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
};

QTEST_GUILESS_MAIN(TestReportFields)
#include "tst_reportfields.moc"
