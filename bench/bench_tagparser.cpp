// Labels formatted per second: a ten-tag label, five of them report queries, against reports of
// several sizes (the same parsed report again, and a freshly parsed one per label as a print job
// does it); and a label of plain and choice tags alone.
//   bench_tagparser [seconds per figure=5] [report sizes in kB=16 150 500]

#include "app/applicationsetup.h"
#include "report/reportdevice.h"
#include "report/reportdocument.h"
#include "report/tagparser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QVector>

#include <cstdio>

namespace {

// A report shaped like the console's exports, padded with many description, test and erasure
// entries until it is about `targetBytes` long.
QString largeReport(int targetBytes)
{
    QString description;
    QString tests;
    QString erasures;
    int n = 0;
    while (description.size() + tests.size() + erasures.size() < targetBytes) {
        description +=
            QStringLiteral("<entry name=\"note_%1\" type=\"string\">station note number %1</entry>\n").arg(n);
        tests += QStringLiteral("<entry name=\"test_%1\" type=\"string\">%2</entry>\n")
                     .arg(n)
                     .arg(n % 3 == 0 ? QStringLiteral("failed") : QStringLiteral("successful"));
        if (n % 20 == 0) {
            erasures +=
                QStringLiteral("<entries name=\"erasure\"><entry name=\"elapsed_time\">00:0%1:00</entry>"
                               "<entry name=\"erasure_standard_name\">Cryptographic erasure</entry>"
                               "<entry name=\"state\">Successful</entry><entries name=\"target\">"
                               "<entry name=\"serial\">SER%2</entry><entry name=\"capacity\">"
                               "128000000000</entry><entry name=\"kind\">Internal memory</entry>"
                               "</entries></entries>\n")
                    .arg(n % 10)
                    .arg(n);
        }
        ++n;
    }
    return QStringLiteral(
               "<root><report><korvex_data><description>"
               "<document_id>bench-0001</document_id><document_log><log_entry>"
               "<product_name id=\"23\" name=\"Korvex Mobile Eraser\">Korvex Mobile Eraser</product_name>"
               "<date>2026-12-01T09:14:05+02:00</date></log_entry></document_log>"
               "<entries name=\"description_entries\">%1</entries></description>"
               "<korvex_erasure_report><entries name=\"erasures\">%2</entries></korvex_erasure_report>"
               "<korvex_hardware_report><entries name=\"system\">"
               "<entry name=\"manufacturer\">Apple</entry><entry name=\"model\">iPhone 12 128GB Blue</entry>"
               "<entry name=\"serial\">F2LXK0QJHG7F</entry><entry name=\"imei\">356789104567892</entry>"
               "</entries><entries name=\"hardware_tests\"><entry name=\"summary\">failed</entry>%3</entries>"
               "</korvex_hardware_report></korvex_data><user_data><entries name=\"fields\">"
               "<entry name=\"info1\">PO-2026-1187</entry></entries></user_data></report></root>")
        .arg(description, erasures, tests);
}

const QString kLabel = QStringLiteral(
    "<model> <manufacturer> <date yyyy-MM-dd> <devstatus OK,FAIL,?> <bytes2human 128000000000>\n"
    "<xmlreport /root/report/korvex_data/description/document_id>\n"
    "<xmlreport /root/report/korvex_data/korvex_hardware_report/system/serial>\n"
    "<xmlreport /root/report/korvex_data/korvex_hardware_report/hardware_tests/summary>\n"
    "<xmlreport /root/report/korvex_data/description/description_entries/note_500>\n"
    "<xmlreport /root/report/user_data/fields/info1>");

// Tags only, no report queries: what the tag table's lookup and handlers cost.
const QString kTagsLabel = QStringLiteral(
    "<manufacturer> <model> <devstatus OK,FAIL,?> <rooted A,B,C> <batteryhealth> <fmip A,B,C,D> "
    "<lsb L,S,B,D,E,F> <region> <bytes2human 128000000000> <map src=Model cmp=st in=iPhone out=Y else=N> "
    "<firstvalue IMEI,MEID> <disksize> <substatus all,a,b,c,d,e,f> <diagstatus a,b,c,d> <simstatus> "
    "<eraseduration> text <not a tag> <usbid>");

} // namespace

int main(int argc, char** argv)
{
    ApplicationSetup::keepLargeBlocks(); // as the program does
    QCoreApplication app(argc, argv);
    // The per-tag debug lines would dominate the measurement.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    const double seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 5.0;
    QVector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.append(QString::fromLocal8Bit(argv[i]).toInt());
    if (sizes.isEmpty())
        sizes = {16, 150, 500};
    TagParser parser;

    for (const int kb : sizes) {
        const QString xml = largeReport(kb * 1024);
        if (qEnvironmentVariableIsSet("BENCH_DUMP")) {
            QFile dump(QString::fromLocal8Bit(qgetenv("BENCH_DUMP")) + QString::number(kb));
            if (dump.open(QIODevice::WriteOnly))
                dump.write(xml.toUtf8());
        }

        ReportDocument document;
        document.parse(xml);
        ReportDevice device;
        device.setReport(&document, true);
        QString first = kLabel;
        parser.formatContent(first, &device, false, true);
        if (kb == sizes.first())
            std::printf("label:\n%s\n", qPrintable(first));

        // One report, many labels: what the queries cost on a report parsed before.
        QElapsedTimer timer;
        timer.start();
        int labels = 0;
        while (timer.elapsed() < seconds * 1000) {
            QString text = kLabel;
            parser.formatContent(text, &device, false, true);
            ++labels;
        }
        const double sameReport = labels * 1000.0 / double(timer.elapsed());

        // One label per report, as a print job does it: parse the bytes received, bind, format. Then
        // the same from the decoded text, which the other callers hold.
        const QByteArray utf8 = xml.toUtf8();
        const auto freshLabels = [&](bool fromBytes) {
            QElapsedTimer clock;
            clock.start();
            int count = 0;
            while (clock.elapsed() < seconds * 1000) {
                ReportDocument fresh;
                if (fromBytes)
                    fresh.parse(utf8);
                else
                    fresh.parse(QString::fromUtf8(utf8));
                ReportDevice freshDevice;
                freshDevice.setReport(&fresh, true);
                QString text = kLabel;
                parser.formatContent(text, &freshDevice, false, true);
                ++count;
            }
            return count * 1000.0 / double(clock.elapsed());
        };
        const double freshReport = freshLabels(true);
        const double freshText = freshLabels(false);
        std::printf("report %d KB: labels per second, same report: %.1f; each on a freshly parsed report: "
                    "%.1f (from its decoded text: %.1f)\n",
                    int(utf8.size() / 1024), sameReport, freshReport, freshText);
        std::fflush(stdout);
    }

    // A label of tags alone, on a small report.
    ReportDocument document;
    document.parse(largeReport(16 * 1024));
    ReportDevice device;
    device.setReport(&document, true);
    QElapsedTimer timer;
    timer.start();
    int labels = 0;
    while (timer.elapsed() < seconds * 1000) {
        QString text = kTagsLabel;
        parser.formatContent(text, &device, false, true);
        ++labels;
    }
    std::printf("labels of tags without report queries formatted per second: %.0f\n",
                labels * 1000.0 / double(timer.elapsed()));
    return 0;
}
