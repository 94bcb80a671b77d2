#pragma once
// A throw-away self-signed certificate for 127.0.0.1, written as PEM files into a temporary folder.

#include <QString>
#include <QTemporaryDir>

class SelfSignedCertificate
{
public:
    // Makes an EC P-256 key and a certificate (CN and subjectAltName 127.0.0.1, valid for a year).
    bool generate(const QString& host = QStringLiteral("127.0.0.1"));

    QString certificatePath() const { return m_dir.filePath(QStringLiteral("cert.pem")); }
    QString keyPath() const { return m_dir.filePath(QStringLiteral("key.pem")); }

private:
    QTemporaryDir m_dir;
};
