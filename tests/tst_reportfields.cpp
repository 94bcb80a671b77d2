// The report field catalogue: the compiled-in resource's shape and counts, the reader's lookups, and
// the CSV line rules (quotes, doubled quotes, fields over several lines).

#include "mc/mcreportfieldreader.h"
#include "report/reportdocument.h"
#include "reportgenerator.h"
#include "testsupport.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kResource = QStringLiteral(":/resources/resources/report_columns.csv");
}

class TestReportFields : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    MCReportFieldReader m_reader;

    QString writeCsv(const QByteArray& content)
    {
        static QTemporaryDir dir;
        static int n = 0;
        const QString path = dir.path() + QString("/c%1.csv").arg(++n);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return path;
    }

private slots:
    void initTestCase()
    {
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(m_reader.importKeylist(kResource));
    }

    void resourceFormat()
    {
        QFile f(kResource);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("Category,Search path,Label,Description,Data type,Valid operators\r\n"));
        // Every line ends in CR LF; there is no bare LF.
        QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));
        QCOMPARE(bytes.count('\n'), 539);
        QVERIFY(bytes.endsWith("\r\n"));
    }

    void counts()
    {
        const QStringList paths = m_reader.getSearchPaths();
        QCOMPARE(paths.size(), 538);
        QCOMPARE(QSet<QString>(paths.begin(), paths.end()).size(), 538);
        QCOMPARE(m_reader.getLabels().size(), 538);
        QCOMPARE(m_reader.getLabels(MCReportFieldReader::kAllCategories), m_reader.getLabels(QString()));

        for (const QString& p : paths)
            QVERIFY2(m_reader.getDataTypes().contains(m_reader.getDataType(p)), qPrintable(p));
        QCOMPARE(m_reader.getDataTypes(), QStringList({"date", "uint", "string"}));

        const QStringList categories = m_reader.categories();
        QCOMPARE(categories.first(), QString(MCReportFieldReader::kAllCategories));
        QStringList sorted = categories.mid(1);
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(categories.mid(1), sorted);
    }

    void categoryTable_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("console") << "ZMC SPECIFIC REPORT VALUES" << 11 << "report.";
        QTest::newRow("description") << "DESCRIPTION" << 8 << "korvex_data.description.description_entries.";
        QTest::newRow("erasure") << "ERASURE REPORT - ERASURE INFORMATION" << 70
                                 << "korvex_data.korvex_erasure_report.erasures.erasure.";
        QTest::newRow("battery") << "HARDWARE REPORT - BATTERY INFORMATION" << 18
                                 << "korvex_data.korvex_hardware_report.batteries.battery.";
        QTest::newRow("disk") << "HARDWARE REPORT - DISK INFORMATION" << 47
                              << "korvex_data.korvex_hardware_report.disks.disk.";
        QTest::newRow("tests") << "HARDWARE REPORT - HARDWARE TESTS INFORMATION" << 48
                               << "korvex_data.korvex_hardware_report.";
        QTest::newRow("processor") << "HARDWARE REPORT - PROCESSOR INFORMATION" << 19
                                   << "korvex_data.korvex_hardware_report.processors.";
        QTest::newRow("system") << "HARDWARE REPORT - SYSTEM INFORMATION" << 9
                                << "korvex_data.korvex_hardware_report.system.";
        QTest::newRow("issue") << "ISSUE REPORT" << 1 << "korvex_data.korvex_issue_report.issues.";
        QTest::newRow("legacy") << "LEGACY VALUES" << 49 << "";
        QTest::newRow("custom") << "USER DATA - CUSTOM FIELDS" << 50 << "user_data.fields.";
        QTest::newRow("templates") << "USER DATA - CUSTOM FIELDS (REPORT TEMPLATES)" << 22 << "user_data.";
        QTest::newRow("info") << "USER DATA - INFO FIELDS" << 5 << "user_data.fields.info";
    }
    void categoryTable()
    {
        QFETCH(QString, category);
        QFETCH(int, rows);
        QFETCH(QString, prefix);
        const QStringList paths = m_reader.getSearchPaths(category);
        QCOMPARE(paths.size(), rows);
        QCOMPARE(m_reader.getLabels(category).size(), rows);
        for (const QString& p : paths)
            QVERIFY2(p.startsWith(prefix), qPrintable(p));
    }

    void productCategories()
    {
        int categories = 0;
        int rows = 0;
        for (const QString& c : m_reader.categories()) {
            if (c.contains('(') && !c.contains("REPORT TEMPLATES")) {
                ++categories;
                rows += m_reader.getSearchPaths(c).size();
            }
        }
        QCOMPARE(categories, 8);
        QCOMPARE(rows, 71);
    }

    void lookups()
    {
        QCOMPARE(m_reader.getSearchPath("Date"), QString("report.report_date"));
        QCOMPARE(m_reader.getSearchPath("No such label", "dflt"), QString("dflt"));
        QCOMPARE(m_reader.getFormattedSearchPath("Report ID"), QString("/root/report/report/id"));
        QCOMPARE(m_reader.getFormattedSearchPath("Info 1"), QString("/root/report/user_data/fields/info1"));
        QCOMPARE(m_reader.getDataType("report.was_exported"), QString("uint"));
        QCOMPARE(m_reader.getDataType("report.nothing", "none"), QString("none"));
        QCOMPARE(m_reader.getDescription("report.is_edited"),
                 QString("Report edited status (false=not edited,true=edited)"));
        QCOMPARE(m_reader.getDescription("report.nothing", "-"), QString("-"));
        QVERIFY(m_reader.getLabels("NO SUCH CATEGORY").isEmpty());
        QVERIFY(m_reader.getSearchPaths("NO SUCH CATEGORY").isEmpty());
    }

    void operatorsForUi_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("string") << "string" << QStringList({"==", "~"});
        QTest::newRow("uint") << "uint" << QStringList({"==", "!=", "<", ">"});
        QTest::newRow("date") << "date" << QStringList({"==", "!=", "<", ">"});
        QTest::newRow("binary") << "binary" << QStringList();
        QTest::newRow("unknown") << "float" << QStringList({"fallback"});
    }
    void operatorsForUi()
    {
        QFETCH(QString, type);
        QFETCH(QStringList, expected);
        QCOMPARE(m_reader.getValidOperationsForUI(type, {"fallback"}), expected);
    }

    void lineRules()
    {
        const QString path = writeCsv("Category,Search path,Label,Description,Data type,Valid operators\r\n"
                                      "A,a.one,One,\"Say \"\"hi\"\", then go\",string,\"eq, like\"\r\n"
                                      "A,a.two,Two,\"first line\r\nsecond, line\",uint,\"eq, neq\"\r\n"
                                      "short,row\r\n"
                                      "B,b.one,One,plain,date,\"eq, neq, lt, gt\"\r\n");
        MCReportFieldReader reader;
        QVERIFY(reader.importKeylist(path));
        QCOMPARE(reader.getDescription("a.one"), QString("Say \"hi\",then go"));
        QCOMPARE(reader.getDescription("a.two"), QString("first line\r\nsecond,line"));
        QCOMPARE(reader.getDataType("a.two"), QString("uint"));
        QCOMPARE(reader.getSearchPaths(), QStringList({"a.one", "a.two", "b.one"}));
        QCOMPARE(reader.getSearchPath("One"), QString("b.one")); // the later row wins
        QCOMPARE(reader.getDataTypes(), QStringList({"string", "uint", "date"}));
        QCOMPARE(reader.categories(), QStringList({MCReportFieldReader::kAllCategories, "A", "B"}));
    }

    // Every field a job filter or a label tag can name is found in reports of the stand-in console.
    void everyPathResolvesInGeneratedReports()
    {
        ReportGenerator generator(7);
        QVector<ReportDocument> documents;
        for (int i = 0; i < 80; ++i) {
            ReportDocument document;
            document.parse("<root>" + generator.next(QDateTime::currentDateTime()).xml + "</root>");
            documents.append(document);
        }
        QStringList missing;
        int resolved = 0;
        for (const QString& path : m_reader.getSearchPaths()) {
            if (path.startsWith("report.")) // the console's own columns, not report content
                continue;
            const QString xmlPath = QString("/root/report/" + path).replace('.', '/');
            bool found = false;
            for (const ReportDocument& document : qAsConst(documents)) {
                const QStringList values = document.query(xmlPath);
                if (!values.isEmpty() && !values.first().isEmpty()) {
                    found = true;
                    break;
                }
            }
            if (found)
                ++resolved;
            else
                missing.append(path);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
        QCOMPARE(resolved, 538 - 11);
        // The layout editor's form of a path finds the same value.
        const QString model = m_reader.getFormattedSearchPath("Hardware test summary");
        QVERIFY(!documents.first().query(model).isEmpty() || !documents.at(1).query(model).isEmpty());
    }

    void missingFile()
    {
        MCReportFieldReader reader;
        QVERIFY(!reader.importKeylist("/nonexistent/report_columns.csv"));
        QCOMPARE(reader.categories(), QStringList({MCReportFieldReader::kAllCategories}));
        QCOMPARE(reader.getSearchPath("Date", "d"), QString("d"));
        QVERIFY(reader.getLabels().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestReportFields)
#include "tst_reportfields.moc"
