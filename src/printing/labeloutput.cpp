#include "printing/labeloutput.h"

#include "printing/fileprinter.h"
#include "printing/pdffileoutput.h"
#include "printing/zploutput.h"
#include "printing/zplprinters.h"
#include "settings/settingsmanager.h"

#ifdef LABELPRINTER_HAVE_CUPS
#include "printing/cupsoutput.h"
#else
#include "printing/qtprinteroutput.h"
#endif

#include <QPageLayout>

std::atomic<bool> LabelOutput::s_aborting{false};

LabelOutput::~LabelOutput() = default;

std::unique_ptr<LabelOutput> LabelOutput::create(const QString& printerName)
{
    if (FilePrinter::isFilePrinter(printerName))
        return std::make_unique<PdfFileOutput>();
    ZplPrinterConfig zpl;
    if (ZplPrinters::find(SettingsManager::instance(), printerName, &zpl))
        return std::make_unique<ZplOutput>(zpl);
#ifdef LABELPRINTER_HAVE_CUPS
    return std::make_unique<CupsOutput>(printerName);
#else
    return std::make_unique<QtPrinterOutput>(printerName);
#endif
}

int LabelOutput::knownDotsPerInch(const QString& printerName)
{
    if (FilePrinter::isFilePrinter(printerName))
        return PdfFileOutput::configuredResolution();
    ZplPrinterConfig zpl;
    if (ZplPrinters::find(SettingsManager::instance(), printerName, &zpl))
        return zpl.dotsPerInch;
    return 0;
}

void LabelOutput::abortCalls(bool abort)
{
    s_aborting = abort;
}

void LabelOutput::closeConnections()
{
    ZplOutput::closeConnections();
}

QString LabelOutput::deliveredLabel(const QString&) const
{
    return QString();
}

HandOff LabelOutput::sendLater(const QImage& page, const QString& title, const QString& labelName,
                               bool stableName)
{
    return send(page, title, labelName, stableName);
}

void LabelOutput::completeAll(const QList<HandOff*>&) {}

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
