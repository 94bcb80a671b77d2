// Fuzzes the layout reader: a .lyson file as the layout folder holds it is parsed, checked the way
// the layout list checks it, and a layout that passes is painted for a report as a label would be.

#include "fuzzsetup.h"
#include "printing/layoutcheck.h"
#include "printing/printworker.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

const char kReport[] =
    "<root><report><korvex_data><description><document_id>doc-1</document_id></description>"
    "<korvex_hardware_report><entries name=\"system\"><entry name=\"model\">iPhone 12 128GB Blue</entry>"
    "<entry name=\"manufacturer\">Apple</entry><entry name=\"imei\">356789104567892</entry>"
    "<entry name=\"serial\">F17ABCDEFGH</entry></entries></korvex_hardware_report></korvex_data></report>"
    "</root>";

ReportDocument* g_report = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSetup::startGui();
    g_report = new ReportDocument;
    g_report->parse(QString::fromUtf8(kReport));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)));
    if (!document.isObject())
        return 0;
    const QJsonObject layout = document.object();
    QString problem;
    if (!LayoutCheck::isLoadable(layout, &problem) || !LayoutCheck::isPrintable(layout, &problem))
        return 0;
    ReportDevice device;
    device.setReport(g_report, true);
    // A coarse resolution keeps a 1 m label quick; every object is still placed, measured and painted.
    PrintWorker worker(QString(), layout, QSizeF(60.0, 60.0), QString(), &device, 1, false);
    worker.renderLabelAt(25.4);
    worker.barcodeContents();
    return 0;
}
