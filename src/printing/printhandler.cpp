#include "printing/printhandler.h"

#include "app/popupnoteprovider.h"
#include "printing/fileprinter.h"
#include "printing/layoutmanager.h"
#include "printing/printworker.h"
#include "printing/reportlistmodel.h"
#include "printing/textprintitem_.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>

#include <memory>

namespace {

const QString kDocumentIdPath = QStringLiteral("/root/report/korvex_data/description/document_id");

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

} // namespace

PrintHandler::PrintHandler(QObject* parent) : QObject(parent)
{
    qDebug() << "Available printers!";
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    for (const QPrinterInfo& info : printers)
        logPrinter(info);
}

void PrintHandler::reportFailure(int noteType, const QString& title, const QString& text)
{
    emit statusBarMessage(text);
    PopupNoteProvider* notes = PopupNoteProvider::instance();
    emit notes->showErrorText(title, text, static_cast<PopupNoteProvider::PopupNoteTypes>(noteType));
}

void PrintHandler::printReports(const QString& jobname, const QString& label, const QString& printer,
                                const QStringList& rp, int reportsFrom, int reportsTo)
{
    // A backlog can hold hundreds of reports: they are printed one per turn of the event loop, in
    // order, so the window stays responsive between labels.
    for (int i = 0; i < rp.size(); ++i)
        m_queue.append({jobname, label, printer, rp.at(i), reportsFrom, reportsTo, i + 1, int(rp.size())});
    if (!m_scheduled && !m_queue.isEmpty()) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &PrintHandler::printNext);
    }
}

void PrintHandler::printNext()
{
    m_scheduled = false;
    if (m_queue.isEmpty())
        return;
    const PendingReport next = m_queue.takeFirst();
    emit statusBarMessage(QStringLiteral("Job: %1, Reports: %2 - %3, Printing Report: %4/%5")
                              .arg(next.jobName)
                              .arg(next.reportsFrom)
                              .arg(next.reportsTo)
                              .arg(next.number)
                              .arg(next.count));
    QString error;
    doPrint(next.report.toUtf8(), next.jobName, next.layout, next.printer, error);
    if (!m_queue.isEmpty()) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &PrintHandler::printNext);
    }
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

bool PrintHandler::doPrint(const QByteArray& data, const QString& jobname, const QString& layout,
                           const QString& printer, QString& error)
{
    const QString layoutName = layout.isEmpty() ? setting(QStringLiteral("defaultLayout")) : layout;
    const QJsonObject layoutObject = loadLayoutFile(layoutName);
    if (layoutObject.isEmpty()) {
        error = QStringLiteral("Failed to load layout:") + layoutName;
        qDebug() << Q_FUNC_INFO << error;
        reportFailure(PopupNoteProvider::ErrorMessage, QStringLiteral("Label not printed"),
                      QStringLiteral("Job %1: failed to load layout \"%2\"").arg(jobname, layoutName));
        return false;
    }

    std::unique_ptr<QPrinter> output(loadPrinter(printer));
    if (!output) {
        qDebug() << "Couldnt get printer!";
        const bool named = !printer.isEmpty() || !setting(QStringLiteral("defaultPrinter")).isEmpty();
        reportFailure(
            named ? PopupNoteProvider::PrinterRemoved : PopupNoteProvider::PrinterNotConfigured,
            QStringLiteral("Label not printed"),
            named ? QStringLiteral("Job %1: printer \"%2\" is not available")
                        .arg(jobname, printer.isEmpty() ? setting(QStringLiteral("defaultPrinter")) : printer)
                  : QStringLiteral("Job %1: no printer configured").arg(jobname));
        return false;
    }

    ReportDocument document;
    document.parse(QString::fromUtf8(data));

    ReportListModel* log = ReportListModel::instance();
    const QString key = log->selectedCustomContentKey();
    QMap<QString, QString> custom;
    custom.insert(key, document.query(key).join(QStringLiteral(", ")));
    const QString uuid = document.query(kDocumentIdPath).join(QStringLiteral(", "));
    log->addReport(jobname, layoutName, printer, uuid, custom);

    ReportDevice device;
    device.setReport(&document, true);

    QString pdfPath;
    if (output->outputFormat() == QPrinter::PdfFormat) {
        pdfPath = FilePrinter::nextFileName(jobname, uuid);
        output->setOutputFileName(pdfPath);
    }

    PrintWorker worker(output->printerName(), layoutObject, QSizeF(60.0, 60.0), QString(), &device, 1, false);
    const bool printed = worker.printPage(output.get());
    if (!pdfPath.isEmpty()) {
        if (printed && QFile(pdfPath).size() > 0) {
            emit labelFileWritten(pdfPath);
        } else {
            QFile::remove(pdfPath);
            reportFailure(PopupNoteProvider::PrinterNotWorking, QStringLiteral("Label not printed"),
                          QStringLiteral("Job %1: the label file could not be written").arg(jobname));
            return false;
        }
    }
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
    if (!layout.value(QStringLiteral("objects")).isArray() ||
        !layout.value(QStringLiteral("width")).isDouble() ||
        !layout.value(QStringLiteral("height")).isDouble()) {
        qDebug() << Q_FUNC_INFO << "incomplete layout" << layout.keys();
        reportFailure(PopupNoteProvider::ErrorMessage, title,
                      QStringLiteral("Layout \"%1\" is incomplete and cannot be printed").arg(name));
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
    QString pdfPath;
    if (output->outputFormat() == QPrinter::PdfFormat) {
        pdfPath = FilePrinter::nextFileName(QStringLiteral("Test print"), name);
        output->setOutputFileName(pdfPath);
    }
    PrintWorker worker(output->printerName(), layout, QSizeF(60.0, 60.0), QString(), nullptr, 1, false);
    const bool printed = worker.printPage(output.get());
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
