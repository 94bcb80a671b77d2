// Runs the QML tests of the station screens (tst_*.qml beside this file) against the services of
// a real main window, with a probe that reads the global settings file as stored on disk.

#include "app/popupnoteprovider.h"
#include "app/previewreport.h"
#include "app/viewer.h"
#include "mc/certificatetrust.h"
#include "mc/xmlpoller.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "samplereports.h"
#include "settings/systempaths.h"
#include "testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSettings>
#include <QtQuickTest>

namespace {

// What the tests need beyond the published services: the file as a fresh reader sees it (so a
// missing flush shows), the clipboard, and native-side state and prints.
class ScreensProbe : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE QVariant storedValue(const QString& key) const { return QSettings(file(), kIni).value(key); }
    Q_INVOKABLE bool isStored(const QString& key) const { return QSettings(file(), kIni).contains(key); }
    Q_INVOKABLE QStringList storedGroups(const QString& group) const { return Group(group).childGroups(); }
    Q_INVOKABLE QStringList storedKeys(const QString& group) const { return Group(group).allKeys(); }
    Q_INVOKABLE QString clipboardText() const { return QGuiApplication::clipboard()->text(); }
    Q_INVOKABLE bool isNoteProviderReady() const { return PopupNoteProvider::instance()->isReady(); }
    // Whether the poller's timer would start a poll now.
    Q_INVOKABLE bool isPolling() const
    {
        return m_viewer && m_viewer->poller()->isEnabled() && !m_viewer->poller()->isHeld();
    }
    Q_INVOKABLE void addPrintedReport(const QString& job, const QString& layout, const QString& printer,
                                      const QString& uuid, const QString& customValue) const
    {
        ReportListModel* list = ReportListModel::instance();
        list->addReport(job, layout, printer, uuid, {{list->selectedCustomContentKey(), customValue}});
    }

    // Reports handed to printing with a layout that does not exist: they end in the failed list.
    Q_INVOKABLE void printWithMissingLayout(int count) const
    {
        QStringList reports;
        for (int n = 1; n <= count; ++n)
            reports << QString::fromUtf8(TestSupport::sampleReportVariant(QStringLiteral("Apple"), n));
        m_viewer->printHandler()->printReports(
            QStringLiteral("Apple phones"), QStringLiteral("Missing layout"),
            QStringLiteral("PDF files (label archive)"), reports, 1, count);
    }
    // Labels of a job in the spool, as a poll leaves them.
    Q_INVOKABLE void spoolForJob(const QString& jobId, int count) const
    {
        for (int n = 1; n <= count; ++n) {
            SpoolEntry entry;
            entry.jobId = jobId;
            entry.jobName = QStringLiteral("Job ") + jobId;
            entry.report = TestSupport::sampleReportVariant(QStringLiteral("Apple"), n);
            m_viewer->printHandler()->spool()->add(&entry);
        }
    }
    // The console's newest reports as the report chooser gets them: variants 1..count, newest last.
    Q_INVOKABLE void offerConsoleReports(int count) const
    {
        QList<QByteArray> reports;
        for (int n = 1; n <= count; ++n)
            reports << TestSupport::sampleReportVariant(QStringLiteral("Apple"), n);
        m_viewer->previewReport()->reports()->setConsoleReports(reports, true);
    }
    Q_INVOKABLE QString variantImei(int n) const { return TestSupport::variantImei(n); }
    // Where a test saves a picture of what it showed, for a person to look at.
    Q_INVOKABLE QString picturePath(const QString& name) const
    {
        const QString dir = QStringLiteral(LABELPRINTER_BINARY_DIR "/screenshots");
        QDir().mkpath(dir);
        return dir + QLatin1Char('/') + name;
    }
    // A console meeting or refusing a certificate whose key digest is 32 bytes of `fill`.
    Q_INVOKABLE void meetCertificate(const QString& console, int fill) const
    {
        CertificateTrust::instance()->remember(console, QByteArray(32, char(fill)).toBase64());
    }
    Q_INVOKABLE void refuseCertificate(const QString& console, int fill) const
    {
        CertificateTrust::instance()->refuse(console, QByteArray(32, char(fill)).toBase64());
    }

    void setViewer(Viewer* viewer) { m_viewer = viewer; }

private:
    static constexpr QSettings::Format kIni = QSettings::IniFormat;
    static QString file() { return SystemPaths::instance().globalSettingsFile; }
    // Only the keys under the group, as a fresh reader sees them.
    struct Group : QSettings
    {
        explicit Group(const QString& group) : QSettings(file(), kIni) { beginGroup(group); }
    };

    Viewer* m_viewer = nullptr;
};

class ScreensSetup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        // One window for the whole run: its services are process-wide like the program's.
        if (!m_viewer) {
            m_viewer = new Viewer(qobject_cast<QGuiApplication*>(QCoreApplication::instance()),
                                  new QQmlEngine(this));
            m_probe.setViewer(m_viewer);
        }
        m_viewer->publishContextProperties(engine->rootContext());
        engine->rootContext()->setContextProperty(QStringLiteral("probe"), &m_probe);
    }
    void cleanupTestCase()
    {
        if (m_viewer)
            m_viewer->waitForWorkers(15000);
    }

private:
    Viewer* m_viewer = nullptr;
    ScreensProbe m_probe;
};

} // namespace

int main(int argc, char** argv)
{
    // A widget application, as the program: file dialogs then have a fallback on Linux.
    QApplication application(argc, argv);
    TestSupport::IsolatedDataRoot dataRoot;
    if (!dataRoot.isValid())
        return 1;
    PopupNoteProvider::registerQmlType();
    ScreensSetup setup;
    return quick_test_main_with_setup(argc, argv, "screens", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "tst_screens.moc"
