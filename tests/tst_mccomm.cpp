// Management Console requests against a scripted loopback server: time requests, the status rule,
// the search lines and the envelopes on the wire, the splitting of export replies, the time provider.

#include "localhttpserver.h"
#include "logcapture.h"
#include "logging/logger.h"
#include "mc/mccomm.h"
#include "mc/mcrequest.h"
#include "mc/timeprovider.h"
#include "settings/systempaths.h"
#include "standinprocess.h"
#include "testsupport.h"

#include <QDir>
#include <QMutex>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <curl/curl.h>

#include <memory>
#include <thread>

namespace {

QStringList targets(TestSupport::LocalHttpServer& server)
{
    QStringList list;
    for (const httplib::Request& req : server.requests())
        list << QString::fromStdString(req.target);
    return list;
}

// The one multipart part of a request: its name and content.
QPair<QByteArray, QByteArray> onlyPart(const httplib::Request& req)
{
    if (req.files.size() != 1)
        return {};
    return {QByteArray::fromStdString(req.files.begin()->first),
            QByteArray::fromStdString(req.files.begin()->second.content)};
}

void answerWith(httplib::Response& res, int status, const std::string& body)
{
    res.status = status;
    res.set_content(body, "text/plain");
}

const QByteArray kBasicDemo = "Basic " + QByteArray("demo:demo").toBase64();

} // namespace

class TestMCComm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void timezoneOffset_data();
    void timezoneOffset();
    void currentTimeUsesConfiguredZone();

    void getTime_data();
    void getTime();
    void getTimeWithoutListener();
    void statusRule_data();
    void statusRule();

    void searchLines_data();
    void searchLines();
    void searchReports_data();
    void searchReports();
    void exportReports_data();
    void exportReports();

    // Against the stand-in console.
    void standInTime();
    void standInWrongCredentials();
    void standInHttps_data();
    void standInHttps();
    void standInDroppedExport();

private:
    QStringList logLines() const { return m_log->lines(); }

    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_appData;
    std::unique_ptr<TestSupport::LogCapture> m_log;
};

void TestMCComm::initTestCase()
{
    m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
    QVERIFY(m_root->isValid());
    {
        // Before the time provider exists: it reads the zone once.
        QSettings global(SystemPaths::instance().globalSettingsFile, QSettings::IniFormat);
        global.setValue(QStringLiteral("timezone"), QStringLiteral("+02:00"));
    }
    m_log = std::make_unique<TestSupport::LogCapture>();
    qunsetenv("http_proxy");
    qunsetenv("no_proxy");
}

void TestMCComm::init()
{
    m_appData = std::make_unique<QTemporaryDir>();
    qputenv("APPDATA", QFile::encodeName(m_appData->path()));
    m_log->clear();
}

void TestMCComm::timezoneOffset_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("+02:00") << QStringLiteral("+02:00") << qint64(7200);
    QTest::newRow("-05:30") << QStringLiteral("-05:30") << qint64(-19800);
    QTest::newRow("+00:45") << QStringLiteral("+00:45") << qint64(2700);
    QTest::newRow("no colon") << QStringLiteral("0200") << qint64(0);
    QTest::newRow("colon first") << QStringLiteral(":30") << qint64(0);
    QTest::newRow("missing") << QString() << qint64(0);
    QTest::newRow("minutes not a number") << QStringLiteral("+3:xx") << qint64(10800);
}

void TestMCComm::timezoneOffset()
{
    QFETCH(QString, text);
    QFETCH(qint64, seconds);
    QCOMPARE(TimeProvider::offsetFromText(text), seconds);
}

void TestMCComm::currentTimeUsesConfiguredZone()
{
    QCOMPARE(TimeProvider::instance()->timezoneOffset(), qint64(7200));
    const qint64 behind =
        TimeProvider::instance()->currentTime().secsTo(QDateTime::currentDateTimeUtc().addSecs(-7200));
    QVERIFY2(qAbs(behind) <= 2, qPrintable(QString::number(behind)));
}

void TestMCComm::getTime_data()
{
    QTest::addColumn<int>("mcStatus");
    QTest::addColumn<QByteArray>("mcBody");
    QTest::addColumn<int>("legacyStatus");
    QTest::addColumn<QByteArray>("legacyBody");
    QTest::addColumn<QString>("baseSuffix");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<bool>("mcTimeSignal");

    // "NOW+100" is the time provider's clock plus 100 seconds.
    QTest::newRow("both answer") << 200 << QByteArray("NOW+100") << 200 << QByteArray("1550000000")
                                 << QString() << true << true;
    QTest::newRow("trailing slash") << 200 << QByteArray("NOW+100") << 200 << QByteArray("1550000000")
                                    << QStringLiteral("/") << true << true;
    QTest::newRow("404 then legacy 200")
        << 404 << QByteArray("not here") << 200 << QByteArray("1550000000") << QString() << true << false;
    QTest::newRow("mc only") << 200 << QByteArray("NOW+100") << 500 << QByteArray("1550000000") << QString()
                             << true << true;
    QTest::newRow("200 but not numbers")
        << 200 << QByteArray("<html>busy</html>") << 200 << QByteArray("soon") << QString() << false << false;
    QTest::newRow("2xx other than 200")
        << 201 << QByteArray("NOW+100") << 204 << QByteArray() << QString() << false << false;
}

void TestMCComm::getTime()
{
    QFETCH(int, mcStatus);
    QFETCH(QByteArray, mcBody);
    QFETCH(int, legacyStatus);
    QFETCH(QByteArray, legacyBody);
    QFETCH(QString, baseSuffix);
    QFETCH(bool, expected);
    QFETCH(bool, mcTimeSignal);

    const qint64 now = TimeProvider::instance()->currentTime().toMSecsSinceEpoch() / 1000;
    mcBody.replace("NOW+100", QByteArray::number(now + 100));
    TestSupport::LocalHttpServer mc;
    mc.server().Get("/mc/time", [&](const httplib::Request&, httplib::Response& res) {
        answerWith(res, mcStatus, mcBody.toStdString());
    });
    mc.server().Get("/bls/bls.asp", [&](const httplib::Request&, httplib::Response& res) {
        answerWith(res, legacyStatus, legacyBody.toStdString());
    });
    QVERIFY(mc.start());

    MCComm comm(nullptr, mc.baseUrl() + baseSuffix, QStringLiteral("demo"), QStringLiteral("demo"), true);
    QSignalSpy timeSpy(&comm, &MCComm::newMCTime);
    QSignalSpy errorSpy(&comm, &MCComm::networkError);
    QCOMPARE(comm.checkConnection(), expected);

    // Both requests, in order, each with the content type and the credentials.
    QCOMPARE(targets(mc), (QStringList{QStringLiteral("/mc/time"), QStringLiteral("/bls/bls.asp?cmd=time")}));
    for (const httplib::Request& req : mc.requests()) {
        QCOMPARE(QByteArray::fromStdString(req.get_header_value("Content-Type")), QByteArray("text/xml"));
        QCOMPARE(QByteArray::fromStdString(req.get_header_value("Authorization")), kBasicDemo);
    }
    QCOMPARE(errorSpy.count(), 0);
    QCOMPARE(timeSpy.count(), mcTimeSignal ? 1 : 0);
    if (mcTimeSignal) {
        const int delta = timeSpy.at(0).at(0).toInt();
        QVERIFY2(delta >= 98 && delta <= 100, qPrintable(QString::number(delta)));
    }
}

void TestMCComm::getTimeWithoutListener()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();

    MCComm comm(nullptr, base, QStringLiteral("demo"), QStringLiteral("demo"), true);
    QSignalSpy errorSpy(&comm, &MCComm::networkError);
    QVERIFY(!comm.getTime());
    QCOMPARE(errorSpy.count(), 2);
    for (const QList<QVariant>& emission : qAsConst(errorSpy)) {
        QCOMPARE(emission.at(0).toString(),
                 QString::fromLocal8Bit(curl_easy_strerror(CURLE_COULDNT_CONNECT)));
        QCOMPARE(emission.at(1).toInt(), 7);
    }
}

void TestMCComm::statusRule_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("continueLogged");
    QTest::newRow("200") << 200 << true << QStringLiteral("fine") << false;
    QTest::newRow("201") << 201 << false << QStringLiteral("fine") << false;
    QTest::newRow("204") << 204 << false << QString() << false;
    QTest::newRow("500 keeps body") << 500 << false << QStringLiteral("fine") << false;
    // libcurl treats a lone interim answer as a broken transfer: no body, but the status is 100.
    QTest::newRow("100") << 100 << false << QString() << true;
}

void TestMCComm::statusRule()
{
    QFETCH(int, status);
    QFETCH(bool, ok);
    QFETCH(QString, reply);
    QFETCH(bool, continueLogged);
    TestSupport::LocalHttpServer mc;
    mc.server().Get(
        "/probe", [&](const httplib::Request&, httplib::Response& res) { answerWith(res, status, "fine"); });
    QVERIFY(mc.start());

    MCComm comm(nullptr, mc.baseUrl(), QStringLiteral("demo"), QStringLiteral("demo"), true);
    bool result = !ok;
    QCOMPARE(comm.sendGet(mc.baseUrl() + QStringLiteral("/probe"), &result, QStringLiteral("text/xml"), 10),
             reply);
    QCOMPARE(result, ok);
    const QStringList log = logLines();
    const int at = log.indexOf(QStringLiteral("MCComm:: Continue reply: \n"));
    QCOMPARE(at >= 0, continueLogged);
    if (continueLogged)
        QCOMPARE(log.value(at + 1),
                 QStringLiteral("Should never receive this. Something is wrong with curl!\n"));
}

// The console parses these texts strictly: every byte is pinned.
void TestMCComm::searchLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("only exported")
        << McRequest::onlyExportedLine()
        << "<search path=\"report.was_exported\" value=\"1\" operator=\"eq\" datatype=\"uint\" "
           "conjunction=\"true\" />";
    QTest::newRow("id bound") << McRequest::idLine("lte", 105)
                              << "<search path=\"report.id\" value=\"105\" operator=\"lte\" "
                                 "datatype=\"uint\" conjunction=\"true\" />";
    QTest::newRow("report date")
        << McRequest::reportDateLine(QDateTime(QDate(2019, 3, 28), QTime(10, 0, 0)).addDays(-27))
        << " <search path=\"report.report_date\" value=\"2019-03-01 10:00:00\" operator=\"gt\" "
           "datatype=\"date\" conjunction=\"true\"/>";
    const struct
    {
        const char* op;
        const char* mcOp;
    } operators[] = {{"==", "eq"}, {"<", "lt"}, {">", "gt"}, {"!=", "neq"}, {"~", "like"}, {"=~", "eq"}};
    for (const auto& o : operators)
        QTest::addRow("filter %s", o.op)
            << McRequest::filterLine("user_data.fields.info1", "PO-%", o.op)
            << QString("<search path=\"user_data.fields.info1\" value=\"PO-%\" operator=\"%1\" "
                       "datatype=\"string\" conjunction=\"true\" />\n")
                   .arg(o.mcOp);
    QTest::newRow("filter without field") << McRequest::filterLine("", "x", "==") << QString();
    // Quotes and markup from the user cannot leave the attribute.
    QTest::newRow("filter escaped")
        << McRequest::filterLine("a\"b", "<x> & \"y\"", "!=")
        << "<search path=\"a&quot;b\" value=\"&lt;x&gt; &amp; &quot;y&quot;\" operator=\"neq\" "
           "datatype=\"string\" conjunction=\"true\" />\n";
    QTest::newRow("ids of all reports")
        << McRequest::idSearch(false, 7)
        << "          <search path=\"report.id\" value=\"7\" operator=\"gt\" datatype=\"uint\" "
           "conjunction=\"true\" />          <reportColumns>          <columnPath>report.id</columnPath>"
           "          </reportColumns>          <csv-options csvLanguage=\"en_US\" delimiter=\";\" "
           "subDelimiter=\":\"/>";
}

void TestMCComm::searchLines()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(line, expected);
}

void TestMCComm::searchReports_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("ok");
    QTest::newRow("200") << 200 << true;
    QTest::newRow("500 hands the body back") << 500 << false;
}

void TestMCComm::searchReports()
{
    QFETCH(int, status);
    QFETCH(bool, ok);
    const std::string csv = "\"report.id\"\n\"17\"\n\"23\"\n";
    TestSupport::LocalHttpServer mc;
    mc.server().Post("/rest-service/report/export/csv",
                     [&](const httplib::Request&, httplib::Response& res) { answerWith(res, status, csv); });
    QVERIFY(mc.start());

    // The connection check's request for the first watermark.
    const QStringList lines{McRequest::idSearch(
        true, 1, McRequest::reportDateLine(QDateTime(QDate(2019, 3, 1), QTime(10, 0, 0))))};
    MCComm comm(nullptr, mc.baseUrl() + QStringLiteral("/"), QStringLiteral("demo"), QStringLiteral("demo"),
                true);
    QString reply;
    QCOMPARE(comm.searchReports(lines, QStringLiteral("csv"), &reply), ok);
    QCOMPARE(reply, QString::fromStdString(csv));

    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "  <request xmlns=\"http://www.korvex.example/schemas/service-request\"\n"
        "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "     xsi:schemaLocation=\"http://www.korvex.example/schemas/service-request service-request.xsd\">\n"
        "      <export-report>\n"
        "          <report mode=\"original\"/>\n"
        " <search path=\"report.report_date\" value=\"2019-03-01 10:00:00\" operator=\"gt\" "
        "datatype=\"date\" "
        "conjunction=\"true\"/>"
        "     <search path=\"report.was_exported\" value=\"1\" operator=\"eq\" datatype=\"uint\" "
        "conjunction=\"true\" />"
        "          <search path=\"report.id\" value=\"1\" operator=\"gt\" datatype=\"uint\" "
        "conjunction=\"true\" />"
        "          <reportColumns>          <columnPath>report.id</columnPath>          </reportColumns>"
        "          <csv-options csvLanguage=\"en_US\" delimiter=\";\" subDelimiter=\":\"/>"
        "       </export-report>\n"
        "  </request>\n";
    const std::vector<httplib::Request> requests = mc.requests();
    QCOMPARE(int(requests.size()), 1);
    QCOMPARE(QByteArray::fromStdString(requests[0].get_header_value("Authorization")), kBasicDemo);
    QCOMPARE(onlyPart(requests[0]), qMakePair(QByteArray("xmlRequest"), expected));
}

void TestMCComm::exportReports_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("reports");

    QTest::newRow("two reports")
        << 200
        << QByteArray("<?xml version=\"1.0\"?><root><report id=\"1\"><a>x</a></report>"
                      "<report id=\"2\"><a>\xc3\xa9</a></report></root>")
        << true
        << QStringList{QStringLiteral("<root><report id=\"1\"><a>x</a></report></root>"),
                       QStringLiteral("<root><report id=\"2\"><a>\u00e9</a></report></root>")};
    QTest::newRow("none") << 200 << QByteArray("<root></root>") << true << QStringList();
    QTest::newRow("text before the first report")
        << 200 << QByteArray("<root>\n  <!-- export -->\n  <report>1</report>\n</root>") << true
        << QStringList{QStringLiteral("<root><report>1</report></root>")};
    QTest::newRow("end tag text in a CDATA section")
        << 200 << QByteArray("<root><report><n><![CDATA[a</report>b]]></n></report></root>") << true
        << QStringList{QStringLiteral("<root><report><n><![CDATA[a</report>b]]></n></report></root>")};
    QTest::newRow("undeclared prefix")
        << 200 << QByteArray("<root><report><x:a>1</x:a></report></root>") << true
        << QStringList{QStringLiteral("<root><report><x:a>1</x:a></report></root>")};
    QTest::newRow("cut short in a report")
        << 200 << QByteArray("<root><report>1</report><report><a>2</a") << false << QStringList();
    QTest::newRow("cut short after a report")
        << 200 << QByteArray("<root><report>1</report>") << false << QStringList();
    QTest::newRow("garbage") << 200 << QByteArray("%%GARBAGE%% not xml") << false << QStringList();
    QTest::newRow("empty body") << 200 << QByteArray() << false << QStringList();
    QTest::newRow("no root") << 200 << QByteArray("<report>1</report>") << false << QStringList();
    QTest::newRow("failed status") << 500 << QByteArray("<root><report>1</report></root>") << false
                                   << QStringList();
}

void TestMCComm::exportReports()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(QStringList, reports);
    TestSupport::LocalHttpServer mc;
    mc.server().Post("/rest-service/report/export/xml", [&](const httplib::Request&, httplib::Response& res) {
        answerWith(res, status, body.toStdString());
    });
    QVERIFY(mc.start());

    // A job's page request with one filter.
    const QStringList lines{McRequest::onlyExportedLine(), McRequest::idLine("gt", 100),
                            McRequest::idLine("lte", 105),
                            McRequest::filterLine("user_data.fields.owner", "J\u00fcrgen", "==")};
    MCComm comm(nullptr, mc.baseUrl(), QStringLiteral("demo"), QStringLiteral("demo"), true);
    QStringList result{QStringLiteral("stale")};
    QCOMPARE(comm.exportReports(lines, &result), ok);
    QCOMPARE(result, reports);

    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "  <request>\n"
        "      <export-report>\n"
        "          <report mode=\"original\"/>\n"
        "<search path=\"report.was_exported\" value=\"1\" operator=\"eq\" datatype=\"uint\" "
        "conjunction=\"true\" />\n"
        "<search path=\"report.id\" value=\"100\" operator=\"gt\" datatype=\"uint\" conjunction=\"true\" />\n"
        "<search path=\"report.id\" value=\"105\" operator=\"lte\" datatype=\"uint\" conjunction=\"true\" "
        "/>\n"
        "<search path=\"user_data.fields.owner\" value=\"J\xc3\xbcrgen\" operator=\"eq\" datatype=\"string\" "
        "conjunction=\"true\" />\n\n"
        "       </export-report>\n"
        "  </request>\n";
    const std::vector<httplib::Request> requests = mc.requests();
    QCOMPARE(int(requests.size()), 1);
    QCOMPARE(onlyPart(requests[0]), qMakePair(QByteArray("xmlRequest"), expected));
}

void TestMCComm::standInTime()
{
    TestSupport::StandInProcess standIn;
    QVERIFY(standIn.start());
    MCComm comm(nullptr, standIn.baseUrl(), QStringLiteral("demo"), QStringLiteral("demo"), true);
    QSignalSpy timeSpy(&comm, &MCComm::newMCTime);
    QVERIFY(comm.checkConnection());
    QCOMPARE(timeSpy.count(), 1);

    // One of the two time requests is enough.
    QVERIFY(standIn.setFault(QStringLiteral("/mc/time"), QStringLiteral("garbage")));
    QVERIFY(comm.getTime());
    QCOMPARE(timeSpy.count(), 1);
}

void TestMCComm::standInWrongCredentials()
{
    TestSupport::StandInProcess standIn;
    QVERIFY(standIn.start());
    MCComm comm(nullptr, standIn.baseUrl(), QStringLiteral("demo"), QStringLiteral("wrong"), true);
    QSignalSpy errorSpy(&comm, &MCComm::networkError);
    QVERIFY(!comm.checkConnection());
    QString reply;
    QVERIFY(!comm.searchReports({McRequest::idLine("gt", 0)}, QStringLiteral("csv"), &reply));
    // Refused, not unreachable.
    QCOMPARE(errorSpy.count(), 0);
}

void TestMCComm::standInHttps_data()
{
    QTest::addColumn<bool>("insecure");
    QTest::newRow("insecure") << true;
    QTest::newRow("verifying") << false;
}

void TestMCComm::standInHttps()
{
    QFETCH(bool, insecure);
    TestSupport::StandInProcess standIn({QStringLiteral("--tls")});
    QVERIFY(standIn.start());
    QVERIFY2(standIn.baseUrl().startsWith(QStringLiteral("https://")), qPrintable(standIn.baseUrl()));
    MCComm comm(nullptr, standIn.baseUrl(), QStringLiteral("demo"), QStringLiteral("demo"), insecure);
    QSignalSpy errorSpy(&comm, &MCComm::networkError);
    // The certificate is self-signed: only an insecure client gets through.
    QCOMPARE(comm.checkConnection(), insecure);
    QCOMPARE(errorSpy.count(), insecure ? 0 : 2);
    if (!insecure)
        QCOMPARE(errorSpy.at(0).at(1).toInt(), int(CURLE_PEER_FAILED_VERIFICATION));
}

void TestMCComm::standInDroppedExport()
{
    TestSupport::StandInProcess standIn;
    QVERIFY(standIn.start());
    QVERIFY(!standIn.generate(2).isEmpty());
    QVERIFY(standIn.setFault(QStringLiteral("/rest-service/report/export/xml"), QStringLiteral("drop")));
    MCComm comm(nullptr, standIn.baseUrl(), QStringLiteral("demo"), QStringLiteral("demo"), true);
    QStringList reports{QStringLiteral("stale")};
    QVERIFY(!comm.exportReports({McRequest::idLine("gt", 0)}, &reports));
    QVERIFY(reports.isEmpty());
    QVERIFY(QDir(m_appData->path() + QStringLiteral("/TVKR/tmp")).isEmpty());
    // The fault was for one request only.
    QVERIFY(comm.exportReports({McRequest::idLine("gt", 0)}, &reports));
    QCOMPARE(reports.size(), 2);
}

QTEST_GUILESS_MAIN(TestMCComm)
#include "tst_mccomm.moc"
