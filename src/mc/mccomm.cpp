#include "mc/mccomm.h"

#include "logging/logger.h"
#include "mc/basichttpauthenticationclient.h"
#include "mc/certificatetrust.h"
#include "mc/curlwrapper.h"
#include "mc/exportsplitter.h"
#include "mc/mcrequest.h"
#include "mc/timeprovider.h"

#include <QDebug>

namespace {

const QString kContentType = QStringLiteral("text/xml");
const QString kFieldName = QStringLiteral("xmlRequest");
const qint64 kTimeTimeout = 60;
const qint64 kExportTimeout = 60;
const qint64 kSearchTimeout = 300000; // seconds, as every transfer limit

} // namespace

MCComm::MCComm(QObject* parent, const QString& baseUrl, const QString& userName, const QString& password,
               bool insecure)
    : QObject(parent), m_baseUrl(baseUrl),
      m_auth(new BasicHttpAuthenticationClient(userName.toUtf8().toStdString(),
                                               password.toUtf8().toStdString())),
      m_insecure(insecure)
{
    if (m_baseUrl.endsWith(QLatin1Char('/')))
        m_baseUrl.chop(1);
}

MCComm::~MCComm()
{
    delete m_auth;
}

PeerKeyPin* MCComm::pinFor(PeerKeyPin* pin) const
{
    if (!m_baseUrl.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return nullptr;
    pin->expected = CertificateTrust::instance()->expectedKey(m_baseUrl);
    return pin;
}

void MCComm::applyPeerKey(const PeerKeyPin& pin, bool transferred)
{
    if (pin.mismatch) {
        m_certificateRefused = true;
        CertificateTrust::instance()->refuse(m_baseUrl, pin.seen);
    } else if (transferred && pin.expected.isEmpty() && !pin.seen.isEmpty()) {
        CertificateTrust::instance()->remember(m_baseUrl, pin.seen);
    }
}

QString MCComm::sendGet(const QString& url, bool* ok, const QString& contentType, qint64 timeout)
{
    if (m_certificateRefused) {
        if (ok)
            *ok = false;
        return QString();
    }
    PeerKeyPin pin;
    PeerKeyPin* const pinning = pinFor(&pin);
    long httpCode = 0;
    QString errorText;
    int errorCode = 0;
    const std::string body =
        CurlWrapper::get(url.toUtf8().toStdString(), &httpCode, contentType.toUtf8().toStdString(), m_auth,
                         timeout, nullptr, nullptr, m_insecure, &errorText, &errorCode, pinning);
    if (pinning)
        applyPeerKey(pin, errorCode == 0);
    const QString reply = QString::fromUtf8(body.data(), int(body.size()));
    m_lastHttpStatus = httpCode;
    // A transfer that failed part-way is a failed request whatever the status line said.
    const bool good = judgeStatus(httpCode, body) && errorCode == 0;
    if (ok)
        *ok = good;
    if (errorCode > 0)
        emit networkError(errorText, errorCode);
    return reply;
}

QString MCComm::sendPost(const QString& url, const QString& document, bool* ok, const QString& fieldName,
                         qint64 timeout, QString* errorText)
{
    const std::string body = post(url, document, ok, fieldName, timeout, errorText);
    return QString::fromUtf8(body.data(), int(body.size()));
}

std::string MCComm::post(const QString& url, const QString& document, bool* ok, const QString& fieldName,
                         qint64 timeout, QString* errorText)
{
    if (m_certificateRefused) {
        if (ok)
            *ok = false;
        if (errorText)
            *errorText = QStringLiteral("the console's certificate is not the trusted one");
        return std::string();
    }
    PeerKeyPin pin;
    PeerKeyPin* const pinning = pinFor(&pin);
    long httpCode = 0;
    std::string transferError;
    std::string body = CurlWrapper::blockingMultiPartPost(
        url.toUtf8().toStdString(), document.toUtf8().toStdString(), &httpCode,
        fieldName.toUtf8().toStdString(), m_auth, timeout, &transferError, m_insecure, pinning);
    if (pinning)
        applyPeerKey(pin, transferError.empty());
    if (errorText)
        *errorText = QString::fromUtf8(transferError.data(), int(transferError.size()));
    m_lastHttpStatus = httpCode;
    // A transfer that failed part-way is a failed request whatever the status line said.
    const bool good = judgeStatus(httpCode, body) && transferError.empty();
    if (!transferError.empty() && httpCode == 200)
        qDebug() << "MCComm: the reply from" << url << "broke off:" << QString::fromStdString(transferError);
    if (ok)
        *ok = good;
    return body;
}

bool MCComm::judgeStatus(long httpCode, const std::string& reply) const
{
    if (httpCode == 200)
        return true;
    if (httpCode == 100) {
        // libcurl consumes interim answers itself; seeing one here means the transfer went wrong.
        logPrintf("MCComm:: Continue reply: %s\n", reply.c_str());
        logPrintf("Should never receive this. Something is wrong with curl!\n");
    }
    return false;
}

bool MCComm::checkConnection()
{
    return getTime();
}

bool MCComm::getTime()
{
    bool ok = false;
    bool parsed = false;
    const QString mcTime = sendGet(m_baseUrl + QStringLiteral("/mc/time"), &ok, kContentType, kTimeTimeout);
    bool mcTimeGood = false;
    if (ok) {
        const qint64 t1 = mcTime.toLongLong(&parsed);
        if (parsed) {
            const qint64 now = TimeProvider::instance()->currentTime().toMSecsSinceEpoch() / 1000;
            emit newMCTime(int(t1 - now));
            mcTimeGood = true;
        }
    }

    // Both requests are always sent: older consoles only answer the second one.
    const QString legacyTime =
        sendGet(m_baseUrl + QStringLiteral("/bls/bls.asp?cmd=time"), &ok, kContentType, kTimeTimeout);
    bool legacyGood = false;
    if (ok) {
        legacyTime.toLongLong(&parsed);
        legacyGood = parsed;
    }
    return mcTimeGood || legacyGood;
}

bool MCComm::searchReports(const QStringList& lines, const QString& format, QString* reply)
{
    bool ok = false;
    const QString body = sendPost(m_baseUrl + QStringLiteral("/rest-service/report/export/%1").arg(format),
                                  McRequest::searchEnvelope(lines), &ok, kFieldName, kSearchTimeout);
    if (reply)
        *reply = body;
    return ok;
}

bool MCComm::exportReports(const QStringList& lines, QByteArrayList* reports)
{
    bool ok = false;
    const std::string body = post(m_baseUrl + QStringLiteral("/rest-service/report/export/xml"),
                                  McRequest::exportEnvelope(lines), &ok, kFieldName, kExportTimeout);
    QByteArrayList parsed;
    QString error;
    // Only a whole export counts: a partial one would let the watermark pass reports never seen.
    if (ok &&
        !ExportSplitter::split(QByteArray::fromRawData(body.data(), int(body.size())), &parsed, &error)) {
        qWarning() << "MCComm: the export reply is not usable:" << error;
        ok = false;
    }
    if (reports)
        *reports = ok ? parsed : QByteArrayList();
    return ok;
}
