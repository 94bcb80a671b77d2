#include "printing/labeloutput.h"

#include "printing/fileprinter.h"
#include "printing/pdffileoutput.h"

#ifdef LABELPRINTER_HAVE_CUPS
#include "printing/cupsoutput.h"
#else
#include "printing/qtprinteroutput.h"
#endif

#include <QPageLayout>

LabelOutput::~LabelOutput() = default;

std::unique_ptr<LabelOutput> LabelOutput::create(const QString& printerName)
{
    if (FilePrinter::isFilePrinter(printerName))
        return std::make_unique<PdfFileOutput>();
#ifdef LABELPRINTER_HAVE_CUPS
    return std::make_unique<CupsOutput>(printerName);
#else
    return std::make_unique<QtPrinterOutput>(printerName);
#endif
}

void LabelOutput::abortCalls(bool abort)
{
#ifdef LABELPRINTER_HAVE_CUPS
    CupsOutput::abortCalls(abort);
#else
    Q_UNUSED(abort);
#endif
}

QString LabelOutput::deliveredLabel(const QString&) const
{
    return QString();
}

JobFate LabelOutput::follow(int)
{
    return JobFate();
}

bool LabelOutput::cancel(int)
{
    return false;
}

void LabelOutput::setPage(const QPageSize& page, int dotsPerInch)
{
    m_dotsPerInch = dotsPerInch;
    m_pagePixels = QPageLayout(page, QPageLayout::Portrait, QMarginsF()).fullRectPixels(dotsPerInch).size();
}
