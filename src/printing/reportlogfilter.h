#pragma once
// The rows of the printed-reports log that hold a search text in any column, for the Report Log's
// search field; ticking a shown row ticks it in the log.

#include <QSortFilterProxyModel>

class ReportLogFilter : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(int shownCount READ shownCount NOTIFY countsChanged)
    Q_PROPERTY(int totalCount READ totalCount NOTIFY countsChanged)
public:
    explicit ReportLogFilter(QAbstractItemModel* source, QObject* parent = nullptr);

    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    int shownCount() const { return rowCount(); }
    int totalCount() const { return sourceModel() ? sourceModel()->rowCount() : 0; }

signals:
    void searchTextChanged();
    void countsChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_searchText;
};
