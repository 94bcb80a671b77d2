#include "stationfixture.h"

#include "app/popupnoteprovider.h"
#include "mc/xmlpoller.h"
#include "printing/fileprinter.h"
#include "printing/layoutmanager.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/settingsmanager.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTest>

namespace TestSupport {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList labelFiles(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
}

int labelsOf(const QString& labels, int n)
{
    const QString id = variantDocumentId(n);
    int count = 0;
    for (const QString& f : labelFiles(labels))
        count += f.contains(id) ? 1 : 0;
    return count;
}

int linesOf(const QString& csv, int n)
{
    return readAll(csv).count(variantDocumentId(n).toLatin1());
}

namespace {
bool copyReplacing(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    return QFile::copy(from, to);
}
} // namespace

bool preparePrinting(const QString& labels, const QString& csv)
{
    SettingsManager* settings = SettingsManager::instance();
    if (!settings)
        return false;
    settings->setValue(FilePrinter::kFolderKey, labels, true);
    settings->setValue(QStringLiteral("ReportView/reportLogPath"), csv, true);
    ReportListModel::instance()->setReportLogPath(csv);
    PopupNoteProvider::instance()->ready();
    return installStationLayout();
}

bool installStationLayout()
{
    const QString demo = QStringLiteral(LABELPRINTER_SOURCE_DIR "/resources/demo/");
    return copyReplacing(demo + QStringLiteral("Station label.lyson"),
                         SystemPaths::instance().layoutDir + QStringLiteral("Station label.lyson")) &&
           copyReplacing(demo + QStringLiteral("korvex-logo.png"),
                         LayoutManager::localLogoDir() + QStringLiteral("korvex-logo.png"));
}

QByteArray smallLayout(const QString& name, const QString& text)
{
    return QStringLiteral(
               R"({"name":"%1","width":240,"height":160,"fixedsize":true,"version":"1.2.0.0","objects":[)"
               R"({"type":"TextObject.qml","unformattedString":"%2","x":120,"y":20,)"
               R"("width":220,"height":30,"rotation":0,"pixelSize":14,"background":false,"elide":"Right"},)"
               R"({"type":"BarCode.qml","contentOrder":"IMEI","symbology":"code128","prefixString":"",)"
               R"("attachText":"false","x":120,"y":95,"width":230,"height":90,"rotation":0}]})")
        .arg(name, text)
        .toUtf8();
}

bool writeLayout(const QString& name, const QByteArray& json)
{
    QDir().mkpath(SystemPaths::instance().layoutDir);
    QFile file(SystemPaths::instance().layoutDir + name + QStringLiteral(".lyson"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(json) == json.size();
}

void setConsole(int port, const QString& password)
{
    SettingsManager* s = SettingsManager::instance();
    s->setValue(QStringLiteral("MC/address"), QStringLiteral("http://127.0.0.1"), true);
    s->setValue(QStringLiteral("MC/port"), QString::number(port), true);
    s->setValue(QStringLiteral("MC/username"), QStringLiteral("demo"), true);
    s->setValue(QStringLiteral("MC/password"), password, true);
    s->flush();
}

void addJob(const QString& id, const QString& name, bool active, const QString& layout,
            const QString& printer, const QString& filterField, const QString& op, const QString& value)
{
    SettingsManager* s = SettingsManager::instance();
    const QString job = QStringLiteral("jobs/%1/").arg(id);
    s->setValue(job + QStringLiteral("jobname"), name, true);
    s->setValue(job + QStringLiteral("active"), active, true);
    s->setValue(job + QStringLiteral("layout"), layout, true);
    s->setValue(job + QStringLiteral("printer"), printer, true);
    if (!filterField.isEmpty()) {
        s->setValue(job + QStringLiteral("f1/filterName"), filterField, true);
        s->setValue(job + QStringLiteral("f1/operator"), op, true);
        s->setValue(job + QStringLiteral("f1/filterValue"), value, true);
        s->setValue(job + QStringLiteral("f1/operatorType"), QStringLiteral("string"), true);
    }
}

bool prepareStation(int port, const QString& labels, const QString& csv, const QString& printer)
{
    SettingsManager* s = SettingsManager::instance();
    s->removeKey(QStringLiteral("jobs"), true);
    s->removeKey(QStringLiteral("MC"), true);
    s->setValue(FilePrinter::kFolderKey, labels, true);
    s->setValue(QStringLiteral("ReportView/reportLogPath"), csv, true);
    s->setValue(QStringLiteral("printing/paused"), false, true);
    s->setValue(QStringLiteral("MC/lastReportId"), 0, true);
    addJob(QStringLiteral("all"), QStringLiteral("All phones"), true, QStringLiteral("Small label"), printer);
    setConsole(port);
    return writeLayout(QStringLiteral("Small label"), smallLayout(QStringLiteral("Small label")));
}

void ProgramProcess::start(const QString& crashAfter, int paceMs)
{
    // Only this run's lines count; the program would rotate the file away anyway.
    QFile::remove(logFile());
    QProcessEnvironment environment = m_root.environment();
    if (!crashAfter.isEmpty())
        environment.insert(QStringLiteral("LABELPRINTER_TEST_CRASH_AFTER"), crashAfter);
    if (paceMs > 0)
        environment.insert(QStringLiteral("LABELPRINTER_TEST_PACE_MS"), QString::number(paceMs));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(programPath(), {QStringLiteral("--logto"), QStringLiteral("disk")});
    m_process.waitForStarted(10000);
}

int ProgramProcess::stop(int signal)
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitCode();
    ::kill(pid_t(m_process.processId()), signal);
    m_process.waitForFinished(30000);
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

bool ProgramProcess::waitForExit(int milliseconds)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(milliseconds);
}

QString ProgramProcess::logFile() const
{
    return m_root.dataRoot() + QStringLiteral("/home/global/TVKRsupport.log");
}

Station::Station() : m_viewer(qobject_cast<QGuiApplication*>(qApp), &m_engine)
{
    PopupNoteProvider::instance()->ready(); // no QML here: notes go straight to their signals
}

Station::~Station()
{
    m_viewer.waitForWorkers(30000);
}

bool Station::connected()
{
    return QTest::qWaitFor([this] { return m_viewer.connectionState() == QLatin1String("Connected"); },
                           15000);
}

void Station::pollNow(int waiting)
{
    XMLPoller* poller = m_viewer.poller();
    poller->checkNow();
    QTest::qWait(200);
    QTRY_VERIFY_WITH_TIMEOUT(poller->waitForPoll(0), 30000);
    // Fetched reports are printed on this thread, one per turn of the event loop.
    QTest::qWait(100); // delivers the spool's and the poller's queued signals
    QTRY_COMPARE_WITH_TIMEOUT(handler()->pendingReports(), waiting, 30000);
}

} // namespace TestSupport
