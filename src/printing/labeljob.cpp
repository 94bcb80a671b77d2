#include "printing/labeljob.h"

#include "app/popupnoteprovider.h"
#include "printing/barcode.h"
#include "printing/durablefile.h"
#include "printing/fileprinter.h"
#include "printing/layoutcheck.h"
#include "printing/layoutmanager.h"
#include "printing/printworker.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QPrinter>

namespace {

const QString kDocumentIdPath = QStringLiteral("/root/report/korvex_data/description/document_id");
const QString kPartSuffix = QStringLiteral(".part");

QString setting(const QString& key)
{
    SettingsManager* settings = SettingsManager::instance();
    return settings ? settings->getValue(key, QString(), true) : QString();
}

// Whether the built-in printer's folder takes new files; asked only after a hand-off failed, to
// tell the user why.
bool labelFolderWritable(const QString& folder)
{
    QFile probe(folder + QStringLiteral("/.write-test"));
    if (!probe.open(QIODevice::WriteOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
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

QPrinter* LabelJob::loadPrinter(const QString& name)
{
    const QString printerName = printerKeyOf(name);
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

void LabelJob::release()
{
    m_worker.reset();
    m_device.reset();
    m_document.reset();
    m_printer.reset();
    m_page = QImage();
}

QString LabelJob::printerKeyOf(const QString& printerName)
{
    return printerName.isEmpty() ? setting(QStringLiteral("defaultPrinter")) : printerName;
}

bool LabelJob::prepare(QHash<QString, QJsonObject>* layouts)
{
    usedLayout = layoutName.isEmpty() ? setting(QStringLiteral("defaultLayout")) : layoutName;
    if (printerKey.isEmpty()) // set by whoever issued the job's ticket
        printerKey = printerKeyOf(printerName);
    // A batch of one job's labels reads its layout once.
    if (layouts && layouts->contains(usedLayout)) {
        m_layout = layouts->value(usedLayout);
    } else {
        m_layout = loadLayoutFile(usedLayout);
        if (layouts)
            layouts->insert(usedLayout, m_layout);
    }
    if (m_layout.isEmpty()) {
        outcome = Outcome::Failed;
        qDebug() << Q_FUNC_INFO << "Failed to load layout:" << usedLayout;
        reason = QStringLiteral("failed to load layout \"%1\"").arg(usedLayout);
        noteType = PopupNoteProvider::ErrorMessage;
        return false;
    }
    QString layoutProblem;
    if (!LayoutCheck::isPrintable(m_layout, &layoutProblem)) {
        outcome = Outcome::Failed;
        reason = QStringLiteral("layout \"%1\" is refused: %2").arg(usedLayout, layoutProblem);
        noteType = PopupNoteProvider::ErrorMessage;
        qWarning() << reason;
        return false;
    }

    outcome = Outcome::PrinterUnavailable;
    if (printerKey.isEmpty()) {
        qDebug() << "Couldnt get printer!";
        reason = QStringLiteral("no printer configured");
        noteType = PopupNoteProvider::PrinterNotConfigured;
        return false;
    }
    const bool filePrinter = FilePrinter::isFilePrinter(printerKey);
    if (filePrinter && !labelBaseName.isEmpty())
        m_finalPath = QStringLiteral("%1/%2.pdf").arg(FilePrinter::folder(), labelBaseName);

    m_document = std::make_unique<ReportDocument>();
    QString parseError;
    if (!m_document->parse(QString::fromUtf8(report), &parseError)) {
        // A label without the report's values would look printed but carry nothing.
        outcome = Outcome::Failed;
        reason = parseError;
        noteType = PopupNoteProvider::ErrorMessage;
        release();
        return false;
    }
    if (!customKey.isEmpty())
        customContent.insert(customKey, m_document->query(customKey).join(QStringLiteral(", ")));
    reportUuid = m_document->query(kDocumentIdPath).join(QStringLiteral(", "));
    if (filePrinter && m_finalPath.isEmpty())
        m_finalPath = FilePrinter::nextFileName(title.section(QLatin1Char(':'), 0, 0), reportUuid);

    // A label completed before a stop or crash is not printed a second time.
    if (!labelBaseName.isEmpty() && QFileInfo(m_finalPath).size() > 0) {
        qDebug() << "Label" << m_finalPath << "was completed before; finishing its entry";
        outcome = Outcome::Printed;
        labelFile = m_finalPath;
        release();
        return false;
    }

    m_printer.reset(loadPrinter(printerKey));
    if (!m_printer) {
        qDebug() << "Couldnt get printer!";
        reason = QStringLiteral("the printer is not available");
        noteType = PopupNoteProvider::PrinterRemoved;
        release();
        return false;
    }
    m_printer->setDocName(title);
    if (!m_finalPath.isEmpty()) {
        QFile::remove(m_finalPath); // an empty file reserved by the name chooser
        m_printer->setOutputFileName(m_finalPath + kPartSuffix);
    }
    m_device = std::make_unique<ReportDevice>();
    m_device->setReport(m_document.get(), true);
    m_worker = std::make_unique<PrintWorker>(m_printer->printerName(), m_layout, QSizeF(60.0, 60.0),
                                             QString(), m_device.get(), 1, false);
    return true;
}

bool LabelJob::render()
{
    m_page = m_worker->renderPage(m_printer.get());
    problems = m_worker->problems();
    if (m_page.isNull()) {
        outcome = Outcome::Failed;
        reason = QStringLiteral("layout \"%1\" cannot be rendered").arg(usedLayout);
        noteType = PopupNoteProvider::ErrorMessage;
        release();
        return false;
    }
    // The report is not needed any more: a batch keeps only its pages.
    m_device.reset();
    m_document.reset();
    return true;
}

void LabelJob::handOver(HandOffGate* gate)
{
    const bool platform = m_finalPath.isEmpty();
    outcome = Outcome::PrinterUnavailable;
    noteType = PopupNoteProvider::PrinterNotWorking;
    if (platform && gate) {
        gate->waitForTurn(printerKey, ticket);
        if (gate->isBlocked(printerKey)) {
            reason = QStringLiteral("an earlier label was refused by the printer");
            release();
            return;
        }
    }
    const bool sent = m_worker->sendPage(m_printer.get(), m_page);
    m_printer.reset(); // closes the output file
    release();
    if (!sent) {
        reason = QStringLiteral("the printer did not accept the label");
        if (platform && gate)
            gate->block(printerKey);
        if (!platform) {
            QFile::remove(m_finalPath + kPartSuffix);
            const QString folder = QFileInfo(m_finalPath).absolutePath();
            if (!labelFolderWritable(folder))
                reason = QStringLiteral("the label folder %1 cannot be written").arg(folder);
        }
        return;
    }
    if (!platform) {
        // Complete on disk under its own name, or not there at all.
        const QString partPath = m_finalPath + kPartSuffix;
        QString error;
        if (QFileInfo(partPath).size() == 0 || !DurableFile::syncFile(partPath) ||
            !DurableFile::rename(partPath, m_finalPath, &error)) {
            QFile::remove(partPath);
            reason = QStringLiteral("the label file could not be written %1").arg(error);
            return;
        }
        labelFile = m_finalPath;
    }
    outcome = Outcome::Printed;
}

void LabelJob::run(HandOffGate* gate)
{
    runBatch({this}, gate, nullptr);
}

void LabelJob::runBatch(const QList<LabelJob*>& jobs, HandOffGate* gate, const std::atomic<bool>* stopping,
                        const std::function<void(LabelJob*)>& ended)
{
    QList<LabelJob*> prepared;
    QHash<QString, QJsonObject> layouts;
    for (LabelJob* job : jobs) {
        if (stopping && stopping->load())
            job->outcome = Outcome::Dropped;
        else if (job->prepare(&layouts))
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
        if (gate)
            gate->pass(job->printerKey, job->ticket);
        if (ended)
            ended(job);
    }
}
