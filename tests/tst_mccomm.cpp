// Management Console requests against a scripted loopback server: time requests, the status rule,
// the search and export envelopes on the wire, the splitting of export replies, the time provider.

#include "logging/logger.h"
#include "mc/mccomm.h"
#include "mc/timeprovider.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QMutex>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <curl/curl.h>
#include <httplib.h>

#include <memory>
#include <thread>

namespace {

// An httplib server on an ephemeral loopback port that records what reaches it.
class LocalServer
{
public:
    struct Received
    {
        std::string method;
        std::string target;
        std::string contentType;
        std::string authorization;
        std::string partName;
        std::string partContent;
    };

    httplib::Server server;

    // Handlers call this first.
    void record(const httplib::Request& req)
    {
        Received r{req.method,
                   req.target,
                   req.get_header_value("Content-Type"),
                   req.get_header_value("Authorization"),
                   {},
                   {}};
        if (!req.files.empty()) {
            r.partName = req.files.begin()->first;
            r.partContent = req.files.begin()->second.content;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.push_back(r);
    }
    ~LocalServer()
    {
        server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool start()
    {
        m_port = server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            return false;
        m_thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    std::vector<Received> received()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    QStringList targets()
    {
        QStringList list;
        for (const Received& r : received())
            list << QString::fromStdString(r.target);
        return list;
    }

private:
    int m_port = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Received> m_received;
};

struct Answer
{
    int status;
    std::string body;
};

void answerWith(httplib::Response& res, const Answer& answer)
{
    res.status = answer.status;
    res.set_content(answer.body, "text/plain");
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

    void searchReports_data();
    void searchReports();
    void exportReports_data();
    void exportReports();

private:
    QStringList logLines();

    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_appData;
    QMutex m_logMutex;
    QStringList m_log;
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
    auto* logger = new Logger(QCoreApplication::instance());
    connect(
        logger, &Logger::delayed, this,
        [this](const QString& line) {
            QMutexLocker lock(&m_logMutex);
            m_log << line;
        },
        Qt::DirectConnection);
    qunsetenv("http_proxy");
    qunsetenv("no_proxy");
}

void TestMCComm::init()
{
    m_appData = std::make_unique<QTemporaryDir>();
    qputenv("APPDATA", QFile::encodeName(m_appData->path()));
    QMutexLocker lock(&m_logMutex);
    m_log.clear();
}

QStringList TestMCComm::logLines()
{
    QMutexLocker lock(&m_logMutex);
    return m_log;
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
    LocalServer mc;
    mc.server.Get("/mc/time", [&](const httplib::Request& req, httplib::Response& res) {
        mc.record(req);
        answerWith(res, {mcStatus, mcBody.toStdString()});
    });
    mc.server.Get("/bls/bls.asp", [&](const httplib::Request& req, httplib::Response& res) {
        mc.record(req);
        answerWith(res, {legacyStatus, legacyBody.toStdString()});
    });
    QVERIFY(mc.start());

    MCComm comm(nullptr, mc.baseUrl() + baseSuffix, QStringLiteral("demo"), QStringLiteral("demo"), true);
    QSignalSpy timeSpy(&comm, &MCComm::newMCTime);
    QSignalSpy errorSpy(&comm, &MCComm::networkError);
    QCOMPARE(comm.checkConnection(), expected);

    // Both requests, in order, each with the content type and the credentials.
    QCOMPARE(mc.targets(),
             (QStringList{QStringLiteral("/mc/time"), QStringLiteral("/bls/bls.asp?cmd=time")}));
    for (const LocalServer::Received& r : mc.received()) {
        QCOMPARE(QByteArray::fromStdString(r.contentType), QByteArray("text/xml"));
        QCOMPARE(QByteArray::fromStdString(r.authorization), kBasicDemo);
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
    LocalServer mc;
    mc.server.Get("/probe", [&](const httplib::Request& req, httplib::Response& res) {
        mc.record(req);
        answerWith(res, {status, "fine"});
    });
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
    LocalServer mc;
    mc.server.Post("/rest-service/report/export/csv",
                   [&](const httplib::Request& req, httplib::Response& res) {
                       mc.record(req);
                       answerWith(res, {status, csv});
                   });
    QVERIFY(mc.start());

    const QStringList lines{
        QStringLiteral("<search path=\"report.id\" value=\"10\" operator=\"gt\" datatype=\"uint\" "
                       "conjunction=\"true\" />"),
        QStringLiteral("          <search path=\"user_data.fields.owner\" value=\"J\u00fcrgen\" "
                       "operator=\"eq\" datatype=\"string\" conjunction=\"true\" />"),
        QStringLiteral("          <reportColumns>          <columnPath>report.id</columnPath>          "
                       "</reportColumns>")};
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
        "<search path=\"report.id\" value=\"10\" operator=\"gt\" datatype=\"uint\" conjunction=\"true\" />"
        "          <search path=\"user_data.fields.owner\" value=\"J\xc3\xbcrgen\" operator=\"eq\" "
        "datatype=\"string\" conjunction=\"true\" />"
        "          <reportColumns>          <columnPath>report.id</columnPath>          </reportColumns>"
        "       </export-report>\n"
        "  </request>\n";
    const std::vector<LocalServer::Received> received = mc.received();
    QCOMPARE(int(received.size()), 1);
    QCOMPARE(QByteArray::fromStdString(received[0].method), QByteArray("POST"));
    QCOMPARE(QByteArray::fromStdString(received[0].authorization), kBasicDemo);
    QCOMPARE(QByteArray::fromStdString(received[0].partName), QByteArray("xmlRequest"));
    QCOMPARE(QByteArray::fromStdString(received[0].partContent), expected);
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
        << QStringList{QStringLiteral("<root>\n  <!-- export -->\n  <report>1</report></root>")};
    QTest::newRow("no root") << 200 << QByteArray("<report>1</report>") << true << QStringList();
    QTest::newRow("failed status still split")
        << 500 << QByteArray("<root><report>1</report></root>") << false
        << QStringList{QStringLiteral("<root><report>1</report></root>")};
}

void TestMCComm::exportReports()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    QFETCH(QStringList, reports);
    LocalServer mc;
    mc.server.Post("/rest-service/report/export/xml",
                   [&](const httplib::Request& req, httplib::Response& res) {
                       mc.record(req);
                       answerWith(res, {status, body.toStdString()});
                   });
    QVERIFY(mc.start());

    const QStringList lines{
        QStringLiteral("<search path=\"report.id\" value=\"100\" operator=\"gt\" datatype=\"uint\" "
                       "conjunction=\"true\" />"),
        QStringLiteral("<search path=\"report.id\" value=\"105\" operator=\"lte\" datatype=\"uint\" "
                       "conjunction=\"true\" />")};
    MCComm comm(nullptr, mc.baseUrl(), QStringLiteral("demo"), QStringLiteral("demo"), true);
    QStringList result{QStringLiteral("stale")};
    QCOMPARE(comm.exportReports(lines, &result), ok);
    QCOMPARE(result, reports);

    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "  <request>\n"
        "      <export-report>\n"
        "          <report mode=\"original\"/>\n"
        "<search path=\"report.id\" value=\"100\" operator=\"gt\" datatype=\"uint\" conjunction=\"true\" />\n"
        "<search path=\"report.id\" value=\"105\" operator=\"lte\" datatype=\"uint\" conjunction=\"true\" "
        "/>\n"
        "       </export-report>\n"
        "  </request>\n";
    const std::vector<LocalServer::Received> received = mc.received();
    QCOMPARE(int(received.size()), 1);
    QCOMPARE(QByteArray::fromStdString(received[0].partName), QByteArray("xmlRequest"));
    QCOMPARE(QByteArray::fromStdString(received[0].partContent), expected);
}

QTEST_GUILESS_MAIN(TestMCComm)
#include "tst_mccomm.moc"
