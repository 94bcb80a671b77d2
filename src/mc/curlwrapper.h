#pragma once
// Blocking HTTP GET and multipart POST on libcurl, one easy handle per call; the only HTTP client
// of the Management Console traffic.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>

class AuthenticationClient;
typedef void CURL;

// The server's public key for HTTPS: libcurl refuses a server whose key is not the expected one
// before any request (and so any password) is sent; the key met is reported either way. Keys are
// base64 SHA-256 digests of the certificate's SubjectPublicKeyInfo.
struct PeerKeyPin
{
    QByteArray expected; // empty: any key is accepted
    QByteArray seen;     // out: the key the server presented; empty when no certificate came
    bool mismatch = false;
};

class CurlWrapper
{
public:
    CurlWrapper() = delete;

    // Returns the body (also of 4xx/5xx answers); empty on a failed transfer. errorText and
    // errorCode are written only when both are given.
    static std::string get(const std::string& url, long* httpCode, const std::string& contentType,
                           AuthenticationClient* auth, int64_t timeout, std::string* cookieFile,
                           std::string* cookieJar, bool insecure, QString* errorText, int* errorCode,
                           PeerKeyPin* pin = nullptr);

    // Uploads content as the file part fieldName of a multipart form; returns the body, empty on
    // failure. errorText gets "<curl code> - <message>" after a failed transfer.
    static std::string blockingMultiPartPost(const std::string& url, const std::string& content,
                                             long* httpCode, const std::string& fieldName,
                                             AuthenticationClient* auth, int64_t timeout,
                                             std::string* errorText, bool insecure,
                                             PeerKeyPin* pin = nullptr);

    // The key digest of a PEM certificate; empty when it cannot be read.
    static QByteArray publicKeyDigest(const QByteArray& pemCertificate);

private:
    static void prepareHandle(CURL* handle, const std::string& url, std::string* buffer, char* errorBuffer,
                              int64_t timeout, AuthenticationClient* auth, bool insecure,
                              const PeerKeyPin* pin);
    // After a transfer: the key the server presented, and whether the pin refused it.
    static void readPeerKey(CURL* handle, int result, PeerKeyPin* pin);
    static void applySystemProxy(CURL* handle, const std::string& url);
    static QString tempDirectory();
    static QString makeTempFileName(const QString& directory);
    static size_t appendToBuffer(char* data, size_t size, size_t count, void* buffer);
    static size_t reserveAnnounced(char* data, size_t size, size_t count, void* buffer);
    static constexpr qint64 kMaxReserved = 256 * 1024 * 1024;
};
