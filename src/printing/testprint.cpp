#include "printing/testprint.h"

#include "printing/fileprinter.h"
#include "printing/labeloutput.h"
#include "printing/layoutcheck.h"
#include "printing/printnotes.h"
#include "printing/printworker.h"

#include <QDateTime>
#include <QDebug>

bool TestPrint::fail(int kind, const QString& text)
{
    emit statusBarMessage(text);
    PrintNotes::instance()->raise(static_cast<PrintNotes::Kind>(kind), QStringLiteral("Test print failed"),
                                  text);
    return false;
}

bool TestPrint::print(const QJsonObject& layout, const QString& printer, Device* device)
{
    const QString name = layout.value(QStringLiteral("name")).toString();
    QString problem;
    if (!LayoutCheck::isPrintable(layout, &problem)) {
        qDebug() << Q_FUNC_INFO << "layout refused:" << problem;
        return fail(PrintNotes::Error,
                    QStringLiteral("Layout \"%1\" cannot be printed: %2").arg(name, problem));
    }
    // A label printer takes one connection at a time: none is left open, whatever happens.
    struct Close
    {
        ~Close() { LabelOutput::closeConnections(); }
    } close;
    // No printer name here means the user picked none: the default printer is not a silent fallback.
    const std::unique_ptr<LabelOutput> output = printer.isEmpty() ? nullptr : LabelOutput::create(printer);
    const PrinterStatus status = output ? output->status() : PrinterStatus{false, true, QString()};
    if (!status.ready) {
        qDebug() << Q_FUNC_INFO << "printer not ready:" << printer << status.reason;
        return fail(
            PrintNotes::PrinterNotWorking,
            status.missing
                ? QStringLiteral("Test print: printer \"%1\" is not available").arg(printer)
                : QStringLiteral("Test print: printer \"%1\" is not ready: %2").arg(printer, status.reason));
    }
    PrintWorker worker(QString(), layout, QSizeF(60.0, 60.0), QString(), device, 1, false);
    worker.setPageSize(PrintWorker::choosePageSize(layout, QSizeF(60.0, 60.0), QString(), output->papers()));
    QString error;
    HandOff handOff;
    if (output->open(worker.pageSize(), &error)) {
        const QImage page = worker.renderPageImage(output->pagePixels());
        handOff = output->send(
            page, QStringLiteral("Test print: %1").arg(name),
            FilePrinter::baseName(QDateTime::currentDateTime(), QStringLiteral("Test print"), name), false);
        error = handOff.error;
    }
    if (!handOff.taken) {
        qDebug() << Q_FUNC_INFO << "not printed:" << error;
        return fail(PrintNotes::PrinterNotWorking,
                    QStringLiteral("Test print of \"%1\" on \"%2\" failed: %3").arg(name, printer, error));
    }
    m_lastFile = handOff.file;
    if (!handOff.file.isEmpty())
        emit labelFileWritten(handOff.file);
    emit statusBarMessage(QStringLiteral("Test print of \"%1\" sent to %2").arg(name, printer));
    return true;
}
