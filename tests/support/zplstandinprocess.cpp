#include "zplstandinprocess.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>

#include <httplib.h>

namespace TestSupport {

namespace {

// "listening on 127.0.0.1:<port> control http://127.0.0.1:<port>"
const QRegularExpression kListening(QStringLiteral("^listening on \\S+:(\\d+) control (http://\\S+)$"));
const int kRequestSeconds = 30;

QJsonDocument request(const QString& baseUrl, const char* method, const char* path,
                      const QByteArray& body = {})
{
    const QUrl url(baseUrl);
    httplib::Client client(url.host().toStdString(), url.port());
    client.set_read_timeout(kRequestSeconds, 0);
    const httplib::Result result = qstrcmp(method, "POST") == 0
                                       ? client.Post(path, body.toStdString(), "application/json")
                                       : client.Get(path);
    if (!result) {
        qWarning() << "zpl-standin control request failed:" << method << path
                   << httplib::to_string(result.error()).c_str();
        return {};
    }
    if (result->status != 200) {
        qWarning() << "zpl-standin refused" << method << path << result->status << result->body.c_str();
        return {};
    }
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body));
}

} // namespace

ZplStandInProcess::ZplStandInProcess(const QStringList& extraArgs) : m_args(extraArgs)
{
    m_args << QStringLiteral("--out") << m_outDir.path();
    if (!m_args.contains(QStringLiteral("--port")))
        m_args << QStringLiteral("--port") << QStringLiteral("0");
    if (!m_args.contains(QStringLiteral("--control-port")))
        m_args << QStringLiteral("--control-port") << QStringLiteral("0");
}

ZplStandInProcess::~ZplStandInProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        qWarning() << "zpl-standin did not end on SIGTERM; killing it";
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool ZplStandInProcess::start(int timeoutMs)
{
#ifdef ZPL_STANDIN_BIN
    // Printer messages go to the test's own stderr; stdout carries the one line read here.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(ZPL_STANDIN_BIN), m_args);
    QElapsedTimer timer;
    timer.start();
    if (!m_process.waitForStarted(timeoutMs)) {
        qWarning() << "zpl-standin did not start:" << m_process.errorString();
        return false;
    }
    while (timer.elapsed() < timeoutMs) {
        while (m_process.canReadLine()) {
            const QRegularExpressionMatch match =
                kListening.match(QString::fromUtf8(m_process.readLine().trimmed()));
            if (match.hasMatch()) {
                m_port = match.captured(1).toInt();
                m_controlUrl = match.captured(2);
                return true;
            }
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(int(qMax<qint64>(1, timeoutMs - timer.elapsed())));
    }
    qWarning() << "zpl-standin did not report its address; exit code" << m_process.exitCode();
    return false;
#else
    Q_UNUSED(timeoutMs)
    qWarning() << "zpl-standin is not part of this build";
    return false;
#endif
}

QJsonObject ZplStandInProcess::setState(const QJsonObject& changes)
{
    return request(m_controlUrl, "POST", "/state", QJsonDocument(changes).toJson(QJsonDocument::Compact))
        .object();
}

QJsonObject ZplStandInProcess::state()
{
    return request(m_controlUrl, "GET", "/state").object();
}

QJsonArray ZplStandInProcess::labels()
{
    return request(m_controlUrl, "GET", "/labels").array();
}

} // namespace TestSupport
