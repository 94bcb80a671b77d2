#pragma once
// The report-id watermark ("MC/lastReportId"), the document id of the report at it, and the print
// jobs' restart points: the one place that reads and writes them. Every call goes through the
// settings manager's lock, and a poll's outcome is stored whole or not at all, so the watermark in
// memory never runs ahead of the one on disk.

#include <QHash>
#include <QString>

class SettingsManager;

class Watermark
{
public:
    explicit Watermark(SettingsManager* settings);

    static const QString kLastIdKey;

    // The newest report id fetched; -1 while none is stored.
    qint64 lastId() const;
    // The console's document id of the report at the watermark; empty when not known (set by hand).
    QString document() const;
    // The exclusive lower id from which a job fetches again after a failed export; -1 when none.
    qint64 restartPoint(const QString& job) const;
    // The exclusive lower id a job's next poll fetches from: its restart point or the watermark.
    qint64 nextFetchFrom(const QString& job) const;

    // A watermark chosen by the connection check or the user; the report at it is not known. False
    // (and the old value kept) when it could not be stored.
    bool set(qint64 id);
    // The end of a poll: the watermark moves from `from` to `to` (the report with `document`) and
    // each job in `restartPoints` gets its restart point (-1 removes it). False, with nothing
    // changed, when the watermark is no longer `from` (moved by the user meanwhile) or the settings
    // file could not be written.
    bool advance(qint64 from, qint64 to, const QString& document,
                 const QHash<QString, qint64>& restartPoints);
    // Where a job about to be made active starts: after report `after`, or with the watermark when
    // `after` is not below it (-1 too). False when it could not be stored.
    bool setStartPoint(const QString& job, qint64 after);

private:
    SettingsManager* m_settings;
};
