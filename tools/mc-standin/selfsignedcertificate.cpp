#include "selfsignedcertificate.h"

#include <QDebug>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

template <typename T, void (*Free)(T*)> struct Deleter
{
    void operator()(T* pointer) const { Free(pointer); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePointer = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using ExtensionPointer = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

bool addExtension(X509* certificate, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    ExtensionPointer extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

bool writePem(const QString& path, const std::function<int(FILE*)>& write)
{
    FILE* file = std::fopen(path.toLocal8Bit().constData(), "wb");
    if (!file)
        return false;
    const bool written = write(file) == 1;
    return std::fclose(file) == 0 && written;
}

} // namespace

bool SelfSignedCertificate::generate(const QString& host)
{
    if (!m_dir.isValid()) {
        qWarning("mc-standin: no temporary folder for the certificate: %s", qPrintable(m_dir.errorString()));
        return false;
    }

    KeyPointer key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    CertificatePointer certificate(X509_new());
    if (!key || !certificate) {
        qWarning("mc-standin: could not create a key for the certificate");
        return false;
    }

    unsigned char serial[8];
    RAND_bytes(serial, sizeof(serial));
    serial[0] &= 0x7f; // a positive serial number
    std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>> serialNumber(
        BN_bin2bn(serial, sizeof(serial), nullptr));

    const QByteArray hostName = host.toUtf8();
    const QByteArray altName = "IP:" + hostName + ",DNS:localhost";
    X509_NAME* name = X509_get_subject_name(certificate.get());
    bool ok = serialNumber &&
              BN_to_ASN1_INTEGER(serialNumber.get(), X509_get_serialNumber(certificate.get())) &&
              X509_set_version(certificate.get(), 2) == 1 &&
              // Valid from an hour ago, so that a slightly slow client clock still accepts it.
              X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600) &&
              X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 365L * 24 * 3600) &&
              X509_set_pubkey(certificate.get(), key.get()) == 1 &&
              X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(hostName.constData()), -1, -1,
                                         0) == 1 &&
              X509_set_issuer_name(certificate.get(), name) == 1 &&
              addExtension(certificate.get(), NID_subject_alt_name, altName.constData()) &&
              addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE") &&
              X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0;
    if (!ok) {
        qWarning("mc-standin: could not build the self-signed certificate");
        return false;
    }

    ok = writePem(certificatePath(), [&](FILE* file) { return PEM_write_X509(file, certificate.get()); }) &&
         writePem(keyPath(), [&](FILE* file) {
             return PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
         });
    if (!ok)
        qWarning("mc-standin: could not write the certificate files to %s", qPrintable(m_dir.path()));
    return ok;
}
