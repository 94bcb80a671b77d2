#include "printing/spoollistmodel.h"

#include "printing/labeljob.h"

SpoolListModel::SpoolListModel(PrintSpool* spool, QObject* parent)
    : QAbstractListModel(parent), m_spool(spool)
{
    // A backlog changes the spool with every label: rebuild at most a few times a second.
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(300);
    connect(&m_refresh, &QTimer::timeout, this, &SpoolListModel::refresh);
    connect(m_spool, &PrintSpool::changed, &m_refresh, qOverload<>(&QTimer::start), Qt::QueuedConnection);
    refresh();
}

void SpoolListModel::setWaiting(const QString& printer, const QString& reason, const QDateTime& since)
{
    if (reason.isEmpty())
        m_unavailable.remove(printer);
    else
        m_unavailable.insert(printer, {reason, since});
    m_refresh.start();
}

void SpoolListModel::refresh()
{
    beginResetModel();
    m_defaultPrinter = LabelJob::printerKeyOf(QString());
    m_rows.clear();
    const QList<SpoolEntry> failed = m_spool->failed();
    for (const SpoolEntry& entry : failed)
        m_rows.append({entry, true});
    const QList<SpoolEntry> pending = m_spool->pending();
    m_hidden = std::max(0, int(pending.size()) - kMaxWaitingRows);
    for (int i = 0; i < pending.size() && i < kMaxWaitingRows; ++i)
        m_rows.append({pending.at(i), false});
    endResetModel();
    emit countChanged();
}

int SpoolListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

QVariant SpoolListModel::data(const QModelIndex& index, int role) const
{
    if (index.row() < 0 || index.row() >= m_rows.size())
        return QVariant();
    const Row& row = m_rows.at(index.row());
    const SpoolEntry& e = row.entry;
    // A job that names no printer prints on the default printer; the note is kept under that name.
    const QString printer = e.printer.isEmpty() ? m_defaultPrinter : e.printer;
    const auto unavailable = m_unavailable.constFind(printer);
    switch (role) {
    case EntryIdRole:
        return e.id;
    case JobNameRole:
        return e.jobName;
    case ReportUuidRole:
        return e.reportUuid;
    case PrinterRole:
        return printer;
    case StateRole:
        return row.failed ? QStringLiteral("failed") : QStringLiteral("waiting");
    case ReasonRole:
        if (row.failed)
            return e.reason;
        return unavailable != m_unavailable.constEnd() ? unavailable->first
                                                       : QStringLiteral("waiting for its turn");
    case SinceRole:
        if (row.failed)
            return e.failedAt;
        return e.spooledAt;
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> SpoolListModel::roleNames() const
{
    return {{EntryIdRole, "entryId"}, {JobNameRole, "jobName"}, {ReportUuidRole, "reportUuid"},
            {PrinterRole, "printer"}, {StateRole, "state"},     {ReasonRole, "reason"},
            {SinceRole, "since"}};
}
