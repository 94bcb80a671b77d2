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
    property alias discardDialog: discardDialog
    property alias resizeDialog: resizeDialog
    property alias history: history
    property alias clipboard: clipboard
    property string lastSavedText: ""
    // The one selected object (geometry panel); null for none or several.
    readonly property var single: selection.length === 1 ? selection[0] : null
    readonly property int movingCount: { selection; return movingSet().length }

    signal finished(bool saved, string name)

    // Toolbar buttons as wide as their text, so the commands fit on one row in a 1200 px window.
    // They take no focus, so the canvas keeps its keys after a click.
    component ToolbarButton: Button {
        leftPadding: 6
        rightPadding: 6
        implicitWidth: contentItem.implicitWidth + leftPadding + rightPadding
        focusPolicy: Qt.NoFocus
    }
    component PanelButton: Button {
        Layout.fillWidth: true
        leftPadding: 6
        rightPadding: 6
        focusPolicy: Qt.NoFocus
    }

    LayoutDocument { id: doc; escaper: translator }
    LayoutHistory { id: history }
    LayoutGeometry { id: geometry }
    ObjectClipboard { id: clipboard }

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
            placeInFreeSpace(object)
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
    // Called by the properties dialogs when the user accepts them: a new object takes a free place
    // at its final size (a barcode's text included), and the change becomes one undo step.
    function propertiesAccepted(object, isNew, description) {
        if (isNew)
            placeInFreeSpace(object)
        commit(description)
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
        commit(qsTr("Delete"))
    }
    function bringToFront(object) {
        var all = objects()
        object.parent = null
        object.parent = objectLayer
        var followers = all.filter(function(o) { return o.followItem === object.itemId })
        for (var i = 0; i < followers.length; ++i) { followers[i].parent = null; followers[i].parent = objectLayer }
        commit(qsTr("Bring to front"))
    }
    function sendToBack(object) {
        var all = objects()
        var moved = [object].concat(all.filter(function(o) { return o.followItem === object.itemId }))
        var rest = all.filter(function(o) { return moved.indexOf(o) < 0 })
        var order = moved.concat(rest)
        for (var i = 0; i < order.length; ++i) { order[i].parent = null; order[i].parent = objectLayer }
        commit(qsTr("Send to back"))
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
    function endMove() {
        moveState = null
        commit(qsTr("Move"))
    }
    function moveSelectionBy(dx, dy) {
        var set = movingSet()
        for (var i = 0; i < set.length; ++i) { set[i].ux += dx; set[i].uy += dy }
        placeFollowers()
        // Nudges of the same objects in a row are undone together.
        commit(qsTr("Move"), "nudge " + set.map(function(o) { return o.itemId }).join(","))
    }
    function rotateSelection(degrees) {
        var set = movingSet()
        for (var i = 0; i < set.length; ++i)
            set[i].rotation = ((set[i].rotation + degrees) % 360 + 360) % 360
        placeFollowers()
        commit(qsTr("Rotate"))
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

    // ---- geometry, alignment, free space ------------------------------------------------------
    function boxOf(object) {
        return { "item_id": object.itemId, "x": object.ux, "y": object.uy, "width": object.uw,
                 "height": object.uh, "rotation": object.rotation }
    }
    function followersOf(object) {
        return objects().filter(function(o) { return o.followItem === object.itemId })
    }
    // The object and its followers on the first free spot of the label.
    function placeInFreeSpace(object) {
        var group = [object].concat(followersOf(object))
        var others = objects().filter(function(o) { return group.indexOf(o) < 0 }).map(function(o) { return o.record() })
        var shift = geometry.freePlace(group.map(boxOf), others, widthUnits, heightUnits, gridSize)
        object.ux += shift.dx
        object.uy += shift.dy
        placeFollowers()
    }
    // field: "left", "top", "width" or "height" of the selected object, in layout units.
    function setGeometry(field, units) {
        var object = single
        if (!object || units === undefined)
            return
        if (field === "width" || field === "height")
            units = Math.max(8, units)
        var changed = geometry.withGeometry(boxOf(object), field, units)
        object.uw = changed.width
        object.uh = changed.height
        if (!object.isFollower) {
            object.ux = changed.x
            object.uy = changed.y
        }
        placeFollowers()
        commit(field === "width" || field === "height" ? qsTr("Resize") : qsTr("Move"))
    }
    // how: "left", "center", "right", "top", "middle", "bottom", "horizontal", "vertical".
    function alignSelection(how) {
        var set = movingSet()
        if (set.length === 0)
            return
        var groups = set.map(function(o) {
            var box = boxOf(o)
            box.followers = followersOf(o).map(boxOf)
            return box
        })
        var shifts = geometry.aligned(groups, how, widthUnits, heightUnits)
        for (var i = 0; i < shifts.length; ++i) {
            var object = findById(shifts[i].item_id)
            object.ux += shifts[i].dx
            object.uy += shifts[i].dy
        }
        placeFollowers()
        commit(how === "horizontal" || how === "vertical" ? qsTr("Distribute") : qsTr("Align"))
    }

    // ---- undo, clipboard ----------------------------------------------------------------------
    // Every finished change ends here; a change that changed nothing makes no step.
    function commit(description, mergeKey) {
        history.commit(currentRecords(), description, mergeKey || "")
    }
    // Shows a state of the history: the objects are made again from its records, in its order.
    function restore(records) {
        var selectedIds = selection.map(function(o) { return o.itemId })
        selection = []
        var old = objects()
        for (var i = 0; i < old.length; ++i) {
            old[i].parent = null
            old[i].destroy()
        }
        for (var j = 0; j < records.length; ++j)
            createObject(records[j].type, records[j])
        selection = objects().filter(function(o) { return selectedIds.indexOf(o.itemId) >= 0 })
    }
    function undo() {
        if (history.canUndo)
            restore(history.undo())
    }
    function redo() {
        if (history.canRedo)
            restore(history.redo())
    }
    // The selected objects' records in stacking order.
    function selectedRecords() {
        return objects().filter(function(o) { return selection.indexOf(o) >= 0 }).map(function(o) { return o.record() })
    }
    function copySelection() {
        return selection.length ? clipboard.copy(selectedRecords(), currentRecords()) : 0
    }
    function addCopies(records, description) {
        var added = []
        for (var i = 0; i < records.length; ++i) {
            var object = createObject(records[i].type, records[i])
            if (object)
                added.push(object)
        }
        if (added.length === 0)
            return []
        placeFollowers()
        selection = added
        commit(description)
        return added
    }
    function paste() {
        return addCopies(clipboard.paste(objects().map(function(o) { return o.itemId })), qsTr("Paste"))
    }
    function duplicateSelection() {
        if (selection.length === 0)
            return []
        return addCopies(clipboard.duplicates(selectedRecords(), currentRecords(),
                                              objects().map(function(o) { return o.itemId })), qsTr("Duplicate"))
    }

    // ---- leaving ------------------------------------------------------------------------------
    property bool leaving: false
    // The size, name and paper of the layout as its file holds them; null for one never saved.
    property var storedLayout: null
    readonly property bool definitionsChanged: storedLayout !== null
        && (storedLayout.width !== widthUnits || storedLayout.height !== heightUnits || storedLayout.name !== layoutName
            || (storedLayout.fixedsize === true) !== fixedsize || (storedLayout.sizestr || "") !== sizestr)
    readonly property bool unsaved: history.modified || definitionsChanged
    function requestCancel() {
        if (unsaved) {
            discardDialog.closeWindow = false
            discardDialog.open()
        } else {
            finished(false, layoutName)
        }
    }
    function discardAndLeave() {
        var window = discardDialog.closeWindow ? Window.window : null
        leaving = true
        finished(false, layoutName)
        if (window)
            window.close()
    }
    // The window is about to close: unsaved changes are not lost without asking.
    function windowClosing(close) {
        if (leaving || !unsaved)
            return
        close.accepted = false
        discardDialog.closeWindow = true
        discardDialog.open()
    }
    Connections {
        target: editor.Window.window
        function onClosing(close) { editor.windowClosing(close) }
    }

    // ---- load and save ------------------------------------------------------------------------
    function loadLayout(layout) {
        var records = doc.editorRecords(layout)
        for (var i = 0; i < records.length; ++i) {
            var object = createObject(records[i].type, records[i])
            if (!object)
                console.log("Cannot show object of type " + records[i].type)
        }
        placeFollowers()
        // A layout opened again starts with nothing to undo.
        history.reset(currentRecords())
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
        history.markSaved()
        storedLayout = { "width": widthUnits, "height": heightUnits, "name": layoutName, "fixedsize": fixedsize,
                         "sizestr": sizestr }
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
        // Keys a field of the panel leaves unused (Up, Down, Ctrl+D) are not commands for objects.
        if (Window.activeFocusItem !== editor)
            return
        var step = (event.modifiers & Qt.ShiftModifier) ? 1 : gridSize
        var control = (event.modifiers & Qt.ControlModifier) !== 0
        if (event.matches(StandardKey.Redo) || (control && event.key === Qt.Key_Y)
                || (control && (event.modifiers & Qt.ShiftModifier) && event.key === Qt.Key_Z)) redo()
        else if (event.matches(StandardKey.Undo)) undo()
        else if (event.matches(StandardKey.Copy)) copySelection()
        else if (event.matches(StandardKey.Paste)) paste()
        else if (control && event.key === Qt.Key_D) duplicateSelection()
        else if (event.key === Qt.Key_Left) moveSelectionBy(-step, 0)
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
            objectName: "editorToolbar"
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
            ToolbarButton {
                objectName: "undoButton"
                text: qsTr("Undo")
                enabled: history.canUndo
                ToolTip.visible: hovered && enabled
                ToolTip.text: qsTr("Undo %1 (Ctrl+Z)").arg(history.undoText.toLowerCase())
                onClicked: editor.undo()
            }
            ToolbarButton {
                objectName: "redoButton"
                text: qsTr("Redo")
                enabled: history.canRedo
                ToolTip.visible: hovered && enabled
                ToolTip.text: qsTr("Redo %1 (Ctrl+Shift+Z)").arg(history.redoText.toLowerCase())
                onClicked: editor.redo()
            }
            ToolSeparator {}
            // Toggles: pressed while shown.
            ToolbarButton {
                text: qsTr("Grid")
                checkable: true
                checked: editor.showGrid
                ToolTip.visible: hovered
                ToolTip.text: editor.showGrid ? qsTr("Hide the grid") : qsTr("Show the grid")
                onClicked: editor.showGrid = !editor.showGrid
            }
            ToolbarButton {
                text: qsTr("Borders")
                checkable: true
                checked: editor.showBorders
                ToolTip.visible: hovered
                ToolTip.text: editor.showBorders ? qsTr("Hide the objects' borders") : qsTr("Show the objects' borders")
                onClicked: editor.showBorders = !editor.showBorders
            }
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
            ToolbarButton { text: qsTr("Cancel"); onClicked: editor.requestCancel() }

        }

        // Under the toolbar, which keeps to one row: the report the canvas and test print use.
        ReportChooser {
            id: reportChooser
            objectName: "reportChooser"
            Layout.fillWidth: true
            // Every step of the history is checked, so the list follows the edits.
            Connections {
                target: history
                function onChanged() { reportChooser.layout = JSON.parse(editor.currentText()) }
            }
            Component.onCompleted: layout = JSON.parse(editor.currentText())
        }

        RowLayout {
        Layout.fillWidth: true
        Layout.fillHeight: true
        spacing: 8

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

        // The selected object's place and size in millimetres, alignment and the clipboard.
        Pane {
            id: sidePanel
            Layout.preferredWidth: 250
            Layout.fillHeight: true
            padding: 10
            background: Rectangle { color: "white"; border.color: "#d5dbe3"; radius: 4 }
            readonly property var bounds: editor.single ? geometry.bounds(editor.boxOf(editor.single)) : null

            // Scrolls where the window is too low for all of it (1200 x 800).
            ScrollView {
                id: sideScroller
                objectName: "sidePanelScroller"
                anchors.fill: parent
                contentWidth: availableWidth
                clip: true
                ScrollBar.vertical.policy: contentHeight > availableHeight ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

            ColumnLayout {
                width: sideScroller.availableWidth
                spacing: 6

                Label { text: qsTr("Position and size"); font.bold: true }
                Label {
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    color: "#4a5568"
                    text: editor.selection.length === 0 ? qsTr("Nothing selected")
                        : editor.selection.length > 1 ? qsTr("%1 objects selected").arg(editor.selection.length)
                        : editor.single.isFollower ? qsTr("Follows its barcode") : qsTr("Left and top edges from the label's corner")
                }
                GridLayout {
                    columns: 2
                    columnSpacing: 8
                    rowSpacing: 4
                    enabled: editor.single !== null
                    Label { text: qsTr("X:") }
                    MillimetreField {
                        id: geometryX
                        objectName: "geometryX"
                        Layout.fillWidth: true
                        blank: editor.single === null
                        enabled: editor.single !== null && !editor.single.isFollower
                        units: sidePanel.bounds ? sidePanel.bounds.left : 0
                        onUnitsEdited: editor.setGeometry("left", units)
                        // Enter hands the keys back to the canvas, so Ctrl+Z undoes what was typed.
                        onAccepted: editor.forceActiveFocus()
                    }
                    Label { text: qsTr("Y:") }
                    MillimetreField {
                        objectName: "geometryY"
                        Layout.fillWidth: true
                        blank: editor.single === null
                        enabled: editor.single !== null && !editor.single.isFollower
                        units: sidePanel.bounds ? sidePanel.bounds.top : 0
                        onUnitsEdited: editor.setGeometry("top", units)
                        // Enter hands the keys back to the canvas, so Ctrl+Z undoes what was typed.
                        onAccepted: editor.forceActiveFocus()
                    }
                    Label { text: qsTr("Width:") }
                    MillimetreField {
                        objectName: "geometryWidth"
                        Layout.fillWidth: true
                        blank: editor.single === null
                        units: editor.single ? editor.single.uw : 0
                        onUnitsEdited: editor.setGeometry("width", units)
                        // Enter hands the keys back to the canvas, so Ctrl+Z undoes what was typed.
                        onAccepted: editor.forceActiveFocus()
                    }
                    Label { text: qsTr("Height:") }
                    MillimetreField {
                        objectName: "geometryHeight"
                        Layout.fillWidth: true
                        blank: editor.single === null
                        units: editor.single ? editor.single.uh : 0
                        onUnitsEdited: editor.setGeometry("height", units)
                        // Enter hands the keys back to the canvas, so Ctrl+Z undoes what was typed.
                        onAccepted: editor.forceActiveFocus()
                    }
                    Label { text: qsTr("Rotation:") }
                    Label { text: editor.single ? qsTr("%1\u00b0").arg(Math.round(editor.single.rotation)) : "" }
                }

                Label {
                    Layout.topMargin: 8
                    text: editor.movingCount > 1 ? qsTr("Align selection") : qsTr("Align to label")
                    font.bold: true
                }
                GridLayout {
                    objectName: "alignTools"
                    Layout.fillWidth: true
                    columns: 3
                    columnSpacing: 4
                    rowSpacing: 4
                    enabled: editor.selection.length > 0
                    PanelButton { text: qsTr("Left"); onClicked: editor.alignSelection("left") }
                    PanelButton { text: qsTr("Centre"); onClicked: editor.alignSelection("center") }
                    PanelButton { text: qsTr("Right"); onClicked: editor.alignSelection("right") }
                    PanelButton { text: qsTr("Top"); onClicked: editor.alignSelection("top") }
                    PanelButton { text: qsTr("Middle"); onClicked: editor.alignSelection("middle") }
                    PanelButton { text: qsTr("Bottom"); onClicked: editor.alignSelection("bottom") }
                }
                Label { text: qsTr("Distribute (three or more)"); font.bold: true; Layout.topMargin: 8 }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 4
                    enabled: editor.movingCount >= 3
                    PanelButton { text: qsTr("Horizontally"); onClicked: editor.alignSelection("horizontal") }
                    PanelButton { text: qsTr("Vertically"); onClicked: editor.alignSelection("vertical") }
                }

                Label { text: qsTr("Edit"); font.bold: true; Layout.topMargin: 8 }
                GridLayout {
                    Layout.fillWidth: true
                    columns: 2
                    columnSpacing: 4
                    rowSpacing: 4
                    PanelButton { text: qsTr("Copy"); enabled: editor.selection.length > 0; onClicked: editor.copySelection() }
                    PanelButton { text: qsTr("Paste"); enabled: clipboard.canPaste; onClicked: editor.paste() }
                    PanelButton { text: qsTr("Duplicate"); enabled: editor.selection.length > 0; onClicked: editor.duplicateSelection() }
                    PanelButton { text: qsTr("Delete"); enabled: editor.selection.length > 0; onClicked: editor.removeSelection() }
                }
                Label {
                    Layout.fillWidth: true
                    Layout.topMargin: 4
                    wrapMode: Text.Wrap
                    color: "#4a5568"
                    font.pixelSize: 12
                    text: qsTr("Ctrl+Z undo, Ctrl+Shift+Z redo, Ctrl+C copy, Ctrl+V paste, Ctrl+D duplicate")
                }
            }
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
        property alias widthField: widthField
        property alias heightField: heightField
        function openFor(object) {
            target = object
            widthField.units = object.uw
            heightField.units = object.uh
            widthField.reset()
            heightField.reset()
            open()
        }
        onAccepted: {
            if (target) {
                target.resizeTo(widthField.typedUnits(), heightField.typedUnits(), true)
                editor.commit(qsTr("Resize"))
            }
            editor.forceActiveFocus()
        }
        onRejected: editor.forceActiveFocus()
        GridLayout {
            columns: 2
            Label { text: qsTr("Width:") }
            MillimetreField { id: widthField; live: false; Layout.preferredWidth: 140 }
            Label { text: qsTr("Height:") }
            MillimetreField { id: heightField; live: false; Layout.preferredWidth: 140 }
        }
    }

    Dialog {
        id: discardDialog
        objectName: "discardDialog"
        // Set when the window is closing: it closes too once the changes are discarded.
        property bool closeWindow: false
        title: qsTr("Unsaved changes")
        modal: true
        anchors.centerIn: Overlay.overlay
        Label { objectName: "discardQuestion"; text: qsTr("Discard changes to %1?").arg(editor.layoutName) }
        footer: DialogButtonBox {
            Button { text: qsTr("Discard"); DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole }
            Button { text: qsTr("Keep editing"); DialogButtonBox.buttonRole: DialogButtonBox.RejectRole }
            onClicked: if (button.DialogButtonBox.buttonRole === DialogButtonBox.DestructiveRole) discardDialog.discard()
        }
        function discard() {
            close()
            editor.discardAndLeave()
        }
        onRejected: editor.forceActiveFocus()
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
            var report = reportChooser.preview ? reportChooser.preview.device : null
            var ok = printerInterface.testPrint(JSON.parse(editor.currentText()), printerChoice.currentText, report)
            var file = ok ? printerInterface.lastTestPrintFile() : ""
            var values = report ? qsTr("for %1").arg(reportChooser.preview.title) : qsTr("with example values")
            outcome = !ok ? qsTr("The test print failed; see the note for the reason.")
                    : file.length > 0 ? qsTr("Printed once %1 into the file %2").arg(values).arg(file)
                    : qsTr("Sent once %1 to the print queue of %2.").arg(values).arg(printerChoice.currentText)
            return ok
        }
        ColumnLayout {
            Label {
                text: reportChooser.preview && reportChooser.preview.device
                      ? qsTr("Print the layout once, for %1, on:").arg(reportChooser.preview.title)
                      : qsTr("Print the layout once, with example values, on:")
            }
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
