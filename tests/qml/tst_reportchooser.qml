import QtQuick 2.15
import QtTest 1.2

// The layouts view previews the selected layout with a report the user chooses and steps through.
Item {
    id: stage
    width: 1200
    height: 800

    TestCase {
        name: "ReportChooser"
        when: windowShown

        function test_chooseAReportAndStepToTheNext() {
            layoutmanager.saveLayout('{"name":"Imei label","width":496,"height":320,"fixedsize":true,"objects":['
                                     + '{"type":"TextObject.qml","item_id":1,"unformattedString":"<IMEI>",'
                                     + '"x":248,"y":60,"width":440,"height":40,"rotation":0,"pixelSize":24}]}',
                                     "Imei label")
            var component = Qt.createComponent("qrc:/ui/qml/StandaloneLayouts.qml")
            verify(component.status === Component.Ready, component.errorString())
            var view = createTemporaryObject(component, stage, { width: 1200, height: 760 })
            view.select("Imei label")
            probe.offerConsoleReports(3)
            var chooser = findChild(view, "layoutsReportChooser")
            var box = findChild(chooser, "reportChoice")
            tryCompare(box, "count", 3)

            box.currentIndex = 1
            box.activated(1)
            compare(previewReport.index, 1)
            verify(previewReport.title.indexOf(probe.variantImei(2)) >= 0, previewReport.title)
            verify(String(view.previewImage.source).indexOf("image://layouts/report/") === 0)

            mouseClick(findChild(chooser, "nextReport"))
            compare(previewReport.index, 2)
            verify(previewReport.title.indexOf(probe.variantImei(3)) >= 0, previewReport.title)
            verify(!findChild(chooser, "nextReport").enabled, "the last report has no next one")
            compare(box.displayText, previewReport.title)

            mouseClick(findChild(chooser, "exampleValues"))
            compare(previewReport.device, null)
            layoutmanager.removeLayout("Imei label")
        }
    }
}
