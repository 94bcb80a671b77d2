#include "app/viewer.h"

#include "app/applicationsetup.h"
#include "app/imageprovider.h"
#include "app/imageproviderproxy.h"
#include "app/keyboard.h"
#include "app/mousecontrol.h"
#include "app/popupnoteprovider.h"
#include "app/translator.h"
#include "mc/certificatetrust.h"
#include "mc/connectioncheck.h"
#include "mc/mcreportfieldreader.h"
#include "mc/xmlpoller.h"
#include "printing/layoutmanager.h"
#include "printing/printhandler.h"
#include "printing/reportlistmodel.h"
#include "settings/settingsmanager.h"
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

#include <atomic>

namespace {
std::atomic<Viewer*> g_viewer{nullptr};

// "width=1500" or "height=900": the text between the first and a second "=" as a decimal number.
bool sizeArgument(const QString& argument, const QString& prefix, int* value)
{
    if (!argument.startsWith(prefix) || !argument.contains(QLatin1Char('=')))
        return false;
    const QString number = argument.section(QLatin1Char('='), 1, 1);
    bool ok = false;
    const int parsed = number.toInt(&ok, 10);
    if (ok)
        *value = parsed;
    return ok;
}
} // namespace

Viewer::Viewer(QGuiApplication* application, QQmlEngine* engine, QWindow* parent)
    : QQuickView(engine, parent), m_connectionState(ConnectionCheck::kConnecting),
      m_statusBarMessage(QStringLiteral("Ready"))
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
    publishContextProperties(rootContext());

    const QStringList arguments = application ? application->arguments() : QStringList();
    if (!arguments.contains(QStringLiteral("--fullscreen")))
        applySizeArguments(arguments);

    m_imageProvider = QSharedPointer<ImageProvider>::create();
    engine->addImageProvider(QStringLiteral("layouts"), new ImageProviderProxy(m_imageProvider));

    connect(engine, &QQmlEngine::quit, this, &QWindow::close);
    setResizeMode(QQuickView::SizeRootObjectToView);

    connect(m_poller, &XMLPoller::ReportsFetched, m_printHandler, &PrintHandler::printReports);
    connect(m_poller, &XMLPoller::statusBarMessage, this, &Viewer::setStatusBarMessage);

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
    context->setContextProperty(QStringLiteral("mcCertificate"), CertificateTrust::instance());
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
    for (const QString& argument : arguments) {
        int value = 0;
        if (sizeArgument(argument, QStringLiteral("width"), &value))
            setWidth(value);
        else if (sizeArgument(argument, QStringLiteral("height"), &value))
            setHeight(value);
    }
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
    m_statusBarMessage = QStringLiteral("Ready");
    emit statusBarMessageChanged();
}

bool Viewer::waitForWorkers(unsigned long milliseconds)
{
    m_poller->setEnabled(false);
    QElapsedTimer timer;
    timer.start();
    if (!m_checkerThread->wait(milliseconds))
        return false;
    const qint64 left = qint64(milliseconds) - timer.elapsed();
    return m_poller->waitForPoll(left > 0 ? (unsigned long)left : 1);
}

void Viewer::checkMcConnection()
{
    setMcStatus(ConnectionCheck::kConnecting);
    // A running check may already have delivered its last state; a new one always follows it.
    if (m_checkerThread->isRunning())
        m_recheckPending = true;
    else
        m_checkerThread->start(QThread::InheritPriority);
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

void Viewer::setMcStatus(const QString& status)
{
    if (status == ConnectionCheck::kCertificateChanged && m_connectionState == status)
        return; // the check and a poll may both report the same refusal
    qDebug() << "MC Connection:" << status;
    m_poller->setEnabled(status == ConnectionCheck::kConnected);
    m_connectionState = status;
    emit connectionStateChanged();
    if (status == ConnectionCheck::kCertificateChanged) {
        setStatusBarMessage(QStringLiteral("MC Connection: ") + status);
        emit m_popupProvider->showErrorText(
            QStringLiteral("Certificate changed"),
            QStringLiteral("The Management Console presented a certificate other than the trusted one, so "
                           "nothing was sent to it. If the console really got a new certificate, trust it "
                           "in the settings."),
            PopupNoteProvider::MCCommFailed);
    }
}

void Viewer::doMCCheck()
{
    ConnectionCheck::run(m_settings, [this](const QString& state) {
        QMetaObject::invokeMethod(this, "setMcStatus", Qt::QueuedConnection, Q_ARG(QString, state));
    });
    m_checkerThread->quit();
}
