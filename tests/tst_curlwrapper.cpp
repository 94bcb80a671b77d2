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
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <atomic>
#include <memory>
#include <set>
#include <thread>

namespace {

using Server = TestSupport::LocalHttpServer;

void reply(httplib::Response& res, int status, const std::string& body)
{
    res.status = status;
    res.set_content(body, "text/plain");
}

std::string header(const httplib::Request& req, const char* name)
{
    return req.has_header(name) ? req.get_header_value(name) : "<none>";
}

std::string get(const std::string& url, long* httpCode, const std::string& contentType = "text/xml",
                AuthenticationClient* auth = nullptr)
{
    return CurlWrapper::get(url, httpCode, contentType, auth, 10, nullptr, nullptr, false, nullptr, nullptr);
}

std::string post(const std::string& url, const std::string& document, long* httpCode,
                 std::string* errorText = nullptr)
{
    return CurlWrapper::blockingMultiPartPost(url, document, httpCode, "xmlRequest", nullptr, 10, errorText,
                                              false);
}

} // namespace

class TestCurlWrapper : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TestSupport::IsolatedDataRoot> m_root;
    std::unique_ptr<QTemporaryDir> m_appData;
    std::unique_ptr<TestSupport::LogCapture> m_log;

    QStringList tempFiles() const
    {
        return QDir(m_appData->path() + "/TVKR/tmp").entryList(QDir::Files | QDir::Hidden);
    }

private slots:
    void initTestCase()
    {
        m_root = std::make_unique<TestSupport::IsolatedDataRoot>();
        QVERIFY(m_root->isValid());
        m_log = std::make_unique<TestSupport::LogCapture>();
        // The proxy tests set their own; nothing from the machine may leak in.
        for (const char* name :
             {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
            qunsetenv(name);
    }

    void init()
    {
        m_appData = std::make_unique<QTemporaryDir>();
        qputenv("APPDATA", QFile::encodeName(m_appData->path()));
        qunsetenv("http_proxy"); // only systemProxy sets one
        m_log->clear();
    }

    // Posts that cannot be sent leave no temporary file and one log line each. Without a listener the
    // error gives the code, then libcurl's own message about this transfer (it names the port).
    void failedPosts()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const int port = probe.serverPort();
        probe.close();
        long httpCode = -1;
        std::string errorText;
        QVERIFY(
            post("http://127.0.0.1:" + std::to_string(port) + "/upload", "<request/>", &httpCode, &errorText)
                .empty());
        QCOMPARE(httpCode, 0L);
        const QString text = QString::fromStdString(errorText);
        QVERIFY2(text.startsWith("7 - ") && text.contains(QString::number(port)), qPrintable(text));
        QVERIFY(tempFiles().isEmpty());
        QCOMPARE(m_log->lines().size(), 1);

        // Without its temporary directory (a plain file where its parent should be) nothing is sent.
        Server mc;
        QVERIFY(mc.start());
        QTemporaryFile blocker;
        QVERIFY(blocker.open());
        qputenv("APPDATA", QFile::encodeName(blocker.fileName()));
        errorText = "stale";
        QVERIFY(post(mc.url("/upload"), "<request/>", &httpCode, &errorText).empty());
        QVERIFY(errorText.empty());
        QVERIFY(mc.requests().empty());
        QCOMPARE(m_log->lines().size(), 2);
    }

    // Basic credentials go with the first request, without waiting for a challenge, a colon and UTF-8
    // in them as they are; no content type is sent unless asked (text/xml: tst_mccomm's getTime). A
    // redirect is not followed, not even to the same console by another name: the request and its
    // credentials reach only the address the user entered. The log names where it pointed.
    void requestsReachOnlyTheConsole()
    {
        Server elsewhere;
        elsewhere.server().Get("/mc/time",
                               [](const httplib::Request&, httplib::Response& res) { reply(res, 200, "1"); });
        elsewhere.server().Post(
            "/upload", [](const httplib::Request&, httplib::Response& res) { reply(res, 200, "ok"); });
        QVERIFY(elsewhere.start());
        const std::string target = "http://localhost:" + std::to_string(elsewhere.port());
        Server mc;
        mc.server().Get("/mc/time", [&](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(target + "/mc/time", 302);
        });
        mc.server().Post("/upload", [&](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(target + "/upload", 307);
        });
        QVERIFY(mc.start());
        const QByteArray user("j\xc3\xbcrgen");
        const QByteArray password("pa:\xc3\xa9t\xc3\xa9");
        BasicHttpAuthenticationClient auth(user.toStdString(), password.toStdString());
        long httpCode = 0;
        get(mc.url("/mc/time"), &httpCode, "", &auth);
        QCOMPARE(httpCode, 302L);
        post(mc.url("/upload"), "<request/>", &httpCode);
        QCOMPARE(httpCode, 307L);
        QVERIFY(elsewhere.requests().empty());
        const std::vector<httplib::Request> requests = mc.requests();
        QCOMPARE(int(requests.size()), 2);
        QCOMPARE(QByteArray::fromStdString(header(requests[0], "Content-Type")), QByteArray("<none>"));
        QCOMPARE(QByteArray::fromStdString(header(requests[0], "Authorization")),
                 "Basic " + (user + ':' + password).toBase64());
        QVERIFY(m_log->lines().join("\n").contains(QString::fromStdString(target + "/upload")));
    }

    void concurrentPostsKeepTheirOwnFiles()
    {
        Server mc;
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
                    if (post(mc.url("/upload"), document(t, i), &httpCode) != document(t, i) ||
                        httpCode != 200)
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

    void systemProxy_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("with user") << false;
        // libcurl alone would follow the environment; the host on its no-proxy list keeps it direct.
        QTest::newRow("loopback console") << true;
    }

    // The proxy of the environment answers in place of the console; with a user it first asks for
    // credentials.
    void systemProxy()
    {
        QFETCH(bool, direct);
        const QByteArray user = "proxyuser:s3cret";
        const bool needsAuth = !direct;
        Server proxy;
        proxy.server().Get(".*", [needsAuth](const httplib::Request& req, httplib::Response& res) {
            if (needsAuth && !req.has_header("Proxy-Authorization")) {
                res.status = 407;
                res.set_header("Proxy-Authenticate", "Basic realm=\"station\"");
                return;
            }
            reply(res, 200, "1550000000");
        });
        QVERIFY(proxy.start());
        Server mc;
        mc.server().Get("/mc/time", [](const httplib::Request&, httplib::Response& res) {
            reply(res, 200, "1550000000");
        });
        QVERIFY(mc.start());
        qputenv("http_proxy", "http://" + user + "@127.0.0.1:" + QByteArray::number(proxy.port()));

        // Qt never proxies loopback, so a proxied console gets a name that is not.
        const std::string url = direct ? mc.url("/mc/time") : "http://mc.station.invalid:8080/mc/time";
        long httpCode = 0;
        QCOMPARE(QByteArray::fromStdString(get(url, &httpCode)), QByteArray("1550000000"));
        QCOMPARE(httpCode, 200L);
        const std::vector<httplib::Request> requests = proxy.requests();
        QCOMPARE(requests.empty(), direct);
        if (!direct) {
            QCOMPARE(requests.back().target, url);
            QCOMPARE(QByteArray::fromStdString(header(requests.back(), "Proxy-Authorization")),
                     "Basic " + user.toBase64());
        }
    }
};

QTEST_GUILESS_MAIN(TestCurlWrapper)
#include "tst_curlwrapper.moc"
