#include "mc/mccomm.h"

#include "logging/logger.h"
#include "mc/basichttpauthenticationclient.h"
#include "mc/certificatetrust.h"
#include "mc/curlwrapper.h"
#include "mc/mcrequest.h"
#include "mc/timeprovider.h"

#include <QDebug>
#include <QXmlStreamReader>

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
    const bool good = judgeStatus(httpCode, reply) && errorCode == 0;
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
    PeerKeyPin* const pinning = pinFor(&pin);
    long httpCode = 0;
    std::string transferError;
    const std::string body = CurlWrapper::blockingMultiPartPost(
        url.toUtf8().toStdString(), document.toUtf8().toStdString(), &httpCode,
        fieldName.toUtf8().toStdString(), m_auth, timeout, &transferError, m_insecure, pinning);
    if (pinning)
        applyPeerKey(pin, transferError.empty());
    const QString reply = QString::fromUtf8(body.data(), int(body.size()));
    if (errorText)
        *errorText = QString::fromUtf8(transferError.data(), int(transferError.size()));
    m_lastHttpStatus = httpCode;
    // A transfer that failed part-way is a failed request whatever the status line said.
    const bool good = judgeStatus(httpCode, reply) && transferError.empty();
    if (!transferError.empty() && httpCode == 200)
        qDebug() << "MCComm: the reply from" << url << "broke off:" << QString::fromStdString(transferError);
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

bool MCComm::splitReports(const QString& reply, QStringList* reports, QString* error)
{
    // Read as XML, not searched for "</report>": a report may hold that text in a CDATA section.
    reports->clear();
    QXmlStreamReader reader(reply);
    // Reports are read without namespace processing later on; a prefix must not fail the export here.
    reader.setNamespaceProcessing(false);
    int depth = 0;
    qint64 reportStart = -1;
    bool rootSeen = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 1) {
                if (reader.name() != QLatin1String("root")) {
                    *error =
                        QStringLiteral("the reply's root element is <%1>, not <root>").arg(reader.name());
                    return false;
                }
                rootSeen = true;
            } else if (depth == 2) {
                // The reader may have looked past the tag; a start tag holds no other "<".
                reportStart = reply.lastIndexOf(QLatin1Char('<'), int(reader.characterOffset()) - 1);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 2 && reportStart >= 0) {
                const qint64 end = reply.lastIndexOf(QLatin1Char('>'), int(reader.characterOffset()) - 1) + 1;
                // Built in place: a report is copied once, not once per concatenation.
                QString report;
                report.reserve(int(end - reportStart) + 13);
                report += QLatin1String("<root>");
                report += reply.midRef(int(reportStart), int(end - reportStart));
                report += QLatin1String("</root>");
                reports->append(report);
                reportStart = -1;
            }
            --depth;
        }
    }
    if (reader.hasError()) {
        *error = QStringLiteral("the reply is not complete XML (%1 at line %2)")
                     .arg(reader.errorString())
                     .arg(reader.lineNumber());
        return false;
    }
    if (!rootSeen) {
        *error = QStringLiteral("the reply has no <root> element");
        return false;
    }
    return true;
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

bool MCComm::exportReports(const QStringList& lines, QStringList* reports)
{
    bool ok = false;
    const QString body = sendPost(m_baseUrl + QStringLiteral("/rest-service/report/export/xml"),
                                  McRequest::exportEnvelope(lines), &ok, kFieldName, kExportTimeout);
    QStringList parsed;
    QString error;
    // Only a whole export counts: a partial one would let the watermark pass reports never seen.
    if (ok && !splitReports(body, &parsed, &error)) {
        qWarning() << "MCComm: the export reply is not usable:" << error;
        ok = false;
    }
    if (reports)
        *reports = ok ? parsed : QStringList();
    return ok;
}
