#include "printing/printspool.h"

#include "printing/durablefile.h"
#include "printing/fileprinter.h"
#include "settings/systempaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <fcntl.h>
#include <utility>

const QString PrintSpool::kPausedKey = QStringLiteral("printing/paused");
const QString PrintSpool::kKeepDaysKey = QStringLiteral("printing/keepPrintedDays");

namespace {

// First line of every spool file: this mark, the header as compact JSON, a line feed; then the
// report's bytes, exactly as many as the header says (a torn file is recognised by its length).
const QByteArray kMagic = QByteArrayLiteral("LPSPOOL1 ");
const QString kEntry = QStringLiteral(".entry");
const QString kStaged = QStringLiteral(".staged");
const QString kFailedDir = QStringLiteral("failed");
const QString kDamagedDir = QStringLiteral("damaged");
const QString kPrintedDir = QStringLiteral("printed");
const QString kIndex = QStringLiteral("index.jsonl");
constexpr int kHeaderLimit = 64 * 1024;

QString isoTime(const QDateTime& time)
{
    return time.isValid() ? time.toString(Qt::ISODateWithMs) : QString();
}

// The console's id under "reportId", left out when not known.
void putReportId(QJsonObject* o, qint64 reportId)
{
    if (reportId > 0)
        o->insert(QStringLiteral("reportId"), double(reportId));
}

qint64 reportIdOf(const QJsonObject& o)
{
    return qint64(o.value(QStringLiteral("reportId")).toDouble(0));
}

QJsonObject headerOf(const SpoolEntry& e)
{
    QJsonObject header{{QStringLiteral("id"), e.id},
                       {QStringLiteral("jobId"), e.jobId},
                       {QStringLiteral("jobName"), e.jobName},
                       {QStringLiteral("layout"), e.layout},
                       {QStringLiteral("printer"), e.printer},
                       {QStringLiteral("reportUuid"), e.reportUuid},
                       {QStringLiteral("rangeFrom"), double(e.rangeFrom)},
                       {QStringLiteral("rangeTo"), double(e.rangeTo)},
                       {QStringLiteral("spooledAt"), isoTime(e.spooledAt)},
                       {QStringLiteral("reason"), e.reason},
                       {QStringLiteral("failedAt"), isoTime(e.failedAt)},
                       {QStringLiteral("bytes"), double(e.report.size())}};
    putReportId(&header, e.reportId);
    return header;
}

SpoolEntry entryOf(const QJsonObject& h)
{
    SpoolEntry e;
    e.id = h.value(QStringLiteral("id")).toString();
    e.jobId = h.value(QStringLiteral("jobId")).toString();
    e.jobName = h.value(QStringLiteral("jobName")).toString();
    e.layout = h.value(QStringLiteral("layout")).toString();
    e.printer = h.value(QStringLiteral("printer")).toString();
    e.reportUuid = h.value(QStringLiteral("reportUuid")).toString();
    e.reportId = reportIdOf(h);
    e.rangeFrom = qint64(h.value(QStringLiteral("rangeFrom")).toDouble(-1));
    e.rangeTo = qint64(h.value(QStringLiteral("rangeTo")).toDouble(-1));
    e.spooledAt = QDateTime::fromString(h.value(QStringLiteral("spooledAt")).toString(), Qt::ISODateWithMs);
    e.reason = h.value(QStringLiteral("reason")).toString();
    e.failedAt = QDateTime::fromString(h.value(QStringLiteral("failedAt")).toString(), Qt::ISODateWithMs);
    return e;
}

QByteArray encodeHeader(const SpoolEntry& e)
{
    return kMagic + QJsonDocument(headerOf(e)).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray encode(const SpoolEntry& e)
{
    return encodeHeader(e) + e.report;
}

// Reads a spool file's header (and with `withReport` its report); false with the reason when the
// file is torn or is not a spool file.
bool readFile(const QString& path, bool withReport, SpoolEntry* out, QString* reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = file.errorString();
        return false;
    }
    const QByteArray line = file.readLine(kHeaderLimit);
    if (!line.startsWith(kMagic) || !line.endsWith('\n')) {
        *reason = QStringLiteral("not a spool file or its header is cut");
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line.mid(kMagic.size()), &parseError);
    if (!doc.isObject()) {
        *reason = QStringLiteral("header does not parse: ") + parseError.errorString();
        return false;
    }
    const QJsonObject header = doc.object();
    const qint64 bytes = qint64(header.value(QStringLiteral("bytes")).toDouble(-1));
    if (bytes < 0 || file.size() != line.size() + bytes) {
        *reason = QStringLiteral("the file holds %1 bytes of a %2-byte report")
                      .arg(file.size() - line.size())
                      .arg(bytes);
        return false;
    }
    *out = entryOf(header);
    if (out->id.isEmpty()) {
        *reason = QStringLiteral("header names no entry");
        return false;
    }
    if (withReport)
        out->report = file.readAll();
    return true;
}

QJsonObject recordJson(const PrintedRecord& r)
{
    QJsonObject custom;
    for (auto it = r.customContent.cbegin(); it != r.customContent.cend(); ++it)
        custom.insert(it.key(), it.value());
    QJsonObject record{{QStringLiteral("archiveId"), r.archiveId},
                       {QStringLiteral("printedAt"), isoTime(r.printedAt)},
                       {QStringLiteral("jobId"), r.jobId},
                       {QStringLiteral("jobName"), r.jobName},
                       {QStringLiteral("layout"), r.layout},
                       {QStringLiteral("printer"), r.printer},
                       {QStringLiteral("reportUuid"), r.reportUuid},
                       {QStringLiteral("custom"), custom},
                       {QStringLiteral("logLine"), r.logLine},
                       {QStringLiteral("imei"), r.identity.imei},
                       {QStringLiteral("serial"), r.identity.serial},
                       {QStringLiteral("model"), r.identity.model}};
    putReportId(&record, r.reportId);
    return record;
}

PrintedRecord recordOf(const QJsonObject& o)
{
    PrintedRecord r;
    r.archiveId = o.value(QStringLiteral("archiveId")).toString();
    r.printedAt = QDateTime::fromString(o.value(QStringLiteral("printedAt")).toString(), Qt::ISODateWithMs);
    r.jobId = o.value(QStringLiteral("jobId")).toString();
    r.jobName = o.value(QStringLiteral("jobName")).toString();
    r.layout = o.value(QStringLiteral("layout")).toString();
    r.printer = o.value(QStringLiteral("printer")).toString();
    r.reportUuid = o.value(QStringLiteral("reportUuid")).toString();
    r.reportId = reportIdOf(o);
    r.logLine = o.value(QStringLiteral("logLine")).toString();
    r.identity.imei = o.value(QStringLiteral("imei")).toString();
    r.identity.serial = o.value(QStringLiteral("serial")).toString();
    r.identity.model = o.value(QStringLiteral("model")).toString();
    const QJsonObject custom = o.value(QStringLiteral("custom")).toObject();
    for (auto it = custom.begin(); it != custom.end(); ++it)
        r.customContent.insert(it.key(), it.value().toString());
    return r;
}

} // namespace

QString SpoolEntry::labelBaseName() const
{
    // The id starts with the spool time in milliseconds; the rest tells entries of one millisecond apart.
    const qint64 serial = id.toLongLong();
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(serial / 1000);
    QString base = FilePrinter::baseName(at, jobName, reportUuid);
    if (serial % 1000 != 0)
        base += QStringLiteral("_%1").arg(serial % 1000 + 1);
    return base;
}

QString SpoolEntry::title() const
{
    return QStringLiteral("%1: %2").arg(jobName.isEmpty() ? QStringLiteral("Label") : jobName,
                                        reportUuid.isEmpty() ? id : reportUuid);
}

PrintSpool::PrintSpool(const QString& folder, QObject* parent) : QObject(parent), m_folder(folder)
{
    QDir dir(m_folder);
    for (const QString& sub : {kFailedDir, kDamagedDir, kPrintedDir})
        dir.mkpath(sub);
    load();
}

PrintSpool* PrintSpool::instance()
{
    static PrintSpool* spool = new PrintSpool(SystemPaths::instance().rootDir + QStringLiteral("/spool"));
    return spool;
}

QString PrintSpool::path(const QString& id, const QString& suffix) const
{
    return m_folder + QLatin1Char('/') + id + suffix;
}

QString PrintSpool::damagedId(const QString& fileName) const
{
    return kDamagedDir + QLatin1Char('/') + fileName;
}

void PrintSpool::moveAside(const QString& file, const QString& reason)
{
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-")) +
                         QFileInfo(file).fileName();
    const QString target = m_folder + QLatin1Char('/') + kDamagedDir + QLatin1Char('/') + name;
    qWarning() << "Spool file" << file << "cannot be read (" << reason << "); moved to" << target;
    if (!DurableFile::rename(file, target))
        return;
    // Listed with the failed labels until it is discarded, so the user sees it was not printed.
    SpoolEntry damaged;
    damaged.id = damagedId(name);
    damaged.reportUuid = QFileInfo(file).fileName();
    damaged.reason = QStringLiteral("the spool file cannot be read: %1").arg(reason);
    damaged.failedAt = QDateTime::currentDateTime();
    {
        QMutexLocker locker(&m_lock);
        m_damaged.insert(damaged.id, damaged);
        if (m_loading)
            m_damagedAtLoad << damaged;
    }
    emit entryDamaged(QFileInfo(file).fileName(), reason);
}

void PrintSpool::loadDamaged()
{
    const QFileInfoList files =
        QDir(m_folder + QLatin1Char('/') + kDamagedDir).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        SpoolEntry damaged;
        damaged.id = damagedId(info.fileName());
        damaged.reportUuid = info.fileName();
        damaged.reason = QStringLiteral("the spool file cannot be read");
        damaged.failedAt = info.lastModified();
        m_damaged.insert(damaged.id, damaged);
    }
}

void PrintSpool::loadHandedOver()
{
    if (m_pending.isEmpty())
        return;
    for (const PrintedRecord& record : history()) {
        if (m_pending.contains(record.archiveId))
            m_handed.insert(record.archiveId, record);
    }
    if (!m_handed.isEmpty())
        qDebug() << m_handed.size()
                 << "waiting spool entries were handed over before the last stop; they are "
                    "logged and archived, not printed again";
}

QList<SpoolEntry> PrintSpool::takeDamagedAtLoad()
{
    QMutexLocker locker(&m_lock);
    return std::exchange(m_damagedAtLoad, {});
}

QList<PrintedRecord> PrintSpool::handedOver() const
{
    QMutexLocker locker(&m_lock);
    return m_handed.values();
}

void PrintSpool::load()
{
    // Only the constructor loads: no other thread knows the spool yet.
    m_loading = true;
    loadDamaged();
    const auto readFolder = [this](const QString& folder, QMap<QString, SpoolEntry>* into) {
        const QStringList files =
            QDir(folder).entryList({QStringLiteral("*") + kEntry}, QDir::Files, QDir::Name);
        for (const QString& name : files) {
            SpoolEntry entry;
            QString reason;
            if (!readFile(folder + QLatin1Char('/') + name, false, &entry, &reason)) {
                moveAside(folder + QLatin1Char('/') + name, reason);
                continue;
            }
            into->insert(entry.id, entry);
            m_lastSerial = std::max(m_lastSerial, entry.id.toLongLong());
        }
    };
    readFolder(m_folder, &m_pending);
    readFolder(m_folder + QLatin1Char('/') + kFailedDir, &m_failed);
    // Both copies are left by a crash inside Retry (the waiting copy is written first) or inside a
    // move to the failed list: the entry waits, as Retry meant; at worst it fails once more.
    for (const QString& id : m_pending.keys()) {
        if (m_failed.remove(id))
            DurableFile::remove(m_folder + QLatin1Char('/') + kFailedDir + QLatin1Char('/') + id + kEntry);
    }
    loadHandedOver();
    // Half-written files of a crash.
    const QStringList temporary =
        QDir(m_folder).entryList({QStringLiteral("*.entry.*"), QStringLiteral("*.staged.*")}, QDir::Files);
    for (const QString& name : temporary)
        QFile::remove(m_folder + QLatin1Char('/') + name);
    m_loading = false;
}

QString PrintSpool::nextId()
{
    QMutexLocker locker(&m_lock);
    // Milliseconds since the epoch times 1000, plus a counter: ids sort in the order they were made.
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000;
    m_lastSerial = std::max(m_lastSerial + 1, now);
    return QStringLiteral("%1").arg(m_lastSerial, 17, 10, QLatin1Char('0'));
}

bool PrintSpool::write(SpoolEntry* entry, const QString& suffix, QString* error, bool durable)
{
    entry->id = nextId();
    if (!entry->spooledAt.isValid())
        entry->spooledAt = QDateTime::currentDateTime();
    if (durable)
        return DurableFile::write(path(entry->id, suffix), encode(*entry), error);
    // Written straight under its name, header and report as two writes (joining them copied the
    // report again), and flushed later with others (syncStaged): a file torn by a crash before that
    // is recognised by its length.
    QFile file(path(entry->id, suffix));
    const QByteArray head = encodeHeader(*entry);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(head) == head.size() &&
        file.write(entry->report) == entry->report.size())
        return true;
    if (error)
        *error = file.errorString();
    qDebug() << Q_FUNC_INFO << "cannot write" << file.fileName() << file.errorString();
    file.remove();
    return false;
}

bool PrintSpool::stage(SpoolEntry* entry, QString* error)
{
    // Flushed with the rest of the page; a torn one's range is fetched again.
    if (!write(entry, kStaged, error, false))
        return false;
    SpoolEntry header = *entry;
    header.report.clear();
    QMutexLocker locker(&m_lock);
    m_staged.insert(entry->id, header);
    return true;
}

bool PrintSpool::syncStaged(const QStringList& ids)
{
    QStringList files;
    for (const QString& id : ids)
        files << path(id, kStaged);
    return DurableFile::syncFiles(files).isEmpty() && DurableFile::syncFolder(m_folder);
}

void PrintSpool::commitStaged(const QStringList& ids)
{
    bool any = false;
    for (const QString& id : ids) {
        SpoolEntry entry;
        {
            QMutexLocker locker(&m_lock);
            entry = m_staged.take(id);
        }
        QString reason;
        // Staged by an earlier run (start-up recovery): the header comes from the file.
        if (entry.id.isEmpty() && !readFile(path(id, kStaged), false, &entry, &reason)) {
            moveAside(path(id, kStaged), reason);
            continue;
        }
        if (!DurableFile::rename(path(id, kStaged), path(id), nullptr, false))
            continue; // stays staged; start-up recovery commits it
        QMutexLocker locker(&m_lock);
        m_pending.insert(id, entry);
        any = true;
    }
    // One folder sync for the whole poll instead of one per label.
    DurableFile::syncFolder(m_folder);
    if (any)
        emit changed();
}

void PrintSpool::discardStaged(const QStringList& ids)
{
    for (const QString& id : ids) {
        {
            QMutexLocker locker(&m_lock);
            m_staged.remove(id);
        }
        DurableFile::remove(path(id, kStaged));
    }
}

bool PrintSpool::add(SpoolEntry* entry, QString* error)
{
    if (!write(entry, kEntry, error))
        return false;
    {
        QMutexLocker locker(&m_lock);
        SpoolEntry header = *entry;
        header.report.clear();
        m_pending.insert(entry->id, header);
    }
    emit changed();
    return true;
}

void PrintSpool::recoverStaged(const std::function<bool(const SpoolEntry&)>& rangePassed)
{
    const QStringList files =
        QDir(m_folder).entryList({QStringLiteral("*") + kStaged}, QDir::Files, QDir::Name);
    QStringList commit;
    for (const QString& name : files) {
        const QString file = m_folder + QLatin1Char('/') + name;
        SpoolEntry entry;
        QString reason;
        if (!readFile(file, false, &entry, &reason)) {
            // Torn while it was staged: the watermark cannot have moved past it yet.
            qDebug() << "Removing an unfinished staged spool file" << name << reason;
            DurableFile::remove(file);
            continue;
        }
        if (rangePassed(entry)) {
            commit << entry.id;
        } else {
            qDebug() << "Staged spool entry" << entry.id << "of job" << entry.jobName
                     << "is fetched again; removing it";
            DurableFile::remove(file);
        }
    }
    if (!commit.isEmpty()) {
        qDebug() << "Committing" << commit.size() << "staged spool entries of a poll that ended in a stop";
        commitStaged(commit);
    }
}

QList<SpoolEntry> PrintSpool::pending() const
{
    QMutexLocker locker(&m_lock);
    return m_pending.values();
}

int PrintSpool::pendingCount() const
{
    QMutexLocker locker(&m_lock);
    return m_pending.size();
}

int PrintSpool::pendingCountForJob(const QString& jobId) const
{
    QMutexLocker locker(&m_lock);
    return int(std::count_if(m_pending.cbegin(), m_pending.cend(), [&](const SpoolEntry& e) {
        return e.jobId == jobId && !m_handed.contains(e.id);
    }));
}

bool PrintSpool::isWaiting(const QString& id) const
{
    QMutexLocker locker(&m_lock);
    return m_pending.contains(id);
}

QList<SpoolEntry> PrintSpool::failed() const
{
    QMutexLocker locker(&m_lock);
    return m_failed.values() + m_damaged.values();
}

bool PrintSpool::claimNext(const std::function<bool(const SpoolEntry&)>& eligible, SpoolEntry* out)
{
    QMutexLocker locker(&m_lock);
    for (const SpoolEntry& entry : qAsConst(m_pending)) {
        if (m_claimed.contains(entry.id) || m_handed.contains(entry.id) || !eligible(entry))
            continue;
        m_claimed.insert(entry.id);
        *out = entry;
        return true;
    }
    return false;
}

void PrintSpool::release(const QString& id)
{
    QMutexLocker locker(&m_lock);
    m_claimed.remove(id);
}

bool PrintSpool::readReport(SpoolEntry* entry, QString* error)
{
    const QString file = path(entry->id);
    SpoolEntry full;
    if (readFile(file, true, &full, error)) {
        entry->report = full.report;
        return true;
    }
    {
        QMutexLocker locker(&m_lock);
        m_pending.remove(entry->id);
        m_claimed.remove(entry->id);
    }
    if (QFile::exists(file))
        moveAside(file, *error);
    emit changed();
    return false;
}

bool PrintSpool::recordPrinted(const QList<PrintedRecord>& records, QString* error)
{
    QByteArray lines;
    for (const PrintedRecord& record : records)
        lines += QJsonDocument(recordJson(record)).toJson(QJsonDocument::Compact) + '\n';
    const QString indexPath = m_folder + QLatin1Char('/') + kPrintedDir + QLatin1Char('/') + kIndex;
    QFile index(indexPath);
    const bool created = !index.exists();
    bool written = index.open(QIODevice::WriteOnly | QIODevice::Append);
    const qint64 before = written ? index.size() : 0;
    written = written && index.write(lines) == lines.size() && index.flush();
    // One sync for all the records: they are the mark that keeps a label from printing twice.
    written = written && DurableFile::syncFile(indexPath) &&
              (!created || DurableFile::syncFolder(QFileInfo(indexPath).absolutePath()));
    if (!written) {
        *error = index.errorString();
        qWarning() << "Cannot write the print records to" << indexPath << *error;
        // No half record is left for the next attempt to follow.
        if (index.isOpen())
            index.resize(before);
        return false;
    }
    QMutexLocker locker(&m_lock);
    for (const PrintedRecord& record : records)
        m_handed.insert(record.archiveId, record);
    return true;
}

void PrintSpool::archivePrinted(const QList<PrintedRecord>& records)
{
    const QString printed = m_folder + QLatin1Char('/') + kPrintedDir;
    for (const PrintedRecord& record : records) {
        const QString archived = printed + QLatin1Char('/') + record.archiveId + kEntry;
        if (DurableFile::rename(path(record.archiveId), archived, nullptr, false)) {
            // Pruning goes by this time; QFile sets it only on an open file.
            QFile file(archived);
            if (file.open(QIODevice::ReadOnly)) {
                file.setFileTime(record.printedAt, QFileDevice::FileModificationTime);
                // Kept for a reprint, not read meanwhile: its cached pages go back to the next
                // reports, whose spool writes took three times as long on fresh memory.
                posix_fadvise(file.handle(), 0, 0, POSIX_FADV_DONTNEED);
            }
        } else {
            QFile::remove(path(record.archiveId));
        }
    }
    // Once per batch, for the whole move (one rename is one change of the file system): after a
    // power cut at most the last batch comes back, whose records and log lines are on the disk, so
    // it is only archived then.
    DurableFile::syncFolder(m_folder);
    {
        QMutexLocker locker(&m_lock);
        for (const PrintedRecord& record : records) {
            m_pending.remove(record.archiveId);
            m_claimed.remove(record.archiveId);
            m_handed.remove(record.archiveId);
        }
    }
    emit changed();
}

bool PrintSpool::moveToFailed(const QString& id, const QString& reason)
{
    SpoolEntry entry;
    QString error;
    if (!readFile(path(id), true, &entry, &error)) {
        entry.id = id; // drops the entry and moves its unreadable file aside
        readReport(&entry, &error);
        return false;
    }
    entry.reason = reason;
    entry.failedAt = QDateTime::currentDateTime();
    if (!DurableFile::write(m_folder + QLatin1Char('/') + kFailedDir + QLatin1Char('/') + id + kEntry,
                            encode(entry), &error)) {
        QMutexLocker locker(&m_lock);
        m_claimed.remove(id); // stays waiting; it is tried again
        return false;
    }
    DurableFile::remove(path(id));
    entry.report.clear();
    {
        QMutexLocker locker(&m_lock);
        m_pending.remove(id);
        m_claimed.remove(id);
        m_failed.insert(id, entry);
    }
    emit changed();
    return true;
}

bool PrintSpool::retryFailed(const QString& id)
{
    SpoolEntry entry;
    QString error;
    const QString failedFile = m_folder + QLatin1Char('/') + kFailedDir + QLatin1Char('/') + id + kEntry;
    if (id.startsWith(kDamagedDir + QLatin1Char('/'))) {
        qDebug() << Q_FUNC_INFO << "a damaged spool file cannot be printed:" << id;
        return false;
    }
    if (!readFile(failedFile, true, &entry, &error)) {
        qDebug() << Q_FUNC_INFO << "cannot read" << failedFile << error;
        return false;
    }
    entry.reason.clear();
    entry.failedAt = QDateTime();
    // The waiting copy is on the disk before the failed one goes: a crash between the two leaves
    // both, and the next start keeps the waiting one.
    if (!DurableFile::write(path(id), encode(entry), &error)) {
        qDebug() << Q_FUNC_INFO << "cannot write" << path(id) << error;
        return false;
    }
    DurableFile::remove(failedFile);
    entry.report.clear();
    {
        QMutexLocker locker(&m_lock);
        m_failed.remove(id);
        m_pending.insert(id, entry);
    }
    emit changed();
    return true;
}

bool PrintSpool::discard(const QString& id, bool evenClaimed)
{
    bool removed = false;
    {
        QMutexLocker locker(&m_lock);
        if (m_handed.contains(id) || (m_claimed.contains(id) && !evenClaimed))
            return false; // printed, or being printed right now
        if (m_damaged.remove(id))
            removed = DurableFile::remove(m_folder + QLatin1Char('/') + id);
        if (m_pending.remove(id))
            removed = DurableFile::remove(path(id));
        if (m_failed.remove(id))
            removed = DurableFile::remove(m_folder + QLatin1Char('/') + kFailedDir + QLatin1Char('/') + id +
                                          kEntry);
    }
    if (removed) {
        qDebug() << "Spool entry" << id << "discarded";
        emit changed();
    }
    return removed;
}

int PrintSpool::discardJob(const QString& jobId, const QSet<QString>& keep)
{
    QStringList ids;
    for (const SpoolEntry& e : pending()) {
        if (e.jobId == jobId && !keep.contains(e.id))
            ids << e.id;
    }
    int removed = 0;
    for (const QString& id : ids)
        removed += discard(id, true) ? 1 : 0;
    return removed;
}

bool PrintSpool::archivedEntry(const QString& archiveId, SpoolEntry* out) const
{
    if (archiveId.isEmpty() || archiveId.contains(QLatin1Char('/')) || archiveId.contains(QLatin1Char('\\')))
        return false;
    QString reason;
    const QString file = m_folder + QLatin1Char('/') + kPrintedDir + QLatin1Char('/') + archiveId + kEntry;
    if (!readFile(file, true, out, &reason)) {
        qDebug() << Q_FUNC_INFO << "no archived report" << archiveId << reason;
        return false;
    }
    return true;
}

QList<PrintedRecord> PrintSpool::history() const
{
    QList<PrintedRecord> records;
    QFile index(m_folder + QLatin1Char('/') + kPrintedDir + QLatin1Char('/') + kIndex);
    if (!index.open(QIODevice::ReadOnly))
        return records;
    // A record written again after a failed attempt that did reach the disk counts once.
    QSet<QString> seen;
    while (!index.atEnd()) {
        const QJsonDocument line = QJsonDocument::fromJson(index.readLine());
        if (!line.isObject())
            continue;
        PrintedRecord record = recordOf(line.object());
        if (!seen.contains(record.archiveId)) {
            seen.insert(record.archiveId);
            records << record;
        }
    }
    return records;
}

int PrintSpool::pruneArchive(int days)
{
    const QDateTime limit = QDateTime::currentDateTime().addDays(-days);
    const QString dir = m_folder + QLatin1Char('/') + kPrintedDir;
    int removed = 0;
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*") + kEntry}, QDir::Files);
    for (const QFileInfo& info : files) {
        if (info.lastModified() < limit && QFile::remove(info.absoluteFilePath()))
            ++removed;
    }
    // The index keeps the records whose report is still there.
    QByteArray kept;
    int dropped = 0;
    for (const PrintedRecord& record : history()) {
        if (record.printedAt >= limit && QFile::exists(dir + QLatin1Char('/') + record.archiveId + kEntry))
            kept += QJsonDocument(recordJson(record)).toJson(QJsonDocument::Compact) + '\n';
        else
            ++dropped;
    }
    if (dropped > 0)
        DurableFile::write(dir + QLatin1Char('/') + kIndex, kept);
    if (removed > 0)
        qDebug() << "Removed" << removed << "printed reports older than" << days << "days";
    return removed;
}
