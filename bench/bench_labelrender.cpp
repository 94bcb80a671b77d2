// Labels rendered per second: a 62 x 100 mm label with two barcodes, six text objects and a logo,
// filled from a report and painted into the one-bit label image; also the peak memory.

#include "app/applicationsetup.h"
#include "printing/fileprinter.h"
#include "printing/layoutmanager.h"
#include "printing/pdffileoutput.h"
#include "printing/printworker.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

const char* kReport =
    "<root><report><korvex_data><description><document_id>bench-0001</document_id></description>"
    "<korvex_hardware_report><entries name=\"system\">"
    "<entry name=\"manufacturer\">Apple</entry><entry name=\"model\">iPhone 12 128GB Blue</entry>"
    "<entry name=\"serial\">F2LXK0QJHG7F</entry><entry name=\"imei\">356789104567892</entry>"
    "</entries></korvex_hardware_report></korvex_data></report></root>";

QJsonObject placed(QJsonObject record, int x, int y, int w, int h)
{
    record.insert(QStringLiteral("x"), x);
    record.insert(QStringLiteral("y"), y);
    record.insert(QStringLiteral("width"), w);
    record.insert(QStringLiteral("height"), h);
    record.insert(QStringLiteral("rotation"), 0);
    return record;
}

QJsonObject text(const QString& content, int y)
{
    return placed({{"type", "TextObject.qml"}, {"unformattedString", content}, {"pixelSize", 24}}, 248, y,
                  460, 32);
}

QJsonObject barcode(const QString& contentOrder, const QString& symbology, int y)
{
    return placed({{"type", "BarCode.qml"}, {"contentOrder", contentOrder}, {"symbology", symbology}}, 248, y,
                  440, 110);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

    QTemporaryDir dir;
    // Logos print only from the logo folder of the data root.
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.path() + "/share"));
    qputenv("HOME", QFile::encodeName(dir.path() + "/home"));
    ApplicationSetup::applyIdentity();
    SystemPaths::selectComputedLayout();
    QDir().mkpath(LayoutManager::localLogoDir());
    const QString logo = QStringLiteral("logo.png");
    QImage logoImage(240, 120, QImage::Format_RGB32);
    logoImage.fill(Qt::darkGray);
    logoImage.save(LayoutManager::localLogoDir() + logo, "PNG");

    const QJsonArray objects{
        placed({{"type", "ShapeObject.qml"}, {"sourceImage", logo}, {"maintainAspectRation", true}}, 248, 50,
               160, 60),
        text(QStringLiteral("<manufacturer> <model>"), 120),
        text(QStringLiteral("IMEI: <firstvalue IMEI>"), 165),
        barcode(QStringLiteral("IMEI"), QStringLiteral("code128"), 250),
        text(QStringLiteral("Serial: <firstvalue System serial>"), 345),
        barcode(QStringLiteral("System serial"), QStringLiteral("code39"), 430),
        text(QStringLiteral("Status: <devstatus Erased,Failed,Other>"), 540),
        text(QStringLiteral("Report <xmlreport /root/report/korvex_data/description/document_id>"), 600),
        text(QStringLiteral("Printed <date yyyy-MM-dd HH:mm>"), 660)};
    const QJsonObject layout{{"name", "bench"}, {"width", 496}, {"height", 800}, {"objects", objects}};

    ReportDocument report;
    report.parse(QString::fromLatin1(kReport));
    ReportDevice device;
    device.setReport(&report, true);
    // The short report above fills no identifier slots; both barcodes must have content.
    device.setIdentifier(Device::Imei, QStringLiteral("356789104567892"));
    device.setIdentifier(Device::Serial, QStringLiteral("F2LXK0QJHG7F"));

    // The label as the window's preview draws it (five pixels a layout unit), and as printers of
    // 203 and 300 dpi get it (objects painted at the printer's resolution).
    const auto measure = [&](const char* what, const std::function<QImage(PrintWorker&)>& render) {
        QElapsedTimer timer;
        timer.start();
        qint64 imageBytes = 0;
        for (int i = 0; i < runs; ++i) {
            PrintWorker worker(QString(), layout, QSizeF(60, 60), QString(), &device, 1, false);
            imageBytes += render(worker).sizeInBytes();
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("bench_labelrender %s: %d labels (62 x 100 mm, 2 barcodes, 6 texts, 1 logo) in %.2f s: "
                    "%.1f labels/s, %.1f ms per label; %lld image bytes\n",
                    what, runs, seconds, runs / seconds, 1000.0 * seconds / runs,
                    static_cast<long long>(imageBytes));
    };
    measure("preview, 5 px/unit", [](PrintWorker& w) { return w.renderLabel(); });
    measure("page at 203 dpi", [](PrintWorker& w) { return w.renderLabelAt(203); });
    measure("page at 300 dpi", [](PrintWorker& w) { return w.renderLabelAt(300); });

    // The page at 300 dpi handed to the built-in PDF printer: one file per label.
    SettingsManager::instance()->setValue(FilePrinter::kFolderKey, dir.path(), true);
    int written = 0;
    measure("page at 300 dpi written as PDF", [&](PrintWorker& w) {
        PdfFileOutput output;
        output.open(w.pageSize(), nullptr);
        const QImage page = w.renderPageImage(output.pagePixels());
        output.send(page, QStringLiteral("bench"), QStringLiteral("label%1").arg(++written), true);
        return page;
    });

    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %ld MiB\n", usage.ru_maxrss / 1024);
    return 0;
}
