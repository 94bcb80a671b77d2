#include "mc/curlwrapper.h"

#include "logging/logger.h"
#include "mc/authenticationclient.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QStandardPaths>
#include <QUrl>

#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// libcurl's process-wide set-up is not thread-safe on every build; do it once, before any handle.
void ensureGlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

// A console address that answers with a redirect must be corrected by the user: say where it points.
void logRedirect(CURL* handle, long code, const char* caller)
{
    if (code < 300 || code >= 400)
        return;
    char* location = nullptr;
    curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location);
    logPrintf("%s: HTTP %ld redirect to %s not followed; enter the console's own address\n", caller, code,
              location ? location : "(no location)");
}

std::string describeFailure(CURLcode result, const char* errorBuffer)
{
    return errorBuffer[0] != '\0' ? std::string(errorBuffer) : std::string(curl_easy_strerror(result));
}

} // namespace

std::string CurlWrapper::get(const std::string& url, long* httpCode, const std::string& contentType,
                             AuthenticationClient* auth, int64_t timeout, std::string* cookieFile,
                             std::string* cookieJar, bool insecure, QString* errorText, int* errorCode,
                             PeerKeyPin* pin)
{
    std::string buffer;
    ensureGlobalInit();
    CURL* handle = curl_easy_init();
    if (!handle)
        return std::string();

    char errorBuffer[CURL_ERROR_SIZE] = {};
    prepareHandle(handle, url, &buffer, errorBuffer, timeout, auth, insecure, pin);

    curl_slist* headers = nullptr;
    if (!contentType.empty()) {
        headers = curl_slist_append(headers, ("Content-Type: " + contentType).c_str());
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    }
    if (cookieFile)
        curl_easy_setopt(handle, CURLOPT_COOKIEFILE, cookieFile->c_str());
    if (cookieJar)
        curl_easy_setopt(handle, CURLOPT_COOKIEJAR, cookieJar->c_str());

    const CURLcode result = curl_easy_perform(handle);
    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    if (httpCode)
        *httpCode = code;
    logRedirect(handle, code, "CurlWrapper::get");
    readPeerKey(handle, result, pin);
    curl_easy_cleanup(handle);
    curl_slist_free_all(headers);

    if (result == CURLE_OK)
        return buffer;

    const bool reportError = errorText && errorCode;
    if (result == CURLE_COULDNT_CONNECT) {
        if (reportError) {
            *errorCode = result;
            *errorText = QString::fromLocal8Bit(curl_easy_strerror(result));
        }
        logPrintf("CurlWrapper::get: connection error\n");
    } else {
        if (reportError) {
            *errorCode = result;
            *errorText = QString::fromLocal8Bit(describeFailure(result, errorBuffer).c_str());
        }
        logPrintf("CurlWrapper::get: failed for unknown reason\n");
    }
    return std::string();
}

std::string CurlWrapper::blockingMultiPartPost(const std::string& url, const std::string& content,
                                               long* httpCode, const std::string& fieldName,
                                               AuthenticationClient* auth, int64_t timeout,
                                               std::string* errorText, bool insecure, PeerKeyPin* pin)
{
    if (errorText)
        errorText->clear();
    ensureGlobalInit();
    CURL* handle = curl_easy_init();
    if (!handle)
        return std::string();

    const QString directory = tempDirectory();
    if (!QDir().mkpath(directory)) {
        logPrintf("CurlWrapper: Cannot create tmp dir\n");
        curl_easy_cleanup(handle);
        return std::string();
    }

    // Exclusive create: a name taken by another thread or process is never shared, only retried.
    QFile file;
    bool opened = false;
    for (int attempt = 0; attempt < 100 && !opened; ++attempt) {
        file.setFileName(makeTempFileName(directory));
        opened = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
        if (!opened && !file.exists())
            break;
    }
    if (!opened) {
        logPrintf("CurlWrapper: Cannot create temp file\n");
        curl_easy_cleanup(handle);
        return std::string();
    }
    const QString tempPath = file.fileName();
    const bool written =
        file.write(content.data(), qint64(content.size())) == qint64(content.size()) && file.flush();
    file.close();
    if (!written) {
        // A truncated document must not be uploaded as if it were complete.
        logPrintf("CurlWrapper: Cannot write temp file\n");
        QFile::remove(tempPath);
        curl_easy_cleanup(handle);
        return std::string();
    }

    std::string buffer;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    prepareHandle(handle, url, &buffer, errorBuffer, timeout, auth, insecure, pin);

    // One file part named after the field; libcurl names the file after the temp file's base name
    // and reads it at transfer time.
    curl_mime* form = curl_mime_init(handle);
    curl_mimepart* part = curl_mime_addpart(form);
    CURLcode result = curl_mime_name(part, fieldName.c_str());
    if (result == CURLE_OK)
        result = curl_mime_filedata(part, QFile::encodeName(tempPath).constData());
    if (result == CURLE_OK)
        result = curl_easy_setopt(handle, CURLOPT_MIMEPOST, form);
    if (result == CURLE_OK)
        result = curl_easy_perform(handle);

    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    if (httpCode)
        *httpCode = code;
    if (errorText && result != CURLE_OK)
        *errorText = std::to_string(int(result)) + " - " + describeFailure(result, errorBuffer);
    logRedirect(handle, code, "CurlWrapper::blockingMultiPartPost");
    readPeerKey(handle, result, pin);

    curl_easy_cleanup(handle);
    curl_mime_free(form);

    if (!QFile::remove(tempPath))
        logPrintf("CurlWrapper::blockingMultiPartPost: failed to delete tmp-file\n");

    if (result == CURLE_OK)
        return buffer;
    if (result == CURLE_COULDNT_CONNECT)
        logPrintf("CurlWrapper::blockingMultiPartPost: connection error\n");
    else
        logPrintf("CurlWrapper::blockingMultiPartPost: failed for unknown reason\n");
    return std::string();
}

void CurlWrapper::prepareHandle(CURL* handle, const std::string& url, std::string* buffer, char* errorBuffer,
                                int64_t timeout, AuthenticationClient* auth, bool insecure,
                                const PeerKeyPin* pin)
{
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_HEADER, 0L);
    // Redirects are not followed: a redirected request would carry the report search (and the
    // console's trust) to whatever place the answer names. A 3xx answer fails like any other.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CurlWrapper::appendToBuffer);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, buffer);
    // An export is megabytes: the answer's announced length is reserved at once, and read in large
    // pieces, instead of being copied over again as it grows.
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &CurlWrapper::reserveAnnounced);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, buffer);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, 256L * 1024L);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    if (auth)
        auth->authenticate(handle, url);
    if (timeout != 0)
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, static_cast<long>(timeout));
    // TLS 1.2 at least, with the library's own cipher choice.
    curl_easy_setopt(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (insecure) {
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    }
    if (pin) {
        curl_easy_setopt(handle, CURLOPT_CERTINFO, 1L);
        if (!pin->expected.isEmpty())
            curl_easy_setopt(handle, CURLOPT_PINNEDPUBLICKEY, ("sha256//" + pin->expected).constData());
    }
    applySystemProxy(handle, url);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // Off is libcurl's default and the option is a no-op in current versions; set explicitly so
    // that an older libcurl never shares its DNS cache across threads.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    curl_easy_setopt(handle, CURLOPT_DNS_USE_GLOBAL_CACHE, 0L);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

void CurlWrapper::readPeerKey(CURL* handle, int result, PeerKeyPin* pin)
{
    if (!pin)
        return;
    pin->mismatch = result == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
    pin->seen.clear();
    curl_certinfo* chain = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CERTINFO, &chain) != CURLE_OK || !chain || chain->num_of_certs < 1)
        return;
    // The first certificate of the chain is the server's own.
    static const char prefix[] = "Cert:";
    for (const curl_slist* field = chain->certinfo[0]; field; field = field->next) {
        if (std::strncmp(field->data, prefix, sizeof(prefix) - 1) == 0) {
            pin->seen = publicKeyDigest(QByteArray(field->data + sizeof(prefix) - 1));
            return;
        }
    }
}

QByteArray CurlWrapper::publicKeyDigest(const QByteArray& pemCertificate)
{
    const std::unique_ptr<BIO, decltype(&BIO_free)> input(
        BIO_new_mem_buf(pemCertificate.constData(), pemCertificate.size()), &BIO_free);
    if (!input)
        return QByteArray();
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(
        PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr), &X509_free);
    if (!certificate)
        return QByteArray();
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate.get()), &der);
    if (length <= 0)
        return QByteArray();
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray::fromRawData(reinterpret_cast<const char*>(der), length), QCryptographicHash::Sha256);
    OPENSSL_free(der);
    return digest.toBase64();
}

void CurlWrapper::applySystemProxy(CURL* handle, const std::string& url)
{
    const QUrl target(QString::fromStdString(url));
    QString host = target.host(QUrl::FullyDecoded);
    if (host.startsWith(QLatin1String("//")))
        host.remove(0, 2);

    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(target, QNetworkProxyQuery::UrlRequest));
    if (proxies.isEmpty() || proxies.first().type() == QNetworkProxy::NoProxy) {
        // Also keeps libcurl from taking a proxy out of the environment for this host.
        curl_easy_setopt(handle, CURLOPT_NOPROXY, host.toUtf8().constData());
        return;
    }

    const QNetworkProxy& proxy = proxies.first();
    curl_easy_setopt(handle, CURLOPT_PROXY, proxy.hostName().toUtf8().constData());
    curl_easy_setopt(handle, CURLOPT_PROXYPORT, static_cast<long>(proxy.port()));
    if (!proxy.user().isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
        const QString userPassword = QStringLiteral("%1:%2").arg(proxy.user(), proxy.password());
        curl_easy_setopt(handle, CURLOPT_PROXYUSERPWD, userPassword.toUtf8().constData());
    }
}

QString CurlWrapper::tempDirectory()
{
    // Without APPDATA (anything but Windows) the per-user application data folder takes its place.
    QString prefix = qEnvironmentVariable("APPDATA");
    if (prefix.isEmpty())
        prefix = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation).value(0);
    return prefix + QStringLiteral("/TVKR/tmp");
}

QString CurlWrapper::makeTempFileName(const QString& directory)
{
    // The millisecond stamp alone repeats when two threads post at once; the counter separates them.
    static std::atomic<unsigned> sequence{0};
    const QDateTime now = QDateTime::currentDateTime();
    const QString stamp =
        now.toString(QStringLiteral("yyyy_MM_dd_hh_mm_ss_")) + QString::number(now.time().msec());
    return QDir::toNativeSeparators(
        QStringLiteral("%1/temp_report_%2_%3.xml").arg(directory, stamp).arg(sequence.fetch_add(1) + 1));
}

size_t CurlWrapper::reserveAnnounced(char* data, size_t size, size_t count, void* buffer)
{
    const size_t bytes = size * count;
    static const char kName[] = "content-length:";
    const size_t nameLength = sizeof kName - 1;
    if (!buffer || bytes <= nameLength || qstrnicmp(data, kName, uint(nameLength)) != 0)
        return bytes;
    bool ok = false;
    const qint64 announced = QByteArray(data + nameLength, int(bytes - nameLength)).trimmed().toLongLong(&ok);
    // Only a plausible length: a larger answer still grows as it comes.
    if (ok && announced > 0 && announced <= kMaxReserved)
        static_cast<std::string*>(buffer)->reserve(size_t(announced));
    return bytes;
}

size_t CurlWrapper::appendToBuffer(char* data, size_t size, size_t count, void* buffer)
{
    if (!buffer)
        return 0;
    const size_t bytes = size * count;
    static_cast<std::string*>(buffer)->append(data, bytes);
    return bytes;
}
