import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// Chooses the report a layout is previewed with (a printed one or one of the console's newest, or
// example values), steps to the previous or next one, and lists the objects that do not come out
// whole for it. The decisions are the window's previewReport object's.
ColumnLayout {
    id: chooser

    // The layout to check, as a JSON object; checked again when it or the report changes.
    property var layout: null
    property bool showProblems: true
    readonly property var preview: typeof previewReport !== "undefined" ? previewReport : null
    readonly property alias reportChoice: choice

    function check() {
        if (preview && layout)
            preview.check(layout)
    }

    spacing: 2
    onLayoutChanged: check()
    Component.onCompleted: {
        if (preview && preview.reports.count === 0)
            preview.reports.refresh()
        check()
    }

    RowLayout {
        spacing: 2
        Label { text: qsTr("Preview with:") }
        ToolButton {
            objectName: "previousReport"
            text: "\u25c0"
            enabled: chooser.preview !== null && chooser.preview.index > 0
            ToolTip.visible: hovered
            ToolTip.text: qsTr("The report after this one (newer)")
            onClicked: chooser.preview.previous()
        }
        ComboBox {
            id: choice
            objectName: "reportChoice"
            Layout.preferredWidth: 340
            model: chooser.preview ? chooser.preview.reports : null
            textRole: "label"
            currentIndex: chooser.preview ? chooser.preview.index : -1
            displayText: chooser.preview ? chooser.preview.title : qsTr("Example values")
            onActivated: chooser.preview.choose(index)
        }
        ToolButton {
            objectName: "nextReport"
            text: "\u25b6"
            enabled: chooser.preview !== null && chooser.preview.index + 1 < chooser.preview.reports.count
            ToolTip.visible: hovered
            ToolTip.text: qsTr("The report before this one (older)")
            onClicked: chooser.preview.next()
        }
        ToolButton {
            objectName: "exampleValues"
            text: qsTr("Examples")
            enabled: chooser.preview !== null && chooser.preview.device !== null
            ToolTip.visible: hovered
            ToolTip.text: qsTr("Preview with example values instead of a report")
            onClicked: chooser.preview.choose(-1)
        }
        ToolButton {
            text: "\u21bb"
            enabled: chooser.preview !== null
            ToolTip.visible: hovered
            ToolTip.text: qsTr("Read the printed reports and ask the console again")
            onClicked: chooser.preview.reports.refresh()
        }
    }
    Label {
        visible: text.length > 0
        text: chooser.preview ? chooser.preview.reports.consoleState : ""
        color: "#7b8794"
        font.pixelSize: 11
    }
    Repeater {
        objectName: "reportProblems"
        model: chooser.showProblems && chooser.preview ? chooser.preview.problems : []
        Label {
            text: modelData.text
            color: "#b42318"
            font.pixelSize: 12
        }
    }
}
