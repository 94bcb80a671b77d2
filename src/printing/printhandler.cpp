#include "printing/printhandler.h"

#include "app/popupnoteprovider.h"
#include "printing/durablefile.h"
#include "printing/fileprinter.h"
#include "printing/layoutcheck.h"
#include "printing/layoutmanager.h"
#include "printing/printworker.h"
#include "printing/reportlistmodel.h"
#include "printing/spoollistmodel.h"
#include "printing/textprintitem_.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <memory>

namespace {

const char* const kLabelPrinterModel = "Brother_QL-820NWB";
const QString kDocumentIdPath = QStringLiteral("/root/report/korvex_data/description/document_id");
// A printer that is missing or refuses is asked again after this long, or sooner when the list of
// printers changes or the user presses Retry.
constexpr int kBackoffMs = 30000;
constexpr int kPrinterListCheckMs = 5000;
const QString kPartSuffix = QStringLiteral(".part");

QString setting(const QString& key)
{
    SettingsManager* settings = SettingsManager::instance();
    return settings ? settings->getValue(key, QString(), true) : QString();
}

void logPrinter(const QPrinterInfo& info)
{
    qDebug() << info.printerName() << info.location() << info.makeAndModel() << info.state()
             << info.isRemote();
}

// Whether the built-in printer's folder exists (or can be made) and takes new files.
bool labelFolderWritable(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    QFile probe(folder + QStringLiteral("/.write-test"));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}

} // namespace

PrintHandler::PrintHandler(QObject* parent, PrintSpool* spool)
    : QObject(parent), m_spool(spool ? spool : PrintSpool::instance())
{
    qDebug() << "Available printers!";
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    for (const QPrinterInfo& info : printers)
        logPrinter(info);
    m_knownPrinters = QPrinterInfo::availablePrinterNames();

    if (SettingsManager* settings = SettingsManager::instance())
        m_paused = settings->getBooleanValue(PrintSpool::kPausedKey, false, true);

    m_model = new SpoolListModel(m_spool, this);
    // The poller adds entries from its own thread; printing continues on this one.
    connect(m_spool, &PrintSpool::changed, this, &PrintHandler::schedulePrint, Qt::QueuedConnection);
    connect(m_spool, &PrintSpool::changed, this, &PrintHandler::spoolChanged, Qt::QueuedConnection);
    connect(m_spool, &PrintSpool::entryDamaged, this, [this](const QString& file, const QString& reason) {
        reportFailure(PopupNoteProvider::ErrorMessage, QStringLiteral("Spool file damaged"),
                      QStringLiteral("The waiting label %1 could not be read (%2) and was moved aside")
                          .arg(file, reason));
    });

    m_backoffTimer.setInterval(kPrinterListCheckMs);
    connect(&m_backoffTimer, &QTimer::timeout, this, &PrintHandler::onBackoffTimer);

    // Printed reports are kept for reprinting for a while; pruned at start and once a day.
    const auto prune = [this] {
        int days = PrintSpool::kDefaultKeepDays;
        if (SettingsManager* settings = SettingsManager::instance())
            days = settings->getIntValue(PrintSpool::kKeepDaysKey, PrintSpool::kDefaultKeepDays, true);
        m_spool->pruneArchive(std::max(days, 0));
    };
    prune();
    m_pruneTimer.setInterval(24 * 60 * 60 * 1000);
    connect(&m_pruneTimer, &QTimer::timeout, this, prune);
    m_pruneTimer.start();

    // Labels left from an earlier run print first.
    if (m_spool->pendingCount() > 0) {
        qDebug() << m_spool->pendingCount() << "labels wait in the spool from an earlier run";
        schedulePrint();
    }
}

PrintHandler::~PrintHandler() = default;

int PrintHandler::pendingReports() const
{
    return m_spool->pendingCount();
}

int PrintHandler::failedLabels() const
{
    return m_spool->failed().size();
}

QObject* PrintHandler::spoolModel() const
{
    return m_model;
}

QString PrintHandler::spoolState() const
{
    const int waiting = pendingReports();
    QStringList parts;
    if (m_paused)
        parts << QStringLiteral("Printing paused");
    if (waiting > 0) {
        QStringList printers;
        for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it)
            printers << (it.key().isEmpty() ? QStringLiteral("a printer to be set") : it.key());
        printers.sort();
        parts << (printers.isEmpty() ? QStringLiteral("%1 labels waiting").arg(waiting)
                                     : QStringLiteral("%1 labels waiting for %2")
                                           .arg(waiting)
                                           .arg(printers.join(QStringLiteral(", "))));
    }
    const int failed = failedLabels();
    if (failed > 0)
        parts << QStringLiteral("%1 labels failed").arg(failed);
    return parts.join(QStringLiteral(" · "));
}

void PrintHandler::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (SettingsManager* settings = SettingsManager::instance()) {
        settings->setValue(PrintSpool::kPausedKey, paused, true);
        settings->syncGlobal();
    }
    qDebug() << (paused ? "Printing paused" : "Printing resumed");
    emit pausedChanged();
    emit spoolChanged();
    if (!paused)
        schedulePrint();
}

void PrintHandler::reportFailure(int noteType, const QString& title, const QString& text)
{
    emit statusBarMessage(text);
    PopupNoteProvider* notes = PopupNoteProvider::instance();
    emit notes->showErrorText(title, text, static_cast<PopupNoteProvider::PopupNoteTypes>(noteType));
}

bool PrintHandler::stageReports(const QString& jobId, const QString& jobName, const QString& layout,
                                const QString& printer, const QStringList& reports, qint64 rangeFrom,
                                qint64 rangeTo, QStringList* staged)
{
    QStringList ids;
    for (const QString& report : reports) {
        SpoolEntry entry;
        entry.jobId = jobId;
        entry.jobName = jobName;
        entry.layout = layout;
        entry.printer = printer;
        entry.reportUuid = ReportDocument::scanDocumentId(report);
        entry.rangeFrom = rangeFrom;
        entry.rangeTo = rangeTo;
        entry.report = report.toUtf8();
        QString error;
        if (!m_spool->stage(&entry, &error)) {
            qWarning() << "Job" << jobName << ": cannot write a label to the spool:" << error;
            m_spool->discardStaged(ids);
            return false;
        }
        ids << entry.id;
    }
    *staged += ids;
    return true;
}

void PrintHandler::printReports(const QString& jobname, const QString& label, const QString& printer,
                                const QStringList& rp, int reportsFrom, int reportsTo)
{
    for (const QString& report : rp) {
        SpoolEntry entry;
        entry.jobName = jobname;
        entry.layout = label;
        entry.printer = printer;
        entry.reportUuid = ReportDocument::scanDocumentId(report);
        entry.rangeFrom = reportsFrom - 1;
        entry.rangeTo = reportsTo;
        entry.report = report.toUtf8();
        QString error;
        if (!m_spool->add(&entry, &error))
            reportFailure(
                PopupNoteProvider::ErrorMessage, QStringLiteral("Label not printed"),
                QStringLiteral("Job %1: the label could not be kept for printing (%2)").arg(jobname, error));
    }
    schedulePrint();
}

void PrintHandler::schedulePrint()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &PrintHandler::printNext);
}

QString PrintHandler::printerKeyOf(const QString& printer) const
{
    return printer.isEmpty() ? setting(QStringLiteral("defaultPrinter")) : printer;
}

void PrintHandler::resolveJob(const SpoolEntry& entry, QString* layout, QString* printer) const
{
    *layout = entry.layout;
    *printer = entry.printer;
    SettingsManager* settings = SettingsManager::instance();
    if (!settings || entry.jobId.isEmpty())
        return;
    const QString base = QStringLiteral("jobs/%1/").arg(entry.jobId);
    if (!settings->contains(base + QStringLiteral("jobname"), true))
        return; // the job is gone: its labels print as they were spooled
    *layout = settings->getValue(base + QStringLiteral("layout"), QString(), true);
    *printer = settings->getValue(base + QStringLiteral("printer"), QString(), true);
}

void PrintHandler::printNext()
{
    m_scheduled = false;
    if (m_paused)
        return;
    // Labels for a printer that waits stay where they are; other printers go on.
    SpoolEntry entry;
    QHash<QString, bool> jobWaits; // a backlog holds many entries of few jobs: look each job up once
    const bool found = m_spool->claimNext(
        [this, &jobWaits](const SpoolEntry& e) {
            if (m_waiting.isEmpty())
                return true;
            const QString key = e.jobId + QLatin1Char('\n') + e.printer;
            auto known = jobWaits.constFind(key);
            if (known == jobWaits.constEnd()) {
                QString layout, printer;
                resolveJob(e, &layout, &printer);
                known = jobWaits.insert(key, m_waiting.contains(printerKeyOf(printer)));
            }
            return !known.value();
        },
        &entry);
    if (!found) {
        m_runPrinted = 0;
        return;
    }

    QString error;
    if (!m_spool->readReport(&entry, &error)) {
        schedulePrint();
        return;
    }
    QString layout, printer;
    resolveJob(entry, &layout, &printer);
    // Numbered within the current run of the queue: a batch of three shows 1/3, 2/3 and 3/3.
    const int waiting = m_spool->pendingCount();
    ++m_runPrinted;
    emit statusBarMessage(QStringLiteral("Job: %1, Reports: %2 - %3, Printing Report: %4/%5")
                              .arg(entry.jobName)
                              .arg(entry.rangeFrom + 1)
                              .arg(entry.rangeTo)
                              .arg(m_runPrinted)
                              .arg(m_runPrinted - 1 + waiting));
    const Result result = printReport(entry.report, layout, printer, entry.title(), entry.labelBaseName());
    finishEntry(entry, result, printer);
    schedulePrint();
}

void PrintHandler::finishEntry(const SpoolEntry& entry, const Result& result, const QString& jobPrinter)
{
    switch (result.outcome) {
    case Outcome::Printed: {
        ReportListModel::Entry row;
        row.printTime = QDateTime::currentDateTime();
        row.jobName = entry.jobName;
        row.layoutName = result.layoutName;
        row.printerName = jobPrinter;
        row.reportUuid = result.reportUuid;
        row.customContent = result.customContent;
        row.archiveId = entry.id;
        row.attention = result.problems.join(QStringLiteral(", "));
        // The log line follows the hand-off; the entry leaves the spool after it.
        ReportListModel::instance()->addReport(row);
        PrintedRecord record;
        record.archiveId = entry.id;
        record.printedAt = row.printTime;
        record.jobId = entry.jobId;
        record.jobName = entry.jobName;
        record.layout = row.layoutName;
        record.printer = jobPrinter;
        record.reportUuid = row.reportUuid;
        record.customContent = row.customContent;
        m_spool->finishPrinted(entry, record);
        if (!result.labelFile.isEmpty())
            emit labelFileWritten(result.labelFile);
        if (!result.problems.isEmpty())
            reportFailure(PopupNoteProvider::ErrorMessage, QStringLiteral("Label printed with a gap"),
                          QStringLiteral("Job %1, report %2: %3 could not be printed; reprint it from the "
                                         "Report Log once the layout or the job's filter is fixed")
                              .arg(entry.jobName, result.reportUuid, row.attention));
        break;
    }
    case Outcome::PrinterUnavailable:
        m_spool->release(entry.id);
        printerUnavailable(result.printerKey, result);
        break;
    case Outcome::Failed:
        m_spool->moveToFailed(entry.id, result.reason);
        reportFailure(
            result.noteType, QStringLiteral("Label not printed"),
            QStringLiteral("Job %1, report %2: %3. The label waits in the Report Log's failed list.")
                .arg(entry.jobName, entry.reportUuid, result.reason));
        break;
    }
}

void PrintHandler::printerUnavailable(const QString& printerKey, const Result& result)
{
    const bool first = !m_waiting.contains(printerKey);
    Waiting& waiting = m_waiting[printerKey];
    if (first)
        waiting.since = QDateTime::currentDateTime();
    waiting.reason = result.reason;
    waiting.retryAt = QDateTime::currentDateTime().addMSecs(kBackoffMs);
    m_knownPrinters = QPrinterInfo::availablePrinterNames();
    if (!m_backoffTimer.isActive())
        m_backoffTimer.start();
    int count = 0;
    for (const SpoolEntry& e : m_spool->pending()) {
        QString layout, printer;
        resolveJob(e, &layout, &printer);
        count += printerKeyOf(printer) == printerKey ? 1 : 0;
    }
    qDebug() << "Printer" << printerKey << "unavailable:" << result.reason << "-" << count << "labels wait";
    if (first)
        reportFailure(
            result.noteType, QStringLiteral("Labels waiting"),
            QStringLiteral("%1 labels wait for printer \"%2\": %3. They print when it is back.")
                .arg(count)
                .arg(printerKey.isEmpty() ? QStringLiteral("(none set)") : printerKey, result.reason));
    m_model->setWaiting(printerKey, waiting.reason, waiting.since);
    emit spoolChanged();
}

void PrintHandler::onBackoffTimer()
{
    if (m_waiting.isEmpty()) {
        m_backoffTimer.stop();
        return;
    }
    const QStringList printers = QPrinterInfo::availablePrinterNames();
    const bool listChanged = printers != m_knownPrinters;
    m_knownPrinters = printers;
    const QDateTime now = QDateTime::currentDateTime();
    bool retry = false;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (listChanged || it.value().retryAt <= now) {
            m_model->setWaiting(it.key(), QString(), QDateTime());
            it = m_waiting.erase(it);
            retry = true;
        } else {
            ++it;
        }
    }
    if (retry) {
        emit spoolChanged();
        schedulePrint();
    }
}

void PrintHandler::retryWaiting()
{
    for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it)
        m_model->setWaiting(it.key(), QString(), QDateTime());
    m_waiting.clear();
    emit spoolChanged();
    schedulePrint();
}

bool PrintHandler::retryFailed(const QString& entryId)
{
    return m_spool->retryFailed(entryId);
}

bool PrintHandler::discardEntry(const QString& entryId)
{
    return m_spool->discard(entryId);
}

int PrintHandler::waitingForJob(const QString& jobId) const
{
    return m_spool->pendingCountForJob(jobId);
}

int PrintHandler::discardJob(const QString& jobId)
{
    const int removed = m_spool->discardJob(jobId);
    qDebug() << "Discarded" << removed << "waiting labels of job" << jobId;
    return removed;
}

int PrintHandler::reprint(const QStringList& archiveIds)
{
    int queued = 0;
    for (const QString& id : archiveIds) {
        SpoolEntry entry;
        if (!m_spool->archivedEntry(id, &entry)) {
            reportFailure(PopupNoteProvider::ErrorMessage, QStringLiteral("Reprint not possible"),
                          QStringLiteral("The report of this label is no longer kept"));
            continue;
        }
        entry.id.clear();
        entry.spooledAt = QDateTime();
        entry.rangeFrom = entry.rangeTo = -1;
        QString error;
        if (m_spool->add(&entry, &error))
            ++queued;
        else
            reportFailure(PopupNoteProvider::ErrorMessage, QStringLiteral("Reprint not possible"), error);
    }
    if (queued > 0) {
        emit statusBarMessage(QStringLiteral("%1 labels queued for reprint").arg(queued));
        schedulePrint();
    }
    return queued;
}

QJsonObject PrintHandler::loadLayoutFile(const QString& layoutName)
{
    QString name = layoutName;
    if (!name.endsWith(QLatin1String(LayoutManager::kSuffix)))
        name += QLatin1String(LayoutManager::kSuffix);
    // A job's layout name comes from the settings file: it must not reach outside the layout folder.
    if (!LayoutManager::isSafeFileName(name)) {
        qDebug() << Q_FUNC_INFO << "refusing layout name" << layoutName;
        return {};
    }
    QFile file(SystemPaths::instance().layoutDir + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    return document.isObject() ? document.object() : QJsonObject();
}

PrintHandler::Result PrintHandler::printReport(const QByteArray& data, const QString& layout,
                                               const QString& printer, const QString& title,
                                               const QString& labelBase)
{
    Result result;
    result.layoutName = layout.isEmpty() ? setting(QStringLiteral("defaultLayout")) : layout;
    result.printerKey = printerKeyOf(printer);
    const QJsonObject layoutObject = loadLayoutFile(result.layoutName);
    if (layoutObject.isEmpty()) {
        result.outcome = Outcome::Failed;
        result.reason = QStringLiteral("Failed to load layout:") + result.layoutName;
        result.noteType = PopupNoteProvider::ErrorMessage;
        qDebug() << Q_FUNC_INFO << result.reason;
        result.reason = QStringLiteral("failed to load layout \"%1\"").arg(result.layoutName);
        return result;
    }
    QString layoutProblem;
    if (!LayoutCheck::isPrintable(layoutObject, &layoutProblem)) {
        result.outcome = Outcome::Failed;
        result.reason = QStringLiteral("layout \"%1\" is refused: %2").arg(result.layoutName, layoutProblem);
        result.noteType = PopupNoteProvider::ErrorMessage;
        qWarning() << result.reason;
        return result;
    }

    result.outcome = Outcome::PrinterUnavailable;
    if (result.printerKey.isEmpty()) {
        qDebug() << "Couldnt get printer!";
        result.reason = QStringLiteral("no printer configured");
        result.noteType = PopupNoteProvider::PrinterNotConfigured;
        return result;
    }
    QString finalPath;
    if (FilePrinter::isFilePrinter(result.printerKey)) {
        const QString folder = FilePrinter::folder();
        if (!labelFolderWritable(folder)) {
            result.reason = QStringLiteral("the label folder %1 cannot be written").arg(folder);
            result.noteType = PopupNoteProvider::PrinterNotWorking;
            qDebug() << Q_FUNC_INFO << result.reason;
            return result;
        }
        finalPath = QStringLiteral("%1/%2.pdf").arg(folder, labelBase);
    }

    ReportDocument document;
    QString parseError;
    if (!document.parse(QString::fromUtf8(data), &parseError)) {
        // A label without the report's values would look printed but carry nothing.
        result.outcome = Outcome::Failed;
        result.reason = parseError;
        result.noteType = PopupNoteProvider::ErrorMessage;
        return result;
    }
    ReportListModel* log = ReportListModel::instance();
    const QString key = log ? log->selectedCustomContentKey() : QString();
    result.customContent.insert(key, document.query(key).join(QStringLiteral(", ")));
    result.reportUuid = document.query(kDocumentIdPath).join(QStringLiteral(", "));
    if (!finalPath.isEmpty() && labelBase.isEmpty())
        finalPath = FilePrinter::nextFileName(title.section(QLatin1Char(':'), 0, 0), result.reportUuid);

    // A label completed before a stop or crash is not printed a second time.
    if (!labelBase.isEmpty() && QFileInfo(finalPath).size() > 0) {
        qDebug() << "Label" << finalPath << "was completed before; finishing its entry";
        result.outcome = Outcome::Printed;
        result.labelFile = finalPath;
        return result;
    }

    std::unique_ptr<QPrinter> output(loadPrinter(result.printerKey));
    if (!output) {
        qDebug() << "Couldnt get printer!";
        result.reason = QStringLiteral("the printer is not available");
        result.noteType = PopupNoteProvider::PrinterRemoved;
        return result;
    }
    output->setDocName(title);
    const QString partPath = finalPath + kPartSuffix;
    if (!finalPath.isEmpty()) {
        QFile::remove(finalPath); // an empty file reserved by the name chooser
        output->setOutputFileName(partPath);
    }

    ReportDevice device;
    device.setReport(&document, true);
    PrintWorker worker(QString::fromLatin1(kLabelPrinterModel), layoutObject, QSizeF(60.0, 60.0), QString(),
                       &device, 1, false);
    const QImage page = worker.renderPage(output.get());
    if (page.isNull()) {
        result.outcome = Outcome::Failed;
        result.reason = QStringLiteral("layout \"%1\" cannot be rendered").arg(result.layoutName);
        result.noteType = PopupNoteProvider::ErrorMessage;
        if (!finalPath.isEmpty())
            QFile::remove(partPath);
        return result;
    }
    result.problems = worker.problems();
    if (!worker.sendPage(output.get(), page)) {
        result.reason = QStringLiteral("the printer did not accept the label");
        result.noteType = PopupNoteProvider::PrinterNotWorking;
        if (!finalPath.isEmpty())
            QFile::remove(partPath);
        return result;
    }
    output.reset(); // closes the output file
    if (!finalPath.isEmpty()) {
        // Complete on disk under its own name, or not there at all.
        QString error;
        if (QFileInfo(partPath).size() == 0 || !DurableFile::syncFile(partPath) ||
            !DurableFile::rename(partPath, finalPath, &error)) {
            QFile::remove(partPath);
            result.reason = QStringLiteral("the label file could not be written %1").arg(error);
            result.noteType = PopupNoteProvider::PrinterNotWorking;
            return result;
        }
        result.labelFile = finalPath;
    }
    result.outcome = Outcome::Printed;
    return result;
}

bool PrintHandler::doPrint(const QByteArray& data, const QString& jobname, const QString& layout,
                           const QString& printer, QString& error)
{
    const Result result =
        printReport(data, layout, printer, QStringLiteral("%1: direct print").arg(jobname), QString());
    if (result.outcome != Outcome::Printed) {
        if (result.reason.startsWith(QLatin1String("failed to load layout")))
            error = QStringLiteral("Failed to load layout:") + result.layoutName;
        reportFailure(result.noteType, QStringLiteral("Label not printed"),
                      QStringLiteral("Job %1: %2").arg(jobname, result.reason));
        return false;
    }
    ReportListModel::Entry row;
    row.jobName = jobname;
    row.layoutName = result.layoutName;
    row.printerName = printer;
    row.reportUuid = result.reportUuid;
    row.customContent = result.customContent;
    row.attention = result.problems.join(QStringLiteral(", "));
    ReportListModel::instance()->addReport(row);
    if (!result.labelFile.isEmpty())
        emit labelFileWritten(result.labelFile);
    return true;
}

QPrinter* PrintHandler::loadPrinter(const QString& name)
{
    const QString printerName = name.isEmpty() ? setting(QStringLiteral("defaultPrinter")) : name;
    if (printerName.isEmpty()) {
        qDebug() << Q_FUNC_INFO << "DefaultPrinter not set";
        return nullptr;
    }
    if (FilePrinter::isFilePrinter(printerName))
        return FilePrinter::create();
    auto* printer = new QPrinter(QPrinter::HighResolution);
    printer->setPrinterName(printerName);
    if (!printer->isValid() || printer->printerName() != printerName) {
        qDebug() << Q_FUNC_INFO << "Printer is not valid" << printerName;
        delete printer;
        return nullptr;
    }
    return printer;
}

QStringList PrintHandler::activePrinters()
{
    QStringList names;
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    for (const QPrinterInfo& info : printers) {
        logPrinter(info);
        if (!info.isRemote())
            names.append(info.printerName());
    }
    names.append(FilePrinter::kName);
    return names;
}

QString PrintHandler::formatText(const QString& text, bool tickBox)
{
    const QJsonObject record{{QStringLiteral("unformattedString"), text},
                             {QStringLiteral("tickBoxFormat"), tickBox}};
    QObject quietParent;
    TextPrintItem_ item(nullptr, record, 1, &quietParent);
    return item.text();
}

void PrintHandler::createPreviewImage(const QJsonObject& json)
{
    PrintWorker::createPreviewImage(json, SystemPaths::instance().layoutDir);
}

QStringList PrintHandler::getAllPagesizes()
{
    QStringList sizes;
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    for (const QPrinterInfo& info : printers) {
        const QList<QPageSize> pages = info.supportedPageSizes();
        for (const QPageSize& page : pages) {
            const QRect mm = page.rect(QPageSize::Millimeter).toRect();
            sizes.append(QStringLiteral("%1%2 x %3%4")
                             .arg(mm.width())
                             .arg(QStringLiteral("mm"))
                             .arg(mm.height())
                             .arg(QStringLiteral("mm")));
        }
    }
    return sizes;
}

bool PrintHandler::testPrint(const QJsonObject& layout, const QString& printer)
{
    const QString title = QStringLiteral("Test print failed");
    const QString name = layout.value(QStringLiteral("name")).toString();
    QString problem;
    if (!LayoutCheck::isPrintable(layout, &problem)) {
        qDebug() << Q_FUNC_INFO << "layout refused:" << problem;
        reportFailure(PopupNoteProvider::ErrorMessage, title,
                      QStringLiteral("Layout \"%1\" cannot be printed: %2").arg(name, problem));
        return false;
    }
    // No printer name here means the user picked none: the default printer is not a silent fallback.
    std::unique_ptr<QPrinter> output(printer.isEmpty() ? nullptr : loadPrinter(printer));
    if (!output) {
        qDebug() << Q_FUNC_INFO << "Couldnt get printer!" << printer;
        reportFailure(PopupNoteProvider::PrinterNotWorking, title,
                      QStringLiteral("Test print: printer \"%1\" is not available").arg(printer));
        return false;
    }
    output->setDocName(QStringLiteral("Test print: %1").arg(name));
    QString pdfPath;
    if (output->outputFormat() == QPrinter::PdfFormat) {
        pdfPath = FilePrinter::nextFileName(QStringLiteral("Test print"), name);
        output->setOutputFileName(pdfPath);
    }
    PrintWorker worker(QString::fromLatin1(kLabelPrinterModel), layout, QSizeF(60.0, 60.0), QString(),
                       nullptr, 1, false);
    const bool printed = worker.printPage(output.get());
    output.reset();
    if (!printed || (!pdfPath.isEmpty() && QFile(pdfPath).size() == 0)) {
        if (!pdfPath.isEmpty())
            QFile::remove(pdfPath);
        reportFailure(PopupNoteProvider::PrinterNotWorking, title,
                      QStringLiteral("Test print of \"%1\" on \"%2\" failed").arg(name, printer));
        return false;
    }
    if (!pdfPath.isEmpty())
        emit labelFileWritten(pdfPath);
    emit statusBarMessage(QStringLiteral("Test print of \"%1\" sent to %2").arg(name, printer));
    return true;
}
