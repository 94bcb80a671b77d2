#include "printing/labeljob.h"

#include "printing/barcode.h"
#include "printing/crashpoint.h"
#include "printing/fileprinter.h"
#include "printing/layoutcheck.h"
#include "printing/layoutmanager.h"
#include "printing/printworker.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>

namespace {

const QString kDocumentIdPath = QStringLiteral("/root/report/korvex_data/description/document_id");

QString setting(const QString& key)
{
    SettingsManager* settings = SettingsManager::instance();
    return settings ? settings->getValue(key, QString(), true) : QString();
}

} // namespace

quint64 HandOffGate::nextTicket(const QString& printer)
{
    QMutexLocker locker(&m_lock);
    return m_lines[printer].issued++;
}

void HandOffGate::waitForTurn(const QString& printer, quint64 ticket)
{
    QMutexLocker locker(&m_lock);
    while (m_lines[printer].next != ticket)
        m_turn.wait(&m_lock);
}

void HandOffGate::pass(const QString& printer, quint64 ticket)
{
    QMutexLocker locker(&m_lock);
    Line& line = m_lines[printer];
    line.passed.insert(ticket);
    while (line.passed.remove(line.next))
        ++line.next;
    m_turn.wakeAll();
}

void HandOffGate::block(const QString& printer)
{
    QMutexLocker locker(&m_lock);
    m_blocked.insert(printer);
}

void HandOffGate::unblock(const QString& printer)
{
    QMutexLocker locker(&m_lock);
    m_blocked.remove(printer);
}

bool HandOffGate::isBlocked(const QString& printer)
{
    QMutexLocker locker(&m_lock);
    return m_blocked.contains(printer);
}

void HandOffGate::hold(const QString& group, bool held)
{
    QMutexLocker locker(&m_lock);
    if (!held) {
        m_held.remove(group);
        return;
    }
    m_held.insert(group);
    // The window's thread waits here: a label being written finishes first, but a print system that
    // takes its full call time-out to answer does not hold the window; that label may still finish.
    QDeadlineTimer deadline(kHoldWaitMs);
    while (m_handingOver > 0 && !deadline.hasExpired())
        m_handedOver.wait(&m_lock, deadline);
}

bool HandOffGate::beginHandOff(const QString& group)
{
    QMutexLocker locker(&m_lock);
    if (m_held.contains(QString()) || (!group.isEmpty() && m_held.contains(group)))
        return false;
    ++m_handingOver;
    return true;
}

void HandOffGate::endHandOff()
{
    QMutexLocker locker(&m_lock);
    if (--m_handingOver == 0)
        m_handedOver.wakeAll();
}

LabelJob::LabelJob() = default;
LabelJob::~LabelJob() = default;

QJsonObject LabelJob::loadLayoutFile(const QString& layoutName)
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

void LabelJob::release()
{
    m_worker.reset();
    m_device.reset();
    m_document.reset();
    m_output.reset();
    m_page = QImage();
}

QString LabelJob::printerKeyOf(const QString& printerName)
{
    return printerName.isEmpty() ? setting(QStringLiteral("defaultPrinter")) : printerName;
}

void LabelJob::waitForPrinter(const PrinterStatus& why)
{
    outcome = Outcome::PrinterUnavailable;
    reason = why.reason;
    noteType = why.missing ? PrintNotes::PrinterRemoved : PrintNotes::PrinterNotWorking;
    m_holdsLine = m_output && m_output->keepsOrder();
    release();
}

bool LabelJob::prepare(BatchContext* batch)
{
    if (readReport) {
        QString error;
        const bool read = readReport(&report, &error);
        readReport = nullptr;
        if (!read) {
            outcome = Outcome::Dropped;
            reason = error;
            return false;
        }
    }
    usedLayout = layoutName.isEmpty() ? setting(QStringLiteral("defaultLayout")) : layoutName;
    if (printerKey.isEmpty()) // set by whoever issued the job's ticket
        printerKey = printerKeyOf(printerName);
    // A batch of one job's labels reads its layout once.
    if (batch && batch->layouts.contains(usedLayout)) {
        m_layout = batch->layouts.value(usedLayout);
    } else {
        m_layout = loadLayoutFile(usedLayout);
        if (batch)
            batch->layouts.insert(usedLayout, m_layout);
    }
    if (m_layout.isEmpty()) {
        outcome = Outcome::Failed;
        qDebug() << Q_FUNC_INFO << "Failed to load layout:" << usedLayout;
        const bool there = QFileInfo::exists(SystemPaths::instance().layoutDir + usedLayout +
                                             QLatin1String(LayoutManager::kSuffix)) ||
                           QFileInfo::exists(SystemPaths::instance().layoutDir + usedLayout);
        reason = there ? QStringLiteral("layout \"%1\" cannot be read").arg(usedLayout)
                       : QStringLiteral("layout \"%1\" is missing").arg(usedLayout);
        layoutMissing = true;
        noteType = PrintNotes::Error;
        return false;
    }
    QString layoutProblem;
    if (!LayoutCheck::isPrintable(m_layout, &layoutProblem)) {
        outcome = Outcome::Failed;
        reason = QStringLiteral("layout \"%1\" is refused: %2").arg(usedLayout, layoutProblem);
        noteType = PrintNotes::Error;
        qWarning() << reason;
        return false;
    }

    outcome = Outcome::PrinterUnavailable;
    if (printerKey.isEmpty()) {
        qDebug() << "Couldnt get printer!";
        reason = QStringLiteral("no printer configured");
        noteType = PrintNotes::PrinterNotConfigured;
        return false;
    }
    m_output = LabelOutput::create(printerKey);
    // Labels for a printer that is not ready wait for it; the printer is asked once per batch.
    if (batch) {
        auto known = batch->printers.constFind(printerKey);
        if (known == batch->printers.constEnd())
            known = batch->printers.insert(printerKey, m_output->status());
        if (!known->ready) {
            qDebug() << "Printer" << printerKey << "is not ready:" << known->reason;
            waitForPrinter(*known);
            return false;
        }
    }

    m_document = std::make_unique<ReportDocument>();
    QString parseError;
    if (!m_document->parse(report, &parseError)) {
        // A label without the report's values would look printed but carry nothing.
        outcome = Outcome::Failed;
        reason = parseError;
        noteType = PrintNotes::Error;
        release();
        return false;
    }
    if (!customKey.isEmpty())
        customContent.insert(customKey, m_document->query(customKey).join(QStringLiteral(", ")));
    reportUuid = m_document->query(kDocumentIdPath).join(QStringLiteral(", "));
    identity = m_document->identity();
    // Parsed and identified: the text is not needed any more.
    report.clear();

    // A label completed before a stop or crash is not printed a second time.
    if (!labelBaseName.isEmpty()) {
        const QString done = m_output->deliveredLabel(labelBaseName);
        if (!done.isEmpty()) {
            qDebug() << "Label" << done << "was completed before; finishing its entry";
            outcome = Outcome::Printed;
            taken = true;
            labelFile = done;
            release();
            return false;
        }
    }

    m_device = std::make_unique<ReportDevice>();
    m_device->setReport(m_document.get(), true);
    m_worker = std::make_unique<PrintWorker>(QString(), m_layout, QSizeF(60.0, 60.0), QString(),
                                             m_device.get(), 1, false);
    const QList<QPageSize> papers = m_output->papers();
    m_worker->setPageSize(PrintWorker::choosePageSize(m_layout, QSizeF(60.0, 60.0), QString(), papers));
    QString error;
    bool opened = false;
    if (CrashPoint::failing("open", reportUuid))
        error = QStringLiteral("the printer cannot take this label");
    else
        opened = m_output->open(m_worker->pageSize(), &error);
    if (!opened) {
        qDebug() << "Printer" << printerKey << "cannot take the label:" << error;
        PrinterStatus why;
        why.ready = false;
        why.reason = error;
        waitForPrinter(why);
        return false;
    }
    // Every value the label shows is read now, so this report's tree goes before the next one of
    // the batch is parsed (into the same, still warm memory) instead of waiting for the barcodes.
    m_worker->resolveObjects();
    m_device.reset();
    m_document.reset();
    return true;
}

bool LabelJob::render()
{
    CrashPoint::paced();
    m_page = m_worker->renderPageImage(m_output->pagePixels());
    problems = m_worker->problems();
    if (m_page.isNull()) {
        outcome = Outcome::Failed;
        reason = QStringLiteral("layout \"%1\" cannot be rendered").arg(usedLayout);
        noteType = PrintNotes::Error;
        release();
        return false;
    }
    return true;
}

void LabelJob::handOver(HandOffGate* gate)
{
    const bool ordered = m_output->keepsOrder();
    outcome = Outcome::PrinterUnavailable;
    noteType = PrintNotes::PrinterNotWorking;
    if (ordered && gate) {
        gate->waitForTurn(printerKey, ticket);
        if (gate->isBlocked(printerKey)) {
            reason = QStringLiteral("an earlier label was refused by the printer");
            release();
            return;
        }
    }
    // Held after the turn was waited for: a label waiting for its turn never keeps a pause waiting.
    if (gate && !gate->beginHandOff(holdGroup)) {
        outcome = Outcome::Dropped;
        reason = QStringLiteral("printing is held");
        release();
        return;
    }
    const bool stable = !labelBaseName.isEmpty();
    const QString name = stable ? labelBaseName
                                : FilePrinter::baseName(QDateTime::currentDateTime(),
                                                        title.section(QLatin1Char(':'), 0, 0), reportUuid);
    m_handOff = m_output->sendLater(m_page, title, name, stable);
    // A pending label stays handed over at the gate until completeHandOvers() ends it.
    if (m_handOff.pending.isEmpty())
        endHandOver(gate);
}

void LabelJob::endHandOver(HandOffGate* gate)
{
    const bool ordered = m_output->keepsOrder();
    taken = m_handOff.taken;
    if (gate)
        gate->endHandOff();
    release();
    if (!m_handOff.taken) {
        reason = m_handOff.error;
        refusedByPrinter = true;
        qDebug() << "Printer" << printerKey << "did not take the label:" << reason;
        // The labels after it wait too, so none overtakes it.
        if (ordered && gate)
            gate->block(printerKey);
        return;
    }
    labelFile = m_handOff.file;
    printJobId = m_handOff.jobId;
    handedInOrder = ordered;
    outcome = Outcome::Printed;
}

void LabelJob::completeHandOvers(QList<LabelJob*> pending, HandOffGate* gate,
                                 const std::function<void(LabelJob*)>& ended)
{
    // One completion per printer for all its labels of the batch.
    while (!pending.isEmpty()) {
        const QString printer = pending.first()->printerKey;
        QList<LabelJob*> together;
        QList<HandOff*> handOffs;
        for (LabelJob* job : qAsConst(pending)) {
            if (job->printerKey == printer) {
                together << job;
                handOffs << &job->m_handOff;
            }
        }
        together.first()->m_output->completeAll(handOffs);
        for (LabelJob* job : qAsConst(together)) {
            pending.removeOne(job);
            job->endHandOver(gate);
            job->endJob(gate, ended);
        }
    }
}

void LabelJob::endJob(HandOffGate* gate, const std::function<void(LabelJob*)>& ended)
{
    // Labels after one that waits for its printer wait too, so none overtakes it.
    if (gate && m_holdsLine)
        gate->block(printerKey);
    // Before the next label may go to the printer: `ended` may wait until this one is recorded.
    if (ended)
        ended(this);
    if (gate)
        gate->pass(printerKey, ticket);
}

void LabelJob::run(HandOffGate* gate)
{
    runBatch({this}, gate, nullptr);
}

void LabelJob::runBatch(const QList<LabelJob*>& jobs, HandOffGate* gate, const std::atomic<bool>* stopping,
                        const std::function<void(LabelJob*)>& ended)
{
    QList<LabelJob*> prepared;
    BatchContext batch;
    // Each job is parsed and resolved in turn, so the batch holds its labels' values, never all
    // its parsed reports.
    for (LabelJob* job : jobs) {
        if (stopping && stopping->load())
            job->outcome = Outcome::Dropped;
        else if (job->prepare(&batch))
            prepared << job;
    }
    // One run of the barcode program per symbology for the whole batch.
    QHash<QString, QStringList> codes;
    for (LabelJob* job : prepared) {
        for (const auto& barcode : job->m_worker->barcodeContents())
            codes[barcode.first] << barcode.second;
    }
    for (auto it = codes.cbegin(); it != codes.cend(); ++it)
        BarCode::prefetch(it.value(), it.key());
    QSet<LabelJob*> rendered;
    for (LabelJob* job : prepared) {
        if (job->render())
            rendered.insert(job);
    }
    // Labels an output completes together (the PDF printer's files) end when the batch is handed over.
    QList<LabelJob*> pending;
    for (LabelJob* job : jobs) {
        if (rendered.contains(job)) {
            if (stopping && stopping->load()) {
                // A stop: the label stays in the spool and prints at the next start.
                job->outcome = Outcome::Dropped;
                job->release();
            } else {
                job->handOver(gate);
            }
        }
        if (!job->m_handOff.pending.isEmpty())
            pending << job;
        else
            job->endJob(gate, ended);
    }
    completeHandOvers(pending, gate, ended);
    LabelOutput::closeConnections();
}
