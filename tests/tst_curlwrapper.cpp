// The libcurl transport against small HTTP servers on loopback: bodies and status codes, error
// outputs and log lines, Basic credentials, the multipart upload and its temporary files, the
// system proxy.

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
#include <httplib.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

namespace {

// An httplib server on an ephemeral loopback port, served from its own thread.
class LocalServer
{
public:
    httplib::Server server;

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
    ~LocalServer()
    {
        server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_port; }
    std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    int m_port = -1;
    std::thread m_thread;
};

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
    void getContentTypeHeader_data();
    void getContentTypeHeader();
    void basicCredentials_data();
    void basicCredentials();
    void getWithoutListener();

    void postSendsDocumentAsFilePart();
    void postWithoutListener();
    void postWithoutTempDirectory();
    void concurrentPostsKeepTheirOwnFiles();

    void systemProxy_data();
    void systemProxy();
    void directHostBypassesEnvironmentProxy();

private:
    QStringList logLines();
    QStringList tempFiles() const;

    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_appData;
    QMutex m_logMutex;
    QStringList m_log;
};

void TestCurlWrapper::initTestCase()
{
    m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
    QVERIFY(m_root->isValid());
    auto* logger = new Logger(QCoreApplication::instance());
    connect(
        logger, &Logger::delayed, this,
        [this](const QString& line) {
            QMutexLocker lock(&m_logMutex);
            m_log << line;
        },
        Qt::DirectConnection);
    // The proxy tests set their own; nothing from the machine may leak in.
    for (const char* name :
         {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
        qunsetenv(name);
}

void TestCurlWrapper::init()
{
    m_appData = std::make_unique<QTemporaryDir>();
    qputenv("APPDATA", QFile::encodeName(m_appData->path()));
    QMutexLocker lock(&m_logMutex);
    m_log.clear();
}

QStringList TestCurlWrapper::logLines()
{
    QMutexLocker lock(&m_logMutex);
    return m_log;
}

QStringList TestCurlWrapper::tempFiles() const
{
    return QDir(m_appData->path() + QStringLiteral("/TVKR/tmp")).entryList(QDir::Files | QDir::Hidden);
}

void TestCurlWrapper::getReturnsBodyOfErrorStatus()
{
    LocalServer mc;
    mc.server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("no such page", "text/plain");
    });
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

void TestCurlWrapper::getContentTypeHeader_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("given") << QByteArray("text/xml") << QByteArray("text/xml");
    QTest::newRow("empty sends none") << QByteArray() << QByteArray("<none>");
}

void TestCurlWrapper::getContentTypeHeader()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, received);
    LocalServer mc;
    mc.server.Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.has_header("Content-Type") ? req.get_header_value("Content-Type") : "<none>",
                        "text/plain");
    });
    QVERIFY(mc.start());
    long httpCode = 0;
    const std::string body = CurlWrapper::get(mc.url("/echo"), &httpCode, contentType.toStdString(), nullptr,
                                              10, nullptr, nullptr, false, nullptr, nullptr);
    QCOMPARE(httpCode, 200L);
    QCOMPARE(QByteArray::fromStdString(body), received);
}

void TestCurlWrapper::basicCredentials_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("plain") << QByteArray("a") << QByteArray("b") << QByteArray("a:b");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray(":");
    QTest::newRow("colon in password")
        << QByteArray("demo") << QByteArray("pa:ss") << QByteArray("demo:pa:ss");
    QTest::newRow("utf-8") << QByteArray("j\xc3\xbcrgen") << QByteArray("\xc3\xa9t\xc3\xa9")
                           << QByteArray("j\xc3\xbcrgen:\xc3\xa9t\xc3\xa9");
}

void TestCurlWrapper::basicCredentials()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, decoded);
    BasicHttpAuthenticationClient auth(user.toStdString(), password.toStdString());
    QCOMPARE(QByteArray::fromStdString(auth.credentials()), decoded);

    LocalServer mc;
    std::atomic<int> requests{0};
    mc.server.Get("/auth", [&requests](const httplib::Request& req, httplib::Response& res) {
        ++requests;
        res.set_content(req.get_header_value("Authorization"), "text/plain");
    });
    QVERIFY(mc.start());
    long httpCode = 0;
    const std::string body = CurlWrapper::get(mc.url("/auth"), &httpCode, "", &auth, 10, nullptr, nullptr,
                                              false, nullptr, nullptr);
    // Sent with the first request, without waiting for a challenge.
    QCOMPARE(requests.load(), 1);
    QCOMPARE(QByteArray::fromStdString(body), "Basic " + decoded.toBase64());
}

void TestCurlWrapper::getWithoutListener()
{
    long httpCode = -1;
    QString errorText;
    int errorCode = 0;
    const std::string body =
        CurlWrapper::get("http://127.0.0.1:" + std::to_string(closedPort()) + "/mc/time", &httpCode,
                         "text/xml", nullptr, 10, nullptr, nullptr, false, &errorText, &errorCode);
    QVERIFY(body.empty());
    QCOMPARE(httpCode, 0L);
    QCOMPARE(errorCode, 7);
    QCOMPARE(errorText, QString::fromLocal8Bit(curl_easy_strerror(CURLE_COULDNT_CONNECT)));
    QCOMPARE(logLines(), QStringList{QStringLiteral("CurlWrapper::get: connection error\n")});
}

void TestCurlWrapper::postSendsDocumentAsFilePart()
{
    LocalServer mc;
    httplib::MultipartFormData received;
    size_t fileCount = 0;
    std::atomic<int> requests{0};
    mc.server.Post("/upload", [&](const httplib::Request& req, httplib::Response& res) {
        ++requests;
        fileCount = req.files.size();
        received = req.get_file_value("xmlRequest");
        res.status = 500;
        res.set_content("kept", "text/plain");
    });
    QVERIFY(mc.start());

    // Bytes pass unchanged: multi-byte UTF-8, CR LF, a NUL.
    const std::string document = std::string("<?xml version=\"1.0\"?>\r\n<r>\xc3\xa4\xe2\x82\xac</r>\n") +
                                 std::string(1, '\0') + std::string(70000, 'x');
    long httpCode = 0;
    std::string errorText = "stale";
    const std::string body = CurlWrapper::blockingMultiPartPost(mc.url("/upload"), document, &httpCode,
                                                                "xmlRequest", nullptr, 10, &errorText, false);
    QCOMPARE(requests.load(), 1);
    QCOMPARE(httpCode, 500L);
    QCOMPARE(QByteArray::fromStdString(body), QByteArray("kept"));
    QCOMPARE(QByteArray::fromStdString(errorText), QByteArray());
    QCOMPARE(int(fileCount), 1);
    QVERIFY(received.content == document);
    const QString fileName = QString::fromStdString(received.filename);
    QVERIFY2(
        QRegularExpression(
            QStringLiteral("^temp_report_\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d{1,3}_\\d+\\.xml$"))
            .match(fileName)
            .hasMatch(),
        qPrintable(fileName));
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
    LocalServer mc;
    std::atomic<int> requests{0};
    mc.server.Post(".*", [&requests](const httplib::Request&, httplib::Response&) { ++requests; });
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
    QCOMPARE(requests.load(), 0);
    QCOMPARE(logLines(), QStringList{QStringLiteral("CurlWrapper: Cannot create tmp dir\n")});
}

void TestCurlWrapper::concurrentPostsKeepTheirOwnFiles()
{
    LocalServer mc;
    std::mutex mutex;
    std::multiset<std::string> fileNames;
    std::multiset<std::string> contents;
    mc.server.Post("/upload", [&](const httplib::Request& req, httplib::Response& res) {
        const httplib::MultipartFormData part = req.get_file_value("xmlRequest");
        {
            std::lock_guard<std::mutex> lock(mutex);
            fileNames.insert(part.filename);
            contents.insert(part.content);
        }
        res.set_content(part.content, "text/plain");
    });
    QVERIFY(mc.start());

    const int threads = 4;
    const int rounds = 15;
    std::atomic<int> ready{0};
    std::atomic<int> mismatches{0};
    std::multiset<std::string> sent;
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < rounds; ++i)
            sent.insert("<report thread=\"" + std::to_string(t) + "\" round=\"" + std::to_string(i) + "\">" +
                        std::string(size_t(4096 + t), char('a' + t)) + "</report>");
    }
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            ++ready;
            while (ready.load() < threads) {
            } // start together, so the posts fall into the same milliseconds
            for (int i = 0; i < rounds; ++i) {
                const std::string document = "<report thread=\"" + std::to_string(t) + "\" round=\"" +
                                             std::to_string(i) + "\">" +
                                             std::string(size_t(4096 + t), char('a' + t)) + "</report>";
                long httpCode = 0;
                const std::string body = CurlWrapper::blockingMultiPartPost(
                    mc.url("/upload"), document, &httpCode, "xmlRequest", nullptr, 10, nullptr, false);
                if (httpCode != 200 || body != document)
                    ++mismatches;
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();

    QCOMPARE(mismatches.load(), 0);
    QVERIFY(contents == sent);
    QCOMPARE(std::set<std::string>(fileNames.begin(), fileNames.end()).size(), size_t(threads * rounds));
    QVERIFY(tempFiles().isEmpty());
}

void TestCurlWrapper::systemProxy_data()
{
    QTest::addColumn<QByteArray>("userInfo");
    QTest::addColumn<QByteArray>("proxyAuthorization");
    QTest::newRow("with user") << QByteArray("proxyuser:s3cret@")
                               << QByteArray("Basic ") + QByteArray("proxyuser:s3cret").toBase64();
    QTest::newRow("without user") << QByteArray() << QByteArray();
}

void TestCurlWrapper::systemProxy()
{
    QFETCH(QByteArray, userInfo);
    QFETCH(QByteArray, proxyAuthorization);
    const bool needsAuth = !userInfo.isEmpty();

    // The proxy answers in place of the console and keeps what reached it.
    LocalServer proxy;
    std::mutex mutex;
    std::vector<std::string> targets;
    std::vector<std::string> credentials;
    proxy.server.Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex);
        targets.push_back(req.target);
        credentials.push_back(req.get_header_value("Proxy-Authorization"));
        if (needsAuth && !req.has_header("Proxy-Authorization")) {
            res.status = 407;
            res.set_header("Proxy-Authenticate", "Basic realm=\"station\"");
            return;
        }
        res.set_content("1550000000", "text/plain");
    });
    QVERIFY(proxy.start());
    const ScopedEnv env("http_proxy", "http://" + userInfo + "127.0.0.1:" + QByteArray::number(proxy.port()));

    // Qt never proxies loopback, so the console is given a name that is not.
    long httpCode = 0;
    const std::string body = CurlWrapper::get("http://mc.station.invalid:8080/mc/time", &httpCode, "text/xml",
                                              nullptr, 10, nullptr, nullptr, false, nullptr, nullptr);
    QCOMPARE(httpCode, 200L);
    QCOMPARE(QByteArray::fromStdString(body), QByteArray("1550000000"));
    std::lock_guard<std::mutex> lock(mutex);
    QVERIFY(!targets.empty());
    QCOMPARE(QByteArray::fromStdString(targets.back()), QByteArray("http://mc.station.invalid:8080/mc/time"));
    QCOMPARE(QByteArray::fromStdString(credentials.back()), proxyAuthorization);
}

void TestCurlWrapper::directHostBypassesEnvironmentProxy()
{
    LocalServer proxy;
    std::atomic<int> proxied{0};
    proxy.server.Get(".*", [&proxied](const httplib::Request&, httplib::Response& res) {
        ++proxied;
        res.set_content("from proxy", "text/plain");
    });
    QVERIFY(proxy.start());
    LocalServer mc;
    mc.server.Get("/mc/time", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("1550000000", "text/plain");
    });
    QVERIFY(mc.start());
    // libcurl alone would follow the environment; the host on its no-proxy list keeps it direct.
    const ScopedEnv env("http_proxy", "http://127.0.0.1:" + QByteArray::number(proxy.port()));
    long httpCode = 0;
    const std::string body = CurlWrapper::get(mc.url("/mc/time"), &httpCode, "text/xml", nullptr, 10, nullptr,
                                              nullptr, false, nullptr, nullptr);
    QCOMPARE(httpCode, 200L);
    QCOMPARE(QByteArray::fromStdString(body), QByteArray("1550000000"));
    QCOMPARE(proxied.load(), 0);
}

QTEST_GUILESS_MAIN(TestCurlWrapper)
#include "tst_curlwrapper.moc"
