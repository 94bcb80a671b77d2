#pragma once
// The printed-reports log: the list of reports printed since start-up, shown by the user
// interface, and the append-only CSV file that keeps them across runs.

#include <QAbstractListModel>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>

#include "report/reportidentity.h"

struct PrintedRecord;
class PrintSpool;

class ReportListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(QString selectedCustomContentKey READ selectedCustomContentKey WRITE
                   setSelectedCustomContentKey NOTIFY selectedCustomContentKeyChanged)
    Q_PROPERTY(QStringList customContentKeyList READ customContentKeyList NOTIFY customContentKeyListChanged)
    Q_PROPERTY(QString reportLogPath READ reportLogPath WRITE setReportLogPath NOTIFY reportLogPathChanged)
    // The rows the Report Log's search lets through.
    Q_PROPERTY(QObject* shownRows READ shownRows CONSTANT)
public:
    enum Roles
    {
        SelectedRole = Qt::UserRole + 1, // 257
        PrintTimeRole,
        JobNameRole,
        LayoutNameRole,
        PrinterNameRole,
        ReportUuidRole,
        CustomContentRole, // 263
        ArchiveIdRole,     // the archived report a reprint uses; empty when none was kept
        AttentionRole,     // what could not be painted on the label; empty when it printed whole
        DeviceIdRole,      // the device's IMEI, or its serial number when it has none
        ModelRole,
        SerialRole,
        ReportIdRole // the console's id of the report as text; empty when not known
    };

    // One printed report.
    struct Entry
    {
        bool selected = false;
        QDateTime printTime;
        QString jobName;
        QString layoutName;
        QString printerName;
        QString reportUuid;
        qint64 reportId = 0; // the console's; 0 when not known
        QMap<QString, QString> customContent;
        QString archiveId;
        QString attention;
        ReportIdentity identity; // empty for a label whose report was not kept
    };

    // The row of an archived print record.
    static Entry entryOf(const PrintedRecord& record);
    // The rows of the labels a spool keeps archived, oldest first. A record from before the device
    // was kept with it gets the device from its archived report, read once here.
    static QList<Entry> historyRows(const PrintSpool& spool);

    static const char* const kHeaderLine;
    static const char* const kDefaultCustomFieldKey;

    // Reads the custom field key and the log path from the global settings; opens nothing yet.
    explicit ReportListModel(QObject* parent = nullptr);
    ~ReportListModel() override;

    // The process-wide list; null once the program has begun shutting down.
    static ReportListModel* instance();
    // The documents folder's "PrintedReports.csv".
    static QString defaultLogPath();
    // A CSV field: quoted, with inner double quotes doubled, when it holds a quote, apostrophe,
    // comma, slash or line break.
    static QString csvField(const QString& text);

    QString selectedCustomContentKey() const { return m_selectedCustomContentKey; }
    void setSelectedCustomContentKey(const QString& key);
    // Never filled.
    QStringList customContentKeyList() const { return m_customContentKeyList; }
    QString reportLogPath() const { return m_logPath; }
    void setReportLogPath(const QString& path);

    Q_INVOKABLE bool openReportLogFile();
    QObject* shownRows() const { return m_shownRows; }
    // The role number of a role name; -1 when there is none.
    Q_INVOKABLE int roleNameFor(const QString& id) const;

    // Records one print: a new last row and a line in the CSV file. A file that cannot be
    // written raises the popup note PrintedReportsWritingToLogFailed; the row stays either way.
    void addReport(const QString& jobName, const QString& layoutName, const QString& printerName,
                   const QString& reportUuid, const QMap<QString, QString>& customContent);
    // The same for a label printed from the spool, with its CSV line when it was made before;
    // false, without a row or a piece of the line, when the line could not be written (the
    // caller tells the user and tries again).
    bool addReport(const Entry& entry, const QString& line = QString());
    // The CSV line of a print.
    QString logLine(const Entry& entry) const;
    // Writes a line made before (a label recorded before a crash) unless the end of the file
    // holds it already; no row. False when it could not be written.
    bool addLineOnce(const QString& line);
    // Flushes the lines written to the disk.
    bool syncLog();
    // The CSV file alone: writeLogLine, addLineOnce and syncLog may be called from a thread of
    // their own (the spool's recorder), so the window never waits for the disk; the row of a label
    // written so is added with addRow, on the window's thread.
    bool writeLogLine(const QString& line);
    void addRow(const Entry& entry);
    // Rows of labels printed before this start (from the archive), shown above this run's rows;
    // nothing is written to the CSV file.
    void addHistory(const QList<Entry>& entries);
    // The label of a row did not come out after all (its print job failed later): the row says so.
    void markNotPrinted(const QString& archiveId, const QString& text);
    // How many labels were printed at or after `from`, and when the last one was.
    void printedSince(const QDateTime& from, int* count, QDateTime* last) const;
    // Archive ids of the selected rows, in row order.
    Q_INVOKABLE QStringList selectedArchiveIds() const;
    Q_INVOKABLE void clearSelection();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void selectedCustomContentKeyChanged();
    void customContentKeyListChanged();
    void reportLogPathChanged();

private:
    void appendRow(const Entry& entry);
    // Writes and flushes the whole text; buffered data that cannot reach the disk is a failure.
    bool writeToFile(const QByteArray& data);
    // Appends one line, opening the file when needed; a line that cannot be written whole is cut
    // off again.
    bool writeLine(const QByteArray& line);

    QHash<int, QByteArray> m_roleNames;
    QObject* m_shownRows = nullptr;
    QString m_selectedCustomContentKey;
    QStringList m_customContentKeyList;
    QList<Entry> m_entries;
    // Guards the file (and its path) against the recorder's thread; recursive, as opening the
    // file writes its header through the same calls.
    mutable QRecursiveMutex m_fileLock;
    QString m_logPath;
    QFile m_logFile;
    // The open file does not end with a line feed (a cut line, or saved by another program):
    // the next line starts on a fresh line instead of being glued to it.
    bool m_needsLineBreak = false;
};
