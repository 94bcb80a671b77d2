#pragma once
// The bridge through which native code asks the user interface to show a popup note; notes raised
// before the QML has attached its handlers are held and delivered once it calls ready().

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>

class PopupNoteProvider : public QObject
{
    Q_OBJECT
public:
    enum PopupNoteTypes
    {
        NoNote = -1,
        MCCommFailed = 1,
        ReportDeliveryFailed = 7,
        ReportSaveFailed = 8,
        ReportSaveNoUsbMedia = 9,
        ReportNoDevicesSelected = 10,
        IssueReportBusy = 11,
        IssueReportFailed = 12,
        IssueReportSaveFailed = 13,
        IssueReportInvalidFilename = 14,
        IssueReportEmptyProblemDescription = 15,
        IosVersionXmlError = 16,
        IosDownloadError = 17,
        IosVersionXmlMissing = 18,
        IosVersionXmlDiskFullError = 19,
        IosParseFilenameError = 20,
        IosUnableToDownloadError = 21,
        IosWrongVersionError = 22,
        IosInsertSimCard = 23,
        WatchdogTimeoutError = 24,
        LowBatteryWarning = 25,
        KnoxWarning = 26,
        PrinterNotConfigured = 27,
        PrinterNotWorking = 28,
        PrinterConfigInvalid = 29,
        PrinterRemoved = 30,
        PrinterWrongPapersize = 31,
        InvalidCustomId = 32,
        ErrorMessage = 33,
        CtrlErrorQuery = 34,
        UpdateAvailableConfirm = 35,
        UpdateComplete = 36,
        UpdateCopyFailed = 37,
        UpdateBootMenuFailed = 38,
        UpdateUnknownError = 39,
        UsbIdQuery = 40,
        UsbIdMoveQuery = 41,
        CannotStartTesting = 42,
        NoTestProfileForTesting = 43,
        NotActivatedWarning = 44,
        IncorrectDeviceModeWarning = 45,
        IncompatibleVersionWarning = 46,
        NoTestsEnabledForTesting = 47,
        KnoxError = 48,
        EULASaveNoUsbMedia = 49,
        EULASaveFailed = 50,
        EULASaveComplete = 51,
        IssueReportTooLargeForMC = 52,
        PrintErrorDeviceOrReportNotFound = 53,
        CacheFolderCantBeDeleted = 54,
        CacheFolderCantBeChanged = 55,
        ShowADBHelp = 56,
        IMEIDatabaseImportReady = 57,
        ErrorNoUSBMediaDetected = 58,
        ShowRebootHelp = 59,
        ExportFailed = 60,
        ImportFailed = 61,
        FromBrowserImeiNotFound = 62,
        FromBrowserAlreadyExecuting = 63,
        FromBrowserNoFlow = 64,
        FromBrowserBadState = 66,
        FailingUsbBusType = 67,
        ShowManualInstallHelp = 68,
        ModelCarrierDatabaseImportReady = 69,
        ShowManualHelperInstallHelp = 70,
        ShowManualOreoHelperInstallHelp = 71,
        ShowManualWipefroyoInstallHelp = 72,
        SelectFirmwarePackage = 73,
        ShowImportFirmwareDialog = 74,
        PrintedReportsWritingToLogFailed = 75
    };
    Q_ENUM(PopupNoteTypes)

    // The process-wide provider, created on first use; it lives on the application thread.
    static PopupNoteProvider* instance();
    // Makes the note types reachable from QML as "PopupNoteTypes" 1.0 (not instantiable).
    static void registerQmlType();
    // The note type a printing note is shown as (a PrintNotes::Kind).
    static PopupNoteTypes typeOf(int printNoteKind);

    // Called by the QML once its handlers are connected: delivers the held notes, newest first.
    Q_INVOKABLE void ready();

    bool isReady() const { return m_ready; }
    int pendingCount() const { return m_pending.size(); }

signals:
    void showPopup(PopupNoteProvider::PopupNoteTypes type);
    void showPopupWithInfo(PopupNoteProvider::PopupNoteTypes type, const QString& extrainfo);
    void showErrorText(const QString& title, const QString& text, PopupNoteProvider::PopupNoteTypes type);
    void showErrorConfirm(const QString& title, const QString& text, const QString& confirm,
                          const QString& reject, const QString& object, const QString& okSlot,
                          const QString& cancelSlot, PopupNoteProvider::PopupNoteTypes type);
    // Closes a note of that type; never held back.
    void dismissPopup(PopupNoteProvider::PopupNoteTypes type);
    // A note that stands for one cause: shown again under the same key, it changes in place.
    void showGroupedNote(const QString& key, const QString& title, const QString& text,
                         PopupNoteProvider::PopupNoteTypes type);
    // Closes the note of that cause (held: drops it before it is shown).
    void dismissGroupedNote(const QString& key);
    // Changes the text of the note of that cause if it is on show (held: its held text).
    void updateGroupedNote(const QString& key, const QString& text);

public slots:
    void onShowPopup(PopupNoteProvider::PopupNoteTypes type);
    void onShowPopupWithInfo(PopupNoteProvider::PopupNoteTypes type, const QString& extrainfo);
    void onShowErrorText(const QString& title, const QString& text, PopupNoteProvider::PopupNoteTypes type);
    void onShowErrorConfirm(const QString& title, const QString& text, const QString& confirm,
                            const QString& reject, const QString& object, const QString& okSlot,
                            const QString& cancelSlot, PopupNoteProvider::PopupNoteTypes type);
    void onShowGroupedNote(const QString& key, const QString& title, const QString& text,
                           PopupNoteProvider::PopupNoteTypes type);
    void onDismissGroupedNote(const QString& key);
    void onUpdateGroupedNote(const QString& key, const QString& text);

private:
    PopupNoteProvider();

    enum Kind
    {
        KindPopup = 0,
        KindErrorText = 1,
        KindErrorConfirm = 2,
        KindPopupWithInfo = 3,
        KindGrouped = 4
    };
    struct PendingRequest
    {
        int kind = KindPopup;
        QString first;
        QString second;
        PopupNoteTypes type = NoNote;
        QString confirm;
        QString reject;
        QString object;
        QString okSlot;
        QString cancelSlot;
        QString key; // grouped notes only
    };
    void hold(const PendingRequest& request);

    bool m_ready = false;
    QList<PendingRequest> m_pending;
    QList<QMetaObject::Connection> m_holdingConnections;
};
