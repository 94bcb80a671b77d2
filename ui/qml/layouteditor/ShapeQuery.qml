import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Qt.labs.platform 1.1 as Platform
import LayoutEditing 1.0

// Chooses the picture of an image object: a logo of the station's logo folder (imported from a file
// of any folder, often a USB drive) or a drawn shape.
Dialog {
    id: dialog

    property var editor: null
    property var target: null
    property bool isNew: false
    property string selectedLogo: ""
    property string selectedShape: ""
    // What the last import could not do, in words; empty when it went well.
    property string importMessage: ""
    property alias keepAspect: keepAspect
    property alias logoStrip: strip
    readonly property var shapes: doc.shapeNames()

    title: userAppContainer.logos.length ? qsTr("Choose a logo or import more") : qsTr("Choose image or import them")
    modal: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(parent ? parent.width - 40 : 820, 820)
    closePolicy: Popup.CloseOnEscape

    LayoutDocument { id: doc }

    function openFor(object, newObject) {
        target = object
        isNew = newObject
        selectedLogo = object.sourceImage.length ? object.sourceImage.replace(/^.*\//, "") : ""
        selectedShape = object.sourceShape
        importMessage = ""
        keepAspect.checked = object.maintainAspectRatio
        open()
    }
    function apply() {
        if (!target)
            return
        target.sourceImage = selectedLogo
        target.sourceShape = selectedLogo.length ? "" : selectedShape
        target.maintainAspectRatio = keepAspect.checked
        // A new image takes the logo's proportions, so it starts undistorted.
        if (isNew && selectedLogo.length && preview.sourceSize.width > 0) {
            var w = Math.min(target.editor.widthUnits * 0.6, preview.sourceSize.width)
            target.resizeTo(Math.round(w), Math.round(w * preview.sourceSize.height / preview.sourceSize.width), false)
        }
    }

    onAccepted: {
        apply()
        if (editor && target) {
            editor.propertiesAccepted(target, isNew, isNew ? qsTr("Add image") : qsTr("Change image"))
            editor.forceActiveFocus()
        }
    }
    onRejected: {
        if (isNew && editor && target)
            editor.removeObject(target)
        if (editor)
            editor.forceActiveFocus()
    }

    footer: DialogButtonBox {
        standardButtons: DialogButtonBox.Ok | DialogButtonBox.Cancel
        Component.onCompleted: standardButton(DialogButtonBox.Ok).enabled = Qt.binding(function() {
            return dialog.selectedLogo.length > 0 || dialog.selectedShape.length > 0 })
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        ListView {
            id: strip
            Layout.fillWidth: true
            Layout.preferredHeight: 150
            orientation: ListView.Horizontal
            spacing: 8
            clip: true
            model: userAppContainer.logos
            ScrollBar.horizontal: ScrollBar {}
            delegate: Rectangle {
                width: 150; height: 140
                color: dialog.selectedLogo === modelData ? "#dbe7fb" : "white"
                border.color: dialog.selectedLogo === modelData ? "#1f6feb" : "#c9d1dc"
                border.width: dialog.selectedLogo === modelData ? 2 : 1
                Image {
                    anchors.fill: parent
                    anchors.margins: 8
                    anchors.bottomMargin: 26
                    source: "file://" + userAppContainer.logoDir + modelData
                    fillMode: Image.PreserveAspectFit
                    cache: false
                }
                Label {
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: 4
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    elide: Text.ElideMiddle
                    text: modelData
                    font.pixelSize: 12
                }
                MouseArea {
                    anchors.fill: parent
                    onClicked: { dialog.selectedLogo = modelData; dialog.selectedShape = "" }
                    onDoubleClicked: { dialog.selectedLogo = modelData; dialog.accept() }
                }
            }
            Label {
                anchors.centerIn: parent
                visible: strip.count === 0
                text: qsTr("No images yet: import one with \"Import...\"")
                color: "#4a5568"
            }
        }

        // Only for its size: the selected logo as a file.
        Image {
            id: preview
            visible: false
            source: dialog.selectedLogo.length ? "file://" + userAppContainer.logoDir + dialog.selectedLogo : ""
            cache: false
        }
        Label {
            objectName: "logoFolderNote"
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            color: "#4a5568"
            text: qsTr("Logos are kept in %1. \"Import...\" copies a picture from any folder there.").arg(userAppContainer.logoDir)
        }
        Label {
            objectName: "importMessage"
            Layout.fillWidth: true
            visible: dialog.importMessage.length > 0
            wrapMode: Text.Wrap
            color: "#b42318"
            text: dialog.importMessage
        }
        Label {
            text: dialog.selectedLogo.length
                  ? qsTr("Selected: %1 (%2px x %3px)").arg(dialog.selectedLogo).arg(preview.sourceSize.width).arg(preview.sourceSize.height)
                  : dialog.selectedShape.length ? qsTr("Selected: %1").arg(doc.shapeLabel(dialog.selectedShape)) : qsTr("Selected: none")
        }
        RowLayout {
            CheckBox { id: keepAspect; text: qsTr("Maintain aspect ratio"); checked: true }
            Item { Layout.fillWidth: true }
            Button {
                text: qsTr("Remove")
                enabled: dialog.selectedLogo.length > 0
                onClicked: {
                    if (!userAppContainer.removeLocalLogo(dialog.selectedLogo))
                        console.log("Got exception while removeing logo " + dialog.selectedLogo)
                    dialog.selectedLogo = ""
                }
            }
            Button {
                text: qsTr("Import...")
                onClicked: {
                    // A plugged-in drive first, as logos usually come on one; else the home folder.
                    importDialog.folder = "file://" + userAppContainer.importFolder()
                    importDialog.open()
                }
            }
        }
        Flow {
            Layout.fillWidth: true
            spacing: 6
            Label { text: qsTr("Or draw a shape:"); height: 40; verticalAlignment: Text.AlignVCenter }
            Repeater {
                model: dialog.shapes
                Button {
                    text: modelData.label
                    checkable: true
                    checked: dialog.selectedLogo.length === 0 && dialog.selectedShape === modelData.value
                    onClicked: { dialog.selectedShape = modelData.value; dialog.selectedLogo = "" }
                }
            }
        }
    }

    Platform.FileDialog {
        id: importDialog
        title: qsTr("Import")
        fileMode: Platform.FileDialog.OpenFiles
        nameFilters: [qsTr("Images (*.png *.jpg *.gif *.jpeg)"), qsTr("All files (*)")]
        onAccepted: {
            var last = ""
            var problems = []
            for (var i = 0; i < files.length; ++i) {
                var problem = userAppContainer.importLogo(files[i].toString())
                if (problem.length)
                    problems.push(problem)
                else
                    last = files[i].toString().replace(/^.*\//, "")
            }
            dialog.importMessage = problems.join("\n")
            if (last.length)
                dialog.selectedLogo = decodeURIComponent(last)
        }
    }
}
