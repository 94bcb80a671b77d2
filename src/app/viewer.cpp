#include "app/viewer.h"

#include "app/applicationsetup.h"
#include "app/commandline.h"
#include "app/helptexts.h"
#include "app/imageprovider.h"
#include "app/imageproviderproxy.h"
#include "app/keyboard.h"
#include "app/mousecontrol.h"
#include "app/popupnoteprovider.h"
#include "app/previewreport.h"
#include "app/samplereportmodel.h"
#include "app/translator.h"
#include "mc/certificatetrust.h"
#include "mc/connectioncheck.h"
#include "mc/connectionform.h"
#include "mc/mcreportfieldreader.h"
#include "mc/xmlpoller.h"
#include "printing/layoutmanager.h"
#include "printing/printhandler.h"
#include "printing/printspool.h"
#include "printing/reportlistmodel.h"
#include "settings/joblistmodel.h"
#include "settings/settingsmanager.h"
#include "settings/watermark.h"
#include "shared/customfieldmodel.h"
#include "shared/diagnostics.h"
#include "shared/processflowstore.h"
#include "shared/processtagvalues.h"
#include "shared/userappcontainer.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QThread>

#include <algorithm>
#include <atomic>

namespace {
std::atomic<Viewer*> g_viewer{nullptr};

// Connection checks that failed are repeated after 10 s, doubling up to 5 minutes.
constexpr int kFirstRetryMs = 10000;
constexpr int kLongestRetryMs = 300000;
// A console form that became complete is checked once typing paused this long.
constexpr int kFieldsSettleMs = 1000;

} // namespace

const QString Viewer::kConsoleBehind = QStringLiteral("Report ids went back");
const QString Viewer::kSettingsUnsaved = QStringLiteral("Settings cannot be saved");

Viewer::Viewer(QGuiApplication* application, QQmlEngine* engine, QWindow* parent)
    : QQuickView(engine, parent), m_connectionState(ConnectionCheck::kConnecting),
      m_statusBarMessage(QStringLiteral("Ready")), m_connectionRetryMs(kFirstRetryMs)
{
    Viewer* expected = nullptr;
    if (!g_viewer.compare_exchange_strong(expected, this))
        qDebug() << "Warning: Reinitialization of viewer instance!";

    m_popupProvider = PopupNoteProvider::instance();
    setMinimumHeight(800);
    setMinimumWidth(1200);
    m_settings = SettingsManager::instance();

    m_translator = new Translator(application, this, false, this);
    m_fieldReader = new MCReportFieldReader(this);
    m_fieldReader->importKeylist(QStringLiteral(":/resources/resources/report_columns.csv"));
    m_userApps = new UserAppContainer(this);

    m_processTagValues = new ProcessTagValues(this);
    m_layoutManager = new LayoutManager(this);
    m_printHandler = new PrintHandler(this);
    connect(m_printHandler, &PrintHandler::statusBarMessage, this, &Viewer::setStatusBarMessage);
    m_processFlowStore = new ProcessFlowStore(this);
    m_mouseControl = new MouseControl(this);
    m_keyboard = new Keyboard(this);
    m_diagnostics = new Diagnostics(m_settings, this);
    m_deviceCustomFields =
        new CustomFieldModel(QLatin1String(CustomFieldModel::kDeviceFieldsGroup), m_settings, this);
    m_customFields = new CustomFieldModel(QLatin1String(CustomFieldModel::kFieldsGroup), m_settings, this);
    m_poller = new XMLPoller(this);
    m_jobs = new JobListModel(m_settings, this);
    m_connectionForm = new ConnectionForm(m_settings, this);
    LayoutManager* layouts = m_layoutManager;
    PrintHandler* printers = m_printHandler;
    m_jobs->setLayoutSource([layouts] { return layouts->customLayouts(); });
    m_jobs->setPrinterSource([printers] { return printers->activePrinters(); });
    connect(m_layoutManager, &LayoutManager::layoutsChanged, m_jobs, &JobListModel::refreshAvailability);
    m_previewReport = new PreviewReport(new SampleReportModel(m_printHandler->spool(), this), this);
    publishContextProperties(rootContext());

    applySizeArguments(application ? application->arguments() : QStringList());

    m_imageProvider = QSharedPointer<ImageProvider>::create();
    engine->addImageProvider(QStringLiteral("layouts"), new ImageProviderProxy(m_imageProvider));
    connect(m_previewReport, &PreviewReport::imageChanged, this,
            [this] { ImageProvider::setReportPicture(m_previewReport->image()); });

    connect(engine, &QQmlEngine::quit, this, &QWindow::close);
    setResizeMode(QQuickView::SizeRootObjectToView);

    connectPollerToSpool();
    connect(m_poller, &XMLPoller::statusBarMessage, this, &Viewer::setStatusBarMessage);
    connect(
        m_poller, &XMLPoller::consoleAnswered, this, [this] { m_lastPoll = QDateTime::currentDateTime(); },
        Qt::QueuedConnection);
    connect(m_poller, &XMLPoller::consoleBehind, this, &Viewer::onConsoleBehind, Qt::QueuedConnection);
    connect(m_poller, &XMLPoller::idsReset, this, &Viewer::onIdsReset, Qt::QueuedConnection);
    connect(m_poller, &XMLPoller::consoleUnreachable, this, &Viewer::onConsoleUnreachable,
            Qt::QueuedConnection);
    if (m_settings)
        connect(m_settings, &SettingsManager::saveProblemChanged, this, &Viewer::onSaveProblem,
                Qt::QueuedConnection);
    m_connectionRetry.setSingleShot(true);
    connect(&m_connectionRetry, &QTimer::timeout, this, &Viewer::retryConnection);
    m_fieldsEdited.setSingleShot(true);
    m_fieldsEdited.setInterval(kFieldsSettleMs);
    connect(&m_fieldsEdited, &QTimer::timeout, this, &Viewer::onConnectionFieldsEdited);
    connect(static_cast<ConnectionForm*>(m_connectionForm), &ConnectionForm::fieldsEdited, &m_fieldsEdited,
            qOverload<>(&QTimer::start));
    reportSettingsRepair();

    // A poll can meet a changed certificate too; a trusted new one deserves a fresh check.
    CertificateTrust* trust = CertificateTrust::instance();
    connect(trust, &CertificateTrust::refused, this,
            [this] { setMcStatus(ConnectionCheck::kCertificateChanged); });
    connect(trust, &CertificateTrust::trusted, this, &Viewer::checkMcConnection);

    m_checkerThread = new QThread();
    connect(m_checkerThread, &QThread::started, this, &Viewer::doMCCheck, Qt::DirectConnection);
    // Queued to this thread: a press that came while a check was ending gets a check of its own.
    connect(m_checkerThread, &QThread::finished, this, [this] {
        if (m_recheckPending) {
            m_recheckPending = false;
            m_checkerThread->start(QThread::InheritPriority);
        }
    });
    m_checkerThread->start(QThread::InheritPriority);

    m_statusBarTimer.setSingleShot(true);
    connect(&m_statusBarTimer, &QTimer::timeout, this, &Viewer::onStatusBarMessageTimeout);
    m_statusBarTimer.setInterval(10000);
}

void Viewer::connectPollerToSpool()
{
    PrintSpool* spool = m_printHandler->spool();
    // A stop or crash in the middle of a poll leaves staged labels: they print when the stored
    // watermark passed their reports, and are fetched again otherwise.
    SettingsManager* settings = m_settings;
    spool->recoverStaged([settings](const SpoolEntry& entry) {
        return settings && Watermark(settings).nextFetchFrom(entry.jobId) >= entry.rangeTo;
    });
    PrintHandler* handler = m_printHandler;
    XMLPoller::ReportStore store;
    store.stage = [handler](const QString& jobId, const QString& jobName, const QString& layout,
                            const QString& printer, const QByteArrayList& reports,
                            const QHash<QString, qint64>& consoleIds, qint64 from, qint64 to,
                            QStringList* staged) {
        return handler->stageReports(jobId, jobName, layout, printer, reports, consoleIds, from, to, staged);
    };
    store.commit = [spool](const QStringList& staged) {
        spool->commitStaged(staged);
    };
    store.discard = [spool](const QStringList& staged) {
        spool->discardStaged(staged);
    };
    m_poller->setReportStore(store);

    // The Report Log shows the labels still kept for reprinting, once per process.
    static bool historyShown = false;
    if (!historyShown) {
        historyShown = true;
        ReportListModel::instance()->addHistory(ReportListModel::historyRows(*spool));
    }
}

void Viewer::publishContextProperties(QQmlContext* context)
{
    context->setContextProperty(QStringLiteral("mcReportFields"), m_fieldReader);
    context->setContextProperty(QStringLiteral("userAppContainer"), m_userApps);
    context->setContextProperty(QStringLiteral("mcconnector"), this);
    context->setContextProperty(QStringLiteral("translator"), m_translator);
    context->setContextProperty(QStringLiteral("settingsManager"), m_settings);
    context->setContextProperty(QStringLiteral("processCoordinator"), m_processTagValues);
    context->setContextProperty(QStringLiteral("systemconfig"), this);
    context->setContextProperty(QStringLiteral("layoutmanager"), m_layoutManager);
    context->setContextProperty(QStringLiteral("previewReport"), m_previewReport);
    context->setContextProperty(QStringLiteral("printerInterface"), m_printHandler);
    context->setContextProperty(QStringLiteral("processStore"), m_processFlowStore);
    context->setContextProperty(QStringLiteral("mouseControl"), m_mouseControl);
    context->setContextProperty(QStringLiteral("keyboard"), m_keyboard);
    context->setContextProperty(QStringLiteral("diagnostics"), m_diagnostics);
    context->setContextProperty(QStringLiteral("devicecustommodel"), m_deviceCustomFields);
    context->setContextProperty(QStringLiteral("custommodel"), m_customFields);
    context->setContextProperty(QStringLiteral("reportList"), ReportListModel::instance());
    context->setContextProperty(QStringLiteral("popupProvider"), m_popupProvider);
    context->setContextProperty(QStringLiteral("xmlpoller"), m_poller);
    context->setContextProperty(QStringLiteral("jobListModel"), m_jobs);
    context->setContextProperty(QStringLiteral("connectionForm"), m_connectionForm);
    context->setContextProperty(QStringLiteral("mcCertificate"), CertificateTrust::instance());
    context->setContextProperty(QStringLiteral("helpTexts"), new HelpTexts(context));
}

Viewer::~Viewer()
{
    // A check may still wait for the console; the thread must not be destroyed while it runs.
    if (m_checkerThread) {
        m_checkerThread->wait();
        delete m_checkerThread;
    }
    Viewer* self = this;
    g_viewer.compare_exchange_strong(self, nullptr);
}

Viewer* Viewer::instance()
{
    return g_viewer.load();
}

void Viewer::applySizeArguments(const QStringList& arguments)
{
    const CommandLine commandLine(arguments);
    if (const std::optional<int> width = commandLine.windowWidth())
        setWidth(*width);
    if (const std::optional<int> height = commandLine.windowHeight())
        setHeight(*height);
}

void Viewer::setStatusBarMessage(const QString& message)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, message] { setStatusBarMessage(message); }, Qt::QueuedConnection);
        return;
    }
    if (message == m_statusBarMessage)
        return;
    m_statusBarMessage = message;
    emit statusBarMessageChanged();
    m_statusBarTimer.start();
}

void Viewer::onStatusBarMessageTimeout()
{
    m_statusBarMessage = idleMessage();
    emit statusBarMessageChanged();
}

QString Viewer::idleMessage() const
{
    // "Ready" only while new reports can arrive.
    if (isPollingState(m_connectionState) || m_connectionState == ConnectionCheck::kConnecting ||
        m_connectionState == ConnectionCheck::kUpdatingReportInfo)
        return QStringLiteral("Ready");
    return QStringLiteral("No new reports (MC Connection: %1)").arg(m_connectionState);
}

bool Viewer::waitForWorkers(unsigned long milliseconds)
{
    m_poller->setEnabled(false);
    // The labels being handed over finish; the rest stay in the spool for the next start. A print
    // system that does not answer gets a few seconds, then the program leaves without it.
    const bool printingStopped = m_printHandler->stopPrinting(6000);
    QElapsedTimer timer;
    timer.start();
    if (!m_checkerThread->wait(milliseconds) || !printingStopped)
        return false;
    const qint64 left = qint64(milliseconds) - timer.elapsed();
    return m_poller->waitForPoll(left > 0 ? (unsigned long)left : 1);
}

void Viewer::checkMcConnection()
{
    setMcStatus(ConnectionCheck::kConnecting);
    startCheck();
}

void Viewer::startCheck()
{
    // A running check may already have delivered its last state; a new one always follows it.
    if (m_checkerThread->isRunning())
        m_recheckPending = true;
    else
        m_checkerThread->start(QThread::InheritPriority);
}

void Viewer::retryConnection()
{
    if (m_connectionState != ConnectionCheck::kFailedToConnect &&
        m_connectionState != ConnectionCheck::kFailedToFetch)
        return; // checked meanwhile
    startCheck();
}

bool Viewer::isPollingState(const QString& status)
{
    return status == ConnectionCheck::kConnected || status == kConsoleBehind || status == kSettingsUnsaved;
}

void Viewer::onConsoleUnreachable()
{
    // A poll that started before the state changed has nothing to add.
    if (!isPollingState(m_connectionState))
        return;
    qWarning() << "The console stopped answering the polls; checking it again until it answers";
    if (!m_outage) {
        m_outage = true;
        emit m_popupProvider->showErrorText(
            ConnectionCheck::kFailedToConnect,
            QStringLiteral("The Management Console does not answer, so no new report is printed. The "
                           "station keeps trying and prints what arrived meanwhile once it answers."),
            PopupNoteProvider::MCCommFailed);
    }
    setMcStatus(ConnectionCheck::kFailedToConnect);
}

void Viewer::onConnectionFieldsEdited()
{
    const bool complete =
        m_connectionForm && static_cast<ConnectionForm*>(m_connectionForm)->missingFields().isEmpty();
    if (!complete) {
        if (m_connectionState != ConnectionCheck::kInvalidSettings)
            setMcStatus(ConnectionCheck::kInvalidSettings);
        return;
    }
    if (m_connectionState == ConnectionCheck::kInvalidSettings)
        checkMcConnection();
}

QString Viewer::getVersion() const
{
    return QString::fromLatin1(ApplicationSetup::kVersion);
}

bool Viewer::isFeatureEnabled(const QString& feature) const
{
    Q_UNUSED(feature)
    return true;
}

bool Viewer::loadIndicatorEnabled() const
{
    return true;
}

void Viewer::bringToForeground()
{
    raise();
}

PrintHandler* Viewer::printHandler()
{
    return m_printHandler;
}

void Viewer::setMcStatus(const QString& reached)
{
    if (reached == ConnectionCheck::kCertificateChanged && m_connectionState == reached)
        return; // the check and a poll may both report the same refusal
    // Connected, but what polls fetch cannot be recorded: say so until a write succeeds.
    const QString status =
        reached == ConnectionCheck::kConnected && m_settings && !m_settings->saveProblem().isEmpty()
            ? kSettingsUnsaved
            : reached;
    qDebug() << "MC Connection:" << status;
    const bool regained = m_outage && isPollingState(status);
    m_poller->setEnabled(isPollingState(status));
    if (status != kConsoleBehind)
        m_consoleBehindId = -1;
    m_connectionState = status;
    emit connectionStateChanged();
    if (!m_statusBarTimer.isActive() && m_statusBarMessage != idleMessage()) {
        m_statusBarMessage = idleMessage();
        emit statusBarMessageChanged();
    }
    if (regained) {
        // What arrived during the outage is fetched now, not a poll interval later.
        m_outage = false;
        m_poller->checkNow();
    }
    if (status == ConnectionCheck::kCertificateChanged) {
        setStatusBarMessage(QStringLiteral("MC Connection: ") + status);
        emit m_popupProvider->showErrorText(
            QStringLiteral("Certificate changed"),
            QStringLiteral("The Management Console presented a certificate other than the trusted one, so "
                           "nothing was sent to it. If the console really got a new certificate, trust it "
                           "in the settings."),
            PopupNoteProvider::MCCommFailed);
    }
    scheduleConnectionRetry(status);
}

void Viewer::scheduleConnectionRetry(const QString& status)
{
    if (status == ConnectionCheck::kConnected) {
        m_connectionRetryMs = kFirstRetryMs;
        m_connectionRetry.stop();
        return;
    }
    // A console that is down at start, or rejects the user, is asked again: without a window
    // nobody else would start another check.
    if (status != ConnectionCheck::kFailedToConnect && status != ConnectionCheck::kFailedToFetch)
        return;
    qDebug() << "Checking the console connection again in" << m_connectionRetryMs / 1000 << "s";
    m_connectionRetry.start(m_connectionRetryMs);
    m_connectionRetryMs = std::min(2 * m_connectionRetryMs, kLongestRetryMs);
}

void Viewer::onConsoleBehind(qint64 consoleNewest, qint64 watermark)
{
    if (consoleNewest < 0) {
        if (m_connectionState == kConsoleBehind)
            setMcStatus(ConnectionCheck::kConnected);
        return;
    }
    showIdsWentBack(
        consoleNewest,
        QStringLiteral("The console's newest report is number %1, below the last report fetched "
                       "(%2): the console was probably restored or reinstalled. Its reports are "
                       "not printed until the report counter is moved down in the settings panel.")
            .arg(consoleNewest)
            .arg(watermark));
}

void Viewer::onIdsReset(qint64 continueFrom, qint64 watermark)
{
    if (continueFrom < 0) {
        if (m_connectionState == kConsoleBehind)
            setMcStatus(ConnectionCheck::kConnected);
        return;
    }
    showIdsWentBack(continueFrom,
                    QStringLiteral("The console's report number %1 is another report than the one printed as "
                                   "number %1: the console numbers its reports from the start again "
                                   "(restored or reinstalled). Nothing is printed until you choose "
                                   "\"Continue from report %2\" in the settings panel, which prints the "
                                   "console's reports after number %2.")
                        .arg(watermark)
                        .arg(continueFrom));
}

void Viewer::showIdsWentBack(qint64 continueFrom, const QString& note)
{
    if (m_connectionState != ConnectionCheck::kConnected && m_connectionState != kConsoleBehind &&
        m_connectionState != kSettingsUnsaved)
        return;
    const bool first = m_connectionState != kConsoleBehind;
    setMcStatus(kConsoleBehind);
    m_consoleBehindId = continueFrom;
    emit connectionStateChanged();
    if (first)
        emit m_popupProvider->showErrorText(QStringLiteral("Report ids went back"), note,
                                            PopupNoteProvider::MCCommFailed);
}

void Viewer::onSaveProblem(const QString& problem)
{
    if (problem.isEmpty()) {
        if (m_connectionState == kSettingsUnsaved)
            setMcStatus(ConnectionCheck::kConnected);
        return;
    }
    emit m_popupProvider->showErrorText(
        kSettingsUnsaved,
        QStringLiteral(
            "%1. No report is lost: what the polls fetch meanwhile is fetched again and printed once "
            "the settings can be written.")
            .arg(problem),
        PopupNoteProvider::ErrorMessage);
    if (m_connectionState == ConnectionCheck::kConnected)
        setMcStatus(kSettingsUnsaved);
}

bool Viewer::moveWatermarkToConsole()
{
    if (m_consoleBehindId < 0 || !m_settings)
        return false;
    const qint64 target = m_consoleBehindId;
    if (!Watermark(m_settings).set(target))
        return false;
    qDebug() << "Report id watermark moved down to" << target << "after the console's ids went back";
    setMcStatus(ConnectionCheck::kConnected);
    return true;
}

void Viewer::reportSettingsRepair()
{
    const QString note = m_settings ? m_settings->repairNote() : QString();
    if (note.isEmpty())
        return;
    qWarning() << "Settings:" << note;
    emit m_popupProvider->showErrorText(QStringLiteral("Settings file repaired"), note,
                                        PopupNoteProvider::ErrorMessage);
}

void Viewer::doMCCheck()
{
    ConnectionCheck::run(m_settings, [this](const QString& state) {
        QMetaObject::invokeMethod(this, "setMcStatus", Qt::QueuedConnection, Q_ARG(QString, state));
    });
    m_checkerThread->quit();
}
