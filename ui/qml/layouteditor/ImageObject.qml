import QtQuick 2.15

// Common base of the picture-like objects (barcodes and images): a white box, and a hint while
// there is nothing to show yet.
EditorObject {
    id: imageObject
    uw: 240
    uh: 120

    property bool empty: false
    // Pictures cover what lies below them; drawn shapes do not.
    property bool opaque: true
    property string emptyText: qsTr("Nothing chosen")

    Rectangle {
        anchors.fill: parent
        color: imageObject.empty ? "#f1f3f6" : imageObject.opaque ? "white" : "transparent"
        Text {
            anchors.centerIn: parent
            width: parent.width - 8
            visible: imageObject.empty
            text: imageObject.emptyText
            color: "#5d6b7e"
            font.pixelSize: Math.max(6, Math.min(parent.height / 3, 20))
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
        }
    }
}
