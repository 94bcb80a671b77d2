#include "printing/reportlistmodel.h"

#include "printing/printspool.h"

#include "printing/durablefile.h"
#include "printing/printnotes.h"
#include "printing/reportlogfilter.h"
#include "settings/settingsmanager.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

const char* const ReportListModel::kHeaderLine =
    "Print time,Job name,Layout Name,Printer Name,Report UUID,Custom field\n";
const char* const ReportListModel::kDefaultCustomFieldKey =
    "/root/report/korvex_data/korvex_hardware_report/system/serial";

namespace {

const QString kCustomFieldKeySetting = QStringLiteral("ReportView/customFieldKey");
const QString kLogPathSetting = QStringLiteral("ReportView/reportLogPath");

Q_GLOBAL_STATIC(ReportListModel, g_reportList)

// Whether a non-empty file's last byte is a line feed.
bool endsWithLineFeed(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return true;
    char last = '\n';
    if (!file.seek(file.size() - 1) || !file.getChar(&last))
        return true; // unreadable: leave the file as it is
    return last == '\n';
}

} // namespace

ReportListModel::ReportListModel(QObject* parent) : QAbstractListModel(parent)
{
    m_roleNames = {{SelectedRole, "selected"},
                   {PrintTimeRole, "printTime"},
                   {JobNameRole, "jobName"},
                   {LayoutNameRole, "layoutName"},
                   {PrinterNameRole, "printerName"},
                   {ReportUuidRole, "reportUuid"},
                   {CustomContentRole, "customContent"},
                   {ArchiveIdRole, "archiveId"},
                   {AttentionRole, "attention"},
                   {DeviceIdRole, "deviceId"},
                   {ModelRole, "deviceModel"},
                   {SerialRole, "serial"},
                   {ReportIdRole, "reportId"}};

    const QString defaultKey = QString::fromLatin1(kDefaultCustomFieldKey);
    m_selectedCustomContentKey = defaultKey;
    m_logPath = defaultLogPath();
    m_logFile.setFileName(m_logPath);

    if (SettingsManager* settings = SettingsManager::instance()) {
        setSelectedCustomContentKey(settings->getValue(kCustomFieldKeySetting, defaultKey, true));
        setReportLogPath(settings->getValue(kLogPathSetting, m_logPath, true));
    }
    m_shownRows = new ReportLogFilter(this, this);
}

ReportListModel::~ReportListModel() = default;

ReportListModel* ReportListModel::instance()
{
    return g_reportList();
}

QString ReportListModel::defaultLogPath()
{
    const QStringList documents = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    return documents.value(0) + QStringLiteral("/PrintedReports.csv");
}

QString ReportListModel::csvField(const QString& text)
{
    static const QString special = QStringLiteral("\"',/\n\r");
    bool needsQuotes = false;
    for (const QChar c : text) {
        if (special.contains(c)) {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void ReportListModel::setSelectedCustomContentKey(const QString& key)
{
    if (key == m_selectedCustomContentKey)
        return;
    m_selectedCustomContentKey = key;
    emit selectedCustomContentKeyChanged();
    // Earlier rows show their value for the new key.
    if (!m_entries.isEmpty())
        emit dataChanged(index(0), index(m_entries.size() - 1), {CustomContentRole});
}

void ReportListModel::setReportLogPath(const QString& path)
{
    qDebug() << Q_FUNC_INFO << "Setting Log path to:" << path;
    {
        QMutexLocker locker(&m_fileLock);
        if (path == m_logPath)
            return;
        m_logPath = path;
        m_logFile.close();
        m_logFile.setFileName(m_logPath); // opened on next use
    }
    emit reportLogPathChanged();
}

bool ReportListModel::openReportLogFile()
{
    QMutexLocker locker(&m_fileLock);
    qDebug() << Q_FUNC_INFO << "Opening" << m_logPath;
    m_logFile.close();
    m_logFile.setFileName(m_logPath);

    // A fresh installation may have no documents folder yet; a chosen path is used as it is.
    if (m_logPath == defaultLogPath()) {
        const QString folder = QFileInfo(m_logPath).absolutePath();
        if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
            qDebug() << Q_FUNC_INFO << "Created the folder of the printed reports log:" << folder;
    }

    const bool headerNeeded = !m_logFile.exists() || m_logFile.size() == 0;
    m_needsLineBreak = !headerNeeded && !endsWithLineFeed(m_logPath);
    // Unbuffered: a line that could not be written is cut off again, and nothing of it stays
    // buffered to reach the file later.
    if (!m_logFile.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        qDebug() << Q_FUNC_INFO << "Error: Failed to open file" << m_logPath << m_logFile.errorString();
        return false;
    }
    if (headerNeeded && !writeToFile(QByteArray(kHeaderLine))) {
        qDebug() << Q_FUNC_INFO << "Error: Failed to write headers to report file" << m_logPath
                 << m_logFile.errorString();
        // Closed, so the next entry opens again and retries the header instead of writing without it.
        m_logFile.close();
        return false;
    }
    return true;
}

int ReportListModel::roleNameFor(const QString& id) const
{
    const QByteArray name = id.toUtf8();
    for (auto it = m_roleNames.cbegin(); it != m_roleNames.cend(); ++it) {
        if (it.value() == name)
            return it.key();
    }
    return -1;
}

void ReportListModel::addReport(const QString& jobName, const QString& layoutName, const QString& printerName,
                                const QString& reportUuid, const QMap<QString, QString>& customContent)
{
    Entry entry;
    entry.jobName = jobName;
    entry.layoutName = layoutName;
    entry.printerName = printerName;
    entry.reportUuid = reportUuid;
    entry.customContent = customContent;
    entry.printTime = QDateTime::currentDateTime();
    // Nothing tries this line again: the row shows the print either way.
    if (!writeLine(logLine(entry).toUtf8()))
        PrintNotes::instance()->raise(PrintNotes::LogNotWritten, QString(), m_logPath);
    appendRow(entry);
}

bool ReportListModel::addReport(const Entry& printed, const QString& line)
{
    Entry entry = printed;
    if (!entry.printTime.isValid())
        entry.printTime = QDateTime::currentDateTime();
    if (!writeLine((line.isEmpty() ? logLine(entry) : line).toUtf8()))
        return false;
    addRow(entry);
    return true;
}

bool ReportListModel::writeLogLine(const QString& line)
{
    return writeLine(line.toUtf8());
}

void ReportListModel::addRow(const Entry& printed)
{
    Entry entry = printed;
    if (!entry.printTime.isValid())
        entry.printTime = QDateTime::currentDateTime();
    entry.selected = false;
    appendRow(entry);
}

void ReportListModel::appendRow(const Entry& entry)
{
    const int row = m_entries.size();
    beginInsertRows(QModelIndex(), row, row);
    m_entries.append(entry);
    endInsertRows();
}

bool ReportListModel::addLineOnce(const QString& line)
{
    QMutexLocker locker(&m_fileLock);
    const QByteArray bytes = line.toUtf8();
    QFile file(m_logPath);
    if (file.open(QIODevice::ReadOnly)) {
        // Only the lines of the last few batches can be in question.
        constexpr qint64 kTail = 1024 * 1024;
        file.seek(std::max<qint64>(0, file.size() - kTail));
        const QByteArray tail = file.readAll();
        if (tail.startsWith(bytes) || tail.contains('\n' + bytes))
            return true;
    }
    return writeLine(bytes);
}

bool ReportListModel::syncLog()
{
    QMutexLocker locker(&m_fileLock);
    return !m_logFile.isOpen() || DurableFile::syncFile(m_logPath);
}

bool ReportListModel::writeLine(const QByteArray& text)
{
    QMutexLocker locker(&m_fileLock);
    if (!m_logFile.isOpen()) {
        qDebug() << Q_FUNC_INFO << "File not open! Trying to open";
        if (!openReportLogFile()) {
            qDebug() << Q_FUNC_INFO << "Error: Cannot open the File!" << m_logPath;
            return false;
        }
    }
    QByteArray line = text;
    if (m_needsLineBreak)
        line.prepend('\n');
    const qint64 before = m_logFile.size();
    if (writeToFile(line)) {
        m_needsLineBreak = false;
        return true;
    }
    qDebug() << Q_FUNC_INFO << "Error: Cannot write to report" << m_logPath << m_logFile.errorString();
    // A line cut short would be counted by whoever reads the log; the next attempt writes it whole.
    m_logFile.resize(before);
    // Re-opened by the next entry, which then checks how the file ends.
    m_logFile.close();
    return false;
}

void ReportListModel::markNotPrinted(const QString& archiveId, const QString& text)
{
    for (int row = m_entries.size() - 1; row >= 0; --row) {
        Entry& entry = m_entries[row];
        if (archiveId.isEmpty() || entry.archiveId != archiveId)
            continue;
        entry.attention = entry.attention.isEmpty() ? text : entry.attention + QStringLiteral("; ") + text;
        const QModelIndex changed = index(row);
        emit dataChanged(changed, changed, {AttentionRole});
        return;
    }
}

void ReportListModel::addHistory(const QList<Entry>& entries)
{
    if (entries.isEmpty())
        return;
    beginInsertRows(QModelIndex(), 0, entries.size() - 1);
    for (int i = entries.size() - 1; i >= 0; --i)
        m_entries.prepend(entries.at(i));
    endInsertRows();
}

QStringList ReportListModel::selectedArchiveIds() const
{
    QStringList ids;
    for (const Entry& entry : m_entries) {
        if (entry.selected && !entry.archiveId.isEmpty())
            ids << entry.archiveId;
    }
    return ids;
}

void ReportListModel::clearSelection()
{
    for (int row = 0; row < m_entries.size(); ++row) {
        if (m_entries.at(row).selected) {
            m_entries[row].selected = false;
            emit dataChanged(index(row), index(row), {SelectedRole});
        }
    }
}

QString ReportListModel::logLine(const Entry& entry) const
{
    const QStringList fields = {entry.printTime.toString(Qt::TextDate),
                                entry.jobName,
                                entry.layoutName,
                                entry.printerName,
                                entry.reportUuid,
                                entry.customContent.value(m_selectedCustomContentKey)};
    QStringList quoted;
    for (const QString& field : fields)
        quoted << csvField(field);
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}

bool ReportListModel::writeToFile(const QByteArray& data)
{
    if (m_logFile.write(data) != data.size())
        return false;
    return m_logFile.flush();
}

int ReportListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_entries.size();
}

QVariant ReportListModel::data(const QModelIndex& index, int role) const
{
    if (index.row() < 0 || index.row() >= m_entries.size()) {
        qDebug() << Q_FUNC_INFO << "Report List data index out of scope (get)";
        return QVariant();
    }
    const Entry& entry = m_entries.at(index.row());
    switch (role) {
    case SelectedRole:
        return entry.selected;
    case PrintTimeRole:
        return entry.printTime;
    case JobNameRole:
        return entry.jobName;
    case LayoutNameRole:
        return entry.layoutName;
    case PrinterNameRole:
        return entry.printerName;
    case ReportUuidRole:
        return entry.reportUuid;
    case CustomContentRole:
        return entry.customContent.value(m_selectedCustomContentKey);
    case ArchiveIdRole:
        return entry.archiveId;
    case AttentionRole:
        return entry.attention;
    case DeviceIdRole:
        return entry.identity.deviceId();
    case ModelRole:
        return entry.identity.model;
    case SerialRole:
        return entry.identity.serial;
    case ReportIdRole:
        return entry.reportId > 0 ? QString::number(entry.reportId) : QString();
    default:
        return QVariant();
    }
}

bool ReportListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    Q_UNUSED(value) // selecting toggles, whatever the view passes
    if (index.row() < 0 || index.row() >= m_entries.size()) {
        qDebug() << Q_FUNC_INFO << "Report List data index out of scope (set)";
        return false;
    }
    if (role != SelectedRole) {
        qDebug() << Q_FUNC_INFO << "Value is read only" << role;
        return false;
    }
    Entry& entry = m_entries[index.row()];
    entry.selected = !entry.selected;
    emit dataChanged(index, index, {role});
    return true;
}

Qt::ItemFlags ReportListModel::flags(const QModelIndex& index) const
{
    Q_UNUSED(index)
    return Qt::ItemIsEditable | Qt::ItemIsEnabled;
}

QHash<int, QByteArray> ReportListModel::roleNames() const
{
    return m_roleNames;
}

void ReportListModel::printedSince(const QDateTime& from, int* count, QDateTime* last) const
{
    *count = 0;
    *last = QDateTime();
    for (const Entry& entry : m_entries) {
        if (entry.printTime >= from)
            ++*count;
        if (!last->isValid() || entry.printTime > *last)
            *last = entry.printTime;
    }
}

ReportListModel::Entry ReportListModel::entryOf(const PrintedRecord& record)
{
    Entry row;
    row.printTime = record.printedAt;
    row.jobName = record.jobName;
    row.layoutName = record.layout;
    row.printerName = record.printer;
    row.reportUuid = record.reportUuid;
    row.reportId = record.reportId;
    row.customContent = record.customContent;
    row.archiveId = record.archiveId;
    row.identity = record.identity;
    return row;
}

QList<ReportListModel::Entry> ReportListModel::historyRows(const PrintSpool& spool)
{
    QList<Entry> rows;
    for (const PrintedRecord& record : spool.history()) {
        rows << entryOf(record);
        SpoolEntry archived;
        if (record.identity.isEmpty() && spool.archivedEntry(record.archiveId, &archived))
            rows.last().identity = ReportIdentity::scan(archived.report);
    }
    return rows;
}
