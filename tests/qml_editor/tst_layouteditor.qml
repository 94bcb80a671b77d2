import QtQuick 2.15
import QtQuick.Controls 2.15
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
        id: test
        name: "LayoutEditor"
        when: windowShown && loader.status === Loader.Ready

        readonly property var view: loader.item
        property var logoPath: ""

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
            verify(definitions, "definitions dialog")
            definitions.paperChoice.currentIndex = definitions.paperChoice.count - 1 // "Custom"
            compare(definitions.paperChoice.currentText, "Custom")
            definitions.widthField.value = widthMm
            definitions.heightField.value = heightMm
            definitions.nameField.text = name
            compare(definitions.nameError, "")
            var canvas = definitions.startEditing()
            verify(canvas, "canvas")
            return canvas
        }
        function recordKeys(record) {
            // Keys in the order the text has them.
            var keys = []
            var re = /"([A-Za-z_]+)":/g
            var m
            while ((m = re.exec(record)) !== null)
                keys.push(m[1])
            return keys
        }
        function objectTexts(text) {
            var inner = text.substring(text.indexOf("[") + 1, text.lastIndexOf("]"))
            return inner.split(/\},\s*\{/)
        }

        function test_a_nameValidation() {
            layoutmanager.saveLayout('{"name":"Existing","width":80,"height":80,"objects":[]}', "Existing")
            var definitions = view.openEditor("")
            definitions.nameField.forceActiveFocus()
            keyClick(Qt.Key_A); keyClick(Qt.Key_Period); keyClick(Qt.Key_Slash); keyClick(Qt.Key_B)
            compare(definitions.nameField.text, "ab", "full stop and slash cannot be entered")
            compare(doc.nameError("a.b", [], ""), "A layout name cannot contain any of: /\\?%*:|\"<>.")
            verify(doc.nameError("a/b", [], "").length > 0)
            definitions.nameField.text = "Existing"
            compare(definitions.nameError, "Entered layout name already exists")
            var message = findChild(definitions, "nameMessage")
            verify(message.visible)
            verify(!definitions.startButton.enabled)
            definitions.nameField.text = "Fresh name"
            verify(definitions.startButton.enabled)
            // Editing "Existing" itself keeps its name without a clash.
            compare(doc.nameError("Existing", layoutmanager.customLayouts, "Existing"), "")
            definitions.destroy()
            layoutmanager.removeLayout("Existing")
        }

        function test_b_designSaveAndReload() {
            var canvas = newCanvas("Shelf label", 62, 100)
            compare(canvas.widthUnits, 496)
            compare(canvas.heightUnits, 800)

            // A text with a tag, picked from the content kinds.
            var text = canvas.addText()
            verify(canvas.textDialog.opened)
            canvas.textDialog.textArea.text = "Made by "
            canvas.textDialog.textArea.cursorPosition = 8
            var kinds = canvas.textDialog.kinds
            var manufacturer = kinds.map(function(k) { return k.label }).indexOf("Manufacturer")
            canvas.textDialog.contentChoice.currentIndex = manufacturer
            canvas.textDialog.chooseKind(manufacturer)
            compare(canvas.textDialog.text, "Made by <manufacturer>")
            compare(findChild(canvas.textDialog, "preview").text, "Made by Korvex Labs")
            canvas.textDialog.accept()
            compare(text.unformattedString, "Made by <manufacturer>")

            // Moved with the mouse: the grabbed object lands on the grid.
            canvas.select(null, false)
            var before = text.ux
            mouseDrag(text, 20, 10, 3 * canvas.zoom * 10 + 3, 2 * canvas.zoom * 10)
            verify(text.ux > before)
            compare((text.ux - text.uw / 2) % canvas.gridSize, 0)
            compare((text.uy - text.uh / 2) % canvas.gridSize, 0)

            // A barcode over two contents with its human-readable text below it.
            var barcode = canvas.addBarcode()
            var dialog = canvas.barcodeDialog
            verify(dialog.opened)
            var labels = function(list) { var out = []; for (var i = 0; i < list.count; ++i) out.push(list.model.get(i).value); return out }
            dialog.transfer(dialog.available, dialog.chosen, labels(dialog.available).indexOf("IMEI"))
            dialog.transfer(dialog.available, dialog.chosen, labels(dialog.available).indexOf("System serial"))
            compare(dialog.contentOrder, "IMEI,System serial")
            dialog.attach.checked = true
            dialog.accept()
            compare(barcode.contentOrder, "IMEI,System serial")
            compare(barcode.symbology, "code128")
            verify(barcode.textObjectId >= 0)
            var follower = canvas.findById(barcode.textObjectId)
            verify(follower)
            compare(follower.unformattedString, "<firstid IMEI,System serial>: <firstvalue IMEI,System serial>")
            compare(follower.uy, barcode.uy + barcode.uh / 2 + follower.uh / 2)
            canvas.select(barcode, false)
            canvas.moveSelectionBy(0, 200)
            compare(follower.uy, barcode.uy + barcode.uh / 2 + follower.uh / 2, "the text follows")

            // An image from the logo folder, imported first.
            verify(userAppContainer.importLogoFromUsb(editorTest.makePicture("station-logo.png", 120, 60)))
            var image = canvas.addImage()
            verify(canvas.imageDialog.opened)
            canvas.imageDialog.selectedLogo = "station-logo.png"
            canvas.imageDialog.accept()
            compare(image.sourceImage, "station-logo.png")
            compare(image.uh * 2, image.uw, "a new image takes the logo's proportions")
            image.ux = 100; image.uy = 700

            // Rotated through the object menu's operation.
            canvas.select(text, false)
            canvas.rotateSelection(90)
            compare(text.rotation, 90)
            canvas.rotateSelection(-90)
            canvas.rotateSelection(-90)
            compare(text.rotation, 270)
            canvas.rotateSelection(90)

            var records = canvas.currentRecords()
            compare(records.length, 4)
            canvas.saveAndExit()
            verify(!canvas.outsideWarning.opened, "everything is on the page")
            tryCompare(view, "editor", null)

            // The stored text: keys in their order, texts escaped, the version.
            var stored = editorTest.layoutFileText("Shelf label")
            verify(stored.length > 0)
            var top = ["\"width\"", "\"height\"", "\"name\"", "\"fixedsize\"", "\"sizestr\"", "\"objects\"", "\"version\""]
            for (var i = 1; i < top.length; ++i)
                verify(stored.indexOf(top[i - 1]) < stored.indexOf(top[i]), top[i])
            verify(stored.indexOf("Made\\u0020by\\u0020\\u003cmanufacturer\\u003e") > 0, "jsonEscaped text")
            var common = ["x", "y", "width", "height", "rotation", "item_id", "followItem", "followLocation"]
            var perType = {
                "TextObject.qml": ["type", "bold", "underline", "formattedString", "unformattedString", "pixelSize",
                                   "multiline", "elide", "alignment", "showboundingrect", "tickBoxFormat", "background"],
                "BarCode.qml": ["type", "sourceimage", "contentOrder", "prefixString", "attachText", "symbology", "textobjectid"],
                "ShapeObject.qml": ["type", "sourceImage", "sourceShape", "maintainAspectRation", "boundObject"]
            }
            var layout = JSON.parse(stored)
            compare(layout.width, 496)
            compare(layout.fixedsize, true)
            compare(layout.sizestr, "62mm x 100mm")
            compare(layout.version, systemconfig.getVersion())
            var texts = objectTexts(stored)
            compare(texts.length, 4)
            for (var j = 0; j < layout.objects.length; ++j)
                compare(recordKeys(texts[j]), common.concat(perType[layout.objects[j].type]))
            var storedBarcode = layout.objects.filter(function(o) { return o.type === "BarCode.qml" })[0]
            compare(storedBarcode.attachText, "true")
            compare(storedBarcode.contentOrder, "IMEI,System serial")
            var storedFollower = layout.objects.filter(function(o) { return o.item_id === storedBarcode.textobjectid })[0]
            compare(storedFollower.followItem, storedBarcode.item_id)

            // The printing side renders it: the barcode reads as the example IMEI.
            compare(editorTest.decodeStoredLayout("Shelf label"), ["012345678901234"])
            verify(editorTest.blackPixelsIn("Shelf label", 100 - 60, 700 - 30, 120, 60) > 0, "the logo prints")
            verify(editorTest.fileExists(layoutmanager.layoutDir + "Shelf label.png"), "preview written")
            compare(view.selectedName, "Shelf label")
            tryCompare(view.previewImage, "status", Image.Ready)

            // Opened again: the same objects, the follower attached to its barcode again.
            var definitions = view.openEditor("Shelf label")
            compare(definitions.startButton.text, "Continue editing")
            compare(definitions.nameField.text, "Shelf label")
            var again = definitions.startEditing()
            var reloaded = again.currentRecords()
            compare(reloaded.length, 4)
            for (var k = 0; k < 4; ++k)
                compare(JSON.stringify(reloaded[k]), JSON.stringify(records[k]))
            var barcode2 = again.findById(storedBarcode.item_id)
            var follower2 = again.findById(storedBarcode.textobjectid)
            again.select(barcode2, false)
            again.moveSelectionBy(-40, -40)
            compare(follower2.uy, barcode2.uy + barcode2.uh / 2 + follower2.uh / 2)
            compare(follower2.ux, barcode2.ux)
            again.finished(false, "Shelf label")
        }

        function test_c_outsideThePageWarnsAndSaves() {
            var canvas = newCanvas("Overhanging", 40, 30)
            var text = canvas.addText()
            canvas.textDialog.textArea.text = "Too wide"
            canvas.textDialog.accept()
            text.uw = 600
            canvas.saveAndExit()
            verify(canvas.outsideWarning.opened || canvas.outsideWarning.visible)
            var stored = JSON.parse(editorTest.layoutFileText("Overhanging"))
            compare(stored.objects.length, 1)
            compare(stored.objects[0].width, 600)
            canvas.outsideWarning.accept()
            tryCompare(view, "editor", null)
        }

        function test_d_keysSelectionAndRemoval() {
            var canvas = newCanvas("Keys", 62, 62)
            var a = canvas.addText(); canvas.textDialog.textArea.text = "A"; canvas.textDialog.accept()
            var b = canvas.addText(); canvas.textDialog.textArea.text = "B"; canvas.textDialog.accept()
            a.ux = 100; a.uy = 100; b.ux = 300; b.uy = 300
            canvas.forceActiveFocus()
            canvas.select(a, false)
            keyClick(Qt.Key_Tab)
            compare(canvas.selection[0], b)
            keyClick(Qt.Key_Backtab)
            compare(canvas.selection[0], a)
            keyClick(Qt.Key_Right)
            compare(a.ux, 100 + canvas.gridSize)
            keyClick(Qt.Key_Down, Qt.ShiftModifier)
            compare(a.uy, 101)

            // Rubber band over both objects, then they move together.
            canvas.select(null, false)
            var start = canvas.page.mapToItem(root, 2, 2)
            var end = canvas.page.mapToItem(root, canvas.page.width - 2, canvas.page.height - 2)
            mousePress(root, start.x - 10, start.y - 10)
            mouseMove(root, (start.x + end.x) / 2, (start.y + end.y) / 2, -1, Qt.LeftButton)
            mouseMove(root, end.x, end.y, -1, Qt.LeftButton)
            mouseRelease(root, end.x, end.y)
            compare(canvas.selection.length, 2)
            var ax = a.ux, bx = b.ux
            canvas.moveSelectionBy(20, 0)
            compare(a.ux, ax + 20)
            compare(b.ux, bx + 20)

            canvas.select(b, false)
            keyClick(Qt.Key_Delete)
            compare(canvas.objects().length, 1)
            compare(canvas.objects()[0], a)
            canvas.finished(false, "")
        }

        function test_e_testPrintOnTheFilePrinter() {
            var canvas = newCanvas("Printed once", 62, 40)
            var barcode = canvas.addBarcode()
            canvas.barcodeDialog.transfer(canvas.barcodeDialog.available, canvas.barcodeDialog.chosen, 0)
            canvas.barcodeDialog.accept()
            var before = editorTest.labelFiles().length
            canvas.testPrintDialog.open()
            tryCompare(canvas.testPrintDialog, "opened", true)
            var printers = printerInterface.activePrinters()
            verify(printers.indexOf("PDF files (label archive)") >= 0)
            verify(printerInterface.testPrint(JSON.parse(canvas.currentText()), "PDF files (label archive)"))
            compare(editorTest.labelFiles().length, before + 1)
            canvas.testPrintDialog.close()
            canvas.finished(false, "")
        }
    }
}
