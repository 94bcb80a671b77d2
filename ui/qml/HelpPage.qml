import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The short help page of a view: what it does, what its state texts mean and how its filters
// compare; the text is compiled in (helpTexts).
Popup {
    id: help
    objectName: "helpPage"

    property string view: "jobs"
    readonly property string pageText: helpTexts.page(view)

    function show(name) {
        view = name
        open()
    }

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(760, parent ? parent.width - 48 : 760)
    height: Math.min(content.implicitHeight + 120, parent ? parent.height - 48 : 700)
    modal: true
    focus: true
    padding: 0
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    StationTheme { id: theme }

    Overlay.modal: Rectangle { color: "#801d2b3a" }

    background: Rectangle {
        radius: theme.radius
        color: theme.card
        border.color: theme.cardBorder
    }

    contentItem: ColumnLayout {
        spacing: 0

        ScrollView {
            id: scroller
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true

            Label {
                id: content
                objectName: "helpText"
                x: 24
                width: scroller.availableWidth - 48
                topPadding: 16
                bottomPadding: 16
                text: help.pageText
                textFormat: Text.RichText
                wrapMode: Text.Wrap
                font.pixelSize: theme.fontSize
                color: theme.text
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: theme.cardBorder
        }

        Button {
            objectName: "closeHelpButton"
            Layout.alignment: Qt.AlignRight
            Layout.margins: 12
            text: qsTr("Close")
            font.pixelSize: theme.fontSize
            onClicked: help.close()
        }
    }
}
