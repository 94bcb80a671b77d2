import QtQuick 2.15
import QtTest 1.15

// Pictures of the editor for a person to look at: run by scripts/editor-screenshots.sh, which
// names the folder; without one the case is skipped.
Item {
    id: root
    width: 1400
    height: 900

    Loader {
        id: loader
        anchors.fill: parent
        source: "qrc:/ui/qml/StandaloneLayouts.qml"
    }

    TestCase {
        name: "EditorScreenshots"
        when: windowShown && loader.status === Loader.Ready
        readonly property var view: loader.item

        function shot(name) {
            wait(300)
            verify(editorTest.screenshot(root, name).length > 0, name)
        }

        // Changes an object's keys in the editor's model.
        function change(canvas, object, keys) {
            var record = canvas.model.recordOf(object.itemId)
            for (var key in keys)
                record[key] = keys[key]
            canvas.model.updateObject(object.itemId, record)
        }

        function test_screenshots() {
            if (editorTest.screenshotDir().length === 0)
                skip("EDITOR_SCREENSHOTS_DIR is not set")
            verify(userAppContainer.importLogoFromUsb(editorTest.makePicture("station-logo.png", 240, 120)))

            var definitions = view.openEditor("")
            definitions.nameField.text = "Station label"
            shot("02-definitions")

            var canvas = definitions.startEditing()
            var title = canvas.addText()
            canvas.textDialog.textArea.text = "<b>Erasure certificate"
            canvas.textDialog.accept()
            change(canvas, title, { "width": 400, "height": 48, "pixelSize": 32, "x": 248, "y": 160 })

            var model = canvas.addText()
            canvas.textDialog.textArea.text = "<manufacturer> <model>"
            shot("04-text-dialog")
            canvas.textDialog.accept()
            change(canvas, model, { "width": 440, "x": 248, "y": 230 })

            var barcode = canvas.addBarcode()
            var dialog = canvas.barcodeDialog
            dialog.transfer(dialog.available, dialog.chosen, 0)
            dialog.transfer(dialog.available, dialog.chosen, 5)
            dialog.attach.checked = true
            shot("05-barcode-dialog")
            dialog.accept()
            change(canvas, barcode, { "width": 440, "height": 150, "x": 248, "y": 400 })

            var image = canvas.addImage()
            canvas.imageDialog.selectedLogo = "station-logo.png"
            shot("06-image-dialog")
            canvas.imageDialog.accept()
            change(canvas, image, { "x": 140, "y": 660 })

            // A QR code of the device's IMEI beside the logo.
            var qr = canvas.addBarcode()
            dialog.transfer(dialog.available, dialog.chosen, 0)
            dialog.accept()
            change(canvas, qr, { "symbology": "qrcode", "width": 200, "height": 200, "x": 370, "y": 660 })

            var frame = canvas.addImage()
            canvas.imageDialog.selectedShape = "rectangle"
            canvas.imageDialog.accept()
            change(canvas, frame, { "width": 480, "height": 780, "x": 248, "y": 400 })
            canvas.sendToBack(frame)

            canvas.select(barcode, false)
            canvas.commit("Arrange")
            shot("03-canvas")
            // The editor as the window gives it room at 1200 x 800 and 1920 x 1080 (less the header
            // and the status bar).
            root.width = 1200; root.height = 702
            shot("03-canvas-window-1200x800")
            root.width = 1920; root.height = 982
            shot("03-canvas-window-1920x1080")
            root.width = 1400; root.height = 900
            // A real report whose long model name does not fit its box.
            editorTest.offerReports(3, ["Galaxy Z Fold5 Enterprise Edition 1TB Phantom Black", "Pixel 7"])
            previewReport.choose(0)
            shot("11-canvas-with-report")
            canvas.testPrintDialog.open()
            shot("07-test-print")
            canvas.testPrintDialog.close()
            canvas.openResize(model)
            shot("08-resize-in-millimetres")
            canvas.resizeDialog.reject()

            var extra = canvas.addText()
            canvas.textDialog.kindSearch.text = "battery"
            canvas.textDialog.contentChoice.popup.open()
            shot("09-field-chooser")
            canvas.textDialog.contentChoice.popup.close()
            canvas.textDialog.reject()

            canvas.requestCancel()
            shot("10-discard-changes")
            canvas.discardDialog.reject()
            canvas.saveAndExit()
            tryCompare(view, "editor", null)
            tryCompare(view.previewImage, "status", Image.Ready)
            shot("01-layouts-view")
            previewReport.choose(1)
            tryCompare(view.previewImage, "status", Image.Ready)
            shot("12-layouts-view-with-report")
            previewReport.choose(-1)
        }
    }
}
