import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Qt.labs.platform 1.1 as Platform

// The console connection, report log and label printer settings. The connection fields write their
// keys to the global settings file as they change; the report id is stored when its editing ends,
// after a question when it skips or repeats reports; a label printer is stored with its own Save.
// No poll starts while the panel is open.
Popup {
    id: panel
    objectName: "settingsPanel"

    // A file URL as a local path ("file:///C:/x" on Windows, "file:///home/x" elsewhere).
    function localPath(url) {
        var text = decodeURIComponent(url.toString())
        if (text.indexOf("file:///") !== 0)
            return text
        text = text.substring("file:///".length)
        return Qt.platform.os === "windows" ? text : "/" + text
    }

    // Goes up with every write, so what is derived from the stored fields is read again.
    property int revision: 0
    readonly property var missingFields: { revision; return connectionForm.missingFields() }

    function writeValue(key, value) {
        settingsManager.setValue(key, value, true)
        settingsManager.flush()
        ++revision
        if (key.indexOf("MC/") === 0)
            connectionForm.fieldsEdited()
    }

    // Stores the edited report id, asking first when it skips or repeats reports; false while the
    // question is open.
    function commitReportId() {
        if (reportIdDialog.visible)
            return false
        var text = reportIdField.text
        // Not edited: whatever the program stored meanwhile stays, nothing is asked.
        if (text.length === 0 || text === shownReportId || String(connectionForm.reportId()) === text) {
            showStoredReportId()
            return true
        }
        var question = connectionForm.reportIdQuestion(text)
        if (question.length > 0) {
            reportIdDialog.ask(text, question)
            return false
        }
        connectionForm.commitReportId(text)
        return true
    }

    function showStoredReportId() {
        var lastId = connectionForm.reportId()
        shownReportId = lastId >= 0 ? String(lastId) : ""
        reportIdField.text = shownReportId
    }
    // The stored id the field showed last; the field holds an edit when its text differs.
    property string shownReportId: ""

    Connections {
        target: connectionForm
        // The program moved the watermark ("Continue from report N", a poll): the field follows
        // unless the user is typing another id.
        function onReportIdChanged() {
            if (reportIdField.text === panel.shownReportId && !reportIdDialog.visible)
                panel.showStoredReportId()
        }
    }

    function finish() {
        if (commitReportId())
            close()
        else
            closeAfterQuestion = true
    }
    property bool closeAfterQuestion: false

    function load() {
        addressField.text = settingsManager.getValue("MC/address", "", true)
        portField.text = settingsManager.getValue("MC/port", "", true)
        usernameField.text = settingsManager.getValue("MC/username", "", true)
        passwordField.text = settingsManager.getValue("MC/password", "", true)
        onlyReportedBox.checked = settingsManager.getBooleanValue("MC/onlyreported", true, true)
        showStoredReportId()
        ++revision
        customFieldKeyField.text = reportList.selectedCustomContentKey
        zplSection.reload()
    }

    function setLogPath(path) {
        reportList.reportLogPath = path
        writeValue("ReportView/reportLogPath", path)
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(860, parent ? parent.width - 48 : 860)
    height: Math.min(implicitHeight, parent ? parent.height - 48 : implicitHeight)
    modal: true
    focus: true
    padding: 0
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    onAboutToShow: load()
    onOpened: {
        xmlpoller.setHeld(true)
        addressField.forceActiveFocus()
    }
    onClosed: {
        // Closed by Escape or a press outside: the edited id still gets its answer first.
        if (commitReportId())
            xmlpoller.setHeld(false)
    }

    StationTheme { id: theme }

    Overlay.modal: Rectangle { color: "#801d2b3a" }

    background: Rectangle {
        radius: theme.radius
        color: theme.card
        border.color: theme.cardBorder
    }

    contentItem: ColumnLayout {
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 56
            color: theme.header
            radius: theme.radius
            Rectangle { // square off the lower corners of the title strip
                anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
                height: theme.radius
                color: theme.header
            }
            Label {
                anchors.verticalCenter: parent.verticalCenter
                anchors.left: parent.left
                anchors.leftMargin: 20
                text: qsTr("Settings")
                font.pixelSize: theme.titleFontSize + 2
                font.bold: true
                color: theme.headerText
            }
        }

        ScrollView {
            id: scroller
            objectName: "settingsScroller"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.preferredHeight: form.implicitHeight + 40
            contentWidth: availableWidth
            clip: true
            // Shown while the form is taller than the panel, so the sections below the fold are found.
            ScrollBar.vertical.policy: contentHeight > availableHeight ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

            GridLayout {
                id: form
                x: 24
                y: 20
                width: scroller.availableWidth - 48
                columns: 2
                columnSpacing: 20
                rowSpacing: 12

                component FieldLabel: Label {
                    // Level with the first line of its field, also when help text follows the field.
                    Layout.alignment: Qt.AlignTop | Qt.AlignLeft
                    topPadding: 10
                    Layout.preferredWidth: 300
                    Layout.maximumWidth: 300
                    wrapMode: Text.Wrap
                    font.pixelSize: 15
                    color: "#1d2733"
                }

                FieldLabel { text: qsTr("HostName/IP:") }
                TextField {
                    id: addressField
                    objectName: "addressField"
                    Layout.fillWidth: true
                    font.pixelSize: theme.fontSize
                    placeholderText: "https://mc.example.com"
                    selectByMouse: true
                    onTextEdited: panel.writeValue("MC/address", text.trim())
                }

                FieldLabel { text: qsTr("Port:") }
                TextField {
                    id: portField
                    objectName: "portField"
                    Layout.preferredWidth: 140
                    font.pixelSize: theme.fontSize
                    selectByMouse: true
                    validator: RegularExpressionValidator { regularExpression: /[0-9]{0,5}/ }
                    onTextEdited: panel.writeValue("MC/port", text)
                }

                FieldLabel { text: qsTr("Username:") }
                TextField {
                    id: usernameField
                    objectName: "usernameField"
                    Layout.fillWidth: true
                    font.pixelSize: theme.fontSize
                    selectByMouse: true
                    onTextEdited: panel.writeValue("MC/username", text)
                }

                FieldLabel { text: qsTr("Password:") }
                TextField {
                    id: passwordField
                    objectName: "passwordField"
                    Layout.fillWidth: true
                    font.pixelSize: theme.fontSize
                    echoMode: TextInput.Password
                    passwordCharacter: "\u2022"
                    inputMethodHints: Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
                    onTextEdited: panel.writeValue("MC/password", text)
                }

                component HelpText: Label {
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    font.pixelSize: theme.smallFontSize
                    color: theme.mutedText
                }

                FieldLabel { text: qsTr("Handle only already exported reports:") }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    CheckBox {
                        id: onlyReportedBox
                        objectName: "onlyReportedBox"
                        Layout.alignment: Qt.AlignLeft
                        Accessible.name: qsTr("Handle only already exported reports:")
                        onToggled: panel.writeValue("MC/onlyreported", checked)
                    }
                    HelpText {
                        objectName: "onlyReportedHelp"
                        text: qsTr("Ticked, a report is printed only once the console has exported it (for example "
                                   + "to a customer's system); unticked, every report prints as soon as it arrives.")
                    }
                }

                FieldLabel { text: qsTr("Current report.id") }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    TextField {
                        id: reportIdField
                        objectName: "reportIdField"
                        Layout.preferredWidth: 200
                        font.pixelSize: theme.fontSize
                        selectByMouse: true
                        // Digits only; stored when editing ends (Enter, leaving the field, Close), so a
                        // poll never sees a half-typed id.
                        validator: RegularExpressionValidator { regularExpression: /[0-9]{0,18}/ }
                        inputMethodHints: Qt.ImhDigitsOnly
                        onEditingFinished: panel.commitReportId()
                    }
                    HelpText {
                        objectName: "reportIdHelp"
                        text: qsTr("The newest report already handled: the jobs print reports above it. "
                                   + "Example: 1500 prints report 1501 and later; a lower number prints reports again.")
                    }
                }

                FieldLabel { text: qsTr("Report list's Custom Field key:") }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    TextField {
                        id: customFieldKeyField
                        objectName: "customFieldKeyField"
                        Layout.fillWidth: true
                        font.pixelSize: theme.fontSize
                        selectByMouse: true
                        onTextEdited: {
                            reportList.selectedCustomContentKey = text
                            panel.writeValue("ReportView/customFieldKey", text)
                        }
                    }
                    HelpText {
                        objectName: "customFieldKeyHelp"
                        text: qsTr("The report value shown in the Report Log's last column, as a path in the report. "
                                   + "Example: /root/report/user_data/fields/info1")
                    }
                }

                FieldLabel { text: qsTr("Console certificate (SHA-256 of its key):") }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 6
                    Label {
                        objectName: "trustedFingerprint"
                        Layout.fillWidth: true
                        text: mcCertificate.trustedFingerprint !== ""
                              ? mcCertificate.trustedFingerprint
                              : qsTr("None yet: remembered at the first HTTPS connection")
                        font.pixelSize: theme.smallFontSize
                        font.family: mcCertificate.trustedFingerprint !== "" ? "monospace"
                                                                           : Qt.application.font.family
                        color: theme.mutedText
                        wrapMode: Text.WrapAnywhere
                    }
                    Label {
                        objectName: "offeredFingerprint"
                        Layout.fillWidth: true
                        visible: mcCertificate.offeredFingerprint !== ""
                        text: qsTr("The console now presents another certificate:") + "\n"
                              + mcCertificate.offeredFingerprint
                        font.pixelSize: theme.smallFontSize
                        font.family: "monospace"
                        color: theme.failed
                        wrapMode: Text.WrapAnywhere
                    }
                    Button {
                        objectName: "trustCertificateButton"
                        visible: mcCertificate.offeredFingerprint !== ""
                        text: qsTr("Trust the new certificate")
                        font.pixelSize: theme.fontSize
                        onClicked: mcCertificate.trustOffered()
                    }
                }

                FieldLabel { text: qsTr("Select path where to store the Printed Reports log:") }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 4
                    Button {
                        objectName: "browseButton"
                        text: qsTr("Browse...")
                        font.pixelSize: theme.fontSize
                        onClicked: logFileDialog.open()
                    }
                    Label {
                        objectName: "logPathLabel"
                        Layout.fillWidth: true
                        text: qsTr("Report Log File: ") + reportList.reportLogPath
                        font.pixelSize: theme.smallFontSize
                        color: theme.mutedText
                        wrapMode: Text.WrapAnywhere
                    }
                }

                ZplPrintersSection {
                    id: zplSection
                    Layout.columnSpan: 2
                    Layout.fillWidth: true
                }

                // The scrolled height is the form's own, which leaves out its 20 px offset: room for
                // that and a bottom margin, so the last row scrolls fully into view.
                Item {
                    Layout.columnSpan: 2
                    Layout.preferredHeight: 40 - form.rowSpacing
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: theme.cardBorder
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 16
            spacing: 12

            Button {
                objectName: "checkConnectionButton"
                text: qsTr("Check connection")
                font.pixelSize: theme.fontSize
                onClicked: mcconnector.checkMcConnection()
            }
            Rectangle {
                Layout.preferredWidth: 12
                Layout.preferredHeight: 12
                radius: 6
                color: theme.stateColor(mcconnector.connectionState)
            }
            Label {
                objectName: "panelConnectionState"
                Layout.fillWidth: true
                readonly property string detail: {
                    var state = mcconnector.connectionState
                    if (state === "Invalid settings" && panel.missingFields.length > 0)
                        return qsTr("missing %1").arg(panel.missingFields.join(", "))
                    return state === "Failed to connect" ? connectionForm.failureDetail() : ""
                }
                text: detail.length > 0 ? mcconnector.connectionState + ": " + detail : mcconnector.connectionState
                elide: Text.ElideRight
                font.pixelSize: theme.fontSize
                color: theme.stateColor(mcconnector.connectionState)
            }
            Button {
                // The console's ids went back below the last report fetched: the user decides.
                objectName: "moveWatermarkButton"
                visible: mcconnector.consoleBehindId >= 0
                text: qsTr("Continue from report %1").arg(mcconnector.consoleBehindId)
                font.pixelSize: theme.fontSize
                onClicked: mcconnector.moveWatermarkToConsole()
            }
            Button {
                objectName: "closeButton"
                text: qsTr("Close")
                font.pixelSize: theme.fontSize
                highlighted: true
                // Pressing it leaves the focus where it is: the edited id is asked about once, then the panel closes.
                focusPolicy: Qt.NoFocus
                onClicked: panel.finish()
            }
        }
    }

    Dialog {
        id: reportIdDialog
        objectName: "reportIdDialog"
        property string entered

        function ask(value, question) {
            entered = value
            questionText.text = question
            open()
        }

        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(560, parent ? parent.width - 48 : 560)
        modal: true
        closePolicy: Popup.NoAutoClose
        title: qsTr("Change the report id?")
        font.pixelSize: theme.fontSize

        Label {
            id: questionText
            objectName: "reportIdQuestion"
            width: reportIdDialog.availableWidth
            font.pixelSize: theme.fontSize
            wrapMode: Text.Wrap
        }

        footer: DialogButtonBox {
            Button {
                objectName: "storeReportIdButton"
                text: qsTr("Store it")
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            }
            Button {
                objectName: "keepReportIdButton"
                text: qsTr("Keep the stored id")
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
        onAccepted: connectionForm.commitReportId(entered)
        onClosed: {
            panel.showStoredReportId()
            if (panel.closeAfterQuestion) {
                panel.closeAfterQuestion = false
                panel.close()
            } else if (!panel.visible) {
                xmlpoller.setHeld(false)
            }
        }
    }

    Platform.FileDialog {
        id: logFileDialog
        title: "Save File As"
        fileMode: Platform.FileDialog.SaveFile
        modality: Qt.WindowModal
        nameFilters: ["Printed Reports Logs (*.csv)", "All files (*)"]
        onAccepted: panel.setLogPath(panel.localPath(file))
    }
}
