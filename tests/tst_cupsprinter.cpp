// A real platform printer: a private CUPS server with a cups-pdf queue declaring label sizes; the
// printed PDF must have the label's size and a barcode a scanner reads. Skipped without CUPS.

#include "app/popupnoteprovider.h"
#include "barcodedecode.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "stationfixture.h"
#include "testsupport.h"

#include <QApplication>
#include <QtTest>

#include <unistd.h>

namespace {
QTemporaryDir* g_cupsDir = nullptr;
const QString kQueue = QStringLiteral("LabelTest%1").arg(getpid());
// The files the queue's backend wrote.
QStringList queued()
{
    return QDir(g_cupsDir->path() + "/PDF").entryList({"*.pdf"}, QDir::Files);
}
} // namespace

class TestCupsPrinter : public QObject
{
    Q_OBJECT
private:
    TestSupport::IsolatedDataRoot* m_root = nullptr;
    QProcess m_cups;

private slots:
    void initTestCase()
    {
        if (geteuid() != 0 || !QFile::exists("/usr/sbin/cupsd") ||
            !QFile::exists("/usr/lib/cups/backend/cups-pdf"))
            QSKIP("CUPS tests need root, cupsd and the cups-pdf backend; skipped");
        m_cups.setProcessChannelMode(QProcess::MergedChannels);
        m_cups.start("bash",
                     {LABELPRINTER_SOURCE_DIR "/scripts/cups-label-queue.sh", g_cupsDir->path(), kQueue});
        QByteArray out;
        if (!QTest::qWaitFor([&] { return (out += m_cups.readAll()).contains("ready"); }, 20000))
            QSKIP(qPrintable("CUPS could not be started here: " + QString::fromLocal8Bit(out).trimmed()));
        m_root = new TestSupport::IsolatedDataRoot;
        QVERIFY(SettingsManager::instance());
        QVERIFY(TestSupport::installStationLayout());
        ReportListModel::instance()->setReportLogPath(m_root->path() + "/log.csv");
        PopupNoteProvider::instance()->ready();
    }

    void cleanupTestCase()
    {
        if (m_cups.state() == QProcess::Running) {
            m_cups.terminate();
            m_cups.waitForFinished(10000);
        }
    }

    // The queue is listed with its label sizes, and its own paper is taken for the label (which paper
    // a layout takes: tst_labelrendering's pageSize). Labels from the spool reach the queue as jobs
    // titled with the job and the report, so the queue (here: the file names it writes) tells them
    // apart. Each page has the label's size and a barcode a scanner reads.
    void labelsReachTheQueue()
    {
        PrintHandler handler;
        QTRY_VERIFY_WITH_TIMEOUT(handler.activePrinters().contains(kQueue), 10000);
        const QStringList sizes = handler.getAllPagesizes();
        QVERIFY2(sizes.contains("62mm x 100mm") && sizes.contains("102mm x 152mm"),
                 qPrintable(sizes.join(", ")));
        QStringList reports;
        for (int n = 51; n <= 53; ++n)
            reports << QString::fromUtf8(TestSupport::sampleReportVariant("Apple", n));
        handler.printReports("Apple phones", "Station label", kQueue, reports, 51, 53);
        QTRY_COMPARE_WITH_TIMEOUT(handler.pendingReports(), 0, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(queued().size(), 3, 60000);
        QTest::qWait(500); // the backend may still be writing
        for (int n = 51; n <= 53; ++n) {
            const QStringList files = queued().filter(TestSupport::variantDocumentId(n));
            QVERIFY2(files.size() == 1, qPrintable(queued().join(' ')));
            const QImage page = TestSupport::rasterisePdf(g_cupsDir->path() + "/PDF/" + files.first(), 300);
            // 62 x 100 mm, within the points the PDF page is rounded to.
            QVERIFY2(qAbs(page.width() - 732) <= 3 && qAbs(page.height() - 1181) <= 3,
                     qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
            QVERIFY(TestSupport::decodeBarcodes(page).contains(TestSupport::variantImei(n)));
        }
    }
};

int main(int argc, char* argv[])
{
    // The private server must be known before Qt's print support first asks CUPS.
    g_cupsDir = new QTemporaryDir;
    qputenv("CUPS_SERVER", QFile::encodeName(g_cupsDir->path() + "/cups.sock"));
    QApplication app(argc, argv);
    TestCupsPrinter test;
    const int result = QTest::qExec(&test, argc, argv);
    delete g_cupsDir;
    return result;
}
#include "tst_cupsprinter.moc"
