import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// A plain station view until the full screens land: connection state, the printed reports and the
// status bar.
Rectangle {
    id: root
    color: "#f4f5f7"

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        Label {
            text: qsTr("MC Connection: %1").arg(mcconnector.connectionState)
            font.pixelSize: 22
            color: mcconnector.connectionState === "Connected" ? "#1b7f3b"
                 : mcconnector.connectionState === "Connecting"
                   || mcconnector.connectionState === "Updating ReportInfo" ? "#8a6d00" : "#b3261e"
        }

        ListView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: reportList
            delegate: Label {
                width: ListView.view.width
                text: Qt.formatDateTime(model.printTime, "yyyy-MM-dd hh:mm:ss") + "   " + model.jobName + "   " + model.layoutName + "   " + model.reportUuid
                font.pixelSize: 16
            }
        }

        Label {
            Layout.fillWidth: true
            text: mcconnector.statusBarMessage
            font.pixelSize: 16
            elide: Text.ElideRight
        }
    }

    Component.onCompleted: popupProvider.ready()
}
