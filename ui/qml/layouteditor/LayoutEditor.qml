import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Window 2.15
import LayoutEditing 1.0

// The canvas: the label page at its size with the snapping grid, the objects on it and the
// commands that add, edit, save and test-print them.
FocusScope {
    id: editor

    property string layoutName: ""
    property int widthUnits: 496
    property int heightUnits: 800
    property bool fixedsize: true
    property string sizestr: ""
    property bool showGrid: true
    property bool showBorders: true
    property int gridSize: 10
    // Screen pixels per layout unit; "fit" follows the window, "actual" shows millimetres as
    // millimetres on this screen.
    property string zoomMode: "fit"
    property real zoomFactor: 1
    readonly property real actualSizeZoom: Screen.pixelDensity > 0 ? Screen.pixelDensity / doc.unitsPerMillimetre : 0.5
    readonly property real fitZoom: Math.max(0.05, Math.min((view.width - 48) / widthUnits,
                                                             (view.height - 48) / heightUnits))
    readonly property real zoom: zoomMode === "fit" ? fitZoom : zoomMode === "actual" ? actualSizeZoom : zoomFactor
    property var selection: []
    readonly property alias page: page
    readonly property alias objectLayer: objectLayer
    property alias textDialog: textDialog
    property alias barcodeDialog: barcodeDialog
    property alias imageDialog: imageDialog
    property alias outsideWarning: outsideWarning
    property alias testPrintDialog: testPrintDialog
    property string lastSavedText: ""

    signal finished(bool saved, string name)

    // Toolbar buttons as wide as their text, so the commands fit on one row.
    component ToolbarButton: Button {
        leftPadding: 12
        rightPadding: 12
        implicitWidth: contentItem.implicitWidth + leftPadding + rightPadding
    }

    LayoutDocument { id: doc; escaper: translator }

    // ---- objects ------------------------------------------------------------------------------
    function objects() {
        var list = []
        for (var i = 0; i < objectLayer.children.length; ++i) {
            var child = objectLayer.children[i]
            if (child.objectType !== undefined && child.objectType !== "")
                list.push(child)
        }
        return list
    }
    function findById(id) {
        var all = objects()
        for (var i = 0; i < all.length; ++i)
            if (all[i].itemId === id)
                return all[i]
        return null
    }
    function nextId() {
        return doc.firstFreeId(objects().map(function(o) { return o.itemId }))
    }
    function componentFor(type) {
        var component = Qt.createComponent(type)
        if (component.status !== Component.Ready)
            console.log("Cannot create " + type + ": " + component.errorString())
        return component
    }
    function createObject(type, record) {
        var component = componentFor(type)
        if (component.status !== Component.Ready)
            return null
        var object = component.createObject(objectLayer, { "editor": editor })
        if (!object)
            return null
        if (record) {
            object.applyRecord(record)
        } else {
            object.itemId = nextId()
            // New objects start in the middle of the page, on the grid.
            object.ux = snap(widthUnits / 2 - object.uw / 2) + object.uw / 2
            object.uy = snap(heightUnits / 2 - object.uh / 2) + object.uh / 2
        }
        object.propertiesRequested.connect(function() { openProperties(object, false) })
        return object
    }
    function addText() {
        var object = createObject("TextObject.qml")
        if (object) { select(object, false); openProperties(object, true) }
        return object
    }
    function addBarcode() {
        var object = createObject("BarCode.qml")
        if (!object)
            return null
        object.symbology = settingsManager.getValue("printer/symbology", "code128")
        select(object, false)
        openProperties(object, true)
        return object
    }
    function addImage() {
        var object = createObject("ShapeObject.qml")
        if (object) { select(object, false); openProperties(object, true) }
        return object
    }
    function openProperties(object, isNew) {
        if (!object)
            return
        if (object.objectType === "TextObject.qml")
            textDialog.openFor(object, isNew)
        else if (object.objectType === "BarCode.qml")
            barcodeDialog.openFor(object, isNew)
        else
            imageDialog.openFor(object, isNew)
    }
    function removeObject(object) {
        if (!object)
            return
        if (object.objectType === "BarCode.qml" && object.textObjectId >= 0)
            removeObject(findById(object.textObjectId))
        if (object.isFollower) {
            var leader = findById(object.followItem)
            if (leader && leader.objectType === "BarCode.qml") {
                leader.attachText = false
                leader.textObjectId = -1
            }
        }
        selection = selection.filter(function(o) { return o !== object })
        object.parent = null
        object.destroy()
    }
    function removeSelection() {
        var doomed = selection.slice()
        for (var i = 0; i < doomed.length; ++i)
            removeObject(doomed[i])
    }
    function bringToFront(object) {
        var all = objects()
        object.parent = null
        object.parent = objectLayer
        var followers = all.filter(function(o) { return o.followItem === object.itemId })
        for (var i = 0; i < followers.length; ++i) { followers[i].parent = null; followers[i].parent = objectLayer }
    }
    function sendToBack(object) {
        var all = objects()
        var moved = [object].concat(all.filter(function(o) { return o.followItem === object.itemId }))
        var rest = all.filter(function(o) { return moved.indexOf(o) < 0 })
        var order = moved.concat(rest)
        for (var i = 0; i < order.length; ++i) { order[i].parent = null; order[i].parent = objectLayer }
    }

    // Barcode's human-readable text: created, updated or dropped with the barcode's settings.
    function syncHumanReadable(barcode) {
        var follower = barcode.textObjectId >= 0 ? findById(barcode.textObjectId) : null
        if (!barcode.attachText || barcode.contentOrder.length === 0) {
            if (follower)
                removeObject(follower)
            barcode.textObjectId = -1
            return
        }
        if (!follower) {
            follower = createObject("TextObject.qml")
            if (!follower) {
                console.log("Barcode failed to create humanreadable text...")
                return
            }
            follower.uw = barcode.uw
            follower.uh = 32
            follower.pixelSize = 24
        }
        follower.followItem = barcode.itemId
        follower.followLocation = "below"
        follower.alignment = "Center"
        follower.elide = "None"
        follower.unformattedString = doc.humanReadableText(barcode.contentOrder, barcode.prefixString)
        barcode.textObjectId = follower.itemId
        placeFollowers()
    }
    // Followers keep their place under (or above) the object they follow, turned with it.
    function placeFollowers() {
        var all = objects()
        for (var i = 0; i < all.length; ++i) {
            var follower = all[i]
            if (follower.followItem < 0)
                continue
            var leader = findById(follower.followItem)
            if (!leader)
                continue
            var sign = follower.followLocation === "above" ? -1 : 1
            var distance = sign * (leader.uh / 2 + follower.uh / 2)
            var a = leader.rotation * Math.PI / 180
            follower.ux = leader.ux - distance * Math.sin(a)
            follower.uy = leader.uy + distance * Math.cos(a)
            follower.rotation = leader.rotation
        }
    }

    // ---- selection and moving -----------------------------------------------------------------
    function select(object, additive) {
        if (!additive) {
            selection = object ? [object] : []
            return
        }
        var index = selection.indexOf(object)
        var next = selection.slice()
        if (index >= 0) next.splice(index, 1); else next.push(object)
        selection = next
    }
    function leaderOf(object) {
        var leader = object.isFollower ? findById(object.followItem) : null
        return leader ? leader : object
    }
    function movingSet() {
        var set = []
        for (var i = 0; i < selection.length; ++i) {
            var o = leaderOf(selection[i])
            if (set.indexOf(o) < 0)
                set.push(o)
        }
        return set
    }
    property var moveState: null
    function snap(value) { return showGrid ? doc.snap(value, gridSize) : Math.round(value) }
    function beginMove(object, point) {
        var anchor = leaderOf(object)
        var set = movingSet()
        moveState = { "point": point, "anchor": anchor, "left": anchor.ux - anchor.uw / 2,
                      "top": anchor.uy - anchor.uh / 2,
                      "starts": set.map(function(o) { return { "o": o, "x": o.ux, "y": o.uy } }) }
    }
    function moveTo(point) {
        if (!moveState)
            return
        var dx = (point.x - moveState.point.x) / zoom
        var dy = (point.y - moveState.point.y) / zoom
        // The grabbed object lands on grid lines; the others keep their distance to it.
        dx = snap(moveState.left + dx) - moveState.left
        dy = snap(moveState.top + dy) - moveState.top
        for (var i = 0; i < moveState.starts.length; ++i) {
            var s = moveState.starts[i]
            s.o.ux = s.x + dx
            s.o.uy = s.y + dy
        }
        placeFollowers()
    }
    function endMove() { moveState = null }
    function moveSelectionBy(dx, dy) {
        var set = movingSet()
        for (var i = 0; i < set.length; ++i) { set[i].ux += dx; set[i].uy += dy }
        placeFollowers()
    }
    function rotateSelection(degrees) {
        var set = movingSet()
        for (var i = 0; i < set.length; ++i)
            set[i].rotation = ((set[i].rotation + degrees) % 360 + 360) % 360
        placeFollowers()
    }
    function stepSelection(forward) {
        var all = objects()
        if (all.length === 0)
            return
        var current = selection.length ? all.indexOf(selection[selection.length - 1]) : -1
        var next = current < 0 ? (forward ? 0 : all.length - 1)
                               : (current + (forward ? 1 : all.length - 1)) % all.length
        select(all[next], false)
    }
    function selectInRect(rect) {
        var hits = objects().filter(function(o) {
            return o.x < rect.x + rect.width && o.x + o.width > rect.x
                && o.y < rect.y + rect.height && o.y + o.height > rect.y
        })
        selection = hits
    }
    function openResize(object) { resizeDialog.openFor(object) }

    // ---- load and save ------------------------------------------------------------------------
    function loadLayout(layout) {
        var records = doc.editorRecords(layout)
        for (var i = 0; i < records.length; ++i) {
            var object = createObject(records[i].type, records[i])
            if (!object)
                console.log("Cannot show object of type " + records[i].type)
        }
        placeFollowers()
    }
    function currentRecords() {
        return objects().map(function(o) { return o.record() })
    }
    function currentText() {
        var layout = { "width": widthUnits, "height": heightUnits, "name": layoutName, "fixedsize": fixedsize,
                       "sizestr": sizestr, "version": systemconfig.getVersion() }
        return doc.layoutText(layout, currentRecords())
    }
    // Writes the layout and its preview; true when it was stored.
    function save() {
        var text = currentText()
        var parsed
        try {
            parsed = JSON.parse(text)
        } catch (e) {
            console.log("DoSave() Failed to parse json: " + text)
            return false
        }
        if (!layoutmanager.saveLayout(text, layoutName)) {
            statusText.text = qsTr("The layout could not be saved.")
            return false
        }
        lastSavedText = text
        printerInterface.createPreviewImage(parsed)
        return true
    }
    function saveAndExit() {
        if (!save())
            return
        if (doc.objectsOutsidePage(currentRecords(), widthUnits, heightUnits).length > 0) {
            console.log("Some items are not fully inside printing rectangle.")
            outsideWarning.open()
            return
        }
        finished(true, layoutName)
    }

    // ---- keys ---------------------------------------------------------------------------------
    Keys.onPressed: {
        var step = (event.modifiers & Qt.ShiftModifier) ? 1 : gridSize
        if (event.key === Qt.Key_Left) moveSelectionBy(-step, 0)
        else if (event.key === Qt.Key_Right) moveSelectionBy(step, 0)
        else if (event.key === Qt.Key_Up) moveSelectionBy(0, -step)
        else if (event.key === Qt.Key_Down) moveSelectionBy(0, step)
        else if (event.key === Qt.Key_Tab) stepSelection(true)
        else if (event.key === Qt.Key_Backtab) stepSelection(false)
        else if (event.key === Qt.Key_Delete) removeSelection()
        else return
        event.accepted = true
    }

    Rectangle { anchors.fill: parent; color: "#e9ecf1" }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 6

        Flow {
            id: toolbar
            Layout.fillWidth: true
            spacing: 4
            ToolbarButton { text: qsTr("Add Text"); onClicked: editor.addText() }
            ToolbarButton { text: qsTr("Add Barcode"); onClicked: editor.addBarcode() }
            ToolbarButton { text: qsTr("Add Image"); onClicked: editor.addImage() }
            ToolbarButton {
                text: qsTr("Properties")
                enabled: editor.selection.length === 1
                onClicked: editor.openProperties(editor.selection[0], false)
            }
            ToolSeparator {}
            ToolbarButton { text: editor.showGrid ? qsTr("Hide grid") : qsTr("Show grid"); onClicked: editor.showGrid = !editor.showGrid }
            ToolbarButton { text: editor.showBorders ? qsTr("Hide Border") : qsTr("Show Border"); onClicked: editor.showBorders = !editor.showBorders }
            ToolSeparator {}
            ToolbarButton { text: qsTr("Fit"); checkable: true; checked: editor.zoomMode === "fit"; onClicked: editor.zoomMode = "fit" }
            ToolbarButton {
                text: qsTr("1:1")
                checkable: true
                checked: editor.zoomMode === "actual"
                ToolTip.visible: hovered
                ToolTip.text: qsTr("Actual size: millimetres on the screen as on the label")
                onClicked: editor.zoomMode = "actual"
            }
            ToolbarButton { text: "+"; onClicked: { editor.zoomFactor = editor.zoom * 1.25; editor.zoomMode = "factor" } }
            ToolbarButton { text: "\u2212"; onClicked: { editor.zoomFactor = editor.zoom / 1.25; editor.zoomMode = "factor" } }
            ToolSeparator {}
            ToolbarButton { text: qsTr("Test print"); onClicked: testPrintDialog.open() }
            ToolbarButton { text: qsTr("Save && exit"); highlighted: true; onClicked: editor.saveAndExit() }
            ToolbarButton { text: qsTr("Cancel"); onClicked: editor.finished(false, editor.layoutName) }
        }

        Flickable {
            id: view
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            contentWidth: Math.max(width, page.width + 48)
            contentHeight: Math.max(height, page.height + 48)
            ScrollBar.vertical: ScrollBar {}
            ScrollBar.horizontal: ScrollBar {}
            interactive: false

            // Empty canvas: a click clears the selection, a drag selects every object it touches.
            MouseArea {
                id: band
                width: view.contentWidth
                height: view.contentHeight
                property point start
                onPressed: {
                    editor.forceActiveFocus()
                    start = mapToItem(page, mouse.x, mouse.y)
                    bandRect.visible = false
                    editor.select(null, false)
                }
                onPositionChanged: {
                    var p = mapToItem(page, mouse.x, mouse.y)
                    bandRect.x = Math.min(start.x, p.x); bandRect.y = Math.min(start.y, p.y)
                    bandRect.width = Math.abs(p.x - start.x); bandRect.height = Math.abs(p.y - start.y)
                    bandRect.visible = true
                }
                onReleased: {
                    if (bandRect.visible)
                        editor.selectInRect(Qt.rect(bandRect.x, bandRect.y, bandRect.width, bandRect.height))
                    bandRect.visible = false
                }
                onWheel: {
                    if (wheel.modifiers & Qt.ControlModifier) {
                        editor.zoomFactor = editor.zoom * (wheel.angleDelta.y > 0 ? 1.1 : 1 / 1.1)
                        editor.zoomMode = "factor"
                    } else {
                        wheel.accepted = false
                    }
                }
            }

            Rectangle {
                id: page
                x: Math.max(24, (view.width - width) / 2)
                y: Math.max(24, (view.height - height) / 2)
                width: editor.widthUnits * editor.zoom
                height: editor.heightUnits * editor.zoom
                color: "white"
                border.color: "#8a97a8"
                border.width: 1

                ScreenGrid {
                    anchors.fill: parent
                    zoom: editor.zoom
                    spacing: editor.gridSize
                    visible: editor.showGrid
                }
                Item {
                    id: objectLayer
                    anchors.fill: parent
                }
                Rectangle {
                    id: bandRect
                    visible: false
                    color: "#301f6feb"
                    border.color: "#1f6feb"
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Label {
                text: qsTr("%1: %2 mm x %3 mm").arg(editor.layoutName)
                          .arg(doc.millimetresFromUnits(editor.widthUnits))
                          .arg(doc.millimetresFromUnits(editor.heightUnits))
                      + (editor.fixedsize ? qsTr(" (printed on paper of this size)") : "")
                font.bold: true
            }
            Label {
                id: statusText
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignRight
                text: qsTr("Zoom %1 %  \u2022  drag to move, drag edges to resize, right click for more").arg(Math.round(editor.zoom / editor.actualSizeZoom * 100))
                color: "#4a5568"
                elide: Text.ElideLeft
            }
        }
    }

    TextTypeQuery { id: textDialog; editor: editor }
    BarcodeTypeQuery { id: barcodeDialog; editor: editor }
    ShapeQuery { id: imageDialog; editor: editor }

    Dialog {
        id: resizeDialog
        property var target: null
        title: qsTr("Resize")
        modal: true
        anchors.centerIn: Overlay.overlay
        standardButtons: Dialog.Ok | Dialog.Cancel
        function openFor(object) {
            target = object
            widthField.value = Math.round(object.uw)
            heightField.value = Math.round(object.uh)
            open()
        }
        onAccepted: if (target) target.resizeTo(widthField.value, heightField.value, true)
        GridLayout {
            columns: 3
            Label { text: qsTr("Width:") }
            SpinBox { id: widthField; from: 8; to: 8000; editable: true }
            Label { text: qsTr("%1 mm").arg((widthField.value / doc.unitsPerMillimetre).toFixed(1)) }
            Label { text: qsTr("Height:") }
            SpinBox { id: heightField; from: 8; to: 8000; editable: true }
            Label { text: qsTr("%1 mm").arg((heightField.value / doc.unitsPerMillimetre).toFixed(1)) }
        }
    }

    Dialog {
        id: outsideWarning
        title: qsTr("Layout saved")
        modal: true
        anchors.centerIn: Overlay.overlay
        Label { text: qsTr("Some items are not fully inside printing rectangle.") }
        footer: DialogButtonBox {
            Button { text: qsTr("Close editor"); DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole }
            Button { text: qsTr("Keep editing"); DialogButtonBox.buttonRole: DialogButtonBox.RejectRole }
        }
        onAccepted: editor.finished(true, editor.layoutName)
        onRejected: editor.forceActiveFocus()
    }

    Dialog {
        id: testPrintDialog
        title: qsTr("Test print")
        modal: true
        anchors.centerIn: Overlay.overlay
        property alias printer: printerChoice.currentText
        property string outcome: ""
        onAboutToShow: { printerChoice.model = printerInterface.activePrinters(); outcome = "" }
        function printOnce() {
            var ok = printerInterface.testPrint(JSON.parse(editor.currentText()), printerChoice.currentText)
            outcome = ok ? qsTr("Printed once on %1 with example values.").arg(printerChoice.currentText)
                        : qsTr("The test print failed; see the note for the reason.")
            return ok
        }
        ColumnLayout {
            Label { text: qsTr("Print the layout once, with example values, on:") }
            ComboBox { id: printerChoice; Layout.preferredWidth: 360 }
            Label { text: testPrintDialog.outcome; visible: text.length > 0; wrapMode: Text.Wrap; Layout.maximumWidth: 360 }
        }
        footer: DialogButtonBox {
            Button { text: qsTr("Print"); onClicked: testPrintDialog.printOnce() }
            Button { text: qsTr("Close"); DialogButtonBox.buttonRole: DialogButtonBox.RejectRole }
        }
    }

    Component.onCompleted: forceActiveFocus()
}
