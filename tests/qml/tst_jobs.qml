import QtQuick 2.15
import QtTest 1.2

// The print jobs view: jobs and their filters go to the global settings file (flushed) and come
// back from it.
Item {
    id: stage
    width: 1200
    height: 800

    TestCase {
        id: testCase
        name: "Jobs"
        width: 1200
        height: 800
        when: windowShown

        readonly property string filePrinter: "PDF files (label archive)"

        function init() {
            settingsManager.removeKey("jobs", true)
            settingsManager.flush()
        }

        function createView() {
            var component = Qt.createComponent("qrc:/ui/qml/JobConfigs.qml")
            verify(component.status === Component.Ready, component.errorString())
            var view = createTemporaryObject(component, stage, { width: 1200, height: 760 })
            verify(view)
            return view
        }

        function typeInto(field, text) {
            field.forceActiveFocus()
            field.selectAll()
            keyClick(Qt.Key_Backspace)
            for (var i = 0; i < text.length; ++i)
                keyClick(text.charAt(i))
        }

        function choose(comboBox, text) {
            var model = comboBox.model
            var index = -1
            for (var i = 0; i < model.length; ++i) {
                if (model[i] === text)
                    index = i
            }
            verify(index >= 0, text + " is offered")
            comboBox.currentIndex = index
            comboBox.activated(index)
        }

        function filterRow(view, index) {
            var name = "filterRow_" + view.filters.get(index).filterId
            tryVerify(function () { return findChild(view, name) !== null }, 5000, name)
            return findChild(view, name)
        }

        function chooseField(row, path) {
            var index = row.indexOfPath(row.fields, path)
            verify(index >= 0, path + " is offered")
            findChild(row, "fieldBox").activated(index)
        }

        function createJob(view) {
            mouseClick(findChild(view, "createJobButton"))
            return view.selectedJobId
        }

        function test_createJobWritesItsKeys() {
            var view = createView()
            compare(view.jobs.count, 0)
            var id = createJob(view)
            verify(/^[A-Za-z0-9]{12}$/.test(id), id)
            compare(probe.storedGroups("jobs"), [id])
            compare(probe.storedKeys("jobs/" + id).sort(), ["active", "jobname", "layout", "printer"])
            compare(String(probe.storedValue("jobs/" + id + "/active")), "true")
            compare(probe.storedValue("jobs/" + id + "/printer"), "")
            compare(view.jobs.count, 1)

            // A second job gets a different id and becomes the selected one.
            var second = createJob(view)
            verify(second !== id)
            compare(probe.storedGroups("jobs").length, 2)
            compare(view.selectedJobId, second)
        }

        function test_editorChangesAreWrittenAndFlushed() {
            layoutmanager.saveLayout("{\"name\":\"Station label\"}", "Station label.lyson")
            var view = createView()
            var id = createJob(view)
            var key = "jobs/" + id + "/"

            typeInto(findChild(view, "jobNameField"), "Apple, phones")
            compare(probe.storedValue(key + "jobname"), "Apple, phones")
            compare(view.jobs.get(0).jobname, "Apple, phones")

            choose(findChild(view, "printerBox"), filePrinter)
            compare(probe.storedValue(key + "printer"), filePrinter)

            choose(findChild(view, "layoutBox"), "Station label")
            compare(probe.storedValue(key + "layout"), "Station label")

            var active = findChild(view, "activeBox")
            verify(active.checked)
            mouseClick(active)
            compare(String(probe.storedValue(key + "active")), "false")
            mouseClick(active)
            compare(String(probe.storedValue(key + "active")), "true")

            // Shown again from the file by a new view.
            var again = createView()
            compare(again.jobs.count, 1)
            compare(findChild(again, "jobNameField").text, "Apple, phones")
            compare(findChild(again, "printerBox").currentText, filePrinter)
            compare(findChild(again, "layoutBox").currentText, "Station label")
        }

        function test_filterRowSavesAndRemovesItsFourKeys() {
            var view = createView()
            var id = createJob(view)
            mouseClick(findChild(view, "addFilterButton"))
            compare(view.filters.count, 1)
            var row = filterRow(view, 0)
            var filterId = row.filterId
            var key = "jobs/" + id + "/" + filterId + "/"
            // Not stored before it is saved.
            compare(probe.storedGroups("jobs/" + id), [])
            verify(!findChild(row, "saveFilterButton").enabled)

            // The hint narrows the fields; the field brings its data type and operators.
            typeInto(findChild(row, "hintField"), "info1")
            verify(row.fields.length < 10)
            chooseField(row, "user_data.fields.info1")
            compare(row.dataType, "string")
            compare(findChild(row, "operatorBox").model, ["==", "~"])
            verify(findChild(row, "descriptionLabel").text.indexOf("Description: ") === 0)
            findChild(row, "operatorBox").activated(1)
            typeInto(findChild(row, "contentField"), "Station <7>")
            mouseClick(findChild(row, "saveFilterButton"))

            compare(probe.storedValue(key + "filterName"), "user_data.fields.info1")
            compare(probe.storedValue(key + "operatorType"), "string")
            compare(probe.storedValue(key + "operator"), "~")
            compare(probe.storedValue(key + "filterValue"), "Station <7>")
            verify(!view.filters.get(0).dirty)

            // A new view rebuilds the row from the file, in the field's category.
            var again = createView()
            compare(again.filters.count, 1)
            var loaded = filterRow(again, 0)
            compare(loaded.category, "USER DATA - INFO FIELDS")
            compare(findChild(loaded, "fieldBox").currentIndex, loaded.indexOfPath(loaded.fields, "user_data.fields.info1"))
            compare(findChild(loaded, "operatorBox").currentText, "~")
            compare(findChild(loaded, "contentField").text, "Station <7>")

            mouseClick(findChild(loaded, "removeFilterButton"))
            compare(again.filters.count, 0)
            compare(probe.storedGroups("jobs/" + id), [])
            compare(probe.storedKeys("jobs/" + id).sort(), ["active", "jobname", "layout", "printer"])
        }

        // Several fields share a label ("Date" twice among the console's own columns): the field
        // chosen is the one saved, not the last field of that label.
        function test_sharedLabelsSaveTheChosenField() {
            var view = createView()
            var id = createJob(view)
            view.addFilter()
            var row = filterRow(view, 0)
            findChild(row, "categoryBox").activated(mcReportFields.categories.indexOf("ZMC SPECIFIC REPORT VALUES"))
            compare(row.category, "ZMC SPECIFIC REPORT VALUES")
            var dates = row.fields.filter(function (f) { return f.label === "Date" })
            compare(dates.length, 2)
            chooseField(row, "report.date")
            compare(row.dataType, "date")
            compare(findChild(row, "operatorBox").model, ["==", "!=", "<", ">"])
            typeInto(findChild(row, "contentField"), "2024-01-01")
            keyClick(Qt.Key_Return)
            compare(probe.storedValue("jobs/" + id + "/" + row.filterId + "/filterName"), "report.date")
            compare(probe.storedValue("jobs/" + id + "/" + row.filterId + "/operatorType"), "date")
        }

        function test_removingAJobRemovesItsFilters() {
            var view = createView()
            var keep = createJob(view)
            var id = createJob(view)
            view.addFilter()
            var row = filterRow(view, 0)
            chooseField(row, "report.uuid")
            view.saveFilter(0)
            compare(probe.storedGroups("jobs/" + id).length, 1)

            tryVerify(function () { return findChild(view, "jobRow_" + id) !== null })
            var jobRow = findChild(view, "jobRow_" + id)
            mouseClick(findChild(jobRow, "removeJobButton"))
            var dialog = findChild(view, "removeJobDialog")
            tryCompare(dialog, "opened", true)
            var confirm = findChild(dialog, "confirmRemoveButton")
            // The press must reach the dialog once it is drawn, or it counts as outside.
            waitForRendering(dialog.contentItem)
            mouseClick(confirm)
            tryCompare(dialog, "visible", false)

            compare(probe.storedGroups("jobs"), [keep])
            compare(probe.storedKeys("jobs/" + id), [])
            compare(view.jobs.count, 1)
            compare(view.selectedJobId, keep)
            compare(view.filters.count, 0)
        }

        // Labels still in the spool are not dropped silently: making the job inactive asks, and
        // "Discard them" removes exactly that job's labels; removing a job and printing keeps them.
        function test_waitingLabelsAskBeforeTheyGo() {
            var view = createView()
            var id = createJob(view)
            var other = createJob(view)
            printerInterface.paused = true
            probe.spoolForJob(id, 2)
            probe.spoolForJob(other, 1)
            view.selectJob(id)
            var active = findChild(view, "activeBox")
            verify(active.checked)
            mouseClick(active)
            var dialog = findChild(view, "waitingLabelsDialog")
            tryCompare(dialog, "opened", true)
            compare(dialog.waiting, 2)
            waitForRendering(dialog.contentItem)
            mouseClick(findChild(dialog, "discardWaitingButton"))
            tryCompare(dialog, "visible", false)
            compare(printerInterface.waitingForJob(id), 0)
            compare(printerInterface.waitingForJob(other), 1)

            tryVerify(function () { return findChild(view, "jobRow_" + other) !== null })
            mouseClick(findChild(findChild(view, "jobRow_" + other), "removeJobButton"))
            var remove = findChild(view, "removeJobDialog")
            tryCompare(remove, "opened", true)
            waitForRendering(remove.contentItem)
            mouseClick(findChild(remove, "confirmRemoveButton"))
            tryCompare(dialog, "opened", true)
            waitForRendering(dialog.contentItem)
            mouseClick(findChild(dialog, "printWaitingButton"))
            tryCompare(dialog, "visible", false)
            compare(printerInterface.waitingForJob(other), 1)
            printerInterface.discardJob(other)
            printerInterface.paused = false
        }
    }
}
