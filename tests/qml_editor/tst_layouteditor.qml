import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import QtTest 1.15
import LayoutEditing 1.0

// A person designing a label from nothing: definitions, objects of each kind, moving, rotating,
// saving, the stored file as printing reads it, and opening it again.
Item {
    id: root
    width: 1400
    height: 900

    Loader {
        id: loader
        anchors.fill: parent
        source: "qrc:/ui/qml/StandaloneLayouts.qml"
    }
    LayoutDocument { id: doc }

    TestCase {
        name: "LayoutEditor"
        when: windowShown && loader.status === Loader.Ready

        readonly property var view: loader.item

        function init() {
            if (view.editor) {
                view.editor.destroy()
                view.editor = null
            }
            wait(0)
        }

        // Opens the definitions for a new layout of the given size and name and starts the canvas.
        function newCanvas(name, widthMm, heightMm) {
            var definitions = view.openEditor("")
            definitions.paperChoice.currentIndex = definitions.paperChoice.count - 1 // "Custom"
            definitions.widthField.value = widthMm
            definitions.heightField.value = heightMm
            definitions.nameField.text = name
            return definitions.startEditing()
        }
        function typeText(text) {
            for (var i = 0; i < text.length; ++i)
                keyClick(text.charAt(i))
        }
        function addTextWith(canvas, content) {
            var object = canvas.addText()
            canvas.textDialog.textArea.text = content
            canvas.textDialog.accept()
            return object
        }
        // A barcode over the first content, with its text attached when asked.
        function addBarcode(canvas, attach) {
            var barcode = canvas.addBarcode()
            canvas.barcodeDialog.transfer(canvas.barcodeDialog.available, canvas.barcodeDialog.chosen, 0)
            canvas.barcodeDialog.attach.checked = attach
            canvas.barcodeDialog.accept()
            return barcode
        }
        // Sets the object's centre (and width) in the model, as a dialog or a drag would.
        function place(canvas, object, x, y, width) {
            var record = canvas.model.recordOf(object.itemId)
            record.x = x
            record.y = y
            if (width !== undefined)
                record.width = width
            canvas.model.updateObject(object.itemId, record)
        }
        function followsBelow(follower, barcode) {
            compare(follower.uy, barcode.uy + barcode.uh / 2 + follower.uh / 2, "the text follows its barcode")
        }

        // In the room a 1200 x 800 window leaves, the toolbar's commands stay on one row.
        function test_a_toolbarFitsTheSmallestWindow() {
            root.width = 1200
            root.height = 702
            var canvas = newCanvas("Narrow", 62, 100)
            var toolbar = findChild(canvas, "editorToolbar")
            tryVerify(function () { return toolbar.width > 0 && toolbar.width <= 1200 })
            waitForRendering(canvas)
            var first = toolbar.children[0]
            for (var i = 0; i < toolbar.children.length; ++i) {
                var item = toolbar.children[i]
                if (item.visible && item.height > 0)
                    compare(item.y, first.y, "toolbar item " + i + " is on the first row")
            }
            root.width = 1400
            root.height = 900
        }

        function test_a_nameValidation() {
            layoutmanager.saveLayout('{"name":"Existing","width":80,"height":80,"objects":[]}', "Existing")
            var definitions = view.openEditor("")
            definitions.nameField.forceActiveFocus()
            typeText("a./b")
            compare(definitions.nameField.text, "ab", "full stop and slash cannot be entered")
            verify(doc.nameError("a/b", [], "").length > 0)
            definitions.nameField.text = "Existing"
            compare(definitions.nameError, "Entered layout name already exists")
            verify(!definitions.startButton.enabled)
            definitions.nameField.text = "Fresh name"
            verify(definitions.startButton.enabled)
            definitions.destroy()
            layoutmanager.removeLayout("Existing")
        }

        function test_b_designSaveAndReload() {
            var canvas = newCanvas("Shelf label", 62, 100)

            // A text with a tag, picked from the content kinds; the preview drops the markup.
            var text = canvas.addText(), textDialog = canvas.textDialog
            textDialog.textArea.text = "<b>Made by "
            textDialog.textArea.cursorPosition = 11
            textDialog.chooseKind(textDialog.shownKinds.map(function(k) { return k.label }).indexOf("Manufacturer"))
            compare(findChild(textDialog, "preview").text, "Made by Korvex Labs")
            textDialog.accept()

            // Moved with the mouse (where it snaps is test_m's and the model test's matter).
            canvas.select(null, false)
            var before = text.ux
            mouseDrag(text, 20, 10, 3 * canvas.zoom * 10 + 3, 2 * canvas.zoom * 10)
            verify(text.ux > before)

            // A barcode over two contents with its human-readable text below it.
            var barcode = canvas.addBarcode()
            var dialog = canvas.barcodeDialog
            var labels = function(list) { var out = []; for (var i = 0; i < list.count; ++i) out.push(list.model.get(i).value); return out }
            dialog.transfer(dialog.available, dialog.chosen, labels(dialog.available).indexOf("IMEI"))
            dialog.transfer(dialog.available, dialog.chosen, labels(dialog.available).indexOf("System serial"))
            dialog.attach.checked = true
            dialog.accept()
            compare(barcode.contentOrder, "IMEI,System serial")
            var follower = canvas.findById(barcode.textObjectId)
            compare(follower.unformattedString, "<firstid IMEI,System serial>: <firstvalue IMEI,System serial>")
            canvas.select(barcode, false)
            canvas.moveSelectionBy(0, 200)
            followsBelow(follower, barcode)

            // An image from the logo folder, imported first.
            verify(userAppContainer.importLogoFromUsb(editorTest.makePicture("station-logo.png", 120, 60)))
            var image = canvas.addImage()
            canvas.imageDialog.selectedLogo = "station-logo.png"
            canvas.imageDialog.accept()
            compare(image.uh * 2, image.uw, "a new image takes the logo's proportions")
            canvas.setGeometry("left", 40)
            canvas.setGeometry("top", 670)
            compare([image.ux, image.uy], [100, 700])

            var records = canvas.currentRecords()
            compare(records.length, 4)
            canvas.saveAndExit()
            tryCompare(view, "editor", null) // no warning held it: everything is on the page

            // The stored text: texts escaped for the printing side, the size and the links.
            var stored = editorTest.layoutFileText("Shelf label")
            verify(stored.indexOf("Made\\u0020by\\u0020\\u003cmanufacturer\\u003e") > 0, "jsonEscaped text")
            var layout = JSON.parse(stored)
            compare([layout.width, layout.sizestr], [496, "62mm x 100mm"])
            var storedBarcode = layout.objects.filter(function(o) { return o.type === "BarCode.qml" })[0]
            var storedFollower = layout.objects.filter(function(o) { return o.item_id === storedBarcode.textobjectid })[0]
            compare(storedFollower.followItem, storedBarcode.item_id)

            // The printing side renders it: the barcode reads as the example IMEI.
            compare(editorTest.decodeStoredLayout("Shelf label"), ["012345678901234"])
            verify(editorTest.blackPixelsIn("Shelf label", 100 - 60, 700 - 30, 120, 60) > 0, "the logo prints")
            tryCompare(view.previewImage, "status", Image.Ready) // the preview file was written

            // Opened again: the same objects, the follower attached to its barcode again.
            var again = view.openEditor("Shelf label").startEditing()
            compare(JSON.stringify(again.currentRecords()), JSON.stringify(records))
            again.finished(false, "Shelf label")
        }

        // Sets keys of an object's record in the model, as the dialogs and gestures do.
        function setKeys(canvas, object, changes) {
            var record = canvas.model.recordOf(object.itemId)
            for (var key in changes)
                record[key] = changes[key]
            canvas.model.updateObject(object.itemId, record)
        }
        // Barcodes of the given symbologies and free-text contents, one above the other.
        function canvasWithCodes(name, codes, height) {
            var canvas = newCanvas(name, 62, 100)
            for (var i = 0; i < codes.length; ++i) {
                var barcode = addBarcode(canvas, false)
                var changes = {"symbology": codes[i][0], "x": 248, "y": 100 + i * (height + 30) + height / 2,
                               "width": 440, "height": height}
                if (codes[i][1].length)
                    changes.contentOrder = doc.freeTextContent(codes[i][1])
                setKeys(canvas, barcode, changes)
            }
            canvas.showGrid = false
            canvas.showBorders = false
            canvas.select(null, false)
            waitForRendering(canvas)
            return canvas
        }
        function comparedWithPrint(canvas) {
            var result = editorTest.compareCanvasWithPrint(canvas.page, canvas.currentText())
            verify(result.black > 5000, "the label has something on it")
            verify(result.differing < result.black / 1000, result.differing + " of " + result.black + " differ")
            return result
        }

        // The canvas draws each object with the label's own painting: without grid and borders it
        // is the printed page at the same scale, and each of its barcodes reads as printed.
        function test_c_canvasShowsThePrintedLabel() {
            var canvas = canvasWithCodes("Printed look", [["code128", "", 0], ["code39", "STATION 7"],
                                                          ["ean-13", "400638133393"]], 120)
            setKeys(canvas, addTextWith(canvas, "<b><manufacturer> <model> with a long name"),
                    {"x": 248, "y": 50, "width": 300, "height": 40})
            waitForRendering(canvas)
            var result = comparedWithPrint(canvas)
            compare(result.canvasCodes.sort(), ["012345678901234", "4006381333931", "STATION 7"])
            compare(result.canvasCodes, result.printedCodes.sort())
            canvas.finished(false, "")
        }

        function test_c_canvasShowsTwoDimensionalCodes() {
            var link = "https://reports.example/r/4711"
            var canvas = canvasWithCodes("Matrix look", [["qrcode", link], ["datamatrix", "DM 0815"],
                                                         ["pdf417", "PDF 417 label"]], 180)
            compare(comparedWithPrint(canvas).objectCodes.sort(), ["DM 0815", "PDF 417 label", link])
            canvas.finished(false, "")
        }

        // Shown for a real report, an object that comes out elided is marked on the canvas and
        // listed under the chooser; for a report where it fits, the mark goes.
        function test_c_realReportMarksElidedObjects() {
            var canvas = newCanvas("For a report", 62, 100)
            var model = addTextWith(canvas, "<model>")
            setKeys(canvas, model, {"x": 248, "y": 100, "width": 240, "height": 40, "elide": "Right"})
            editorTest.offerReports(2, ["Galaxy Z Fold5 Enterprise Edition 1TB Phantom Black", "Pixel 7"])
            var chooser = findChild(canvas, "reportChooser")
            var mark = findChild(model, "problemMark")
            previewReport.choose(0)
            tryCompare(model, "problem", "elided")
            verify(mark.visible)
            verify(JSON.stringify(chooser.preview.problems).indexOf("elided") > 0)
            previewReport.next()
            tryCompare(model, "problem", "")
            verify(!mark.visible)
            previewReport.choose(-1)
            canvas.finished(false, "")
        }

        function test_f_undoAndRedoReturnEachState() {
            var canvas = newCanvas("History", 62, 100)
            var states = [canvas.currentText()]
            var remember = function() { states.push(canvas.currentText()) }

            var text = addTextWith(canvas, "<model>"); remember()
            canvas.moveSelectionBy(30, 0); remember()
            canvas.setGeometry("width", 320); remember()
            canvas.rotateSelection(90); remember()
            canvas.textDialog.openFor(text, false)
            canvas.textDialog.textArea.text = "<manufacturer>"
            canvas.textDialog.accept(); remember()
            var barcode = addBarcode(canvas, true); remember()
            canvas.alignSelection("right"); remember()
            canvas.select(text, false)
            canvas.removeSelection(); remember()
            for (var i = 1; i < states.length; ++i)
                verify(states[i] !== states[i - 1], "change " + i + " changed the layout")

            // A click that moves nothing and a dialog left unchanged make no step.
            canvas.select(barcode, false)
            canvas.endMove()
            canvas.barcodeDialog.openFor(barcode, false)
            canvas.barcodeDialog.accept()
            compare(canvas.history.undoText, "Delete")

            // Ctrl+Z steps back through every state, Ctrl+Y replays them.
            canvas.forceActiveFocus()
            for (var u = states.length - 2; u >= 0; --u) {
                keyClick(Qt.Key_Z, Qt.ControlModifier)
                compare(canvas.currentText(), states[u], "undone to state " + u)
            }
            for (var r = 1; r < states.length; ++r) {
                keyClick(Qt.Key_Y, Qt.ControlModifier)
                compare(canvas.currentText(), states[r], "redone to state " + r)
            }
            // The barcode's text is attached again after all that: it follows its barcode.
            var again = canvas.objects().filter(function(o) { return o.objectType === "BarCode.qml" })[0]
            canvas.select(again, false)
            canvas.moveSelectionBy(0, 40)
            followsBelow(canvas.findById(again.textObjectId), again)
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            compare(canvas.currentText(), states[states.length - 1])
            canvas.finished(false, "")
        }

        function test_h_alignAndCopies() {
            var canvas = newCanvas("Aligned", 62, 100)
            var added = []
            for (var i = 0; i < 4; ++i) {
                added.push(addTextWith(canvas, "Line " + i))
                compare(canvas.selection, [added[i]], "a new object is selected")
            }
            var barcode = addBarcode(canvas, true)

            var a = added[0], b = added[1], c = added[2]
            place(canvas, a, 100, 100, 100)
            place(canvas, b, 250, 300, 200)
            place(canvas, c, 150, 600, 60)
            canvas.selectObjects([a, b, c])
            canvas.alignSelection("left")
            compare([a.ux - a.uw / 2, b.ux - b.uw / 2, c.ux - c.uw / 2], [50, 50, 50])
            // One object aligns to the label.
            canvas.select(b, false)
            canvas.alignSelection("center")
            compare(b.ux, canvas.widthUnits / 2)
            compare(canvas.history.undoText, "Align")

            // Copied and pasted, the barcode takes its text along.
            var text = canvas.findById(barcode.textObjectId), n = canvas.objects().length
            canvas.select(barcode, false)
            canvas.forceActiveFocus()
            keyClick(Qt.Key_C, Qt.ControlModifier)
            keyClick(Qt.Key_V, Qt.ControlModifier)
            compare(canvas.objects().length, n + 2)
            var pasted = canvas.selection.filter(function(o) { return o.objectType === "BarCode.qml" })[0]
            verify(pasted.ux !== barcode.ux || pasted.uy !== barcode.uy, "not on top of the copied one")
            compare(canvas.model.objectsOutside(), [], "pasted inside the label")
            var pastedText = canvas.findById(pasted.textObjectId)
            verify(pastedText && pastedText !== text, "the attached text travels with it")
            compare(pastedText.unformattedString, text.unformattedString)
            canvas.select(pasted, false)
            canvas.moveSelectionBy(0, 80)
            followsBelow(pastedText, pasted)
            followsBelow(text, barcode)
            // Every id is unique.
            var ids = canvas.objects().map(function(o) { return o.itemId })
            compare(ids.filter(function(id, i) { return ids.indexOf(id) === i }).length, n + 2)
            canvas.finished(false, "")
        }

        function test_k_outsideWarnsAndCancelAsksBeforeDiscarding() {
            // Saved with an object off the page: it warns, and stores it as it is.
            var canvas = newCanvas("Kept", 62, 100)
            addTextWith(canvas, "Too wide")
            canvas.setGeometry("width", 600)
            canvas.saveAndExit()
            verify(canvas.outsideWarning.opened || canvas.outsideWarning.visible)
            var stored = editorTest.layoutFileText("Kept")
            compare(JSON.parse(stored).objects[0].width, 600)
            canvas.outsideWarning.accept()
            tryCompare(view, "editor", null)

            // Nothing changed: cancel leaves at once.
            var again = view.openEditor("Kept").startEditing()
            again.requestCancel()
            tryCompare(view, "editor", null)

            again = view.openEditor("Kept").startEditing()
            again.select(again.objects()[0], false)
            again.moveSelectionBy(40, 0)
            again.requestCancel()
            tryCompare(again.discardDialog, "opened", true)
            again.discardDialog.reject()
            verify(view.editor !== null, "still open while asking, and after Keep editing")

            // Closing the window asks too, and is held back.
            var window = again.Window.window
            window.close()
            tryCompare(again.discardDialog, "opened", true)
            verify(window.visible && again.discardDialog.closeWindow)
            again.discardDialog.closeWindow = false
            again.discardDialog.discard()
            tryCompare(view, "editor", null)
            compare(editorTest.layoutFileText("Kept"), stored, "discarding leaves the file untouched")

            // A new size chosen in the definitions is a change too.
            var definitions = view.openEditor("Kept")
            definitions.widthField.value = 70
            again = definitions.startEditing()
            again.requestCancel()
            tryCompare(again.discardDialog, "opened", true)
            again.discardDialog.discard()
            tryCompare(view, "editor", null)
            compare(editorTest.layoutFileText("Kept"), stored)
        }

        function test_d_keysFieldsAndChooserOnOneCanvas() {
            var canvas = newCanvas("Keys", 62, 100)
            var a = addTextWith(canvas, "A"), b = addTextWith(canvas, "B")
            canvas.forceActiveFocus()
            canvas.select(b, false)
            keyClick(Qt.Key_Delete)
            compare(canvas.objects(), [a])

            // Millimetre fields: typed with one decimal, stored in units; the left edge is X.
            var text = a
            canvas.select(text, false)
            canvas.setGeometry("width", 480)
            var x = findChild(canvas, "geometryX")
            compare(findChild(canvas, "geometryWidth").text, "60.0")
            x.forceActiveFocus(); x.selectAll(); typeText("12.5"); keyClick(Qt.Key_Return)
            compare(text.ux - text.uw / 2, 100)
            // Keys typed in the field stay there: Down does not move the object.
            var y = text.uy
            x.forceActiveFocus()
            keyClick(Qt.Key_Down)
            compare(text.uy, y)

            // The field chooser: sorted, searched by name and by tag.
            canvas.addText()
            var dialog = canvas.textDialog
            compare(dialog.shownKinds.length, dialog.kinds.length)
            for (var i = 1; i < dialog.shownKinds.length; ++i)
                verify(dialog.shownKinds[i - 1].label.toLowerCase() <= dialog.shownKinds[i].label.toLowerCase())
            // Enter inserts the one match.
            dialog.kindSearch.forceActiveFocus()
            typeText("manufac")
            compare(dialog.shownKinds.length, 1)
            keyClick(Qt.Key_Return)
            compare(dialog.text, "<manufacturer>")
            var shown = function(search) {
                dialog.kindSearch.text = search
                return dialog.shownKinds.map(function(k) { return k.label })
            }
            compare(shown("batterycycles"), ["Battery recharge cycles"])
            // Every word must be found, in any case.
            compare(shown("BATTERY cycles"), ["Battery recharge cycles"])
            dialog.reject()
            compare(canvas.objects(), [a])
            canvas.finished(false, "")
        }

        // Dragged near another object, the left edge lands on the other's rather than on the grid.
        function test_m_dragSnapsToAnotherObject() {
            var canvas = newCanvas("Snapping", 62, 100)
            var a = addTextWith(canvas, "A"), b = addTextWith(canvas, "B")
            place(canvas, a, 80, 100, 80)
            place(canvas, b, 343, 500, 80)
            canvas.select(null, false)
            // Moves are given on the page: the object moves away under the pointer.
            var p = a.mapToItem(canvas.page, 5, 5)
            mousePress(a, 5, 5)
            mouseMove(canvas.page, p.x + 20, p.y)
            mouseMove(canvas.page, p.x + 261 * canvas.zoom, p.y)
            mouseRelease(canvas.page, p.x + 261 * canvas.zoom, p.y)
            compare(a.ux - a.uw / 2, 303)
            compare(canvas.history.undoText, "Move")
            canvas.finished(false, "")
        }

        // Arrows move by half a millimetre, with Shift by five; the run is one undo step.
        function test_n_arrowKeysNudge() {
            var canvas = newCanvas("Nudging", 62, 100)
            var a = addTextWith(canvas, "A")
            var start = [a.ux, a.uy]
            canvas.forceActiveFocus()
            keyClick(Qt.Key_Right)
            keyClick(Qt.Key_Right)
            keyClick(Qt.Key_Right)
            keyClick(Qt.Key_Down, Qt.ShiftModifier)
            compare([a.ux - start[0], a.uy - start[1]], [12, 40])
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            compare([a.ux, a.uy], start)
            canvas.finished(false, "")
        }

        // Degrees typed in the panel turn the object; Enter gives the keys back to the canvas.
        function test_o_typedRotation() {
            var canvas = newCanvas("Turning", 62, 100)
            var a = addTextWith(canvas, "A")
            var field = findChild(canvas, "geometryRotation")
            field.forceActiveFocus()
            field.selectAll()
            typeText("-90")
            keyClick(Qt.Key_Return)
            compare(a.rotation, 270)
            compare(canvas.model.recordOf(a.itemId).rotation, 270)
            compare(canvas.Window.activeFocusItem, canvas, "the canvas has the keys")
            canvas.finished(false, "")
        }

        // After typing into a panel field, a click on an object gives the keys to the canvas.
        function test_p_focusBackToCanvasAfterPanelEdit() {
            var canvas = newCanvas("Focus", 62, 100)
            var a = addTextWith(canvas, "A"), b = addTextWith(canvas, "B")
            var width = findChild(canvas, "geometryWidth")
            width.forceActiveFocus()
            width.selectAll()
            typeText("30")
            mouseClick(a, 5, 5)
            keyClick(Qt.Key_Delete)
            compare(canvas.objects(), [b])
            canvas.finished(false, "")
        }

        // A two-dimensional code sized by hand: GS1 is offered for Data Matrix only, a module too
        // wide for the box is warned about before it is printed, and the sizing is kept.
        function test_l_barcodeSizingAndFit() {
            var canvas = newCanvas("Sized code", 62, 100)
            var barcode = canvas.addBarcode()
            var dialog = canvas.barcodeDialog
            dialog.transfer(dialog.available, dialog.chosen, 0)
            var symbology = findChild(dialog, "symbology")
            var warning = findChild(dialog, "fitWarning")
            symbology.currentIndex = symbology.model.indexOf("qrcode")
            verify(!dialog.gs1.visible)
            compare(warning.text, "")
            symbology.currentIndex = symbology.model.indexOf("datamatrix")
            verify(dialog.gs1.visible)
            dialog.moduleWidth.text = "2"
            verify(warning.text.indexOf("too high") > 0, warning.text)
            dialog.quietZone.text = "0"
            dialog.accept()
            compare([barcode.symbology, barcode.moduleWidthMm, barcode.quietZone, barcode.gs1], ["datamatrix", 2, 0, false])
            var record = canvas.currentRecords().filter(function(r) { return r.type === "BarCode.qml" })[0]
            compare([record.moduleWidthMm, record.quietZone], [2, 0])
            dialog.openFor(barcode, false)
            compare([dialog.moduleWidth.text, dialog.quietZone.text], ["2", "0"])
            dialog.reject()
            canvas.finished(false, "")
        }
    }
}
