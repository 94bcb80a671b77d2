import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Window 2.15
import LayoutEditing 1.0

// The canvas: the label page at its size with the snapping grid, the objects on it and the
// commands that add, edit, save and test-print them. A plain item rather than a focus scope: taking
// the focus back from a panel field must give the keys to the canvas itself, not to that field.
Item {
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
    readonly property alias model: layoutModel
    // The selected canvas items, in the order they were selected.
    readonly property var selection: {
        objectRepeater.count
        return layoutModel.selection.map(function(id) { return findById(id) }).filter(function(o) { return o !== null })
    }
    readonly property alias page: page
    readonly property alias objectLayer: objectLayer
    property alias textDialog: textDialog
    property alias barcodeDialog: barcodeDialog
    property alias imageDialog: imageDialog
    property alias outsideWarning: outsideWarning
    property alias testPrintDialog: testPrintDialog
    property alias discardDialog: discardDialog
    property alias resizeDialog: resizeDialog
    readonly property var history: layoutModel.history
    readonly property var clipboard: layoutModel.clipboard
    property alias document: doc
    // The report the canvas shows the label for (a Device); null shows the example values.
    property QtObject previewDevice: reportChooser.preview ? reportChooser.preview.device : null
    // item_id (as text) -> how the object comes out for the shown values ("empty", "elided", ...).
    readonly property var objectProblems: reportChooser.preview ? reportChooser.preview.objectProblems : ({})
    property string lastSavedText: ""
    // The one selected object (geometry panel); null for none or several.
    readonly property var single: selection.length === 1 ? selection[0] : null
    readonly property int movingCount: layoutModel.movingCount

    signal finished(bool saved, string name)

    // Toolbar buttons as wide as their text, so the commands fit on one row in a 1200 px window.
    // They take no focus and give the keys back to the canvas (ending a panel field's edit), so
    // the canvas keeps its keys after a click.
    component ToolbarButton: Button {
        leftPadding: 6
        rightPadding: 6
        implicitWidth: contentItem.implicitWidth + leftPadding + rightPadding
        focusPolicy: Qt.NoFocus
        onPressed: editor.forceActiveFocus()
    }
    component PanelButton: Button {
        Layout.fillWidth: true
        leftPadding: 6
        rightPadding: 6
        focusPolicy: Qt.NoFocus
        onPressed: editor.forceActiveFocus()
    }

    LayoutDocument { id: doc; escaper: translator }
    LayoutGeometry { id: geometry }
    // The document: objects, selection and undo history. QML keeps the gestures and panels.
    LayoutModel {
        id: layoutModel
        escaper: translator
        widthUnits: editor.widthUnits
        heightUnits: editor.heightUnits
        gridUnits: editor.gridSize
        snapToGrid: editor.showGrid
        // A few screen pixels whatever the zoom.
        snapReach: 6 / editor.zoom
    }

    // ---- objects ------------------------------------------------------------------------------
    // The canvas items in stacking order.
    function objects() {
        var list = []
        for (var i = 0; i < objectRepeater.count; ++i) {
            var slot = objectRepeater.itemAt(i)
            if (slot && slot.item)
                list.push(slot.item)
        }
        return list
    }
    function findById(id) {
        var slot = objectRepeater.itemAt(layoutModel.rowOf(id))
        return slot ? slot.item : null
    }
    function addObject(type) {
        var object = findById(layoutModel.addNew(type))
        if (!object)
            console.log("Cannot create " + type)
        return object
    }
    function addText() {
        var object = addObject("TextObject.qml")
        if (object)
            openProperties(object, true)
        return object
    }
    function addBarcode() {
        var object = addObject("BarCode.qml")
        if (!object)
            return null
        var record = layoutModel.recordOf(object.itemId)
        record.symbology = settingsManager.getValue("printer/symbology", "code128")
        layoutModel.updateObject(object.itemId, record)
        openProperties(object, true)
        return object
    }
    function addImage() {
        var object = addObject("ShapeObject.qml")
        if (object)
            openProperties(object, true)
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
    // Called by the properties dialogs when the user accepts them: what the dialog set on the
    // object goes to the model, a new object takes a free place at its final size (a barcode's
    // text included), and the change becomes one undo step.
    function propertiesAccepted(object, isNew, description) {
        layoutModel.updateObject(object.itemId, object.editedRecord())
        if (isNew)
            layoutModel.placeInFreeSpace(object.itemId)
        commit(description)
    }
    function removeObject(object) {
        if (object)
            layoutModel.removeObject(object.itemId)
    }
    function removeSelection() { layoutModel.removeSelection() }
    function bringToFront(object) { layoutModel.bringToFront(object.itemId) }
    function sendToBack(object) { layoutModel.sendToBack(object.itemId) }
    // Barcode's human-readable text: created, updated or dropped with the barcode's settings.
    function syncHumanReadable(barcode) {
        layoutModel.updateObject(barcode.itemId, barcode.editedRecord())
        layoutModel.syncHumanReadable(barcode.itemId)
    }

    // ---- selection and moving -----------------------------------------------------------------
    function select(object, additive) { layoutModel.select(object ? object.itemId : -1, additive) }
    function selectObjects(list) { layoutModel.setSelection(list.map(function(o) { return o.itemId })) }
    property point dragStart
    function beginMove(object, point) {
        dragStart = point
        layoutModel.beginDrag(object.itemId)
    }
    // The grabbed object snaps to the grid and to other objects unless `snapping` is false.
    function moveTo(point, snapping) {
        layoutModel.dragBy((point.x - dragStart.x) / zoom, (point.y - dragStart.y) / zoom, snapping === false)
    }
    function endMove() { layoutModel.endDrag() }
    function moveSelectionBy(dx, dy) { layoutModel.nudge(dx, dy) }
    function rotateSelection(degrees) { layoutModel.rotateSelectionBy(degrees) }
    function stepSelection(forward) { layoutModel.stepSelection(forward) }
    // rect: on the page, in screen pixels.
    function selectInRect(rect) {
        layoutModel.selectInRect(Qt.rect(rect.x / zoom, rect.y / zoom, rect.width / zoom, rect.height / zoom))
    }
    function openResize(object) { resizeDialog.openFor(object) }
    function setGeometry(field, units) {
        if (units !== undefined)
            layoutModel.setGeometry(field, units)
    }
    // how: "left", "center", "right", "top", "middle", "bottom", "horizontal", "vertical".
    function alignSelection(how) { layoutModel.align(how) }

    // ---- undo, clipboard ----------------------------------------------------------------------
    // Every finished change ends here; a change that changed nothing makes no step.
    function commit(description, mergeKey) { layoutModel.commit(description, mergeKey || "") }
    function undo() { layoutModel.undo() }
    function redo() { layoutModel.redo() }
    function copySelection() { return layoutModel.copySelection() }
    function paste() { return layoutModel.paste() }
    function duplicateSelection() { return layoutModel.duplicateSelection() }

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
        if (!layoutModel.load(layout))
            console.log("Cannot show the layout " + layoutName)
    }
    function currentRecords() { return layoutModel.records() }
    function currentText() {
        var layout = { "width": widthUnits, "height": heightUnits, "name": layoutName, "fixedsize": fixedsize,
                       "sizestr": sizestr, "version": systemconfig.getVersion() }
        return layoutModel.text(layout)
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
        if (layoutModel.objectsOutside().length > 0) {
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
        // Arrows: 0.5 mm, with Shift 5 mm.
        var step = (event.modifiers & Qt.ShiftModifier) ? 10 * layoutModel.nudgeUnits : layoutModel.nudgeUnits
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

        // Rulers in millimetres along the top and left of the canvas, moving with zoom and scroll.
        GridLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            columns: 2
            rowSpacing: 0
            columnSpacing: 0
            Rectangle { width: 24; height: 24; color: "#f4f6f9" }
            Ruler {
                objectName: "topRuler"
                Layout.fillWidth: true
                height: 24
                orientation: Qt.Horizontal
                zoom: editor.zoom
                origin: page.x - view.contentX
                lengthUnits: editor.widthUnits
            }
            Ruler {
                objectName: "leftRuler"
                Layout.fillHeight: true
                width: 24
                orientation: Qt.Vertical
                zoom: editor.zoom
                origin: page.y - view.contentY
                lengthUnits: editor.heightUnits
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
                    Repeater {
                        id: objectRepeater
                        model: layoutModel
                        // One item of the object's kind, its properties following the model's row.
                        delegate: Loader {
                            id: slot
                            // Stacked in the model's order, also after rows moved.
                            z: index
                            readonly property var objectRecord: model.record
                            source: model.objectType
                            onLoaded: {
                                item.editor = editor
                                item.record = Qt.binding(function() { return slot.objectRecord })
                                item.propertiesRequested.connect(function() { editor.openProperties(slot.item, false) })
                            }
                        }
                    }
                }
                Rectangle {
                    id: bandRect
                    visible: false
                    color: "#301f6feb"
                    border.color: "#1f6feb"
                }
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
            readonly property var bounds: editor.single ? geometry.bounds(layoutModel.single) : null

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
                    TextField {
                        id: rotationField
                        objectName: "geometryRotation"
                        Layout.fillWidth: true
                        enabled: editor.single !== null && !editor.single.isFollower
                        selectByMouse: true
                        horizontalAlignment: TextInput.AlignRight
                        rightPadding: degreeSign.implicitWidth + 12
                        validator: IntValidator { bottom: -359; top: 359 }
                        text: editor.single ? Math.round(editor.single.rotation) : ""
                        onEditingFinished: {
                            if (acceptableInput && editor.single && parseInt(text) !== Math.round(editor.single.rotation))
                                editor.model.setRotation(parseInt(text))
                            text = Qt.binding(function() { return editor.single ? Math.round(editor.single.rotation) : "" })
                        }
                        onAccepted: editor.forceActiveFocus()
                        Label {
                            id: degreeSign
                            anchors.right: parent.right
                            anchors.rightMargin: 8
                            anchors.verticalCenter: parent.verticalCenter
                            text: "\u00b0"
                            color: "#5d6b7e"
                        }
                    }
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
    BarcodeTypeQuery {
        id: barcodeDialog
        editor: editor
        printerDpi: layoutmanager.lowestPrinterResolution(editor.layoutName)
    }
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
