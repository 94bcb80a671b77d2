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

void SpoolListModel::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(m_rows.size() - 1), {ReasonRole});
}

void SpoolListModel::refresh()
{
    m_defaultPrinter = LabelJob::printerKeyOf(QString());
    QList<Row> rows;
    const QList<SpoolEntry> failed = m_spool->failed();
    for (const SpoolEntry& entry : failed)
        rows.append({entry, true});
    const QList<SpoolEntry> pending = m_spool->pending();
    m_hidden = std::max(0, int(pending.size()) - kMaxWaitingRows);
    for (int i = 0; i < pending.size() && i < kMaxWaitingRows; ++i)
        rows.append({pending.at(i), false});

    // Row by row instead of a reset: the list keeps its place and the buttons under the pointer
    // stay where they are while a backlog prints. Both parts keep their order, so rows that stay
    // are in the same order before and after.
    QSet<QString> kept;
    for (const Row& row : qAsConst(rows))
        kept.insert(row.key());
    for (int i = m_rows.size() - 1; i >= 0; --i) {
        if (kept.contains(m_rows.at(i).key()))
            continue;
        beginRemoveRows(QModelIndex(), i, i);
        m_rows.removeAt(i);
        endRemoveRows();
    }
    for (int i = 0; i < rows.size(); ++i) {
        if (i < m_rows.size() && m_rows.at(i).key() == rows.at(i).key()) {
            m_rows[i] = rows.at(i);
            continue;
        }
        beginInsertRows(QModelIndex(), i, i);
        m_rows.insert(i, rows.at(i));
        endInsertRows();
    }
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(m_rows.size() - 1));
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
        if (unavailable != m_unavailable.constEnd())
            return unavailable->first;
        return m_paused ? QStringLiteral("printing is paused") : QStringLiteral("waiting for its turn");
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
