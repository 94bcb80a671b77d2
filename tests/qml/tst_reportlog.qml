import QtQuick 2.15
import QtTest 1.2

// The report log view: one numbered row per print; double clicks copy a cell or the whole row.
Item {
    id: stage
    width: 1200
    height: 800

    TestCase {
        name: "ReportLog"
        when: windowShown

        function createView() {
            var component = Qt.createComponent("qrc:/ui/qml/StandaloneReportLog.qml")
            verify(component.status === Component.Ready, component.errorString())
            return createTemporaryObject(component, stage, { width: 1200, height: 700 })
        }

        // Rows are numbered, double clicks copy a cell or the whole row, and the search field
        // narrows the rows to those holding the text in any column, the count saying how many.
        function test_rowsClipboardAndSearch() {
            var view = createView()
            var table = findChild(view, "reportTable")
            var before = table.count
            probe.addPrintedReport("Apple phones", "Station label", "PDF files (label archive)", "uuid-1", "SN-1")
            probe.addPrintedReport("Other phones", "Station label", "PDF files (label archive)", "uuid-2", "Needle-7")
            var total = before + 2
            compare(table.count, total)

            var name = "reportRow_" + (before + 1)
            tryVerify(function () { return findChild(view, name) !== null }, 5000, name)
            var row = findChild(view, name)
            compare(findChild(row, "rowNumberText").text, String(before + 2))
            compare(row.cells[1], "Other phones")
            verify(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$/.test(row.cells[0]), row.cells[0])
            mouseDoubleClickSequence(findChild(row, "cell_4"))
            compare(probe.clipboardText(), "uuid-2")
            mouseDoubleClickSequence(findChild(row, "rowNumber"))
            compare(probe.clipboardText(),
                    [row.cells[0], "Other phones", "Station label", "PDF files (label archive)", "uuid-2", "", "", "", "Needle-7"].join("\t"))

            var field = findChild(view, "reportSearchField")
            field.forceActiveFocus()
            "needle".split("").forEach(function (c) { keyClick(c) })
            compare(table.count, 1)
            tryVerify(function () { return findChild(view, "reportRow_0") !== null })
            compare(findChild(view, "reportRow_0").cells[1], "Other phones")
            // No row holds the text: the view says so, not that nothing was printed.
            keyClick("x")
            compare(table.count, 0)
            // The view learns of the count at its next layout.
            tryVerify(function () { return findChild(view, "emptyTableText").visible })
            compare(findChild(view, "emptyTableText").text, "No row matches \"needlex\"")
            // Rows printed while searching: tst_reportlistmodel searchShowsMatchingRows.
            field.selectAll()
            keyClick(Qt.Key_Backspace)
            compare(table.count, total)
        }

        // Labels that cannot print are listed with their reason; Retry and Discard act on them, one
        // or all, and the panel's title counts them as the status line does.
        function test_labelsNotPrintedYet() {
            var view = createView()
            var list = findChild(view, "spoolList")
            probe.printWithMissingLayout(2)
            tryVerify(function () { return list.count === 2 }, 20000, "two failed labels listed")
            tryVerify(function () { return findChild(view, "spoolPanel").visible })
            tryVerify(function () { return findChild(view, "spoolStateText").text.indexOf("2 labels failed") >= 0 })
            verify(findChild(view, "spoolPanelTitle").text.indexOf("2 labels failed") >= 0)
            waitForRendering(view)
            var picture = grabImage(view)
            if (picture.width > 0) // the software renderer off screen gives no picture
                picture.save(probe.picturePath("reportlog-failed-labels.png"))

            var discard = findChild(list.itemAtIndex(0), "discardButton")
            mouseClick(discard)
            tryVerify(function () { return list.count === 1 }, 5000, "one left after Discard")
            tryVerify(function () { return findChild(view, "spoolPanelTitle").text.indexOf("1 label failed") >= 0 },
                      5000, findChild(view, "spoolPanelTitle").text)
            // Retry with the layout still missing: it fails again and stays listed.
            mouseClick(findChild(list.itemAtIndex(0), "retryButton"))
            wait(1000)
            compare(list.count, 1)
            // All of them: Retry all brings them back failing, Discard all asks first.
            probe.printWithMissingLayout(2)
            tryVerify(function () { return list.count === 3 }, 20000, "three failed labels listed")
            mouseClick(findChild(view, "retryAllButton"))
            tryVerify(function () { return printerInterface.failedLabels === 3 }, 20000)
            waitForRendering(view)
            mouseClick(findChild(view, "discardAllButton"))
            var ask = findChild(view, "discardAllDialog")
            tryCompare(ask, "opened", true)
            waitForRendering(ask.contentItem)
            mouseClick(findChild(ask, "confirmDiscardAllButton"))
            tryVerify(function () { return list.count === 0 }, 5000)
            tryVerify(function () { return !findChild(view, "spoolPanel").visible }, 5000, "the panel closes")
        }
    }
}
