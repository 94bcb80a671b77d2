#pragma once
// Trust on first use for HTTPS consoles: the public-key fingerprint (SHA-256) of the console's
// certificate is remembered at the first successful connection, and a console presenting another
// key is refused until the user trusts the new one. Safe from any thread; the state lives in the
// global settings file.

#include <QObject>
#include <QString>

class CertificateTrust : public QObject
{
    Q_OBJECT
    // Fingerprints as the settings panel shows them: hex byte pairs joined by ":".
    Q_PROPERTY(QString trustedFingerprint READ trustedFingerprint NOTIFY changed)
    Q_PROPERTY(QString offeredFingerprint READ offeredFingerprint NOTIFY changed)
public:
    // Created on first use, on the application's thread, and never destroyed.
    static CertificateTrust* instance();

    QString trustedFingerprint() const;
    // The key a refused console presented; empty when nothing was refused.
    QString offeredFingerprint() const;

    // Trusts the key that was refused; false when there is none.
    Q_INVOKABLE bool trustOffered();

    // For the console client. Keys are base64 SHA-256 digests of the certificate's public key, the
    // form libcurl pins; `console` is the base URL, since a pin belongs to one console.
    // The key to insist on, or empty on first contact with this console.
    QByteArray expectedKey(const QString& console) const;
    // First contact went well: this key is the console's from now on.
    void remember(const QString& console, const QByteArray& key);
    // The console presented `key` instead of the trusted one.
    void refuse(const QString& console, const QByteArray& key);

    // The base64 digest as hex pairs ("AB:01:..."); empty for anything that is not a digest.
    static QString displayForm(const QByteArray& key);

    static const QString kTrustedKey;
    static const QString kConsoleKey;
    static const QString kOfferedKey;

signals:
    void changed();
    // A console was refused for its certificate (emitted on the refusing thread).
    void refused();
    // The user trusted a new certificate.
    void trusted();

private:
    CertificateTrust();
    void notifyChanged();
};
