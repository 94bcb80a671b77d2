#include "mc/mccomm.h"

#include "logging/logger.h"
#include "mc/basichttpauthenticationclient.h"
#include "mc/certificatetrust.h"
#include "mc/curlwrapper.h"
#include "mc/timeprovider.h"

namespace {

const QString kContentType = QStringLiteral("text/xml");
const QString kFieldName = QStringLiteral("xmlRequest");
const qint64 kTimeTimeout = 60;
const qint64 kExportTimeout = 60;
const qint64 kSearchTimeout = 300000; // seconds, as every transfer limit

const QString kXmlDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
const QString kEnvelopeBody = QStringLiteral("      <export-report>\n"
                                             "          <report mode=\"original\"/>\n");
const QString kEnvelopeEnd = QStringLiteral("       </export-report>\n"
                                            "  </request>\n");

} // namespace

const char* const MCComm::kNamespace = "http://www.korvex.example/schemas/service-request";

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

bool MCComm::pinsCertificate() const
{
    return m_baseUrl.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
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
    const bool pinned = pinsCertificate();
    if (pinned)
        pin.expected = CertificateTrust::instance()->expectedKey(m_baseUrl);
    long httpCode = 0;
    QString errorText;
    int errorCode = 0;
    const std::string body = CurlWrapper::get(
        url.toUtf8().toStdString(), &httpCode, contentType.toUtf8().toStdString(), m_auth, timeout, nullptr,
        nullptr, m_insecure, &errorText, &errorCode, pinned ? &pin : nullptr);
    if (pinned)
        applyPeerKey(pin, errorCode == 0);
    const QString reply = QString::fromUtf8(body.data(), int(body.size()));
    m_lastHttpStatus = httpCode;
    const bool good = judgeStatus(httpCode, reply);
    if (ok)
        *ok = good;
    if (errorCode > 0)
        emit networkError(errorText, errorCode);
    return reply;
}

QString MCComm::sendPost(const QString& url, const QString& document, bool* ok, const QString& fieldName,
                         qint64 timeout, QString* errorText)
{
    if (m_certificateRefused) {
        if (ok)
            *ok = false;
        if (errorText)
            *errorText = QStringLiteral("the console's certificate is not the trusted one");
        return QString();
    }
    PeerKeyPin pin;
    const bool pinned = pinsCertificate();
    if (pinned)
        pin.expected = CertificateTrust::instance()->expectedKey(m_baseUrl);
    long httpCode = 0;
    std::string transferError;
    const std::string body =
        CurlWrapper::blockingMultiPartPost(url.toUtf8().toStdString(), document.toUtf8().toStdString(),
                                           &httpCode, fieldName.toUtf8().toStdString(), m_auth, timeout,
                                           &transferError, m_insecure, pinned ? &pin : nullptr);
    if (pinned)
        applyPeerKey(pin, transferError.empty());
    const QString reply = QString::fromUtf8(body.data(), int(body.size()));
    if (errorText)
        *errorText = QString::fromUtf8(transferError.data(), int(transferError.size()));
    m_lastHttpStatus = httpCode;
    const bool good = judgeStatus(httpCode, reply);
    if (ok)
        *ok = good;
    return reply;
}

bool MCComm::judgeStatus(long httpCode, const QString& reply) const
{
    if (httpCode == 200)
        return true;
    if (httpCode == 100) {
        // libcurl consumes interim answers itself; seeing one here means the transfer went wrong.
        logPrintf("MCComm:: Continue reply: %s\n", reply.toUtf8().constData());
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

QString MCComm::searchEnvelope(const QStringList& lines)
{
    const QString ns = QLatin1String(kNamespace);
    QString envelope = kXmlDeclaration;
    envelope += QStringLiteral("  <request xmlns=\"%1\"\n").arg(ns);
    envelope += QStringLiteral("     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n");
    envelope += QStringLiteral("     xsi:schemaLocation=\"%1 service-request.xsd\">\n").arg(ns);
    envelope += kEnvelopeBody;
    for (const QString& line : lines)
        envelope += line;
    envelope += kEnvelopeEnd;
    return envelope;
}

QString MCComm::exportEnvelope(const QStringList& lines)
{
    QString envelope = kXmlDeclaration;
    envelope += QStringLiteral("  <request>\n");
    envelope += kEnvelopeBody;
    for (const QString& line : lines)
        envelope += line + QLatin1Char('\n');
    envelope += kEnvelopeEnd;
    return envelope;
}

QStringList MCComm::splitReports(const QString& reply)
{
    const QString root = QStringLiteral("<root>");
    const int start = reply.indexOf(root);
    if (start < 0)
        return {};
    QStringList parts = reply.mid(start + root.size()).split(QStringLiteral("</report>"), Qt::KeepEmptyParts);
    parts.removeLast(); // what follows the last report, normally "</root>"
    QStringList reports;
    reports.reserve(parts.size());
    for (const QString& part : qAsConst(parts))
        reports << root + part + QStringLiteral("</report></root>");
    return reports;
}

bool MCComm::searchReports(const QStringList& lines, const QString& format, QString* reply)
{
    bool ok = false;
    const QString body = sendPost(m_baseUrl + QStringLiteral("/rest-service/report/export/%1").arg(format),
                                  searchEnvelope(lines), &ok, kFieldName, kSearchTimeout);
    if (reply)
        *reply = body;
    return ok;
}

bool MCComm::exportReports(const QStringList& lines, QStringList* reports)
{
    bool ok = false;
    const QString body = sendPost(m_baseUrl + QStringLiteral("/rest-service/report/export/xml"),
                                  exportEnvelope(lines), &ok, kFieldName, kExportTimeout);
    if (reports)
        *reports = splitReports(body);
    return ok;
}
