import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import LayoutEditing 1.0

// The layout definitions: paper size and name of a new layout, or of the one being edited,
// before the canvas opens. Fills its parent; the canvas replaces it there.
Item {
    id: definitions

    property string editedName: ""          // empty for a new layout
    property var editedLayout: ({})
    readonly property bool isNew: editedName.length === 0
    readonly property var pageSizes: uniqueSizes(printerInterface.getAllPagesizes())
    readonly property string customText: qsTr("Custom")
    readonly property string nameError: doc.nameError(nameField.text, layoutmanager.customLayouts, editedName)
    property var canvas: null
    property alias paperChoice: paperChoice
    property alias widthField: widthField
    property alias heightField: heightField
    property alias nameField: nameField
    property alias matchingPaper: matchingPaper
    property alias startButton: startButton

    signal finished(bool saved, string name)

    LayoutDocument { id: doc }

    // Printers list the same sizes many times over; offer each once.
    function uniqueSizes(list) {
        var seen = []
        for (var i = 0; i < list.length; ++i)
            if (seen.indexOf(list[i]) < 0)
                seen.push(list[i])
        return seen
    }
    function choosePaper(index) {
        var mm = doc.paperSizeMillimetres(paperChoice.model[index])
        if (mm.width !== undefined) {
            widthField.value = doc.clampSideMm(mm.width)
            heightField.value = doc.clampSideMm(mm.height)
        }
    }
    function startEditing() {
        if (nameError.length)
            return null
        var component = Qt.createComponent("LayoutEditor.qml")
        if (component.status !== Component.Ready) {
            console.log("LayoutEditor.qml not available " + component.errorString())
            return null
        }
        var custom = paperChoice.currentText === customText
        var properties = {
            "layoutName": nameField.text,
            "fixedsize": matchingPaper.checked,
            "sizestr": custom ? doc.paperSizeText(widthField.value, heightField.value) : paperChoice.currentText
        }
        // An untouched size keeps its exact units; a changed one is whole millimetres.
        var oldW = editedLayout.width, oldH = editedLayout.height
        properties.widthUnits = !isNew && doc.millimetresFromUnits(oldW) === widthField.value ? oldW
                              : doc.unitsFromMillimetres(widthField.value)
        properties.heightUnits = !isNew && doc.millimetresFromUnits(oldH) === heightField.value ? oldH
                               : doc.unitsFromMillimetres(heightField.value)
        canvas = component.createObject(definitions.parent, properties)
        if (!canvas) {
            console.log("LayoutEditor.qml not available " + component.errorString())
            return null
        }
        canvas.anchors.fill = definitions.parent
        if (!isNew) {
            canvas.loadLayout(editedLayout)
            canvas.storedLayout = editedLayout
        }
        canvas.finished.connect(function(saved, name) {
            definitions.finished(saved, name)
            canvas.destroy()
            definitions.destroy()
        })
        definitions.visible = false
        return canvas
    }

    Component.onCompleted: {
        var sizes = pageSizes.concat([customText])
        paperChoice.model = sizes
        if (isNew) {
            var index = sizes.indexOf("62mm x 100mm")
            paperChoice.currentIndex = index >= 0 ? index : sizes.length - 1
            choosePaper(paperChoice.currentIndex)
            if (paperChoice.currentText === customText) { widthField.value = 62; heightField.value = 100 }
            matchingPaper.checked = true
        } else {
            nameField.text = editedName
            widthField.value = doc.clampSideMm(doc.millimetresFromUnits(editedLayout.width))
            heightField.value = doc.clampSideMm(doc.millimetresFromUnits(editedLayout.height))
            var stored = sizes.indexOf(editedLayout.sizestr)
            paperChoice.currentIndex = stored >= 0 ? stored : sizes.length - 1
            matchingPaper.checked = editedLayout.fixedsize === true
        }
        nameField.forceActiveFocus()
    }

    Rectangle { anchors.fill: parent; color: "#80323a45" }
    MouseArea { anchors.fill: parent } // the view below stays untouched while this is open

    Pane {
        id: panel
        anchors.centerIn: parent
        width: 560
        padding: 24
        background: Rectangle { color: "white"; radius: 6; border.color: "#c9d1dc" }

        ColumnLayout {
            anchors.fill: parent
            spacing: 14

            Label { text: qsTr("Layout definitions"); font.pixelSize: 22; font.bold: true }

            GridLayout {
                columns: 2
                columnSpacing: 12
                rowSpacing: 10
                Layout.fillWidth: true

                Label { text: qsTr("Paper size:") }
                ComboBox {
                    id: paperChoice
                    Layout.fillWidth: true
                    onActivated: definitions.choosePaper(index)
                }
                Label { text: qsTr("Width:") }
                RowLayout {
                    SpinBox {
                        id: widthField
                        from: doc.minimumSideMm; to: doc.maximumSideMm; editable: true; value: 62
                        enabled: paperChoice.currentText === definitions.customText
                    }
                    Label { text: qsTr("mm") }
                }
                Label { text: qsTr("Height:") }
                RowLayout {
                    SpinBox {
                        id: heightField
                        from: doc.minimumSideMm; to: doc.maximumSideMm; editable: true; value: 100
                        enabled: paperChoice.currentText === definitions.customText
                    }
                    Label { text: qsTr("mm") }
                }
                Label { text: qsTr("Print on paper of this size:") }
                CheckBox { id: matchingPaper }
                Label { text: qsTr("Layout name:") }
                TextField {
                    id: nameField
                    Layout.fillWidth: true
                    placeholderText: qsTr("Layout name")
                    selectByMouse: true
                    // The characters a file name cannot hold never get in.
                    validator: RegularExpressionValidator { regularExpression: /[^\/\\?%*:|"<>.]*/ }
                    onAccepted: startButton.clicked()
                }
                Item { width: 1; height: 1 }
                Label {
                    id: nameMessage
                    objectName: "nameMessage"
                    Layout.fillWidth: true
                    text: definitions.nameError
                    visible: nameField.text.length > 0 && text.length > 0
                    color: "#b3261e"
                    wrapMode: Text.Wrap
                }
            }

            Label {
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                color: "#4a5568"
                font.pixelSize: 13
                text: matchingPaper.checked
                      ? qsTr("The label prints on a page of exactly %1 mm x %2 mm.").arg(widthField.value).arg(heightField.value)
                      : qsTr("The label is scaled onto the printer's paper.")
            }

            RowLayout {
                Layout.alignment: Qt.AlignRight
                Button {
                    id: startButton
                    text: definitions.isNew ? qsTr("Start editing") : qsTr("Continue editing")
                    highlighted: true
                    enabled: definitions.nameError.length === 0
                    onClicked: definitions.startEditing()
                }
                Button {
                    text: qsTr("Cancel")
                    onClicked: { definitions.finished(false, ""); definitions.destroy() }
                }
            }
        }
    }
}
