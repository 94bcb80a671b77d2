// Fuzzes label formatting. Input: one flags byte, then the label text.

#include "fuzzsetup.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/tagparser.h"
#include "shared/customfieldstore.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

const char kReport[] =
    "<root><report><korvex_data><description><document_id>doc-1</document_id><document_log><log_entry>"
    "<product_name id=\"23\">Korvex Mobile Eraser</product_name><date>2026-12-01T09:14:05+02:00</date>"
    "</log_entry></document_log></description><korvex_erasure_report><entries name=\"erasures\">"
    "<entries name=\"erasure\"><entries name=\"target\"><entry name=\"capacity\">128000000000</entry>"
    "</entries></entries></entries></korvex_erasure_report><korvex_hardware_report><entries name=\"system\">"
    "<entry name=\"model\">iPhone 12 128GB Blue</entry><entry name=\"market_name\">iPhone 12</entry>"
    "<entry name=\"imei\">356789104567892</entry><entry name=\"pin\">0x1a2b</entry></entries>"
    "</korvex_hardware_report></korvex_data><user_data><entries name=\"fields\"><entry name=\"info1\">PO-1"
    "</entry></entries></user_data></report></root>";

ReportDocument* g_report = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSetup::start();
    g_report = new ReportDocument;
    g_report->parse(QString::fromUtf8(kReport));
    CustomFieldStore::instance()->setValue(QStringLiteral("line"), QStringLiteral("L2"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t flags = data[0];
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), int(size - 1));

    // The flags pick the device's states so every choice position can be reached.
    ReportDevice device;
    device.setReport(g_report, true);
    DeviceInfo& info = device.info();
    const int state = int(flags >> 4) - 4; // -4 .. 11
    device.setStatus(state < 0 ? 8 : state);
    info.rootState = state;
    info.fmipState = state;
    info.lostState = state % 3 - 1;
    info.stolenState = state % 2;
    info.blockedState = state % 4 - 2;
    info.subscriptionStates[0] = state;
    info.subscriptionStates[1] = state - 1;
    info.diagnosticsState = state & 3;
    info.diagnosticsResults = QStringLiteral("camera=1,mic=0,gps=x,nfc=2,lte=3");
    info.mdmStatus = state & 1 ? QStringLiteral("Locked") : QStringLiteral("Unlocked");
    info.customFieldValues.insert(QStringLiteral("colour"), QStringLiteral("blue"));
    info.batteryHealthValid = true;
    info.batteryWearLevel = state * 20;
    info.batteryTemperatureValid = true;
    info.batteryTemperature = state * 1234;

    TagParser parser;
    const bool emptyForUnknown = flags & 1;
    const bool quiet = flags & 2;
    Device* used = flags & 4 ? nullptr : &device;
    if (flags & 8)
        parser.formatAndPatch(text, used, emptyForUnknown, quiet);
    else
        parser.formatContent(text, used, emptyForUnknown, quiet);
    return 0;
}
