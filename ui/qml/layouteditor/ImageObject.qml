import QtQuick 2.15

// Common base of the picture-like objects (barcodes and images): a hint while there is nothing to
// show yet, or when the printing draws nothing for the example value.
EditorObject {
    id: imageObject
    uw: 240
    uh: 120

    property bool empty: false
    property string emptyText: qsTr("Nothing chosen")

    Rectangle {
        anchors.fill: parent
        visible: imageObject.empty || !imageObject.printed.drawn
        color: "#f1f3f6"
        Text {
            anchors.centerIn: parent
            width: parent.width - 8
            text: imageObject.empty ? imageObject.emptyText : qsTr("Nothing is printed here")
            color: "#5d6b7e"
            font.pixelSize: Math.max(6, Math.min(parent.height / 3, 20))
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
        }
    }
}
