import QtQuick 2.15
import QtQuick.Controls 2.15
import LayoutEditing 1.0

// What every object on the canvas shares: its place in layout units (centre, size, rotation), its
// id and the object it follows, selection, moving, resizing by edge and wheel, and its menu.
// The object itself is drawn by the label's own painting (`printed`); kinds put hints into `content`,
// which is sized in layout units and scaled to the zoom.
// The editor's model owns the object: `record` is its row, and the properties follow it.
Item {
    id: object

    property var editor: null                  // the LayoutEditor that holds the object
    // The object as the model holds it (the layout file's keys).
    property var record: null
    property real zoom: editor ? editor.zoom : 1
    property string objectType: ""
    property int itemId: -1
    // Centre and size in layout units (1/8 mm), as the layout file stores them.
    property real ux: 0
    property real uy: 0
    property real uw: 160
    property real uh: 40
    property int followItem: -1
    property string followLocation: ""
    property bool selected: editor ? editor.model.selection.indexOf(itemId) >= 0 : false
    property bool showBorder: editor ? editor.showBorders : true
    readonly property bool isFollower: followItem >= 0
    default property alias contentData: content.data

    x: (ux - uw / 2) * zoom
    y: (uy - uh / 2) * zoom
    width: uw * zoom
    height: uh * zoom
    transformOrigin: Item.Center

    signal propertiesRequested()

    onRecordChanged: if (record) applyRecord(record)

    // Record fields every kind writes; kinds add theirs in editedRecord().
    function commonRecord() {
        return { "x": Math.round(ux), "y": Math.round(uy), "width": Math.round(uw), "height": Math.round(uh),
                 "rotation": Math.round(rotation), "item_id": itemId, "followItem": followItem,
                 "followLocation": followLocation, "type": objectType }
    }
    function editedRecord() { return commonRecord() }
    function applyCommon(r) {
        ux = r.x; uy = r.y; uw = r.width; uh = r.height
        rotation = r.rotation !== undefined ? r.rotation : 0
        itemId = r.item_id
        followItem = r.followItem !== undefined ? r.followItem : -1
        followLocation = r.followLocation !== undefined ? r.followLocation : ""
    }
    function applyRecord(r) { applyCommon(r) }

    // Keeps the edge opposite to the one dragged in place, also when rotated; the dragged edges
    // snap only when `snapping` is true. Properties set by a dialog go to the model first.
    function resizeTo(newWidth, newHeight, keepTopLeft, snapping) {
        if (!editor)
            return
        editor.model.updateObject(itemId, editedRecord())
        editor.model.resizeTo(itemId, newWidth, newHeight, keepTopLeft, snapping !== true)
    }

    // The object as printed, for the report the editor previews with (example values without one).
    readonly property alias printed: printedView
    LayoutObjectView {
        id: printedView
        anchors.fill: parent
        record: object.record || ({})
        document: object.editor ? object.editor.document : null
        device: object.editor ? object.editor.previewDevice : null
        zoom: object.zoom
    }

    // How the object comes out for the report shown (empty, elided, wider than its box); "" if fine.
    readonly property string problem: editor && editor.objectProblems
                                      ? (editor.objectProblems[String(itemId)] || "") : ""
    Rectangle {
        objectName: "problemMark"
        anchors.fill: parent
        visible: object.problem.length > 0
        color: "#14d1242f"
        border.color: "#d1242f"
        border.width: 2
        Label {
            anchors.left: parent.left
            anchors.bottom: parent.top
            text: object.problem
            color: "white"
            font.pixelSize: 11
            padding: 2
            background: Rectangle { color: "#d1242f" }
        }
    }

    Item {
        id: content
        width: object.uw
        height: object.uh
        scale: object.zoom
        transformOrigin: Item.TopLeft
    }

    Rectangle {
        id: border
        anchors.fill: parent
        color: "transparent"
        border.width: object.selected ? 2 : 1
        border.color: object.selected ? "#1f6feb" : "#b9c4d3"
        visible: object.selected || object.showBorder
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        hoverEnabled: true
        property string mode: ""      // "move", "right", "bottom", "corner"
        readonly property real edge: 7

        function edgeAt(mx, my) {
            var right = mx > width - edge, bottom = my > height - edge
            if (object.isFollower)
                return ""
            return right && bottom ? "corner" : right ? "right" : bottom ? "bottom" : ""
        }

        cursorShape: {
            var e = edgeAt(mouseX, mouseY)
            return e === "corner" ? Qt.SizeFDiagCursor : e === "right" ? Qt.SplitHCursor
                 : e === "bottom" ? Qt.SplitVCursor : Qt.OpenHandCursor
        }

        onPressed: {
            if (!editor)
                return
            editor.forceActiveFocus()
            if (mouse.button === Qt.RightButton) {
                if (!object.selected)
                    editor.select(object, false)
                menu.popup()
                return
            }
            // Ctrl toggles the object in the selection; Shift adds it but never drops it, so a
            // drag with Shift held (no snapping) moves what is selected.
            if (mouse.modifiers & Qt.ControlModifier)
                editor.select(object, true)
            else if (!object.selected)
                editor.select(object, (mouse.modifiers & Qt.ShiftModifier) !== 0)
            mode = edgeAt(mouse.x, mouse.y) || "move"
            if (mode === "move") {
                editor.beginMove(object, mapToItem(editor.page, mouse.x, mouse.y))
                mouseControl.useOpenHandCursor()
            } else if (mode === "corner") {
                mouseControl.useFDiagCursor()
            } else if (mode === "right") {
                mouseControl.useResizeCursor()
            } else {
                mouseControl.useResizeVCursor()
            }
        }
        onPositionChanged: {
            if (!pressed || !editor)
                return
            // Shift held: no snapping.
            var snapping = !(mouse.modifiers & Qt.ShiftModifier)
            if (mode === "move") {
                editor.moveTo(mapToItem(editor.page, mouse.x, mouse.y), snapping)
            } else if (mode !== "") {
                // Local coordinates turn with the object, so the size follows the pointer.
                var w = mode === "bottom" ? object.uw : mouse.x / zoom
                var h = mode === "right" ? object.uh : mouse.y / zoom
                object.resizeTo(w, h, true, snapping)
            }
        }
        onReleased: {
            if (mode !== "")
                mouseControl.resetCursorShape()
            var resized = mode !== "" && mode !== "move"
            mode = ""
            if (editor) {
                if (resized)
                    editor.commit(qsTr("Resize"))
                else
                    editor.endMove()
            }
        }
        onDoubleClicked: object.propertiesRequested()
        onWheel: {
            if (!object.selected || object.isFollower) {
                wheel.accepted = false
                return
            }
            var factor = wheel.angleDelta.y > 0 ? 1.05 : 1 / 1.05
            if (wheel.modifiers & Qt.ControlModifier)
                object.resizeTo(object.uw * factor, object.uh, false)
            else if (wheel.modifiers & Qt.ShiftModifier)
                object.resizeTo(object.uw, object.uh * factor, false)
            else
                object.resizeTo(object.uw * factor, object.uh * factor, false)
            // One wheel turn is many small steps; they are undone together.
            editor.commit(qsTr("Resize"), "wheel " + object.itemId)
        }
    }

    Menu {
        id: menu
        MenuItem { text: qsTr("Rotate left"); onTriggered: editor.rotateSelection(-90) }
        MenuItem { text: qsTr("Rotate right"); onTriggered: editor.rotateSelection(90) }
        MenuItem { text: qsTr("Resize..."); onTriggered: editor.openResize(object) }
        MenuItem { text: qsTr("Copy"); onTriggered: editor.copySelection() }
        MenuItem { text: qsTr("Duplicate"); onTriggered: editor.duplicateSelection() }
        MenuItem { text: qsTr("Remove"); onTriggered: editor.removeSelection() }
        MenuItem { text: qsTr("Properties"); onTriggered: object.propertiesRequested() }
        MenuItem { text: qsTr("Bring to front"); onTriggered: editor.bringToFront(object) }
        MenuItem { text: qsTr("Send to back"); onTriggered: editor.sendToBack(object) }
    }
}
