#include "standinprocess.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <curl/curl.h>

namespace TestSupport {

namespace {

const QByteArray listeningPrefix = "mc-standin listening on ";

size_t appendToBuffer(char* data, size_t size, size_t count, void* buffer)
{
    static_cast<QByteArray*>(buffer)->append(data, int(size * count));
    return size * count;
}

QJsonObject jsonObject(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).object();
}

} // namespace

StandInProcess::StandInProcess(const QStringList& extraArgs) : m_args(extraArgs)
{
    if (!m_args.contains(QStringLiteral("--port")))
        m_args << QStringLiteral("--port") << QStringLiteral("0");
}

StandInProcess::~StandInProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        qWarning() << "mc-standin did not end on SIGTERM; killing it";
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool StandInProcess::start(int timeoutMs)
{
#ifdef MC_STANDIN_BIN
    // Server messages go to the test's own stderr; stdout carries the one line read here.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(MC_STANDIN_BIN), m_args);
    QElapsedTimer timer;
    timer.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        qWarning() << "mc-standin did not start:" << m_process.errorString();
        return false;
    }
    while (timer.elapsed() < timeoutMs) {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith(listeningPrefix)) {
                m_baseUrl = QString::fromUtf8(line.mid(listeningPrefix.size()));
                return true;
            }
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(int(qMax<qint64>(1, timeoutMs - timer.elapsed())));
    }
    qWarning() << "mc-standin did not report its address; exit code" << m_process.exitCode();
    return false;
#else
    Q_UNUSED(timeoutMs)
    qWarning() << "mc-standin is not part of this build";
    return false;
#endif
}

int StandInProcess::port() const
{
    return QUrl(m_baseUrl).port(-1);
}

QByteArray StandInProcess::control(const char* method, const QString& pathAndQuery, const QByteArray& body,
                                   const char* contentType, long* status) const
{
    *status = 0;
    QByteArray reply;
    CURL* curl = curl_easy_init();
    if (!curl)
        return reply;
    const QByteArray url = (m_baseUrl + pathAndQuery).toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    if (qstrcmp(method, "GET") != 0) {
        // Always send a body (possibly empty) so that the request carries a Content-Length.
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body.size()));
    }
    // The server refuses url-encoded form bodies above 8 KB, which curl's default type would claim.
    const QByteArray typeHeader = QByteArray("Content-Type: ") + contentType;
    curl_slist* headers = curl_slist_append(nullptr, typeHeader.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToBuffer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, status);
    else
        qWarning() << "stand-in control request failed:" << method << pathAndQuery
                   << curl_easy_strerror(code);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return reply;
}

int StandInProcess::addReport(const QByteArray& xml, bool exported, const QString& date)
{
    QString query = QStringLiteral("/standin/reports?exported=%1").arg(exported ? 1 : 0);
    if (!date.isEmpty())
        query += QStringLiteral("&date=") + QString::fromLatin1(QUrl::toPercentEncoding(date));
    long status = 0;
    const QByteArray reply = control("POST", query, xml, "application/xml", &status);
    if (status != 200) {
        qWarning() << "stand-in refused the report:" << status << reply;
        return -1;
    }
    return jsonObject(reply).value(QStringLiteral("id")).toInt(-1);
}

int StandInProcess::addRawReport(const QByteArray& xml)
{
    long status = 0;
    const QByteArray reply =
        control("POST", QStringLiteral("/standin/reports?exported=1&raw=1"), xml, "application/xml", &status);
    return status == 200 ? jsonObject(reply).value(QStringLiteral("id")).toInt(-1) : -1;
}

bool StandInProcess::setFault(const QString& path, const QString& kind, int status)
{
    const QJsonObject fault{{QStringLiteral("path"), path},
                            {QStringLiteral("kind"), kind},
                            {QStringLiteral("status"), status},
                            {QStringLiteral("times"), 1}};
    long httpStatus = 0;
    const QByteArray reply =
        control("POST", QStringLiteral("/standin/faults"),
                QJsonDocument(fault).toJson(QJsonDocument::Compact), "application/json", &httpStatus);
    if (httpStatus != 200)
        qWarning() << "stand-in refused the fault:" << httpStatus << reply;
    return httpStatus == 200;
}

} // namespace TestSupport
