import QtQuick 2.15
import QtTest 1.2

// The report log view: one numbered row per print; double clicks copy a cell or the whole row.
Item {
    id: stage
    width: 1200
    height: 800

    TestCase {
        id: testCase
        name: "ReportLog"
        width: 1200
        height: 800
        when: windowShown

        function test_rowsAndClipboard() {
            var component = Qt.createComponent("qrc:/ui/qml/StandaloneReportLog.qml")
            verify(component.status === Component.Ready, component.errorString())
            var view = createTemporaryObject(component, stage, { width: 1200, height: 700 })
            var table = findChild(view, "reportTable")

            var before = table.count
            probe.addPrintedReport("Apple phones", "Station label", "PDF files (label archive)", "uuid-1", "SN-1")
            probe.addPrintedReport("Other phones", "Station label", "PDF files (label archive)", "uuid-2", "SN-2")
            compare(table.count, before + 2)

            var name = "reportRow_" + (before + 1)
            tryVerify(function () { return findChild(view, name) !== null }, 5000, name)
            var row = findChild(view, name)
            compare(findChild(row, "rowNumberText").text, String(before + 2))
            compare(row.cells[1], "Other phones")
            verify(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$/.test(row.cells[0]), row.cells[0])

            probe.clearClipboard()
            mouseDoubleClickSequence(findChild(row, "cell_4"))
            compare(probe.clipboardText(), "uuid-2")

            mouseDoubleClickSequence(findChild(row, "rowNumber"))
            compare(probe.clipboardText(),
                    [row.cells[0], "Other phones", "Station label", "PDF files (label archive)", "uuid-2", "SN-2"].join("\t"))
        }
    }
}
