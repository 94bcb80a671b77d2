#pragma once
// The labels that are not printed yet, for the Report Log: waiting ones (with the reason when their
// printer is unavailable) and failed ones (with why), each with the time since when.

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>

#include "printing/printspool.h"

class SpoolListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)
    Q_PROPERTY(int hiddenCount READ hiddenCount NOTIFY countChanged)
public:
    enum Roles
    {
        EntryIdRole = Qt::UserRole + 1,
        JobNameRole,
        ReportUuidRole,
        PrinterRole,
        StateRole, // "waiting" or "failed"
        ReasonRole,
        SinceRole
    };
    // At most this many waiting labels are listed; the rest are counted.
    static constexpr int kMaxWaitingRows = 300;

    explicit SpoolListModel(PrintSpool* spool, QObject* parent = nullptr);

    // A printer is unavailable (an empty reason: it is available again).
    void setWaiting(const QString& printer, const QString& reason, const QDateTime& since);
    int hiddenCount() const { return m_hidden; }
    // While printing is paused, waiting labels say so.
    void setPaused(bool paused);
    // Rebuilds the rows now (normally done shortly after the spool changed).
    Q_INVOKABLE void refresh();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();

private:
    struct Row
    {
        SpoolEntry entry;
        bool failed = false;
        QString key() const { return (failed ? QLatin1Char('f') : QLatin1Char('w')) + entry.id; }
    };
    PrintSpool* m_spool;
    QList<Row> m_rows;
    int m_hidden = 0;
    QHash<QString, QPair<QString, QDateTime>> m_unavailable; // printer: reason, since
    QTimer m_refresh;
    QString m_defaultPrinter;
    bool m_paused = false;
};
