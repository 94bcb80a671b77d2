import QtQuick 2.15
import QtTest 1.2

// The print jobs view: jobs and their filters go to the global settings file (flushed) and come
// back from it; a job cannot be switched on half set up, and rows being edited are not lost.
Item {
    id: stage
    width: 1200
    height: 800

    TestCase {
        name: "Jobs"
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

        function createView(url) {
            var component = Qt.createComponent(url || "qrc:/ui/qml/JobConfigs.qml")
            verify(component.status === Component.Ready, component.errorString())
            return createTemporaryObject(component, stage, { width: 1200, height: 760 })
        }

        function typeInto(field, text) {
            field.forceActiveFocus(); field.selectAll(); keyClick(Qt.Key_Backspace)
            text.split("").forEach(function (c) { keyClick(c) })
        }

        function choose(comboBox, text) {
            var index = comboBox.model.indexOf(text)
            verify(index >= 0, text + " is offered")
            comboBox.currentIndex = index
            comboBox.activated(index)
        }

        // What the file holds under the job, as text.
        function stored(id, key) {
            return String(probe.storedValue("jobs/" + id + "/" + key))
        }

        function removeJob(view, id) {
            tryVerify(function () { return findChild(view, "jobRow_" + id) !== null })
            mouseClick(findChild(findChild(view, "jobRow_" + id), "removeJobButton"))
            clickInDialog(findChild(view, "removeJobDialog"), "confirmRemoveButton")
        }

        function filterRow(view, index) {
            // Scrolled into sight, as a user does before clicking into it.
            findChild(view, "filterList").positionViewAtIndex(index, ListView.Contain)
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
            var id = createJob(view)
            compare(probe.storedGroups("jobs"), [id])
            var keys = ["active", "jobname", "layout", "printer"]
            if (jobListModel.watermark >= 0)
                keys.push("createdAfterId") // where "the reports since it was created" begin
            compare(probe.storedKeys("jobs/" + id).sort(), keys.sort())
            compare(stored(id, "active"), "false")
            // Empty, it cannot be switched on, and the form says why.
            var active = findChild(view, "activeBox")
            verify(!active.enabled)
            mouseClick(active)
            compare(stored(id, "active"), "false")
            verify(findChild(view, "jobWarning_" + id).visible)

            // Each change is written to the file at once.
            typeInto(findChild(view, "jobNameField"), "Apple, phones")
            compare(stored(id, "jobname"), "Apple, phones")
            choose(findChild(view, "printerBox"), filePrinter)
            compare(stored(id, "printer"), filePrinter)
            choose(findChild(view, "layoutBox"), "Station label")
            compare(stored(id, "layout"), "Station label")
            verify(!findChild(view, "jobWarning_" + id).visible)

            // Without filters it asks once before it prints every report; "Cancel" leaves it off.
            verify(!findChild(view, "jobStateNote").visible)
            var unfiltered = findChild(view, "unfilteredDialog")
            mouseClick(active)
            tryCompare(unfiltered, "opened", true)
            verify(!active.checked)
            unfiltered.reject()
            tryCompare(unfiltered, "visible", false)
            compare(stored(id, "active"), "false")
            mouseClick(active)
            clickInDialog(unfiltered, "confirmUnfilteredButton")
            compare(stored(id, "active"), "true")
            verify(active.checked)
        }

        // Made active, a job prints the reports arriving from now on unless the user chooses the
        // reports since it was created or a report to start from; the form says which.
        function test_startPointIsChosen() {
            connectionForm.commitReportId("100")
            var view = createView()
            var id = setUpJob(view, "Apple phones")
            compare(stored(id, "createdAfterId"), "100")
            connectionForm.commitReportId("120") // twenty reports arrived meanwhile
            var fromNow = findChild(view, "startFromNow")
            var sinceCreated = findChild(view, "startSinceCreated")
            var active = findChild(view, "activeBox")
            var unfiltered = findChild(view, "unfilteredDialog")
            tryVerify(function () { return sinceCreated.visible })
            verify(fromNow.checked)
            verify(fromNow.text.indexOf("after report 120") >= 0, fromNow.text)
            verify(sinceCreated.text.indexOf("reports 101 to 120") >= 0, sinceCreated.text)
            var picture = grabImage(stage)
            if (picture.width > 0) // the software renderer off screen gives no picture
                picture.save(probe.picturePath("jobs-start-point.png"))

            // A report that has not arrived cannot be the start.
            mouseClick(findChild(view, "startFromReport"))
            typeInto(findChild(view, "startFromReportField"), "500")
            mouseClick(active)
            compare(stored(id, "active"), "false")
            verify(findChild(view, "activeNote").text.indexOf("120") >= 0)

            var cases = [[sinceCreated, "", "100", "from report 101"],
                         [findChild(view, "startFromReport"), "111", "110", "from report 111"],
                         [fromNow, "", "", "after report 120"]]
            for (var i = 0; i < cases.length; ++i) {
                mouseClick(cases[i][0])
                if (cases[i][1].length > 0)
                    typeInto(findChild(view, "startFromReportField"), cases[i][1])
                mouseClick(active)
                clickInDialog(unfiltered, "confirmUnfilteredButton")
                compare(stored(id, "active"), "true")
                compare(probe.isStored("jobs/" + id + "/retryFromId") ? stored(id, "retryFromId") : "", cases[i][2])
                var said = findChild(view, "startText").text
                verify(said.indexOf(cases[i][3]) >= 0, said)
                mouseClick(active) // off again: nothing waits, so nothing is asked
                compare(stored(id, "active"), "false")
                tryVerify(function () { return fromNow.visible })
            }
            settingsManager.removeKey("MC", true)
        }

        function test_filterRowsSaveTheirKeysAndTypedFields() {
            var view = createView()
            var id = createJob(view)
            mouseClick(findChild(view, "addFilterButton"))
            compare(view.filters.count, 1)
            var row = filterRow(view, 0)
            var key = row.filterId + "/"
            // Not stored before it is saved.
            compare(probe.storedGroups("jobs/" + id), [])
            verify(!findChild(row, "saveFilterButton").enabled)

            // The hint narrows the fields; the field brings its data type and operators.
            typeInto(findChild(row, "hintField"), "info1")
            verify(row.fields.length < 10)
            chooseField(row, "user_data.fields.info1")
            findChild(row, "operatorBox").activated(1) // "~"
            typeInto(findChild(row, "contentField"), "Station <7>")
            mouseClick(findChild(row, "saveFilterButton"))

            compare(["filterName", "operatorType", "operator", "filterValue"].map(function (k) { return stored(id, key + k) }),
                    ["user_data.fields.info1", "string", "~", "Station <7>"])
            verify(!view.filters.get(0).dirty)

            // A new view rebuilds the row from the file, in the field's category.
            var again = createView()
            compare(again.filters.count, 1)
            var loaded = filterRow(again, 0)
            compare(loaded.category, "USER DATA - INFO FIELDS")
            compare(findChild(loaded, "fieldBox").currentIndex, loaded.indexOfPath(loaded.fields, "user_data.fields.info1"))
            compare([findChild(loaded, "operatorBox").currentText, findChild(loaded, "contentField").text], ["~", "Station <7>"])

            mouseClick(findChild(loaded, "removeFilterButton"))
            compare(again.filters.count, 0)
            compare(probe.storedGroups("jobs/" + id), [])
            compare(probe.storedKeys("jobs/" + id).length, 4)

            // A row without a field cannot be saved; typing a field's name chooses it, so the
            // row that looks set is the row that is saved.
            mouseClick(findChild(again, "addFilterButton"))
            row = filterRow(again, 0)
            verify(!findChild(row, "saveFilterButton").enabled)

            typeInto(findChild(row, "hintField"), "manufacturer")
            compare(findChild(row, "fieldBox").displayText, "Manufacturer")
            typeInto(findChild(row, "contentField"), "Apple")
            mouseClick(findChild(row, "saveFilterButton"))
            compare([stored(id, row.filterId + "/filterName"), stored(id, row.filterId + "/filterValue")],
                    ["korvex_data.korvex_hardware_report.system.manufacturer", "Apple"])

            // A hint of several fields chooses none.
            again.addFilter()
            var second = filterRow(again, 1)
            typeInto(findChild(second, "hintField"), "info")
            compare([second.searchPath, findChild(second, "fieldBox").displayText], ["", "Choose a field"])

            // Several fields share a label ("Date" twice among the console's own columns): the field
            // chosen is the one saved, not the last field of that label.
            again.addFilter()
            var row3 = filterRow(again, 2)
            findChild(row3, "categoryBox").activated(mcReportFields.categories.indexOf("ZMC SPECIFIC REPORT VALUES"))
            compare(row3.fields.filter(function (f) { return f.label === "Date" }).length, 2)
            chooseField(row3, "report.date")
            typeInto(findChild(row3, "contentField"), "2024-01-01")
            keyClick(Qt.Key_Return)
            compare([stored(id, row3.filterId + "/filterName"), stored(id, row3.filterId + "/operatorType")],
                    ["report.date", "date"])
        }

        // Switching jobs saves complete rows and keeps unfinished ones with their job; removing
        // another job leaves the form of the selected one as stored, the removed job's filters go too.
        function test_switchingAndRemovingJobs() {
            var view = createView()
            var first = createJob(view)
            typeInto(findChild(view, "jobNameField"), "Apple phones")
            view.addFilter()
            var complete = filterRow(view, 0)
            // A field's name typed whatever its case and blanks chooses it.
            typeInto(findChild(complete, "hintField"), " REPORT.UUID ")
            typeInto(findChild(complete, "contentField"), "u-1")
            view.addFilter()
            var unfinished = filterRow(view, 1)
            typeInto(findChild(unfinished, "hintField"), "info")
            var completeId = complete.filterId
            var unfinishedId = unfinished.filterId

            var other = createJob(view)
            compare(view.filters.count, 0)
            compare([stored(first, completeId + "/filterName"), stored(first, completeId + "/filterValue")], ["report.uuid", "u-1"])
            view.addFilter()
            chooseField(filterRow(view, 0), "report.uuid")
            view.saveFilter(0)
            compare(probe.storedGroups("jobs/" + first), [completeId])

            view.selectJob(first)
            compare(view.filters.count, 2)
            compare([view.filters.get(0).filterId, view.filters.get(0).dirty], [completeId, false])
            compare([view.filters.get(1).filterId, view.filters.get(1).hint, view.filters.get(1).dirty], [unfinishedId, "info", true])

            // It cannot be switched on while a row it would not run with is shown.
            choose(findChild(view, "printerBox"), filePrinter)
            choose(findChild(view, "layoutBox"), "Station label")
            mouseClick(findChild(view, "activeBox"))
            compare(stored(first, "active"), "false")
            verify(findChild(view, "activeNote").text.length > 0)
            mouseClick(findChild(filterRow(view, 1), "removeFilterButton"))
            mouseClick(findChild(view, "activeBox"))
            compare(stored(first, "active"), "true")

            removeJob(view, other)
            compare(probe.storedGroups("jobs"), [first])
            compare(probe.storedKeys("jobs/" + other), [])
            compare(view.selectedJobId, first)
            compare([findChild(view, "jobNameField").text, findChild(view, "printerBox").displayText,
                     findChild(view, "layoutBox").displayText], ["Apple phones", filePrinter, "Station label"])
            verify(findChild(view, "activeBox").checked)
            compare(view.filters.count, 1)
        }

        // Labels still in the spool are not dropped silently: making the job inactive asks first (the
        // job stays as it is until answered, and Cancel keeps it), and "Discard them" removes exactly
        // that job's labels; removing a job asks before the job goes, and printing keeps them.
        // Deleting a layout then names the jobs that print with it, which then carry a warning.
        function test_waitingLabelsAndDeletedLayouts() {
            var view = createView()
            var id = setUpJob(view, "Apple phones")
            var other = createJob(view)
            printerInterface.paused = true
            probe.spoolForJob(id, 2)
            probe.spoolForJob(other, 1)
            view.selectJob(id)
            verify(jobListModel.setActive(id, true, true))
            var dialog = findChild(view, "waitingLabelsDialog")
            mouseClick(findChild(view, "activeBox"))
            tryCompare(dialog, "opened", true)
            verify(jobListModel.job(id).active)
            clickInDialog(dialog, "keepJobButton")
            verify(jobListModel.job(id).active)
            verify(findChild(view, "activeBox").checked)
            mouseClick(findChild(view, "activeBox"))
            tryCompare(dialog, "opened", true)
            compare(dialog.waiting, 2)
            verify(jobListModel.job(id).active)
            clickInDialog(dialog, "discardWaitingButton")
            verify(!jobListModel.job(id).active)
            compare(printerInterface.waitingForJob(id), 0)
            compare(printerInterface.waitingForJob(other), 1)

            // Removing asks once, by the question that names the labels; Cancel keeps the job.
            mouseClick(findChild(findChild(view, "jobRow_" + other), "removeJobButton"))
            tryCompare(dialog, "opened", true)
            verify(!findChild(view, "removeJobDialog").visible)
            verify(findChild(dialog, "waitingLabelsText").text.indexOf("1 label of this job") >= 0)
            clickInDialog(dialog, "keepJobButton")
            verify(probe.storedGroups("jobs").indexOf(other) >= 0)
            mouseClick(findChild(findChild(view, "jobRow_" + other), "removeJobButton"))
            tryCompare(dialog, "opened", true)
            clickInDialog(dialog, "printWaitingButton")
            verify(probe.storedGroups("jobs").indexOf(other) < 0)
            compare(printerInterface.waitingForJob(other), 1)
            printerInterface.discardJob(other)
            printerInterface.paused = false

            setUpJob(view, "Samsung phones")
            var layouts = createView("qrc:/ui/qml/StandaloneLayouts.qml")
            var removal = findChild(layouts, "confirmRemoveLayout")
            layouts.selectedName = "Station label"
            removal.open()
            tryCompare(removal, "opened", true)
            var text = findChild(removal, "removeLayoutText").text
            verify(text.indexOf("\"Apple phones\", \"Samsung phones\"") >= 0, text)
            removal.accept()
            tryCompare(removal, "visible", false)
            tryVerify(function () { return findChild(view, "jobWarning_" + id).visible })
            verify(!findChild(view, "activeBox").enabled)
        }
    }
}
