import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import "layouteditor"

// The "Layouts" view: the stored layouts with the selected one's preview, and the way into the
// layout editor. Fills its parent; the editor opens on top of it.
Item {
    id: layoutsView

    property string selectedName: layoutList.currentIndex >= 0 && layoutList.currentIndex < layoutmanager.customLayouts.length
                                  ? layoutmanager.customLayouts[layoutList.currentIndex] : ""
    // Changes after every save, so the preview picture is read again.
    property int previewCounter: Math.floor(Math.random() * 100000)
    property var editor: null
    property alias layoutList: layoutList
    property alias previewImage: preview
    property alias reportChooser: reportChooser

    // The selected layout as stored, for the report preview; null without one.
    function selectedLayout() {
        if (!selectedName.length)
            return null
        var layout = layoutmanager.loadJsonLayout(selectedName)
        return layout.name !== undefined ? layout : null
    }
    function select(name) {
        var index = layoutmanager.customLayouts.indexOf(name)
        if (index >= 0)
            layoutList.currentIndex = index
    }
    // Opens the definitions dialog: for a new layout without a name, otherwise for that layout.
    function openEditor(name) {
        var component = Qt.createComponent("layouteditor/Editor.qml")
        var properties = { "editedName": name || "" }
        if (name)
            properties.editedLayout = layoutmanager.loadJsonLayout(name)
        var created = component.status === Component.Ready ? component.createObject(editorHost, properties) : null
        if (!created) {
            console.log("Failed to create layout editor: " + component.errorString())
            return null
        }
        created.anchors.fill = editorHost
        created.finished.connect(function(saved, savedName) {
            editor = null
            if (saved) {
                previewCounter = Math.floor(Math.random() * 100000)
                select(savedName)
            }
            // The editor checked its own layout with the shared report: back to this one.
            reportChooser.layout = layoutsView.selectedLayout()
            reportChooser.check()
        })
        editor = created
        return created
    }

    Rectangle { anchors.fill: parent; color: "#f4f5f7" }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 12

        // Side bar: new layout and the stored ones.
        Pane {
            Layout.preferredWidth: 280
            Layout.fillHeight: true
            padding: 10
            background: Rectangle { color: "white"; border.color: "#d5dbe3"; radius: 4 }
            ColumnLayout {
                anchors.fill: parent
                spacing: 8
                Button {
                    text: qsTr("Create new layout")
                    highlighted: true
                    Layout.fillWidth: true
                    onClicked: layoutsView.openEditor("")
                }
                Label { text: qsTr("Layouts"); font.bold: true; color: "#4a5568" }
                ListView {
                    id: layoutList
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    model: layoutmanager.customLayouts
                    currentIndex: count > 0 ? 0 : -1
                    ScrollBar.vertical: ScrollBar {}
                    delegate: ItemDelegate {
                        width: ListView.view.width
                        text: modelData
                        highlighted: ListView.isCurrentItem
                        onClicked: layoutList.currentIndex = index
                        onDoubleClicked: layoutsView.openEditor(modelData)
                    }
                    Label {
                        anchors.centerIn: parent
                        visible: layoutList.count === 0
                        text: qsTr("No layouts yet")
                        color: "#7b8794"
                    }
                }
            }
        }

        // The selected layout's preview and what can be done with it.
        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 8
            RowLayout {
                Layout.fillWidth: true
                Label {
                    Layout.fillWidth: true
                    text: layoutsView.selectedName
                    font.pixelSize: 20
                    font.bold: true
                    elide: Text.ElideRight
                }
                Button {
                    text: qsTr("Remove")
                    enabled: layoutsView.selectedName.length > 0
                    onClicked: confirmRemove.open()
                }
                Button {
                    text: qsTr("Edit")
                    enabled: layoutsView.selectedName.length > 0
                    onClicked: layoutsView.openEditor(layoutsView.selectedName)
                }
            }
            // The preview shows the label as printed for a chosen report (example values otherwise).
            ReportChooser {
                id: reportChooser
                objectName: "layoutsReportChooser"
                Layout.fillWidth: true
                layout: layoutmanager.revision >= 0 ? layoutsView.selectedLayout() : null
            }
            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                color: "#e4e8ee"
                border.color: "#d5dbe3"
                Image {
                    id: preview
                    anchors.fill: parent
                    anchors.margins: 16
                    fillMode: Image.PreserveAspectFit
                    cache: false
                    readonly property bool forReport: reportChooser.preview !== null && reportChooser.preview.device !== null
                    source: !layoutsView.selectedName.length ? ""
                            : forReport ? "image://layouts/report/" + reportChooser.preview.imageRevision
                            : "image://layouts/layout/" + layoutsView.selectedName + ".png???" + layoutsView.previewCounter
                              + "-" + layoutmanager.revision
                    // A layout copied in or imported from a drive has no picture yet: make it once.
                    property string madeFor: ""
                    onStatusChanged: {
                        if (status !== Image.Error || madeFor === layoutsView.selectedName)
                            return
                        madeFor = layoutsView.selectedName
                        var layout = layoutmanager.loadJsonLayout(layoutsView.selectedName)
                        if (layout.name !== undefined) {
                            printerInterface.createPreviewImage(layout)
                            layoutsView.previewCounter = Math.floor(Math.random() * 100000)
                        }
                    }
                }
                // The preview is one bit deep: a frame shows where the label ends.
                Rectangle {
                    visible: preview.status === Image.Ready
                    x: preview.x + (preview.width - preview.paintedWidth) / 2 - 1
                    y: preview.y + (preview.height - preview.paintedHeight) / 2 - 1
                    width: preview.paintedWidth + 2
                    height: preview.paintedHeight + 2
                    color: "transparent"
                    border.color: "#8a97a8"
                }
                Label {
                    anchors.centerIn: parent
                    visible: layoutsView.selectedName.length > 0 && preview.status !== Image.Ready
                    text: qsTr("No preview: the layout cannot be drawn")
                    color: "#7b8794"
                }
            }
        }
    }

    // Jobs that print with the layout are named: without it each of their labels fails.
    Dialog {
        id: confirmRemove
        objectName: "confirmRemoveLayout"
        title: qsTr("Remove")
        modal: true
        anchors.centerIn: Overlay.overlay
        standardButtons: Dialog.Yes | Dialog.No
        width: 480
        property var usedBy: []
        onAboutToShow: usedBy = jobListModel.jobsUsingLayout(layoutsView.selectedName)
        Label {
            objectName: "removeLayoutText"
            width: parent.width
            wrapMode: Text.Wrap
            text: confirmRemove.usedBy.length === 0
                  ? qsTr("Remove the layout \"%1\"?").arg(layoutsView.selectedName)
                  : qsTr("The layout \"%1\" is used by the job(s) %2. Their labels fail until they get another "
                         + "layout. Remove it anyway?").arg(layoutsView.selectedName)
                    .arg(confirmRemove.usedBy.map(function (name) { return "\"" + name + "\"" }).join(", "))
        }
        onAccepted: layoutmanager.removeLayout(layoutsView.selectedName)
    }

    // Definitions dialog and canvas open here, over the whole view.
    Item {
        id: editorHost
        anchors.fill: parent
    }
}
