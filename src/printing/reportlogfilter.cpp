#include "printing/reportlogfilter.h"

#include "printing/reportlistmodel.h"

#include <QDateTime>

ReportLogFilter::ReportLogFilter(QAbstractItemModel* source, QObject* parent) : QSortFilterProxyModel(parent)
{
    setSourceModel(source);
    // The total counts every row of the log, shown or not.
    for (QAbstractItemModel* model : {static_cast<QAbstractItemModel*>(this), source}) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &ReportLogFilter::countsChanged);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &ReportLogFilter::countsChanged);
        connect(model, &QAbstractItemModel::modelReset, this, &ReportLogFilter::countsChanged);
    }
}

void ReportLogFilter::setSearchText(const QString& text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    invalidateFilter();
    emit searchTextChanged();
    emit countsChanged();
}

bool ReportLogFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QString needle = m_searchText.trimmed();
    if (needle.isEmpty())
        return true;
    const QModelIndex row = sourceModel()->index(sourceRow, 0, sourceParent);
    // The time as the table shows it, so a typed date finds its rows.
    const QString time =
        row.data(ReportListModel::PrintTimeRole).toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (time.contains(needle, Qt::CaseInsensitive))
        return true;
    for (const int role :
         {ReportListModel::JobNameRole, ReportListModel::LayoutNameRole, ReportListModel::PrinterNameRole,
          ReportListModel::ReportUuidRole, ReportListModel::CustomContentRole, ReportListModel::AttentionRole,
          ReportListModel::DeviceIdRole, ReportListModel::SerialRole, ReportListModel::ModelRole,
          ReportListModel::ReportIdRole}) {
        if (row.data(role).toString().contains(needle, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
