import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// One popup note: the error icon, an optional title, the note's text and its buttons. A note with a
// confirm text offers confirm and reject; any other note just closes.
Rectangle {
    id: panel
    objectName: "generalPopupNote"

    property int noteType: -1
    property string title
    property string text
    property string info
    property string confirmText
    property string rejectText

    signal accepted()
    signal rejected()

    StationTheme { id: theme }

    // A soft shadow lifts the note off the view below it.
    Rectangle {
        z: -1
        anchors.fill: parent
        anchors.topMargin: 3
        anchors.leftMargin: 2
        anchors.rightMargin: -2
        anchors.bottomMargin: -4
        radius: parent.radius
        color: "#401d2b3a"
    }

    implicitWidth: 560
    implicitHeight: content.implicitHeight + 32
    radius: theme.radius
    color: theme.card
    border.color: theme.failed
    border.width: 2

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 16
        spacing: 16

        Image {
            Layout.alignment: Qt.AlignTop
            Layout.preferredWidth: 40
            Layout.preferredHeight: 40
            source: "pics/icon_error.png"
            sourceSize: Qt.size(80, 80)
            smooth: true
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 6

            Label {
                objectName: "noteTitle"
                Layout.fillWidth: true
                visible: panel.title.length > 0
                text: panel.title
                font.pixelSize: theme.fontSize + 1
                font.bold: true
                color: theme.text
                wrapMode: Text.Wrap
            }
            Label {
                objectName: "noteText"
                Layout.fillWidth: true
                text: panel.text
                font.pixelSize: theme.fontSize
                color: theme.text
                wrapMode: Text.Wrap
            }
            Label {
                objectName: "noteInfo"
                Layout.fillWidth: true
                visible: panel.info.length > 0
                text: panel.info
                font.pixelSize: theme.smallFontSize
                color: theme.mutedText
                wrapMode: Text.Wrap
            }
            RowLayout {
                Layout.alignment: Qt.AlignRight
                spacing: 8
                Button {
                    objectName: "noteReject"
                    visible: panel.rejectText.length > 0
                    text: panel.rejectText
                    font.pixelSize: theme.fontSize
                    onClicked: panel.rejected()
                }
                Button {
                    objectName: "noteAccept"
                    text: panel.confirmText.length > 0 ? panel.confirmText : qsTr("OK")
                    font.pixelSize: theme.fontSize
                    highlighted: true
                    onClicked: panel.accepted()
                }
            }
        }
    }
}
