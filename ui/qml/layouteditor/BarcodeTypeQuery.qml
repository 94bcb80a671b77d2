import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import LayoutEditing 1.0

// Properties of a barcode: which contents it tries in order, its symbology, and the
// human-readable text that follows it.
Dialog {
    id: dialog

    property var editor: null
    property var target: null
    property bool isNew: false
    property alias available: available
    property alias chosen: chosen
    property alias freeText: freeText
    property alias attach: attach
    property alias prefix: prefix
    property alias symbology: symbology
    property alias gs1: gs1
    property alias moduleWidth: moduleWidth
    property alias quietZone: quietZone
    // The resolution the fit warning is worked out for; the coarsest common label printer's unless
    // the editor knows the job's printer.
    property real printerDpi: 203
    readonly property var deviceFields: devicecustommodel.getFieldNumbers().map(function(n) { return devicecustommodel.getField(n) })
    readonly property var contents: doc.barcodeContents(deviceFields)
    // The content list as stored: labels joined by ",", free text as "(freetext)" + text.
    readonly property string contentOrder: chosen.chosen.map(function(v) {
        return v === "(freetext)" ? doc.freeTextContent(freeText.text) : v }).join(",")
    readonly property string exampleValue: contentOrder.length && typeof printerInterface !== "undefined"
        ? printerInterface.formatText("<firstvalue " + contentOrder + ">", false) : ""
    readonly property bool twoDimensional: doc.isTwoDimensional(symbology.currentText)
    // Empty fields stand for "not set".
    readonly property real moduleWidthMm: moduleWidth.text.length ? (parseFloat(moduleWidth.text.replace(",", ".")) || 0) : 0
    readonly property int quietZoneModules: quietZone.text.length ? parseInt(quietZone.text) : -1
    readonly property string fitWarning: !target || !exampleValue.length ? ""
        : doc.barcodeFit(symbology.currentText, exampleValue, gs1.checked && gs1.visible, moduleWidthMm,
                         quietZoneModules, target.uw, target.uh, printerDpi).message

    title: qsTr("Barcode properties")
    modal: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(parent ? parent.width - 40 : 820, 820)
    height: Math.min(parent ? parent.height - 40 : 640, 640)
    closePolicy: Popup.CloseOnEscape

    LayoutDocument { id: doc }

    function textOf(value) {
        for (var i = 0; i < contents.length; ++i)
            if (contents[i].label === value)
                return contents[i].text
        return value
    }
    function openFor(object, newObject) {
        target = object
        isNew = newObject
        var order = object.contentOrder.length ? object.contentOrder.split(",") : []
        var picked = [], free = ""
        for (var i = 0; i < order.length; ++i) {
            if (order[i].indexOf("(freetext)") === 0) {
                free = order[i].substring("(freetext)".length)
                picked.push("(freetext)")
            } else {
                picked.push(order[i])
            }
        }
        freeText.text = free
        chosen.setEntries(picked.map(function(v) { return { "text": textOf(v), "value": v } }))
        available.setEntries(contents.filter(function(c) { return picked.indexOf(c.label) < 0 })
                                     .map(function(c) { return { "text": c.text, "value": c.label } }))
        attach.checked = object.attachText
        prefix.text = object.prefixString
        symbology.currentIndex = Math.max(0, symbology.model.indexOf(object.symbology))
        gs1.checked = object.gs1
        moduleWidth.text = object.moduleWidthMm > 0 ? String(object.moduleWidthMm) : ""
        quietZone.text = object.quietZone >= 0 ? String(object.quietZone) : ""
        open()
    }
    // Moves the entry at index from one list to the end of the other.
    function transfer(from, to, index) {
        if (index < 0 || index >= from.count)
            return
        var entry = from.model.get(index)
        var moved = { "text": entry.text, "value": entry.value }
        var rest = [], target = []
        for (var i = 0; i < from.count; ++i)
            if (i !== index) rest.push({ "text": from.model.get(i).text, "value": from.model.get(i).value })
        for (var j = 0; j < to.count; ++j)
            target.push({ "text": to.model.get(j).text, "value": to.model.get(j).value })
        target.push(moved)
        from.setEntries(rest)
        to.setEntries(target)
    }
    function apply() {
        if (!target)
            return
        target.contentOrder = contentOrder
        target.symbology = symbology.currentText
        target.gs1 = gs1.checked && gs1.visible
        target.moduleWidthMm = moduleWidthMm > 0 ? moduleWidthMm : 0
        target.quietZone = quietZoneModules
        target.prefixString = prefix.text
        target.attachText = attach.checked
        if (editor)
            editor.syncHumanReadable(target)
    }

    onAccepted: {
        apply()
        if (editor && target) {
            editor.propertiesAccepted(target, isNew, isNew ? qsTr("Add barcode") : qsTr("Change barcode"))
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
        Component.onCompleted: standardButton(DialogButtonBox.Ok).enabled = Qt.binding(function() { return dialog.contentOrder.length > 0 })
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 8
            ColumnLayout {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Label { text: qsTr("Available barcode content. Drag desired ones to right."); wrapMode: Text.Wrap; Layout.fillWidth: true }
                PriorityList {
                    id: available
                    checkable: false
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    currentIndex: -1
                    highlight: Rectangle { color: "#dbe7fb" }
                }
            }
            ColumnLayout {
                Layout.alignment: Qt.AlignVCenter
                Button { text: "\u2192"; ToolTip.visible: hovered; ToolTip.text: qsTr("Use the selected content"); onClicked: dialog.transfer(available, chosen, Math.max(0, available.currentIndex)) }
                Button { text: "\u2190"; ToolTip.visible: hovered; ToolTip.text: qsTr("Stop using the selected content"); onClicked: dialog.transfer(chosen, available, chosen.currentIndex >= 0 ? chosen.currentIndex : chosen.count - 1) }
            }
            ColumnLayout {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Label { text: qsTr("Topmost available content will be used as barcode"); wrapMode: Text.Wrap; Layout.fillWidth: true }
                PriorityList {
                    id: chosen
                    objectName: "chosenContents"
                    checkable: false
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                }
            }
        }
        Label {
            text: qsTr("Double click (or select and use the arrows) to move a content between the lists; drag by the handle to reorder.")
            color: "#4a5568"
        }
        RowLayout {
            visible: chosen.chosen.indexOf("(freetext)") >= 0
            Label { text: qsTr("Content of free text:") }
            TextField { id: freeText; Layout.preferredWidth: 320 }
        }
        CheckBox { id: attach; text: qsTr("Attach human readable content text") }
        RowLayout {
            enabled: attach.checked
            TextField {
                id: prefix
                Layout.preferredWidth: 420
                placeholderText: qsTr("free text or leave empty for: ") + (chosen.chosen.length ? dialog.textOf(chosen.chosen[0]) : "")
            }
            Label { text: qsTr("If content not found leave empty"); color: "#4a5568" }
        }
        RowLayout {
            Label { text: qsTr("Symbology") }
            ComboBox { id: symbology; objectName: "symbology"; model: doc.symbologies() }
            CheckBox {
                id: gs1
                objectName: "gs1"
                text: qsTr("GS1 content")
                visible: symbology.currentText === "datamatrix"
                ToolTip.visible: hovered
                ToolTip.text: qsTr("The content is GS1 element strings, for example [01]09501101530003[10]AB-123")
            }
            Label { text: qsTr("Module width (mm)") }
            TextField {
                id: moduleWidth
                objectName: "moduleWidth"
                Layout.preferredWidth: 80
                placeholderText: qsTr("fill box")
                validator: RegularExpressionValidator { regularExpression: /^([0-4]?([.,]\d{0,3})?|5)$/ }
            }
            Label { text: qsTr("Quiet zone (modules)") }
            TextField {
                id: quietZone
                objectName: "quietZone"
                Layout.preferredWidth: 80
                placeholderText: qsTr("default")
                validator: IntValidator { bottom: 0; top: 40 }
            }
        }
        Label {
            objectName: "fitWarning"
            visible: text.length > 0
            text: dialog.fitWarning
            color: "#b00020"
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }

    Connections { target: available; function onEntryActivated(index) { dialog.transfer(available, chosen, index) } }
    Connections { target: chosen; function onEntryActivated(index) { dialog.transfer(chosen, available, index) } }
}
