#pragma once
// The main window: creates every service object, publishes them to QML, wires polling to printing,
// runs the console connection check on its own thread and owns the status-bar message.

#include <QDateTime>
#include <QQuickView>
#include <QSharedPointer>
#include <QStringList>
#include <QTimer>

class ImageProvider;
class JobListModel;
class QGuiApplication;
class LayoutManager;
class MCReportFieldReader;
class PopupNoteProvider;
class PreviewReport;
class PrintHandler;
class QQmlContext;
class QQmlEngine;
class QThread;
class SettingsManager;
class Translator;
class UserAppContainer;
class XMLPoller;

class Viewer : public QQuickView
{
    Q_OBJECT
    Q_PROPERTY(QString connectionState READ connectionState NOTIFY connectionStateChanged)
    Q_PROPERTY(QString statusBarMessage READ statusBarMessage WRITE setStatusBarMessage NOTIFY
                   statusBarMessageChanged)
    // The console's newest report id while it is below the watermark (ids went back), else -1.
    Q_PROPERTY(qint64 consoleBehindId READ consoleBehindId NOTIFY connectionStateChanged)
    Q_PROPERTY(bool isUsingWindows READ isUsingWindows CONSTANT)
    Q_PROPERTY(bool isStandaloneRunner READ isStandaloneRunner CONSTANT)
public:
    Viewer(QGuiApplication* application, QQmlEngine* engine, QWindow* parent = nullptr);
    ~Viewer() override;

    // The first window constructed in this process.
    static Viewer* instance();

    QString connectionState() const { return m_connectionState; }
    QString statusBarMessage() const { return m_statusBarMessage; }
    qint64 consoleBehindId() const { return m_consoleBehindId; }
    // When the console last answered a poll; invalid before the first.
    QDateTime lastPoll() const { return m_lastPoll; }
    // The state shown while the console's report ids are below the watermark; polling goes on.
    static const QString kConsoleBehind;
    // The state shown while a settings file cannot be written; polling goes on and tries again.
    static const QString kSettingsUnsaved;
    // Safe from any thread: calls from other threads are posted to the window's thread.
    void setStatusBarMessage(const QString& message);
    bool isUsingWindows() const { return true; }
    bool isStandaloneRunner() const { return true; }

    // Sets the context properties the QML uses (names and objects as the window's own) on a context;
    // tests use it to give a separate engine the same services.
    void publishContextProperties(QQmlContext* context);

    XMLPoller* poller() const { return m_poller; }
    LayoutManager* layoutManager() const { return m_layoutManager; }
    JobListModel* jobs() const { return m_jobs; }
    PreviewReport* previewReport() const { return m_previewReport; }
    // Stops polling and printing and waits for a running connection check and poll to end (used at
    // shutdown); false when one, or a call to the print system, still runs after `milliseconds`.
    bool waitForWorkers(unsigned long milliseconds);

    Q_INVOKABLE void checkMcConnection();
    // Moves the watermark down to the console's newest report id after the user confirmed it;
    // false when the console is not behind.
    Q_INVOKABLE bool moveWatermarkToConsole();
    Q_INVOKABLE QString getVersion() const;
    Q_INVOKABLE bool isFeatureEnabled(const QString& feature) const;
    Q_INVOKABLE bool loadIndicatorEnabled() const;

signals:
    void connectionStateChanged();
    void statusBarMessageChanged();

public slots:
    void bringToForeground();
    PrintHandler* printHandler();
    void setMcStatus(const QString& status);
    void onStatusBarMessageTimeout();
    void doMCCheck();

private slots:
    void onConsoleBehind(qint64 consoleNewest, qint64 watermark);
    void onIdsReset(qint64 continueFrom, qint64 watermark);
    void onSaveProblem(const QString& problem);
    // A poll got no answer: the state says so, a note says it once per outage, and the connection
    // is checked again after growing pauses until the console answers.
    void onConsoleUnreachable();
    // A retry after a failure: the state stays until the check has an answer.
    void retryConnection();
    // The console fields were edited: an incomplete form says so at once, a complete one is checked.
    void onConnectionFieldsEdited();

private:
    // A failed check is tried again after a growing pause while the state is not "Connected".
    void scheduleConnectionRetry(const QString& status);
    // The poller runs in these states.
    static bool isPollingState(const QString& status);
    // The status bar's text when no other message is shown.
    QString idleMessage() const;
    // Starts a connection check, or a second one after the running one.
    void startCheck();
    // Tells the user when the global settings file was damaged and repaired at start.
    void reportSettingsRepair();
    // Shows "Report ids went back" with the report the user may continue from, and the note once.
    void showIdsWentBack(qint64 continueFrom, const QString& note);

    void applySizeArguments(const QStringList& arguments);
    // Fetched reports go into the print spool before the watermark moves.
    void connectPollerToSpool();

    QString m_connectionState;
    SettingsManager* m_settings;
    Translator* m_translator = nullptr;
    PrintHandler* m_printHandler = nullptr;
    PopupNoteProvider* m_popupProvider;
    QSharedPointer<ImageProvider> m_imageProvider;
    XMLPoller* m_poller = nullptr;
    JobListModel* m_jobs = nullptr;
    QObject* m_connectionForm = nullptr;
    QThread* m_checkerThread = nullptr;
    bool m_recheckPending = false; // "Check connection" pressed while a check was running
    MCReportFieldReader* m_fieldReader = nullptr;
    UserAppContainer* m_userApps = nullptr;
    QTimer m_statusBarTimer;
    QString m_statusBarMessage;
    QTimer m_connectionRetry;
    int m_connectionRetryMs;
    // A poll lost the console and the note about it was shown; cleared once it answers again.
    bool m_outage = false;
    // Edits of the console fields are checked once typing pauses.
    QTimer m_fieldsEdited;
    qint64 m_consoleBehindId = -1;
    QDateTime m_lastPoll;
    LayoutManager* m_layoutManager = nullptr;
    PreviewReport* m_previewReport = nullptr;
    QObject* m_processTagValues = nullptr;
    QObject* m_processFlowStore = nullptr;
    QObject* m_mouseControl = nullptr;
    QObject* m_keyboard = nullptr;
    QObject* m_diagnostics = nullptr;
    QObject* m_deviceCustomFields = nullptr;
    QObject* m_customFields = nullptr;
};
