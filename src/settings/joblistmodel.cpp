#include "settings/joblistmodel.h"

#include "settings/settingsmanager.h"
#include "settings/watermark.h"

#include <QDebug>
#include <QRandomGenerator>

#include <utility>

namespace {

const QString kJobs = QStringLiteral("jobs");
const QString kCreatedAfter = QStringLiteral("createdAfterId");

QString jobKey(const QString& job, const QString& key)
{
    return QStringLiteral("jobs/%1/%2").arg(job, key);
}

QString filterKey(const QString& job, const QString& filter, const QString& key)
{
    return QStringLiteral("jobs/%1/%2/%3").arg(job, filter, key);
}

QString randomId(int length, const QStringList& taken)
{
    static const QString characters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    QString id;
    do {
        id.clear();
        for (int i = 0; i < length; ++i)
            id += characters.at(QRandomGenerator::global()->bounded(characters.size()));
    } while (taken.contains(id));
    return id;
}

JobListModel::Job readJob(SettingsManager* settings, const QString& id)
{
    JobListModel::Job job;
    job.id = id;
    job.name = settings->getValue(jobKey(id, QStringLiteral("jobname")), QString(), true);
    job.printer = settings->getValue(jobKey(id, QStringLiteral("printer")), QString(), true);
    job.layout = settings->getValue(jobKey(id, QStringLiteral("layout")), QString(), true);
    job.active = settings->getBooleanValue(jobKey(id, QStringLiteral("active")), true, true);
    const QStringList filterIds = settings->childGroupsOfSubGroup(kJobs, id, true);
    for (const QString& filterId : filterIds) {
        JobListModel::Filter filter;
        filter.id = filterId;
        filter.field =
            settings->getValue(filterKey(id, filterId, QStringLiteral("filterName")), QString(), true);
        filter.dataType =
            settings->getValue(filterKey(id, filterId, QStringLiteral("operatorType")), QString(), true);
        filter.op = settings->getValue(filterKey(id, filterId, QStringLiteral("operator")),
                                       QStringLiteral("=="), true);
        filter.value =
            settings->getValue(filterKey(id, filterId, QStringLiteral("filterValue")), QString(), true);
        if (!filter.field.isEmpty())
            job.filters.append(filter);
    }
    return job;
}

} // namespace

QList<JobListModel::Job> JobListModel::read(SettingsManager* settings)
{
    QList<Job> jobs;
    if (!settings)
        return jobs;
    const QStringList ids = settings->childGroupsOfGroup(kJobs, true);
    for (const QString& id : ids)
        jobs.append(readJob(settings, id));
    return jobs;
}

JobListModel::JobListModel(SettingsManager* settings, QObject* parent)
    : QAbstractListModel(parent), m_settings(settings)
{
    if (m_settings)
        connect(m_settings, &SettingsManager::watermarkChanged, this, &JobListModel::watermarkChanged,
                Qt::QueuedConnection);
    reload();
}

qint64 JobListModel::watermark() const
{
    return Watermark(m_settings).lastId();
}

qint64 JobListModel::createdAfter(const QString& id) const
{
    if (!m_settings || !find(id))
        return -1;
    bool ok = false;
    const qint64 after = m_settings->getValue(jobKey(id, kCreatedAfter), QString(), true).toLongLong(&ok);
    return ok ? after : -1;
}

QString JobListModel::startProblem(qint64 startAfter) const
{
    // A start point can only lie behind the watermark: later reports are not known yet.
    const qint64 last = watermark();
    if (startAfter > last && last >= 0)
        return tr("Report %1 has not arrived yet: the newest is report %2.").arg(startAfter + 1).arg(last);
    return QString();
}

QString JobListModel::startText(const QString& id) const
{
    const Job* job = find(id);
    if (!job)
        return QString();
    const Watermark watermark(m_settings);
    const qint64 last = watermark.lastId();
    if (last < 0)
        return tr("Prints the reports arriving after the first contact with the console.");
    const qint64 from = watermark.nextFetchFrom(id);
    if (job->active && from < last)
        return tr("Prints from report %1 on; catching up to report %2.").arg(from + 1).arg(last);
    return job->active ? tr("Prints each new report as it arrives (those after report %1).").arg(last)
                       : tr("Prints nothing while inactive: new reports pass it by.");
}

void JobListModel::setLayoutSource(std::function<QStringList()> source)
{
    m_layoutSource = std::move(source);
    refreshAvailability();
}

void JobListModel::setPrinterSource(std::function<QStringList()> source)
{
    m_printerSource = std::move(source);
    refreshAvailability();
}

void JobListModel::reload()
{
    const int before = m_jobs.size();
    beginResetModel();
    m_jobs = read(m_settings);
    if (m_layoutSource)
        m_layouts = m_layoutSource();
    if (m_printerSource)
        m_printers = m_printerSource();
    endResetModel();
    // Drafts of jobs that are gone would otherwise come back with a reused id.
    for (auto it = m_drafts.begin(); it != m_drafts.end();) {
        if (!find(it.key()))
            it = m_drafts.erase(it);
        else
            ++it;
    }
    ++m_revision;
    if (before != m_jobs.size())
        emit countChanged();
    emit changed();
}

void JobListModel::refreshAvailability()
{
    if (m_layoutSource)
        m_layouts = m_layoutSource();
    if (m_printerSource)
        m_printers = m_printerSource();
    if (!m_jobs.isEmpty())
        emit dataChanged(index(0), index(m_jobs.size() - 1), {ProblemRole});
    ++m_revision;
    emit changed();
}

QString JobListModel::createJob(const QString& name)
{
    if (!m_settings)
        return QString();
    QStringList taken;
    for (const Job& job : qAsConst(m_jobs))
        taken.append(job.id);
    taken += m_settings->childGroupsOfGroup(kJobs, true);
    Job job;
    job.id = randomId(12, taken);
    job.name = name;
    // Inactive until it has a printer and a layout: an empty job would fail every report it is sent.
    job.active = false;
    m_settings->setValue(jobKey(job.id, QStringLiteral("jobname")), job.name, true);
    m_settings->setValue(jobKey(job.id, QStringLiteral("active")), false, true);
    m_settings->setValue(jobKey(job.id, QStringLiteral("layout")), QString(), true);
    m_settings->setValue(jobKey(job.id, QStringLiteral("printer")), QString(), true);
    // Where "the reports since it was created" begin, when it is made active later.
    const qint64 last = Watermark(m_settings).lastId();
    if (last >= 0)
        m_settings->setValue(jobKey(job.id, kCreatedAfter), QString::number(last), true);
    store();
    beginInsertRows(QModelIndex(), m_jobs.size(), m_jobs.size());
    m_jobs.append(job);
    endInsertRows();
    ++m_revision;
    emit countChanged();
    emit changed();
    return job.id;
}

bool JobListModel::removeJob(const QString& id)
{
    const int row = indexOf(id);
    if (row < 0 || !m_settings)
        return false;
    // The whole group goes, filters included.
    m_settings->removeKey(QStringLiteral("jobs/") + id, true);
    store();
    beginRemoveRows(QModelIndex(), row, row);
    m_jobs.removeAt(row);
    endRemoveRows();
    m_drafts.remove(id);
    ++m_revision;
    emit countChanged();
    emit changed();
    return true;
}

int JobListModel::indexOf(const QString& id) const
{
    for (int i = 0; i < m_jobs.size(); ++i) {
        if (m_jobs.at(i).id == id)
            return i;
    }
    return -1;
}

QString JobListModel::idAt(int row) const
{
    return row >= 0 && row < m_jobs.size() ? m_jobs.at(row).id : QString();
}

QVariantMap JobListModel::job(const QString& id) const
{
    const Job* job = find(id);
    if (!job)
        return {};
    return {{QStringLiteral("id"), job->id},
            {QStringLiteral("name"), job->name},
            {QStringLiteral("printer"), job->printer},
            {QStringLiteral("layout"), job->layout},
            {QStringLiteral("active"), job->active},
            {QStringLiteral("problem"), problemOf(*job)},
            {QStringLiteral("filterCount"), job->filters.size()}};
}

bool JobListModel::setName(const QString& id, const QString& name)
{
    return setJobValue(id, QStringLiteral("jobname"), name, &Job::name);
}

bool JobListModel::setPrinter(const QString& id, const QString& printer)
{
    return setJobValue(id, QStringLiteral("printer"), printer, &Job::printer);
}

bool JobListModel::setLayout(const QString& id, const QString& layout)
{
    return setJobValue(id, QStringLiteral("layout"), layout, &Job::layout);
}

QString JobListModel::problem(const QString& id) const
{
    const Job* job = find(id);
    return job ? problemOf(*job) : QString();
}

QString JobListModel::activationBlocker(const QString& id) const
{
    const Job* job = find(id);
    if (!job)
        return tr("No such job");
    if (job->printer.isEmpty() && job->layout.isEmpty())
        return tr("Choose a printer and a layout first");
    // A printer that is only switched off keeps its labels waiting; a missing layout fails them all.
    if (job->printer.isEmpty() || job->layout.isEmpty() ||
        (m_layoutSource && !m_layouts.contains(job->layout)))
        return problemOf(*job);
    return QString();
}

bool JobListModel::needsUnfilteredConfirmation(const QString& id) const
{
    const Job* job = find(id);
    return job && job->filters.isEmpty();
}

bool JobListModel::setActive(const QString& id, bool active, bool unfilteredConfirmed, qint64 startAfter)
{
    Job* job = find(id);
    if (!job || !m_settings)
        return false;
    if (active) {
        const QString blocker = activationBlocker(id);
        if (!blocker.isEmpty()) {
            qWarning() << "Job" << job->name << "stays inactive:" << blocker;
            return false;
        }
        if (job->filters.isEmpty() && !unfilteredConfirmed) {
            qWarning() << "Job" << job->name << "has no filters; activating it needs a confirmation";
            return false;
        }
    }
    if (job->active == active)
        return true;
    // The start point is stored before the job is active, so no poll sees the one without the other.
    if (active && !Watermark(m_settings).setStartPoint(id, startAfter))
        return false;
    if (active)
        qDebug() << "Job" << job->name << "starts"
                 << (startAfter >= 0 ? QStringLiteral("after report %1").arg(startAfter)
                                     : QStringLiteral("with the reports arriving from now on"));
    job->active = active;
    m_settings->setValue(jobKey(id, QStringLiteral("active")), active, true);
    qDebug() << "Job" << job->name << (active ? "made active" : "made inactive");
    touch(indexOf(id));
    return store();
}

QVariantList JobListModel::filters(const QString& id) const
{
    QVariantList rows;
    const Job* job = find(id);
    if (!job)
        return rows;
    for (const Filter& filter : job->filters) {
        rows.append(QVariantMap{{QStringLiteral("filterId"), filter.id},
                                {QStringLiteral("searchPath"), filter.field},
                                {QStringLiteral("dataType"), filter.dataType},
                                {QStringLiteral("operatorSymbol"), filter.op},
                                {QStringLiteral("filterValue"), filter.value}});
    }
    return rows;
}

QString JobListModel::newFilterId(const QString& id) const
{
    QStringList taken;
    if (m_settings)
        taken = m_settings->childGroupsOfSubGroup(kJobs, id, true);
    for (const QVariant& row : m_drafts.value(id))
        taken.append(row.toMap().value(QStringLiteral("filterId")).toString());
    return randomId(8, taken);
}

QString JobListModel::filterProblem(const QString& field, const QString& op) const
{
    if (field.trimmed().isEmpty())
        return tr("Not saved: choose the field to filter by (type its name or pick it under Search Fields)");
    if (op.isEmpty())
        return tr("Not saved: choose an operator");
    return QString();
}

bool JobListModel::saveFilter(const QString& id, const QString& filterId, const QString& field,
                              const QString& dataType, const QString& op, const QString& value)
{
    Job* job = find(id);
    if (!job || !m_settings || filterId.isEmpty() || filterId.contains(QLatin1Char('/')))
        return false;
    const QString missing = filterProblem(field, op);
    if (!missing.isEmpty()) {
        qWarning() << "Filter of job" << job->name << "not saved:" << missing;
        return false;
    }
    m_settings->setValue(filterKey(id, filterId, QStringLiteral("filterName")), field, true);
    m_settings->setValue(filterKey(id, filterId, QStringLiteral("operatorType")), dataType, true);
    m_settings->setValue(filterKey(id, filterId, QStringLiteral("operator")), op, true);
    m_settings->setValue(filterKey(id, filterId, QStringLiteral("filterValue")), value, true);
    const Filter filter{filterId, field, dataType, op, value};
    bool replaced = false;
    for (Filter& existing : job->filters) {
        if (existing.id == filterId) {
            existing = filter;
            replaced = true;
        }
    }
    if (!replaced)
        job->filters.append(filter);
    // A saved row is no draft any more.
    QVariantList& drafts = m_drafts[id];
    for (int i = drafts.size() - 1; i >= 0; --i) {
        if (drafts.at(i).toMap().value(QStringLiteral("filterId")).toString() == filterId)
            drafts.removeAt(i);
    }
    touch(indexOf(id));
    return store();
}

bool JobListModel::removeFilter(const QString& id, const QString& filterId)
{
    Job* job = find(id);
    if (!job || !m_settings || filterId.isEmpty())
        return false;
    QVariantList& drafts = m_drafts[id];
    for (int i = drafts.size() - 1; i >= 0; --i) {
        if (drafts.at(i).toMap().value(QStringLiteral("filterId")).toString() == filterId)
            drafts.removeAt(i);
    }
    for (int i = 0; i < job->filters.size(); ++i) {
        if (job->filters.at(i).id == filterId) {
            job->filters.removeAt(i);
            m_settings->removeValueOfGroup(QStringLiteral("jobs/") + id, filterId, true);
            touch(indexOf(id));
            return store();
        }
    }
    return true;
}

void JobListModel::keepDrafts(const QString& id, const QVariantList& rows)
{
    if (!find(id))
        return;
    if (rows.isEmpty())
        m_drafts.remove(id);
    else
        m_drafts.insert(id, rows);
}

QVariantList JobListModel::drafts(const QString& id) const
{
    return m_drafts.value(id);
}

QStringList JobListModel::jobsUsingLayout(const QString& layout) const
{
    QStringList names;
    for (const Job& job : m_jobs) {
        if (!layout.isEmpty() && job.layout == layout)
            names.append(job.name.isEmpty() ? job.id : job.name);
    }
    return names;
}

int JobListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_jobs.size();
}

QVariant JobListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_jobs.size())
        return {};
    const Job& job = m_jobs.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return job.name;
    case JobIdRole:
        return job.id;
    case PrinterRole:
        return job.printer;
    case LayoutRole:
        return job.layout;
    case ActiveRole:
        return job.active;
    case ProblemRole:
        return problemOf(job);
    case FilterCountRole:
        return job.filters.size();
    default:
        return {};
    }
}

QHash<int, QByteArray> JobListModel::roleNames() const
{
    return {{JobIdRole, "uniqueId"},         {NameRole, "jobname"},    {PrinterRole, "printer"},
            {LayoutRole, "layout"},          {ActiveRole, "isactive"}, {ProblemRole, "problem"},
            {FilterCountRole, "filterCount"}};
}

JobListModel::Job* JobListModel::find(const QString& id)
{
    const int row = indexOf(id);
    return row >= 0 ? &m_jobs[row] : nullptr;
}

const JobListModel::Job* JobListModel::find(const QString& id) const
{
    const int row = indexOf(id);
    return row >= 0 ? &m_jobs.at(row) : nullptr;
}

bool JobListModel::setJobValue(const QString& id, const QString& key, const QString& value,
                               QString Job::*member)
{
    Job* job = find(id);
    if (!job || !m_settings)
        return false;
    if (job->*member == value)
        return true;
    job->*member = value;
    m_settings->setValue(jobKey(id, key), value, true);
    touch(indexOf(id));
    return store();
}

bool JobListModel::store()
{
    if (m_settings->syncGlobal())
        return true;
    qWarning() << "The job settings could not be written to the settings file";
    return false;
}

void JobListModel::touch(int row)
{
    if (row >= 0)
        emit dataChanged(index(row), index(row));
    ++m_revision;
    emit changed();
}

QString JobListModel::problemOf(const Job& job) const
{
    if (job.layout.isEmpty() && job.printer.isEmpty())
        return tr("No printer and no layout chosen");
    if (job.layout.isEmpty())
        return tr("No layout chosen");
    if (job.printer.isEmpty())
        return tr("No printer chosen");
    if (m_layoutSource && !m_layouts.contains(job.layout))
        return tr("The layout \"%1\" does not exist").arg(job.layout);
    if (m_printerSource && !m_printers.contains(job.printer))
        return tr("The printer \"%1\" is not available").arg(job.printer);
    return QString();
}
