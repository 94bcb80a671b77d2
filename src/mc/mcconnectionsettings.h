#pragma once
// The console connection as the settings store holds it, and the reading of CSV id replies that the
// connection check and the poller share.

#include <QList>
#include <QMap>
#include <QString>

#include <memory>

class MCComm;
class SettingsManager;

struct MCConnectionSettings
{
    QString address;
    QString port;
    QString username;
    QString password;
    bool onlyReported = true;

    // Reads the "MC/..." keys of the global settings file.
    static MCConnectionSettings read(SettingsManager* settings);
    bool complete() const;
    // Base URL "address:port" as the console client expects it.
    QString baseUrl() const;
    // A client for one check or one poll, on the calling thread. Certificates are not checked
    // against authorities (consoles commonly run with self-signed ones); instead the client pins
    // the key met at the first HTTPS contact (CertificateTrust).
    std::unique_ptr<MCComm> createClient() const;

    // The largest decimal id among the lines of a CSV reply (quotes ignored); 0 when there is none.
    static qint64 largestId(const QString& csvReply);
    // Every id of a CSV reply of ids, ascending.
    static QList<qint64> ids(const QString& csvReply);
    // The ids of a CSV reply of "id;document id" lines, with their document ids.
    static QMap<qint64, QString> idsWithDocuments(const QString& csvReply);
};
