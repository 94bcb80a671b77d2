import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import PopupNoteTypes 1.0

// The station's window frame: header with the views' tabs and the settings button, the three
// views, the status bar, the settings panel and the popup notes raised by the native side.
Rectangle {
    id: root
    objectName: "standaloneFrame"

    // Name of the view on show: "jobs", "layouts" or "reports".
    property string currentView: "jobs"
    readonly property var viewNames: ["jobs", "layouts", "reports"]
    // The layout editor is the heaviest view and not needed to print: loaded on its first visit.
    property bool layoutsVisited: false
    readonly property alias notes: noteModel
    readonly property alias settingsPanel: settingsPanel

    function showView(name) {
        if (viewNames.indexOf(name) < 0)
            return
        currentView = name
        settingsManager.setValue("lastView", name)
    }

    function openSettings() {
        settingsPanel.open()
    }

    // The help of what is in front: the settings panel while it is open, else the view shown.
    function openHelp() {
        helpPage.show(settingsPanel.visible ? "settings" : currentView)
    }

    // The fixed texts of the note types that concern the console, printing and the report log.
    function noteText(type) {
        switch (type) {
        case PopupNoteTypes.MCCommFailed: return "Cannot connect to Management Console"
        case PopupNoteTypes.PrinterNotConfigured: return "Printer not configured "
        case PopupNoteTypes.PrinterNotWorking: return "Configure printer is not working"
        case PopupNoteTypes.PrinterConfigInvalid: return "Printer does not support give configuration"
        case PopupNoteTypes.PrinterRemoved: return "Configured printer is no more connected"
        case PopupNoteTypes.PrinterWrongPapersize: return "Printer can not print with specified papersize."
        case PopupNoteTypes.PrintErrorDeviceOrReportNotFound: return "Device or report couldn't be found."
        case PopupNoteTypes.PrintedReportsWritingToLogFailed: return "Cannot write to Printed Reports Log file."
        case PopupNoteTypes.ErrorNoUSBMediaDetected: return qsTr("No USB drive found. Plug in the drive with the images, or pick a file elsewhere.")
        }
        return ""
    }

    // A note already on screen is not stacked again (a failing log file raises one per print).
    function addNote(type, title, text, info, confirm, reject) {
        if (text.length === 0 && info.length === 0)
            text = qsTr("Error %1").arg(type)
        for (var i = 0; i < noteModel.count; ++i) {
            var n = noteModel.get(i)
            if (n.noteType === type && n.title === title && n.text === text && n.info === info)
                return
        }
        noteModel.append({ noteType: type, title: title, text: text, info: info,
                           confirmText: confirm, rejectText: reject, key: "" })
    }

    // A note that stands for one cause (many labels failing for one reason) changes in place.
    function setGroupedNote(key, type, title, text) {
        for (var i = 0; i < noteModel.count; ++i) {
            if (noteModel.get(i).key === key) {
                noteModel.setProperty(i, "title", title)
                noteModel.setProperty(i, "text", text)
                return
            }
        }
        noteModel.append({ noteType: type, title: title, text: text, info: "",
                           confirmText: "", rejectText: "", key: key })
    }

    function updateGroupedNote(key, text) {
        for (var i = 0; i < noteModel.count; ++i) {
            if (noteModel.get(i).key === key)
                noteModel.setProperty(i, "text", text)
        }
    }

    function dismissGroupedNote(key) {
        for (var i = noteModel.count - 1; i >= 0; --i) {
            if (noteModel.get(i).key === key)
                noteModel.remove(i)
        }
    }

    function dismissNotes(type) {
        for (var i = noteModel.count - 1; i >= 0; --i) {
            if (noteModel.get(i).noteType === type)
                noteModel.remove(i)
        }
    }

    onCurrentViewChanged: if (currentView === "layouts") layoutsVisited = true

    width: 1200
    height: 800
    color: theme.background

    StationTheme { id: theme }
    ListModel { id: noteModel }

    // Connected before ready() is called below, so held notes reach these handlers.
    Connections {
        target: popupProvider
        function onShowPopup(type) { root.addNote(type, "", root.noteText(type), "", "", "") }
        function onShowPopupWithInfo(type, extrainfo) {
            root.addNote(type, "", root.noteText(type), extrainfo, "", "")
        }
        function onShowErrorText(title, text, type) {
            root.addNote(type, title, text.length > 0 ? text : root.noteText(type), "", "", "")
        }
        function onShowErrorConfirm(title, text, confirm, reject, object, okSlot, cancelSlot, type) {
            root.addNote(type, title, text.length > 0 ? text : root.noteText(type), "", confirm, reject)
        }
        function onDismissPopup(type) { root.dismissNotes(type) }
        function onShowGroupedNote(key, title, text, type) { root.setGroupedNote(key, type, title, text) }
        function onDismissGroupedNote(key) { root.dismissGroupedNote(key) }
        function onUpdateGroupedNote(key, text) { root.updateGroupedNote(key, text) }
    }

    Shortcut { sequence: "Ctrl+1"; onActivated: root.showView("jobs") }
    Shortcut { sequence: "Ctrl+2"; onActivated: root.showView("layouts") }
    Shortcut { sequence: "Ctrl+3"; onActivated: root.showView("reports") }
    Shortcut { sequence: "Ctrl+,"; onActivated: root.openSettings() }
    Shortcut { sequence: "F1"; context: Qt.ApplicationShortcut; onActivated: root.openHelp() }

    Rectangle {
        id: header
        anchors { left: parent.left; right: parent.right; top: parent.top }
        height: 64
        color: theme.header

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 16
            anchors.rightMargin: 12
            spacing: 24

            Image {
                objectName: "headerLogo"
                Layout.preferredWidth: 40
                Layout.preferredHeight: 40
                source: "pics/header-logo-small.png"
                sourceSize: Qt.size(80, 80)
                smooth: true
            }

            TabBar {
                id: tabs
                objectName: "viewTabs"
                Layout.fillHeight: true
                currentIndex: root.viewNames.indexOf(root.currentView)
                background: Item {}

                Repeater {
                    model: [qsTr("Print Jobs"), qsTr("Layouts"), qsTr("Report Log")]
                    TabButton {
                        id: tab
                        objectName: "tab_" + root.viewNames[index]
                        width: implicitWidth
                        implicitHeight: header.height
                        text: modelData
                        font.pixelSize: theme.fontSize + 1
                        leftPadding: 18
                        rightPadding: 18
                        onClicked: root.showView(root.viewNames[index])
                        contentItem: Label {
                            text: tab.text
                            font: tab.font
                            color: tab.checked ? theme.headerText : theme.headerMuted
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                        }
                        background: Rectangle {
                            color: tab.visualFocus ? "#2c3e50" : (tab.hovered ? "#243547" : "transparent")
                            Rectangle {
                                anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
                                height: 4
                                color: theme.accent
                                visible: tab.checked
                            }
                        }
                    }
                }
            }

            Item { Layout.fillWidth: true }

            ToolButton {
                id: helpButton
                objectName: "helpButton"
                Layout.preferredWidth: 48
                Layout.preferredHeight: 48
                Accessible.name: qsTr("Help")
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Help (F1)")
                onClicked: root.openHelp()
                contentItem: Label {
                    text: "?"
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    font.pixelSize: 26
                    font.bold: true
                    color: theme.headerText
                }
                background: Rectangle {
                    radius: 24
                    border.color: theme.headerMuted
                    border.width: 2
                    color: helpButton.visualFocus || helpButton.hovered ? "#2c3e50" : "transparent"
                }
            }

            ToolButton {
                id: settingsButton
                objectName: "settingsButton"
                Layout.preferredWidth: 48
                Layout.preferredHeight: 48
                Accessible.name: qsTr("Settings")
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Settings")
                onClicked: root.openSettings()
                contentItem: Image {
                    source: "pics/icon-settings.png"
                    sourceSize: Qt.size(64, 64)
                    fillMode: Image.PreserveAspectFit
                    anchors.centerIn: parent
                    width: 30
                    height: 30
                    smooth: true
                }
                background: Rectangle {
                    radius: 24
                    color: settingsButton.visualFocus || settingsButton.hovered ? "#2c3e50" : "transparent"
                }
            }
        }
    }

    StackLayout {
        id: views
        anchors { left: parent.left; right: parent.right; top: header.bottom; bottom: statusBar.top }
        currentIndex: root.viewNames.indexOf(root.currentView)

        JobConfigs {
            objectName: "jobsView"
        }

        Item {
            objectName: "layoutsView"
            Loader {
                id: layoutsLoader
                anchors.fill: parent
                active: root.layoutsVisited
                source: "qrc:/ui/qml/StandaloneLayouts.qml"
            }
            Label {
                objectName: "layoutsUnavailable"
                anchors.centerIn: parent
                visible: layoutsLoader.status === Loader.Error
                text: qsTr("Layouts are not available")
                font.pixelSize: theme.titleFontSize
                color: theme.mutedText
            }
        }

        StandaloneReportLog {
            objectName: "reportsView"
        }
    }

    Rectangle {
        id: statusBar
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
        height: 34
        color: "#e1e6eb"
        border.color: theme.cardBorder

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 16
            anchors.rightMargin: 16
            spacing: 12

            Label {
                objectName: "statusBarText"
                Layout.fillWidth: true
                text: mcconnector.statusBarMessage
                elide: Text.ElideRight
                font.pixelSize: theme.fontSize - 1
                color: theme.text
            }
            Label {
                objectName: "statusBarSpool"
                visible: text.length > 0
                text: printerInterface.spoolState
                font.pixelSize: theme.fontSize - 1
                font.bold: true
                color: printerInterface.paused || printerInterface.failedLabels > 0 ? "#b45309" : theme.text
            }
            Rectangle {
                Layout.preferredWidth: 12
                Layout.preferredHeight: 12
                radius: 6
                color: theme.stateColor(mcconnector.connectionState)
            }
            Label {
                objectName: "statusBarConnection"
                text: mcconnector.connectionState
                font.pixelSize: theme.fontSize - 1
                color: theme.stateColor(mcconnector.connectionState)
            }
        }
    }

    // Notes stack in the lower right corner, newest last, clear of the connection line, and stay
    // until closed or dismissed. Over the Report Log they stand at the top, clear of the buttons
    // of the labels not printed yet.
    Column {
        id: noteStack
        objectName: "noteStack"
        y: root.currentView === "reports" ? header.height + 72 : statusBar.y - 16 - height
        anchors.right: parent.right
        anchors.rightMargin: 16
        width: Math.min(540, root.width - 32)
        spacing: 10
        z: 10

        Repeater {
            model: noteModel
            GeneralPopupNotePanel {
                width: parent.width
                noteType: model.noteType
                title: model.title
                text: model.text
                info: model.info
                confirmText: model.confirmText
                rejectText: model.rejectText
                onAccepted: noteModel.remove(index)
                onRejected: noteModel.remove(index)
            }
        }
    }

    SettingsPanel {
        id: settingsPanel
    }

    HelpPage {
        id: helpPage
    }

    Component.onCompleted: {
        var last = settingsManager.getValue("lastView", "jobs")
        currentView = viewNames.indexOf(last) >= 0 ? last : "jobs"
        popupProvider.ready()
    }
}
