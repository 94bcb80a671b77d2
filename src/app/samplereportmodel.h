#pragma once
// Reports a designer can preview a layout with: the newest printed ones from the print archive and
// the console's newest reports, newest first, each shown by its date, model and IMEI or serial.

#include "report/reportidentity.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class PrintSpool;
class QThread;

class SampleReportModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // What became of the console's part of the list: empty when it answered, else why it is missing.
    Q_PROPERTY(QString consoleState READ consoleState NOTIFY consoleStateChanged)

public:
    enum Roles
    {
        DateRole = Qt::UserRole + 1,
        ModelRole,
        DeviceIdRole,
        SourceRole,
        LabelRole
    };

    struct Sample
    {
        QDateTime date;
        ReportIdentity identity;
        bool fromConsole = false;
        QString archiveId;  // printed reports: read from the archive when chosen
        QByteArray report;  // console reports: kept as fetched
        QString documentId; // the same report from both sources is listed once
    };

    explicit SampleReportModel(PrintSpool* spool, QObject* parent = nullptr);
    ~SampleReportModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    int count() const { return m_rows.size(); }
    QString consoleState() const { return m_consoleState; }

    // Reads the archive again and asks the console for its newest reports in the background; the
    // archive's rows stay when the console cannot be reached.
    Q_INVOKABLE void refresh();
    // Reads the archive's newest printed reports only (no console).
    void readArchive();
    // The console's reports of a fetch (also for tests); `answered` false when it gave no answer.
    void setConsoleReports(const QList<QByteArray>& reports, bool answered);
    // The report text of a row; empty for a row that does not exist or a report the archive let go.
    QByteArray reportAt(int row) const;
    // "date · model · IMEI" of a row.
    Q_INVOKABLE QString labelAt(int row) const;

    // The console's newest `count` reports, asked on the calling thread without touching the
    // poller's watermark; false when the console gave no answer.
    static bool fetchNewest(int count, QList<QByteArray>* reports);

    static constexpr int kConsoleCount = 20;
    static constexpr int kArchiveCount = 50;

signals:
    void countChanged();
    void consoleStateChanged();

private:
    void setRows(const QList<Sample>& archive, const QList<Sample>& console);

    PrintSpool* m_spool;
    QList<Sample> m_archive;
    QList<Sample> m_console;
    QList<Sample> m_rows;
    QString m_consoleState;
    QThread* m_fetch = nullptr;
};
