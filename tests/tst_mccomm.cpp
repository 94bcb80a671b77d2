// Management Console requests against a scripted loopback server: time requests, the status rule,
// the search lines and the envelopes on the wire, the splitting of export replies.

#include "localhttpserver.h"
#include "mc/mccomm.h"
#include "mc/mcrequest.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

namespace {

using Server = TestSupport::LocalHttpServer;

// The one multipart part of a request: its name and content.
QPair<QByteArray, QByteArray> onlyPart(const httplib::Request& req)
{
    if (req.files.size() != 1)
        return {};
    return {QByteArray::fromStdString(req.files.begin()->first),
            QByteArray::fromStdString(req.files.begin()->second.content)};
}

// A route that answers `status` with `body` (read when the request comes).
void route(Server& server, bool post, const char* path, const int& status, const QByteArray& body)
{
    const auto handler = [&status, &body](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body.toStdString(), "text/plain");
    };
    if (post)
        server.server().Post(path, handler);
    else
        server.server().Get(path, handler);
}

std::unique_ptr<MCComm> client(const QString& baseUrl)
{
    return std::make_unique<MCComm>(nullptr, baseUrl, QStringLiteral("demo"), QStringLiteral("demo"), true);
}

} // namespace

class TestMCComm : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_appData;

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
        qunsetenv("http_proxy");
        qunsetenv("no_proxy");
    }

    void init()
    {
        m_appData = std::make_unique<QTemporaryDir>();
        qputenv("APPDATA", QFile::encodeName(m_appData->path()));
    }

    // The time requests of the connection check: either answer with a number is enough. (The
    // signals MCComm emits on the way have no receiver in the program.)
    void getTime_data()
    {
        QTest::addColumn<int>("mcStatus");
        QTest::addColumn<QByteArray>("mcBody");
        QTest::addColumn<int>("legacyStatus");
        QTest::addColumn<QByteArray>("legacyBody");
        QTest::addColumn<QString>("baseSuffix");
        QTest::addColumn<bool>("expected");
        const auto row = [](const char* name, int mcStatus, const char* mcBody, int legacyStatus,
                            const char* legacyBody, bool expected, const char* suffix = "") {
            QTest::newRow(name) << mcStatus << QByteArray(mcBody) << legacyStatus << QByteArray(legacyBody)
                                << QString(suffix) << expected;
        };
        row("trailing slash", 200, "1550000100", 200, "1550000000", true, "/");
        row("404 then legacy 200", 404, "not here", 200, "1550000000", true);
        row("200 but not numbers", 200, "<html>busy</html>", 200, "soon", false);
    }

    void getTime()
    {
        QFETCH(int, mcStatus);
        QFETCH(QByteArray, mcBody);
        QFETCH(int, legacyStatus);
        QFETCH(QByteArray, legacyBody);
        QFETCH(QString, baseSuffix);
        QFETCH(bool, expected);
        Server mc;
        route(mc, false, "/mc/time", mcStatus, mcBody);
        route(mc, false, "/bls/bls.asp", legacyStatus, legacyBody);
        QVERIFY(mc.start());
        QCOMPARE(client(mc.baseUrl() + baseSuffix)->checkConnection(), expected);

        // Both requests, in order, each with the content type. The credentials: tst_poller's
        // connectionCheck, against a stand-in that refuses requests without them.
        QStringList targets;
        for (const httplib::Request& req : mc.requests()) {
            targets << QString::fromStdString(req.target);
            QCOMPARE(QByteArray::fromStdString(req.get_header_value("Content-Type")), QByteArray("text/xml"));
        }
        QCOMPARE(targets, (QStringList{"/mc/time", "/bls/bls.asp?cmd=time"}));
    }

    // Only 200 is success; a failed status still hands its body back. libcurl treats a lone interim
    // answer (100) as a broken transfer: no body. Then the connection check's search on the wire (a
    // failed search: tst_poller's connectionCheck).
    void statusRuleAndSearch()
    {
        Server mc;
        const QByteArray body("fine");
        int status = 0;
        route(mc, false, "/probe", status, body);
        route(mc, true, "/rest-service/report/export/csv", status, body);
        QVERIFY(mc.start());
        const struct
        {
            int status;
            bool ok;
            const char* reply;
        } cases[] = {{200, true, "fine"}, {204, false, ""}, {500, false, "fine"}, {100, false, ""}};
        for (const auto& c : cases) {
            status = c.status;
            bool result = !c.ok;
            QCOMPARE(client(mc.baseUrl())->sendGet(mc.baseUrl() + "/probe", &result, "text/xml", 10),
                     QString(c.reply));
            QCOMPARE(result, c.ok);
        }

        const QStringList lines{McRequest::idSearch(
            true, 1, McRequest::reportDateLine(QDateTime(QDate(2019, 3, 1), QTime(10, 0, 0))))};
        status = 200;
        QString reply;
        QVERIFY(client(mc.baseUrl() + "/")->searchReports(lines, "csv", &reply));
        QCOMPARE(reply, QString::fromUtf8(body));
        // The search asks for the ids only, as CSV, of the reports after the date.
        const httplib::Request search = mc.requests().back();
        QCOMPARE(QByteArray::fromStdString(search.target), QByteArray("/rest-service/report/export/csv"));
        const auto part = onlyPart(search);
        QCOMPARE(part.first, QByteArray("xmlRequest"));
        for (const char* piece :
             {"<search path=\"report.report_date\" value=\"2019-03-01 10:00:00\" operator=\"gt\" "
              "datatype=\"date\" conjunction=\"true\"/>",
              "<columnPath>report.id</columnPath>", "<csv-options csvLanguage=\"en_US\" delimiter=\";\""})
            QVERIFY2(part.second.contains(piece), part.second.constData());
    }

    // The console parses these lines strictly: every byte of them is pinned.
    void filterLines()
    {
        const QString line =
            QStringLiteral("<search path=\"%1\" value=\"%2\" operator=\"%3\" datatype=\"string\" "
                           "conjunction=\"true\" />\n");
        const char* operators[][2] = {{"==", "eq"},  {"<", "lt"},   {">", "gt"},
                                      {"!=", "neq"}, {"~", "like"}, {"=~", "eq"}};
        for (const auto& o : operators)
            QCOMPARE(McRequest::filterLine("user_data.fields.info1", "PO-%", o[0]),
                     line.arg("user_data.fields.info1", "PO-%", o[1]));
        QCOMPARE(McRequest::filterLine("", "x", "=="), QString());
        // Quotes and markup from the user cannot leave the attribute.
        QCOMPARE(McRequest::filterLine("a\"b", "<x> & \"y\"", "!="),
                 line.arg("a&quot;b", "&lt;x&gt; &amp; &quot;y&quot;", "neq"));
    }

    void exportReports_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("reports");
        const auto row = [](const char* name, const QByteArray& body, bool ok, const QStringList& reports) {
            QTest::newRow(name) << body << ok << reports;
        };
        row("two reports",
            "<?xml version=\"1.0\"?><root><report id=\"1\"><a>x</a></report>"
            "<report id=\"2\"><a>\xc3\xa9</a></report></root>",
            true,
            {"<root><report id=\"1\"><a>x</a></report></root>",
             QStringLiteral("<root><report id=\"2\"><a>\u00e9</a></report></root>")});
        row("none", "<root></root>", true, {});
        row("text before the first report", "<root>\n  <!-- export -->\n  <report>1</report>\n</root>", true,
            {"<root><report>1</report></root>"});
        row("end tag text in a CDATA section", "<root><report><n><![CDATA[a</report>b]]></n></report></root>",
            true, {"<root><report><n><![CDATA[a</report>b]]></n></report></root>"});
        row("undeclared prefix", "<root><report><x:a>1</x:a></report></root>", true,
            {"<root><report><x:a>1</x:a></report></root>"});
        row("markup that looks like an end tag",
            "\xef\xbb\xbf<!DOCTYPE root [<!ENTITY e '>'>]><root><report a=\"x></report>\" b='\"'>"
            "<!-- </report> --><?p </report>?><c/></report><report id=\"3\"/></root>\n",
            true,
            {"<root><report a=\"x></report>\" b='\"'><!-- </report> --><?p </report>?><c/></report></root>",
             "<root><report id=\"3\"/></root>"});
        row("end tag of another element", "<root><report><a></b></report></root>", false, {});
        row("a second root", "<root></root><root></root>", false, {});
        row("text after the root", "<root><report>1</report></root>x", false, {});
        row("comment never closed", "<root><report><!-- 1</report></root>", false, {});
        row("cut short after a report", "<root><report>1</report>", false, {});
        row("empty body", "", false, {});
        row("no root", "<report>1</report>", false, {});
    }

    // A job's page request with one filter, on the wire; the reply split into whole reports. Garbage,
    // an export cut in a report and a failed status are driven through the poller (tst_poller,
    // tst_edges).
    void exportReports()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, ok);
        QFETCH(QStringList, reports);
        Server mc;
        const int status = 200;
        route(mc, true, "/rest-service/report/export/xml", status, body);
        QVERIFY(mc.start());

        const QStringList lines{McRequest::onlyExportedLine(), McRequest::idLine("gt", 100),
                                McRequest::idLine("lte", 105),
                                McRequest::filterLine("user_data.fields.owner", "J\u00fcrgen", "==")};
        QByteArrayList result{"stale"};
        QCOMPARE(client(mc.baseUrl())->exportReports(lines, &result), ok);
        QStringList texts;
        for (const QByteArray& report : qAsConst(result))
            texts << QString::fromUtf8(report);
        QCOMPARE(texts, reports);

        const QByteArray expected =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n  <request>\n      <export-report>\n"
            "          <report mode=\"original\"/>\n<search path=\"report.was_exported\" value=\"1\" "
            "operator=\"eq\" datatype=\"uint\" conjunction=\"true\" />\n<search path=\"report.id\" "
            "value=\"100\" operator=\"gt\" datatype=\"uint\" conjunction=\"true\" />\n<search "
            "path=\"report.id\" value=\"105\" operator=\"lte\" datatype=\"uint\" conjunction=\"true\" />\n"
            "<search path=\"user_data.fields.owner\" value=\"J\xc3\xbcrgen\" operator=\"eq\" "
            "datatype=\"string\" conjunction=\"true\" />\n\n       </export-report>\n  </request>\n";
        const std::vector<httplib::Request> requests = mc.requests();
        QCOMPARE(int(requests.size()), 1);
        QCOMPARE(onlyPart(requests[0]), qMakePair(QByteArray("xmlRequest"), expected));
    }
};

QTEST_GUILESS_MAIN(TestMCComm)
#include "tst_mccomm.moc"
