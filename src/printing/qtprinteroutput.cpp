#include "printing/qtprinteroutput.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

QtPrinterOutput::QtPrinterOutput(const QString& printerName) : LabelOutput(printerName) {}

QList<QPageSize> QtPrinterOutput::papers()
{
    return QPrinterInfo::printerInfo(m_name).supportedPageSizes();
}

bool QtPrinterOutput::open(const QPageSize& page, QString* error)
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_name);
    if (info.isNull()) {
        *error = QStringLiteral("the printer is not available");
        return false;
    }
    QPrinter printer(info, QPrinter::HighResolution);
    m_page = page;
    setPage(page, printer.resolution());
    return true;
}

HandOff QtPrinterOutput::send(const QImage& page, const QString& title, const QString&, bool)
{
    HandOff result;
    QPrinter printer(QPrinterInfo::printerInfo(m_name), QPrinter::HighResolution);
    if (!printer.isValid()) {
        result.error = QStringLiteral("the printer is not available");
        return result;
    }
    printer.setDocName(title);
    printer.setPageSize(m_page);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&printer)) {
        result.error = QStringLiteral("the printer could not start the label");
        return result;
    }
    painter.drawImage(QPointF(0, 0), page);
    // The engine tells no more than whether it took the page without an error.
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        result.error = QStringLiteral("the printer did not accept the label");
        return result;
    }
    result.taken = true;
    return result;
}

PrinterStatus QtPrinterOutput::status()
{
    PrinterStatus status;
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_name);
    if (info.isNull()) {
        status.ready = false;
        status.missing = true;
        status.reason = QStringLiteral("the printer is not available");
    } else if (info.state() == QPrinter::Error || info.state() == QPrinter::Aborted) {
        status.ready = false;
        status.reason = QStringLiteral("the printer reports an error");
    }
    return status;
}
