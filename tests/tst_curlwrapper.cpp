// The libcurl transport against small HTTP servers on loopback: bodies and status codes, error
// outputs and log lines, Basic credentials, the multipart upload and its temporary files, the
// system proxy.

#include "localhttpserver.h"
#include "logcapture.h"
#include "logging/logger.h"
#include "mc/basichttpauthenticationclient.h"
#include "mc/curlwrapper.h"
#include "testsupport.h"

#include <QDir>
#include <QMutex>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

namespace {

// A loopback port nobody listens on.
int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

// Sets an environment variable for one test and restores the previous state.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_old;
};

} // namespace

class TestCurlWrapper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void getReturnsBodyOfErrorStatus();
    void getHeaders_data();
    void getHeaders();

    void postSendsDocumentAsFilePart();
    void postWithoutListener();
    void postWithoutTempDirectory();
    void concurrentPostsKeepTheirOwnFiles();

    void systemProxy_data();
    void systemProxy();
    void directHostBypassesEnvironmentProxy();

private:
    QStringList logLines() const { return m_log->lines(); }
    QStringList tempFiles() const;

    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_appData;
    std::unique_ptr<TestSupport::LogCapture> m_log;
};

void TestCurlWrapper::initTestCase()
{
    m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
    QVERIFY(m_root->isValid());
    m_log = std::make_unique<TestSupport::LogCapture>();
    // The proxy tests set their own; nothing from the machine may leak in.
    for (const char* name :
         {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
        qunsetenv(name);
}

void TestCurlWrapper::init()
{
    m_appData = std::make_unique<QTemporaryDir>();
    qputenv("APPDATA", QFile::encodeName(m_appData->path()));
    m_log->clear();
}

QStringList TestCurlWrapper::tempFiles() const
{
    return QDir(m_appData->path() + QStringLiteral("/TVKR/tmp")).entryList(QDir::Files | QDir::Hidden);
}

namespace {

void reply(httplib::Response& res, int status, const std::string& body)
{
    res.status = status;
    res.set_content(body, "text/plain");
}

std::string header(const httplib::Request& req, const char* name)
{
    return req.has_header(name) ? req.get_header_value(name) : "<none>";
}

} // namespace

void TestCurlWrapper::getReturnsBodyOfErrorStatus()
{
    TestSupport::LocalHttpServer mc;
    mc.server().Get("/missing",
                    [](const httplib::Request&, httplib::Response& res) { reply(res, 404, "no such page"); });
    QVERIFY(mc.start());

    long httpCode = -1;
    QString errorText = QStringLiteral("untouched");
    int errorCode = -1;
    const std::string body = CurlWrapper::get(mc.url("/missing"), &httpCode, "text/xml", nullptr, 10, nullptr,
                                              nullptr, false, &errorText, &errorCode);
    QCOMPARE(QByteArray::fromStdString(body), QByteArray("no such page"));
    QCOMPARE(httpCode, 404L);
    QCOMPARE(errorText, QStringLiteral("untouched"));
    QCOMPARE(errorCode, -1);
    QVERIFY(logLines().isEmpty());
}

void TestCurlWrapper::getHeaders_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("receivedType");
    QTest::addColumn<QByteArray>("credentials");
    QTest::newRow("type, plain credentials") << QByteArray("text/xml") << QByteArray("a") << QByteArray("b")
                                             << QByteArray("text/xml") << QByteArray("a:b");
    QTest::newRow("no type, empty credentials")
        << QByteArray() << QByteArray() << QByteArray() << QByteArray("<none>") << QByteArray(":");
    QTest::newRow("colon in password") << QByteArray("text/xml") << QByteArray("demo") << QByteArray("pa:ss")
                                       << QByteArray("text/xml") << QByteArray("demo:pa:ss");
    QTest::newRow("utf-8 credentials")
        << QByteArray("text/xml") << QByteArray("j\xc3\xbcrgen") << QByteArray("\xc3\xa9t\xc3\xa9")
        << QByteArray("text/xml") << QByteArray("j\xc3\xbcrgen:\xc3\xa9t\xc3\xa9");
}

void TestCurlWrapper::getHeaders()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, receivedType);
    QFETCH(QByteArray, credentials);
    BasicHttpAuthenticationClient auth(user.toStdString(), password.toStdString());
    QCOMPARE(QByteArray::fromStdString(auth.credentials()), credentials);

    TestSupport::LocalHttpServer mc;
    mc.server().Get("/mc/time",
                    [](const httplib::Request&, httplib::Response& res) { reply(res, 200, "1"); });
    QVERIFY(mc.start());
    long httpCode = 0;
    CurlWrapper::get(mc.url("/mc/time"), &httpCode, contentType.toStdString(), &auth, 10, nullptr, nullptr,
                     false, nullptr, nullptr);
    QCOMPARE(httpCode, 200L);
    // Basic credentials go with the first request, without waiting for a challenge.
    const std::vector<httplib::Request> requests = mc.requests();
    QCOMPARE(int(requests.size()), 1);
    QCOMPARE(QByteArray::fromStdString(header(requests[0], "Content-Type")), receivedType);
    QCOMPARE(QByteArray::fromStdString(header(requests[0], "Authorization")),
             "Basic " + credentials.toBase64());
}

void TestCurlWrapper::postSendsDocumentAsFilePart()
{
    TestSupport::LocalHttpServer mc;
    mc.server().Post("/upload",
                     [](const httplib::Request&, httplib::Response& res) { reply(res, 500, "kept"); });
    QVERIFY(mc.start());

    // Bytes pass unchanged: multi-byte UTF-8, CR LF, a NUL.
    const std::string document = std::string("<?xml version=\"1.0\"?>\r\n<r>\xc3\xa4\xe2\x82\xac</r>\n") +
                                 std::string(1, '\0') + std::string(70000, 'x');
    long httpCode = 0;
    std::string errorText = "stale";
    const std::string body = CurlWrapper::blockingMultiPartPost(mc.url("/upload"), document, &httpCode,
                                                                "xmlRequest", nullptr, 10, &errorText, false);
    QCOMPARE(httpCode, 500L);
    QCOMPARE(QByteArray::fromStdString(body), QByteArray("kept"));
    QVERIFY(errorText.empty());
    const std::vector<httplib::Request> requests = mc.requests();
    QCOMPARE(int(requests.size()), 1);
    QCOMPARE(int(requests[0].files.size()), 1);
    const httplib::MultipartFormData part = requests[0].get_file_value("xmlRequest");
    QVERIFY(part.content == document);
    const QString fileName = QString::fromStdString(part.filename);
    const QRegularExpression shape(
        QStringLiteral("^temp_report_\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d{1,3}_\\d+\\.xml$"));
    QVERIFY2(shape.match(fileName).hasMatch(), qPrintable(fileName));
    QVERIFY(tempFiles().isEmpty());
    QVERIFY(logLines().isEmpty());
}

void TestCurlWrapper::postWithoutListener()
{
    const int port = closedPort();
    long httpCode = -1;
    std::string errorText;
    const std::string body = CurlWrapper::blockingMultiPartPost(
        "http://127.0.0.1:" + std::to_string(port) + "/rest-service/report/export/xml", "<request/>",
        &httpCode, "xmlRequest", nullptr, 10, &errorText, false);
    QVERIFY(body.empty());
    QCOMPARE(httpCode, 0L);
    // The code, then libcurl's own message about this transfer (it names the port).
    const QString text = QString::fromStdString(errorText);
    QVERIFY2(text.startsWith(QStringLiteral("7 - ")) && text.contains(QString::number(port)),
             qPrintable(text));
    QVERIFY(tempFiles().isEmpty());
    QCOMPARE(logLines(),
             QStringList{QStringLiteral("CurlWrapper::blockingMultiPartPost: connection error\n")});
}

void TestCurlWrapper::postWithoutTempDirectory()
{
    TestSupport::LocalHttpServer mc;
    QVERIFY(mc.start());
    // A plain file where the directory's parent should be: the directory cannot be made.
    QTemporaryFile blocker;
    QVERIFY(blocker.open());
    qputenv("APPDATA", QFile::encodeName(blocker.fileName()));

    long httpCode = 12345;
    std::string errorText = "stale";
    const std::string body = CurlWrapper::blockingMultiPartPost(mc.url("/upload"), "<request/>", &httpCode,
                                                                "xmlRequest", nullptr, 10, &errorText, false);
    QVERIFY(body.empty());
    QVERIFY(errorText.empty());
    QCOMPARE(httpCode, 12345L);
    QVERIFY(mc.requests().empty());
    QCOMPARE(logLines(), QStringList{QStringLiteral("CurlWrapper: Cannot create tmp dir\n")});
}

void TestCurlWrapper::concurrentPostsKeepTheirOwnFiles()
{
    TestSupport::LocalHttpServer mc;
    mc.server().Post("/upload", [](const httplib::Request& req, httplib::Response& res) {
        reply(res, 200, req.get_file_value("xmlRequest").content);
    });
    QVERIFY(mc.start());

    const int threads = 4;
    const int rounds = 15;
    auto document = [](int t, int i) {
        return "<report thread=\"" + std::to_string(t) + "\" round=\"" + std::to_string(i) + "\">" +
               std::string(size_t(4096 + t), char('a' + t)) + "</report>";
    };
    std::atomic<int> ready{0};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            // Start together, so that the posts fall into the same milliseconds.
            ++ready;
            while (ready.load() < threads)
                std::this_thread::yield();
            for (int i = 0; i < rounds; ++i) {
                long httpCode = 0;
                const std::string body = CurlWrapper::blockingMultiPartPost(
                    mc.url("/upload"), document(t, i), &httpCode, "xmlRequest", nullptr, 10, nullptr, false);
                if (httpCode != 200 || body != document(t, i))
                    ++mismatches;
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();

    QCOMPARE(mismatches.load(), 0);
    std::set<std::string> fileNames;
    for (const httplib::Request& req : mc.requests())
        fileNames.insert(req.get_file_value("xmlRequest").filename);
    QCOMPARE(int(fileNames.size()), threads * rounds);
    QVERIFY(tempFiles().isEmpty());
}

void TestCurlWrapper::systemProxy_data()
{
    QTest::addColumn<QByteArray>("userInfo");
    QTest::addColumn<QByteArray>("proxyAuthorization");
    QTest::newRow("with user") << QByteArray("proxyuser:s3cret@")
                               << "Basic " + QByteArray("proxyuser:s3cret").toBase64();
    QTest::newRow("without user") << QByteArray() << QByteArray("<none>");
}

void TestCurlWrapper::systemProxy()
{
    QFETCH(QByteArray, userInfo);
    QFETCH(QByteArray, proxyAuthorization);
    const bool needsAuth = !userInfo.isEmpty();

    // The proxy answers in place of the console; with a user it first asks for credentials.
    TestSupport::LocalHttpServer proxy;
    proxy.server().Get(".*", [needsAuth](const httplib::Request& req, httplib::Response& res) {
        if (needsAuth && !req.has_header("Proxy-Authorization")) {
            res.status = 407;
            res.set_header("Proxy-Authenticate", "Basic realm=\"station\"");
            return;
        }
        reply(res, 200, "1550000000");
    });
    QVERIFY(proxy.start());
    const ScopedEnv env("http_proxy", "http://" + userInfo + "127.0.0.1:" + QByteArray::number(proxy.port()));

    // Qt never proxies loopback, so the console gets a name that is not.
    long httpCode = 0;
    const std::string body = CurlWrapper::get("http://mc.station.invalid:8080/mc/time", &httpCode, "text/xml",
                                              nullptr, 10, nullptr, nullptr, false, nullptr, nullptr);
    QCOMPARE(httpCode, 200L);
    QCOMPARE(QByteArray::fromStdString(body), QByteArray("1550000000"));
    const std::vector<httplib::Request> requests = proxy.requests();
    QVERIFY(!requests.empty());
    QCOMPARE(QByteArray::fromStdString(requests.back().target),
             QByteArray("http://mc.station.invalid:8080/mc/time"));
    QCOMPARE(QByteArray::fromStdString(header(requests.back(), "Proxy-Authorization")), proxyAuthorization);
}

void TestCurlWrapper::directHostBypassesEnvironmentProxy()
{
    TestSupport::LocalHttpServer proxy;
    proxy.server().Get(".*",
                       [](const httplib::Request&, httplib::Response& res) { reply(res, 200, "proxy"); });
    QVERIFY(proxy.start());
    TestSupport::LocalHttpServer mc;
    mc.server().Get("/mc/time",
                    [](const httplib::Request&, httplib::Response& res) { reply(res, 200, "1550000000"); });
    QVERIFY(mc.start());
    // libcurl alone would follow the environment; the host on its no-proxy list keeps it direct.
    const ScopedEnv env("http_proxy", "http://127.0.0.1:" + QByteArray::number(proxy.port()));
    long httpCode = 0;
    const std::string body = CurlWrapper::get(mc.url("/mc/time"), &httpCode, "text/xml", nullptr, 10, nullptr,
                                              nullptr, false, nullptr, nullptr);
    QCOMPARE(httpCode, 200L);
    QCOMPARE(QByteArray::fromStdString(body), QByteArray("1550000000"));
    QVERIFY(proxy.requests().empty());
}

QTEST_GUILESS_MAIN(TestCurlWrapper)
#include "tst_curlwrapper.moc"
