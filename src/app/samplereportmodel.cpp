#include "app/samplereportmodel.h"

#include "mc/mccomm.h"
#include "mc/mcconnectionsettings.h"
#include "mc/mcrequest.h"
#include "printing/printspool.h"
#include "report/reportdocument.h"
#include "settings/settingsmanager.h"

#include <QDebug>
#include <QPointer>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

SampleReportModel::Sample consoleSample(const QByteArray& report)
{
    SampleReportModel::Sample sample;
    sample.fromConsole = true;
    sample.report = report;
    sample.identity = ReportIdentity::scan(report);
    ReportDocument document;
    if (document.parse(report))
        sample.date = document.date();
    sample.documentId = ReportDocument::scanDocumentId(report);
    return sample;
}

} // namespace

SampleReportModel::SampleReportModel(PrintSpool* spool, QObject* parent)
    : QAbstractListModel(parent), m_spool(spool)
{}

SampleReportModel::~SampleReportModel()
{
    // The fetch posts its result to this object: it must end first (its requests time out).
    if (m_fetch)
        m_fetch->wait();
}

int SampleReportModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

QVariant SampleReportModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const Sample& sample = m_rows.at(index.row());
    switch (role) {
    case DateRole:
        return sample.date.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    case ModelRole:
        return sample.identity.model;
    case DeviceIdRole:
        return sample.identity.deviceId();
    case SourceRole:
        return sample.fromConsole ? tr("Console") : tr("Printed");
    case Qt::DisplayRole:
    case LabelRole:
        return labelAt(index.row());
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> SampleReportModel::roleNames() const
{
    return {{DateRole, "date"},
            {ModelRole, "model"},
            {DeviceIdRole, "deviceId"},
            {SourceRole, "source"},
            {LabelRole, "label"}};
}

QString SampleReportModel::labelAt(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return QString();
    const Sample& sample = m_rows.at(row);
    const QString model = sample.identity.model.isEmpty() ? tr("unknown model") : sample.identity.model;
    const QString id =
        sample.identity.deviceId().isEmpty() ? tr("no IMEI or serial") : sample.identity.deviceId();
    return QStringLiteral("%1 \u00b7 %2 \u00b7 %3 (%4)")
        .arg(sample.date.toString(QStringLiteral("yyyy-MM-dd HH:mm")), model, id,
             sample.fromConsole ? tr("console") : tr("printed"));
}

void SampleReportModel::refresh()
{
    readArchive();
    if (m_fetch)
        return; // the running fetch brings the console's rows
    if (!MCConnectionSettings::read(SettingsManager::instance()).complete()) {
        m_consoleState = tr("No console is set up: printed reports are listed");
        emit consoleStateChanged();
        return;
    }
    m_consoleState = tr("Asking the console for its newest reports\u2026");
    emit consoleStateChanged();
    QPointer<SampleReportModel> self(this);
    m_fetch = QThread::create([self] {
        QList<QByteArray> reports;
        const bool answered = fetchNewest(kConsoleCount, &reports);
        // The destructor waits for this thread, so the object is still there to post to.
        QMetaObject::invokeMethod(
            self.data(),
            [self, reports, answered] {
                if (self)
                    self->setConsoleReports(reports, answered);
            },
            Qt::QueuedConnection);
    });
    connect(m_fetch, &QThread::finished, this, [this] {
        m_fetch->deleteLater();
        m_fetch = nullptr;
    });
    m_fetch->start();
}

void SampleReportModel::readArchive()
{
    QList<Sample> archive;
    if (m_spool) {
        QList<PrintedRecord> history = m_spool->history();
        QSet<QString> seen;
        for (auto it = history.crbegin(); it != history.crend() && archive.size() < kArchiveCount; ++it) {
            if (!it->reportUuid.isEmpty() && seen.contains(it->reportUuid))
                continue; // a reprint shows the same report again
            seen.insert(it->reportUuid);
            Sample sample;
            sample.date = it->printedAt;
            sample.identity = it->identity;
            sample.archiveId = it->archiveId;
            sample.documentId = it->reportUuid;
            archive.append(sample);
        }
    }
    setRows(archive, m_console);
}

void SampleReportModel::setConsoleReports(const QList<QByteArray>& reports, bool answered)
{
    if (answered) {
        QList<Sample> console;
        for (const QByteArray& report : reports)
            console.append(consoleSample(report));
        m_consoleState = console.isEmpty() ? tr("The console has no reports yet") : QString();
        setRows(m_archive, console);
    } else {
        // The rows fetched before stay: they are still good reports to look at.
        m_consoleState = tr("The console cannot be reached: printed reports are listed");
    }
    emit consoleStateChanged();
}

void SampleReportModel::setRows(const QList<Sample>& archive, const QList<Sample>& console)
{
    beginResetModel();
    m_archive = archive;
    m_console = console;
    // A report printed here is listed once, as printed: the date it was printed is what the user
    // remembers of it.
    m_rows = archive;
    QSet<QString> listed;
    for (const Sample& sample : archive)
        listed.insert(sample.documentId);
    for (const Sample& sample : console) {
        if (sample.documentId.isEmpty() || !listed.contains(sample.documentId))
            m_rows.append(sample);
    }
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [](const Sample& a, const Sample& b) { return a.date > b.date; });
    endResetModel();
    emit countChanged();
}

QByteArray SampleReportModel::reportAt(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return QByteArray();
    const Sample& sample = m_rows.at(row);
    if (sample.fromConsole)
        return sample.report;
    SpoolEntry entry;
    if (!m_spool || !m_spool->archivedEntry(sample.archiveId, &entry)) {
        qWarning() << "The printed report" << sample.archiveId << "is no longer in the archive";
        return QByteArray();
    }
    return entry.report;
}

bool SampleReportModel::fetchNewest(int count, QList<QByteArray>* reports)
{
    reports->clear();
    const MCConnectionSettings connection = MCConnectionSettings::read(SettingsManager::instance());
    if (!connection.complete())
        return false;
    std::unique_ptr<MCComm> mc = connection.createClient();
    QString reply;
    if (!mc->searchReports({McRequest::idSearch(connection.onlyReported, 0)}, QStringLiteral("csv"), &reply))
        return false;
    const QList<qint64> ids = MCConnectionSettings::ids(reply);
    if (ids.isEmpty())
        return true;
    const qint64 from = ids.size() > count ? ids.at(ids.size() - count - 1) : 0;
    QStringList lines;
    if (connection.onlyReported)
        lines.append(McRequest::onlyExportedLine());
    lines.append(McRequest::idLine(QStringLiteral("gt"), from));
    lines.append(McRequest::idLine(QStringLiteral("lte"), ids.last()));
    QByteArrayList texts;
    if (!mc->exportReports(lines, &texts))
        return false;
    for (const QByteArray& text : qAsConst(texts)) {
        // Issue reports describe a problem of the station, not a device: nothing to print.
        if (!text.contains("<korvex_issue_report>"))
            reports->append(text);
    }
    return true;
}
