#pragma once
// The print jobs as stored in the global settings ("jobs/<id>/..."): the one place that reads and
// writes them. The "Print Jobs" screen binds to it and the poller reads the jobs through read(),
// so the rules that keep a job from printing wrong or lost labels live here.

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

class SettingsManager;

class JobListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Goes up with every change, so a binding that reads job() is evaluated again.
    Q_PROPERTY(int revision READ revision NOTIFY changed)
    // The newest report the station has passed (-1 before the first contact); moves with the polls.
    Q_PROPERTY(qint64 watermark READ watermark NOTIFY watermarkChanged)
public:
    enum Roles
    {
        JobIdRole = Qt::UserRole + 1,
        NameRole,
        PrinterRole,
        LayoutRole,
        ActiveRole,
        ProblemRole, // why the job cannot print (missing layout, no printer); empty when it can
        FilterCountRole
    };

    struct Filter
    {
        QString id;
        QString field; // the report's search path
        QString dataType;
        QString op;
        QString value;
    };

    struct Job
    {
        QString id;
        QString name;
        QString printer;
        QString layout;
        bool active = true; // a job stored without the key has always been active
        QList<Filter> filters;
    };

    // Every job in the settings, in stored order; filters without a field are left out, as they
    // never narrowed a search.
    static QList<Job> read(SettingsManager* settings);

    explicit JobListModel(SettingsManager* settings, QObject* parent = nullptr);

    // Where the names of the layouts and printers that exist come from; without a source every
    // name counts as present.
    void setLayoutSource(std::function<QStringList()> source);
    void setPrinterSource(std::function<QStringList()> source);

    int count() const { return m_jobs.size(); }
    qint64 watermark() const;
    int revision() const { return m_revision; }

    // Reads the jobs again from the settings and asks the sources which layouts and printers exist.
    Q_INVOKABLE void reload();
    Q_INVOKABLE void refreshAvailability();

    // A new job is inactive and has neither printer nor layout; returns its id.
    Q_INVOKABLE QString createJob(const QString& name);
    Q_INVOKABLE bool removeJob(const QString& id);
    Q_INVOKABLE int indexOf(const QString& id) const;
    Q_INVOKABLE QString idAt(int row) const;
    // id, name, printer, layout, active, problem, filterCount of a job; empty for an unknown id.
    Q_INVOKABLE QVariantMap job(const QString& id) const;

    Q_INVOKABLE bool setName(const QString& id, const QString& name);
    Q_INVOKABLE bool setPrinter(const QString& id, const QString& printer);
    Q_INVOKABLE bool setLayout(const QString& id, const QString& layout);

    // Why the job can print no label; empty when it can.
    Q_INVOKABLE QString problem(const QString& id) const;
    // Why the job cannot be made active; empty when it can.
    Q_INVOKABLE QString activationBlocker(const QString& id) const;
    // A job without filters prints every report: activating it needs that confirmed.
    Q_INVOKABLE bool needsUnfilteredConfirmation(const QString& id) const;
    // False (and a log line) when the job is incomplete, or unfiltered and not confirmed. A job made
    // active prints the reports after `startAfter`, or those arriving from now on (kFromNow, or any
    // value not below the watermark).
    Q_INVOKABLE bool setActive(const QString& id, bool active, bool unfilteredConfirmed = false,
                               qint64 startAfter = kFromNow);
    static constexpr qint64 kFromNow = -1;
    // The watermark when the job was created; -1 when not known (created before the first contact).
    Q_INVOKABLE qint64 createdAfter(const QString& id) const;
    // Why a job cannot start after report `startAfter` (a report not fetched yet); empty when it can.
    Q_INVOKABLE QString startProblem(qint64 startAfter) const;
    // Which reports the job prints, as the form says it: from the watermark or its start point.
    Q_INVOKABLE QString startText(const QString& id) const;

    // The stored filters: filterId, searchPath, dataType, operatorSymbol, filterValue.
    Q_INVOKABLE QVariantList filters(const QString& id) const;
    // An id no stored filter or draft of the job uses.
    Q_INVOKABLE QString newFilterId(const QString& id) const;
    // What a filter row still lacks before it can be saved; empty when it can be.
    Q_INVOKABLE QString filterProblem(const QString& field, const QString& op) const;
    Q_INVOKABLE bool saveFilter(const QString& id, const QString& filterId, const QString& field,
                                const QString& dataType, const QString& op, const QString& value);
    Q_INVOKABLE bool removeFilter(const QString& id, const QString& filterId);
    // Rows the user has started but not finished, kept while another job is shown.
    Q_INVOKABLE void keepDrafts(const QString& id, const QVariantList& rows);
    Q_INVOKABLE QVariantList drafts(const QString& id) const;

    // Names of the jobs that print with the layout, for the question before it is deleted.
    Q_INVOKABLE QStringList jobsUsingLayout(const QString& layout) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();
    void changed();
    void watermarkChanged();

private:
    Job* find(const QString& id);
    const Job* find(const QString& id) const;
    bool setJobValue(const QString& id, const QString& key, const QString& value, QString Job::*member);
    // Writes the file now, so the poller and a restart see the change.
    bool store();
    void touch(int row);
    QString problemOf(const Job& job) const;

    SettingsManager* m_settings;
    QList<Job> m_jobs;
    QHash<QString, QVariantList> m_drafts;
    std::function<QStringList()> m_layoutSource;
    std::function<QStringList()> m_printerSource;
    QStringList m_layouts;
    QStringList m_printers;
    int m_revision = 0;
};
