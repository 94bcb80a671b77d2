import QtQuick 2.15
import QtTest 1.2

// The print jobs view: jobs and their filters go to the global settings file (flushed) and come
// back from it; a job cannot be switched on half set up, and rows being edited are not lost.
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
            layoutmanager.saveLayout("{\"name\":\"Station label\"}", "Station label.lyson")
        }

        // A job with printer and layout, as an operator sets it up.
        function setUpJob(view, name) {
            var id = createJob(view)
            typeInto(findChild(view, "jobNameField"), name)
            choose(findChild(view, "printerBox"), filePrinter)
            choose(findChild(view, "layoutBox"), "Station label")
            return id
        }

        function clickInDialog(dialog, buttonName) {
            tryCompare(dialog, "opened", true)
            // The press must reach the dialog once it is drawn, or it counts as outside.
            waitForRendering(dialog.contentItem)
            mouseClick(findChild(dialog, buttonName))
            tryCompare(dialog, "visible", false)
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
            compare(String(probe.storedValue("jobs/" + id + "/active")), "false")
            compare(probe.storedValue("jobs/" + id + "/printer"), "")
            compare(view.jobs.count, 1)
            // Empty, it cannot be switched on, and the form says why.
            var active = findChild(view, "activeBox")
            verify(!active.checked)
            verify(!active.enabled)
            verify(findChild(view, "jobStateNote").text.indexOf("choose a printer and a layout") >= 0)
            mouseClick(active)
            compare(String(probe.storedValue("jobs/" + id + "/active")), "false")
            verify(findChild(view, "jobWarning_" + id).visible)

            // A second job gets a different id and becomes the selected one.
            var second = createJob(view)
            verify(second !== id)
            compare(probe.storedGroups("jobs").length, 2)
            compare(view.selectedJobId, second)
        }

        function test_editorChangesAreWrittenAndFlushed() {
            var view = createView()
            var id = createJob(view)
            var key = "jobs/" + id + "/"

            typeInto(findChild(view, "jobNameField"), "Apple, phones")
            compare(probe.storedValue(key + "jobname"), "Apple, phones")
            compare(view.job.name, "Apple, phones")

            choose(findChild(view, "printerBox"), filePrinter)
            compare(probe.storedValue(key + "printer"), filePrinter)
            verify(!findChild(view, "activeBox").enabled)

            choose(findChild(view, "layoutBox"), "Station label")
            compare(probe.storedValue(key + "layout"), "Station label")
            verify(!findChild(view, "jobWarning_" + id).visible)

            // Without filters it asks once before it prints every report; "Cancel" leaves it off.
            var active = findChild(view, "activeBox")
            verify(active.enabled)
            verify(findChild(view, "activeHint").text.indexOf("Pause printing") >= 0)
            verify(!findChild(view, "jobStateNote").visible)
            var unfiltered = findChild(view, "unfilteredDialog")
            mouseClick(active)
            tryCompare(unfiltered, "opened", true)
            verify(!active.checked)
            unfiltered.reject()
            tryCompare(unfiltered, "visible", false)
            compare(String(probe.storedValue(key + "active")), "false")
            mouseClick(active)
            clickInDialog(unfiltered, "confirmUnfilteredButton")
            compare(String(probe.storedValue(key + "active")), "true")
            verify(active.checked)
            mouseClick(active)
            compare(String(probe.storedValue(key + "active")), "false")

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

        // Typing a field's name chooses it, so the row that looks set is the row that is saved;
        // a row without a field says what it lacks.
        function test_typedFieldIsChosenAndSaved() {
            var view = createView()
            var id = createJob(view)
            mouseClick(findChild(view, "addFilterButton"))
            var row = filterRow(view, 0)
            var problem = findChild(row, "filterProblem")
            verify(problem.visible)
            verify(problem.text.indexOf("choose the field") >= 0, problem.text)
            verify(!findChild(row, "saveFilterButton").enabled)

            typeInto(findChild(row, "hintField"), "manufacturer")
            compare(row.searchPath, "korvex_data.korvex_hardware_report.system.manufacturer")
            compare(findChild(row, "fieldBox").displayText, "Manufacturer")
            typeInto(findChild(row, "contentField"), "Apple")
            var save = findChild(row, "saveFilterButton")
            verify(save.enabled)
            mouseClick(save)
            var key = "jobs/" + id + "/" + row.filterId + "/"
            compare(probe.storedValue(key + "filterName"), "korvex_data.korvex_hardware_report.system.manufacturer")
            compare(probe.storedValue(key + "filterValue"), "Apple")
            verify(!findChild(row, "filterProblem").visible)

            // A hint of several fields chooses none.
            view.addFilter()
            var second = filterRow(view, 1)
            typeInto(findChild(second, "hintField"), "info")
            compare(second.searchPath, "")
            compare(findChild(second, "fieldBox").displayText, "Choose a field")
        }

        // Switching jobs saves complete rows and keeps unfinished ones with their job.
        function test_switchingJobsKeepsUnsavedRows() {
            var view = createView()
            var first = createJob(view)
            view.addFilter()
            var complete = filterRow(view, 0)
            chooseField(complete, "report.uuid")
            typeInto(findChild(complete, "contentField"), "u-1")
            view.addFilter()
            var unfinished = filterRow(view, 1)
            typeInto(findChild(unfinished, "hintField"), "info")
            var completeId = complete.filterId
            var unfinishedId = unfinished.filterId

            var second = createJob(view)
            compare(view.selectedJobId, second)
            compare(view.filters.count, 0)
            compare(probe.storedValue("jobs/" + first + "/" + completeId + "/filterValue"), "u-1")
            compare(probe.storedGroups("jobs/" + first), [completeId])

            view.selectJob(first)
            compare(view.filters.count, 2)
            compare(view.filters.get(0).filterId, completeId)
            verify(!view.filters.get(0).dirty)
            compare(view.filters.get(1).filterId, unfinishedId)
            compare(view.filters.get(1).hint, "info")
            verify(view.filters.get(1).dirty)

            // It cannot be switched on while a row it would not run with is shown.
            choose(findChild(view, "printerBox"), filePrinter)
            choose(findChild(view, "layoutBox"), "Station label")
            mouseClick(findChild(view, "activeBox"))
            compare(String(probe.storedValue("jobs/" + first + "/active")), "false")
            verify(findChild(view, "activeNote").text.length > 0)
            mouseClick(findChild(filterRow(view, 1), "removeFilterButton"))
            mouseClick(findChild(view, "activeBox"))
            compare(String(probe.storedValue("jobs/" + first + "/active")), "true")
        }

        // Removing one job leaves the form of the selected one as stored.
        function test_removingAnotherJobKeepsTheForm() {
            var view = createView()
            var keep = setUpJob(view, "Apple phones")
            view.addFilter()
            chooseField(filterRow(view, 0), "report.uuid")
            view.saveFilter(0)
            mouseClick(findChild(view, "activeBox"))
            compare(String(probe.storedValue("jobs/" + keep + "/active")), "true")
            var other = createJob(view)
            view.selectJob(keep)

            tryVerify(function () { return findChild(view, "jobRow_" + other) !== null })
            mouseClick(findChild(findChild(view, "jobRow_" + other), "removeJobButton"))
            clickInDialog(findChild(view, "removeJobDialog"), "confirmRemoveButton")
            compare(probe.storedGroups("jobs"), [keep])
            compare(view.selectedJobId, keep)
            compare(findChild(view, "jobNameField").text, "Apple phones")
            compare(findChild(view, "printerBox").displayText, filePrinter)
            compare(findChild(view, "layoutBox").displayText, "Station label")
            verify(findChild(view, "activeBox").checked)
            compare(view.filters.count, 1)
        }

        // Deleting a layout names the jobs that print with it; afterwards they carry a warning.
        function test_deletingAUsedLayoutNamesItsJobs() {
            var view = createView()
            var id = setUpJob(view, "Apple phones")
            setUpJob(view, "Samsung phones")
            layoutmanager.saveLayout("{\"name\":\"Spare\"}", "Spare.lyson")

            var component = Qt.createComponent("qrc:/ui/qml/StandaloneLayouts.qml")
            verify(component.status === Component.Ready, component.errorString())
            var layouts = createTemporaryObject(component, stage, { width: 1200, height: 760 })
            var dialog = findChild(layouts, "confirmRemoveLayout")
            layouts.selectedName = "Spare"
            dialog.open()
            tryCompare(dialog, "opened", true)
            compare(dialog.usedBy.length, 0)
            dialog.close()
            tryCompare(dialog, "visible", false)

            layouts.selectedName = "Station label"
            dialog.open()
            tryCompare(dialog, "opened", true)
            var text = findChild(dialog, "removeLayoutText").text
            verify(text.indexOf("\"Apple phones\", \"Samsung phones\"") >= 0, text)
            dialog.accept()
            tryCompare(dialog, "visible", false)

            var warning = findChild(view, "jobWarning_" + id)
            tryVerify(function () { return warning.visible })
            var problem = findChild(findChild(view, "jobRow_" + id), "jobProblem")
            verify(problem.text.indexOf("Station label") >= 0, problem.text)
            verify(!findChild(view, "activeBox").enabled)
            layoutmanager.removeLayout("Spare")
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
            var id = setUpJob(view, "First")
            var other = createJob(view)
            printerInterface.paused = true
            probe.spoolForJob(id, 2)
            probe.spoolForJob(other, 1)
            view.selectJob(id)
            verify(jobListModel.setActive(id, true, true))
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
