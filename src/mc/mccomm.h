#pragma once
// Client of the Management Console protocol: time requests, CSV report search and XML report export.

#include <QByteArrayList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <string>

class AuthenticationClient;
struct PeerKeyPin;

class MCComm : public QObject
{
    Q_OBJECT
public:
    MCComm(QObject* parent, const QString& baseUrl, const QString& userName, const QString& password,
           bool insecure);
    ~MCComm() override;

    QString sendGet(const QString& url, bool* ok, const QString& contentType, qint64 timeout);
    QString sendPost(const QString& url, const QString& document, bool* ok, const QString& fieldName,
                     qint64 timeout, QString* errorText = nullptr);

    bool checkConnection();
    bool getTime();
    bool searchReports(const QStringList& lines, const QString& format, QString* reply);
    // False (and no reports) unless the reply arrived whole and parses as one export.
    bool exportReports(const QStringList& lines, QByteArrayList* reports);
    // HTTP status of the last request (0 when none came), e.g. 401 for a rejected user.
    long lastHttpStatus() const { return m_lastHttpStatus; }

    // An HTTPS console presented a key other than the trusted one; this client sends nothing more.
    bool certificateRefused() const { return m_certificateRefused; }

signals:
    void newMCTime(int delta);
    void networkError(QString reason, int code);

private:
    // The reply's bytes as they came; the export is cut into reports from them without a copy.
    std::string post(const QString& url, const QString& document, bool* ok, const QString& fieldName,
                     qint64 timeout, QString* errorText = nullptr);
    bool judgeStatus(long httpCode, const std::string& reply) const;
    // The pin for a request, filled with the trusted key: null for plain HTTP, which has no
    // certificate to check.
    PeerKeyPin* pinFor(PeerKeyPin* pin) const;
    void applyPeerKey(const PeerKeyPin& pin, bool transferred);

    QString m_baseUrl;
    AuthenticationClient* m_auth;
    bool m_insecure;
    bool m_certificateRefused = false;
    long m_lastHttpStatus = 0;
};
