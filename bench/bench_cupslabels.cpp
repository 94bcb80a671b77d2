// Labels printed through CUPS's own ZPL label driver, read back as the printer gets them: a private
// cupsd with a ZPL queue whose socket backend sends to a listener here; N sample reports printed with
// the demo layout "Station label" (a Code 128 of the IMEI, a Code 39 of the serial). Prints how many
// labels arrived, how many scan (both codes, zbarimg), how many have every bar and gap a whole number
// of modules in printer dots, labels per second from the print call to the last label received, and
// the runs of one Code 128. Needs root (cupsd); exits non-zero only when it cannot set up.
//   bench_cupslabels [--count 100] [--dpi 203|300] [--timeout 900] [--save <folder>]

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/layoutlength.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "stationfixture.h"
#include "testsupport.h"
#include "zplcapture.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <cstdio>

namespace {

const char kLayoutFile[] = LABELPRINTER_SOURCE_DIR "/resources/demo/Station label.lyson";

// A barcode of the layout, where it lies on the label in printer dots.
struct Code
{
    QString symbology;
    QRect box;
    bool barsAcross = false;
};

QList<Code> layoutCodes(double dpi)
{
    QFile file(QString::fromUtf8(kLayoutFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const double dotsPerUnit = dpi / 25.4 / LayoutLength::kUnitsPerMillimetre;
    QList<Code> codes;
    const QJsonArray objects = QJsonDocument::fromJson(file.readAll()).object().value("objects").toArray();
    for (const QJsonValue& value : objects) {
        const QJsonObject object = value.toObject();
        if (object.value("type").toString() != QLatin1String("BarCode.qml"))
            continue;
        // Objects are placed by their centre and turn about it.
        const bool turned = object.value("rotation").toInt() % 180 != 0;
        QSizeF size(object.value("width").toDouble(), object.value("height").toDouble());
        if (turned)
            size.transpose();
        const QPointF centre(object.value("x").toDouble(), object.value("y").toDouble());
        const QRectF units(centre - QPointF(size.width(), size.height()) / 2, size);
        const QRectF dots(units.topLeft() * dotsPerUnit, units.size() * dotsPerUnit);
        codes << Code{object.value("symbology").toString(), dots.toRect(), turned};
    }
    return codes;
}

QString serialOf(int n)
{
    return QStringLiteral("SER%1").arg(n, 6, 10, QLatin1Char('0'));
}

QString joined(const QList<int>& numbers)
{
    QStringList texts;
    for (int number : numbers)
        texts << QString::number(number);
    return texts.join(' ');
}

int setUpFailed(const QString& what)
{
    std::fprintf(stderr, "bench_cupslabels: %s\n", qPrintable(what));
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    // The private server must be known before Qt's print support first asks CUPS.
    QTemporaryDir cupsDir;
    qputenv("CUPS_SERVER", QFile::encodeName(cupsDir.path() + "/cups.sock"));
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption countOption("count", "Labels to print.", "n", "100");
    const QCommandLineOption dpiOption("dpi", "The queue's resolution: 203 or 300.", "dpi", "203");
    const QCommandLineOption timeoutOption("timeout", "Seconds to wait for the labels.", "s", "900");
    const QCommandLineOption saveOption("save", "Writes each label received as a PNG into <folder>.",
                                        "folder");
    parser.addOptions({countOption, dpiOption, timeoutOption, saveOption});
    parser.process(app);
    const int count = std::max(1, parser.value(countOption).toInt());
    const int dpi = parser.value(dpiOption).toInt();
    const int timeoutMs = std::max(1, parser.value(timeoutOption).toInt()) * 1000;
    if (dpi != 203 && dpi != 300)
        return setUpFailed(QStringLiteral("--dpi takes 203 or 300"));
    if (geteuid() != 0)
        return setUpFailed(QStringLiteral("needs root to start cupsd"));

    ZplCapture capture;
    if (!capture.listen())
        return setUpFailed(QStringLiteral("cannot listen on loopback"));
    const QString queue = QStringLiteral("ZplBench%1").arg(getpid());
    QProcess cups;
    cups.setProcessChannelMode(QProcess::MergedChannels);
    cups.start("bash", {LABELPRINTER_SOURCE_DIR "/scripts/cups-label-queue.sh", cupsDir.path(),
                        QStringLiteral("PdfBench%1").arg(getpid()),
                        QStringLiteral("%1=%2@%3").arg(queue).arg(capture.port()).arg(dpi)});
    QByteArray cupsOutput;
    if (!QTest::qWaitFor([&] { return (cupsOutput += cups.readAll()).contains("ready"); }, 60000))
        return setUpFailed("CUPS did not start: " + QString::fromLocal8Bit(cupsOutput).trimmed());
    const auto stopCups = qScopeGuard([&] {
        cups.terminate();
        cups.waitForFinished(10000);
    });

    TestSupport::IsolatedDataRoot root;
    if (!SettingsManager::instance() || !TestSupport::installStationLayout())
        return setUpFailed(QStringLiteral("cannot install the layout \"Station label\""));
    ReportListModel::instance()->setReportLogPath(root.path() + "/log.csv");
    PopupNoteProvider::instance()->ready();
    const QList<Code> codes = layoutCodes(dpi);
    if (codes.size() != 2)
        return setUpFailed(QStringLiteral("expected two barcodes in %1").arg(kLayoutFile));

    PrintHandler handler;
    if (!QTest::qWaitFor([&] { return handler.activePrinters().contains(queue); }, 20000))
        return setUpFailed(QStringLiteral("Qt does not list the queue %1").arg(queue));
    QStringList reports;
    QMap<QString, int> reportOfImei;
    for (int n = 1; n <= count; ++n) {
        reports << QString::fromUtf8(TestSupport::sampleReportVariant("Apple", n));
        reportOfImei.insert(TestSupport::variantImei(n), n);
    }

    QElapsedTimer clock;
    qint64 lastLabelMs = 0;
    QObject::connect(&capture, &ZplCapture::labelReceived, [&] { lastLabelMs = clock.elapsed(); });
    clock.start();
    handler.printReports("Bench", "Station label", queue, reports, 1, count);
    // Waits while labels keep coming; a queue that stalls for two minutes has given up.
    int seen = 0;
    qint64 progressMs = 0;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            if (capture.labelCount() != seen) {
                seen = capture.labelCount();
                progressMs = clock.elapsed();
            }
            return seen >= count || clock.elapsed() > timeoutMs || clock.elapsed() - progressMs > 120000;
        },
        timeoutMs + 1000));

    const QList<QImage> labels = ZplCapture::decodeGraphics(capture.all());
    const QString saveDir = parser.value(saveOption);
    if (!saveDir.isEmpty())
        QDir().mkpath(saveDir);
    int decoded = 0;
    int wholeDots = 0;
    QString firstProblem;
    QString exampleRuns;
    QMap<QString, QMap<int, int>> modules; // smallest run in dots, per symbology, counted
    QMap<QString, int> uneven;             // codes with a run that is no whole module, per symbology
    for (int i = 0; i < labels.size(); ++i) {
        const QImage& label = labels[i];
        if (!saveDir.isEmpty())
            label.save(QStringLiteral("%1/label-%2.png").arg(saveDir).arg(i + 1, 3, 10, QLatin1Char('0')));
        const QStringList texts = TestSupport::decodeBarcodes(label);
        const auto imei = std::find_if(texts.begin(), texts.end(),
                                       [&](const QString& text) { return reportOfImei.contains(text); });
        if (imei != texts.end() && texts.contains(serialOf(reportOfImei.value(*imei))))
            ++decoded;
        bool whole = true;
        for (const Code& code : codes) {
            const QList<int> runs = ZplCapture::runLengths(label, code.box, code.barsAcross);
            if (!runs.isEmpty())
                ++modules[code.symbology][*std::min_element(runs.begin(), runs.end())];
            if (exampleRuns.isEmpty() && code.symbology == QLatin1String("code128"))
                exampleRuns = joined(runs);
            const QString problem = ZplCapture::wholeModuleProblem(label, code.box, code.barsAcross);
            uneven[code.symbology] += problem.isEmpty() ? 0 : 1;
            if (!problem.isEmpty() && firstProblem.isEmpty())
                firstProblem = QStringLiteral("label %1, %2: %3").arg(i + 1).arg(code.symbology, problem);
            whole = whole && problem.isEmpty();
        }
        wholeDots += whole ? 1 : 0;
    }

    std::printf("bench_cupslabels: %d labels of \"Station label\" (62 x 100 mm) on a %d dpi ZPL queue\n",
                count, dpi);
    std::printf("  labels received           %d (complete ~DG graphics over %d connections)\n",
                capture.labelCount(), int(capture.connections().size()));
    if (!labels.isEmpty())
        std::printf("  graphic size              %d x %d dots\n", labels[0].width(), labels[0].height());
    std::printf("  labels decoded            %d (both codes scan, zbarimg)\n", decoded);
    QStringList unevenCodes;
    for (auto it = uneven.cbegin(); it != uneven.cend(); ++it)
        unevenCodes << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    std::printf("  labels with whole-dot bars %d (codes with uneven runs: %s)\n", wholeDots,
                qPrintable(unevenCodes.join(", ")));
    const double seconds = lastLabelMs / 1000.0;
    std::printf("  labels per second         %.2f (%d labels in %.1f s, print call to last label)\n",
                seconds > 0 ? capture.labelCount() / seconds : 0.0, capture.labelCount(), seconds);
    for (auto it = modules.cbegin(); it != modules.cend(); ++it) {
        QStringList seenModules;
        for (auto m = it.value().cbegin(); m != it.value().cend(); ++m)
            seenModules << QStringLiteral("%1 dots: %2 labels").arg(m.key()).arg(m.value());
        std::printf("  smallest run, %-10s %s\n", qPrintable(it.key()), qPrintable(seenModules.join(", ")));
    }
    std::printf("  Code 128 runs, label 1    %s\n", qPrintable(exampleRuns));
    if (!firstProblem.isEmpty())
        std::printf("  first uneven code         %s\n", qPrintable(firstProblem));
    if (capture.labelCount() < count) {
        std::printf("  CUPS error log (last lines):\n");
        QFile log(cupsDir.path() + "/log/error_log");
        if (log.open(QIODevice::ReadOnly))
            std::printf("%s\n", log.readAll().right(2000).constData());
    }
    return 0;
}
