import QtQuick 2.15
import QtTest 1.2
import PopupNoteTypes 1.0

// The window frame: notes held before it is ready, the connection state, the views and their tabs.
Item {
    id: stage
    width: 1200
    height: 800

    TestCase {
        name: "Frame"
        when: windowShown

        function createFrame() {
            var component = Qt.createComponent("qrc:/ui/qml/standalone.qml")
            verify(component.status === Component.Ready, component.errorString())
            return createTemporaryObject(component, stage, { width: 1200, height: 800 })
        }

        function noteAt(frame, i) {
            return Array.prototype.filter.call(findChild(frame, "noteStack").children,
                                               function (c) { return c.objectName === "generalPopupNote" })[i]
        }

        // Runs first: the note provider becomes ready only once per process. Notes of every kind
        // raised before it are shown once, newest first, with their texts.
        function test_1_notesRaisedBeforeReadyAppearAfterIt() {
            verify(!probe.isNoteProviderReady())
            popupProvider.showPopup(PopupNoteTypes.PrinterRemoved)
            popupProvider.showPopupWithInfo(PopupNoteTypes.MCCommFailed, "connection refused")
            popupProvider.showErrorText("Printer jammed", "Open the lid", PopupNoteTypes.PrinterNotWorking)
            popupProvider.showErrorConfirm("Update", "Install now?", "Yes", "Later", "", "", "",
                                           PopupNoteTypes.UpdateAvailableConfirm)

            var frame = createFrame()
            verify(probe.isNoteProviderReady())
            compare(frame.notes.count, 4)
            var held = []
            for (var i = 0; i < 4; ++i) {
                var n = frame.notes.get(i)
                held.push([n.noteType, n.title, n.text, n.info, n.confirmText, n.rejectText].join("|"))
            }
            compare(held, [PopupNoteTypes.UpdateAvailableConfirm + "|Update|Install now?||Yes|Later",
                           PopupNoteTypes.PrinterNotWorking + "|Printer jammed|Open the lid|||",
                           PopupNoteTypes.MCCommFailed + "||Cannot connect to Management Console|connection refused||",
                           PopupNoteTypes.PrinterRemoved + "||" + noteAt(frame, 3).text + "|||"])
            verify(noteAt(frame, 0).visible && noteAt(frame, 3).text.length > 0)

            // Closing one leaves the others; a dismiss request closes by type.
            mouseClick(findChild(noteAt(frame, 0), "noteAccept"))
            compare(frame.notes.count, 3)
            popupProvider.dismissPopup(PopupNoteTypes.PrinterRemoved)
            compare(frame.notes.count, 2)

            // After ready a note shows at once, and the same note is not stacked twice.
            popupProvider.showPopup(PopupNoteTypes.PrintedReportsWritingToLogFailed)
            popupProvider.showPopup(PopupNoteTypes.PrintedReportsWritingToLogFailed)
            compare(frame.notes.count, 3)
        }

        // One frame: the connection state, the status bar message and the tabs.
        function test_stateStatusTabsAndSettings() {
            // The window's first check with no console settings ends here.
            tryCompare(mcconnector, "connectionState", "Invalid settings", 10000)
            settingsManager.setValue("lastView", "jobs")
            var frame = createFrame()
            var line = findChild(frame, "connectionLine")
            for (var state of ["Connected", "Failed to connect"]) {
                mcconnector.setMcStatus(state)
                verify(line.text.indexOf(">" + state + "<") > 0, line.text)
                compare(findChild(frame, "statusBarConnection").text, state)
            }

            mcconnector.statusBarMessage = "Fetching Reports: 101 - 105"
            compare(findChild(frame, "statusBarText").text, "Fetching Reports: 101 - 105")

            // The tabs switch views; the last one shown is stored.
            compare(frame.currentView, "jobs")
            verify(findChild(frame, "jobsView").visible)
            var views = ["reports", "layouts"]
            for (var v = 0; v < views.length; ++v) {
                mouseClick(findChild(frame, "tab_" + views[v]))
                compare(frame.currentView, views[v])
                verify(findChild(frame, views[v] + "View").visible)
                compare(settingsManager.getValue("lastView"), views[v])
            }

            // A new frame opens on the view shown last.
            compare(createFrame().currentView, "layouts")
        }

        // F1 and the Help button open the help of the view in front: what it does and what its
        // state texts mean; over the settings panel, the panel's own help.
        function test_helpOfTheViewInFront() {
            settingsManager.setValue("lastView", "jobs")
            var frame = createFrame()
            var help = findChild(frame, "helpPage")
            keyClick(Qt.Key_F1)
            tryCompare(help, "opened", true)
            var text = findChild(help, "helpText").text
            verify(text.indexOf("Print Jobs") >= 0 && text.indexOf("not equal") >= 0, text)
            verify(text.indexOf("Failed to connect") >= 0, text)
            help.close()
            tryCompare(help, "visible", false)

            frame.showView("reports")
            mouseClick(findChild(frame, "helpButton"))
            tryCompare(help, "opened", true)
            verify(findChild(help, "helpText").text.indexOf("printing is paused") >= 0)
            help.close()
            tryCompare(help, "visible", false)

            frame.openSettings()
            tryCompare(frame.settingsPanel, "opened", true)
            keyClick(Qt.Key_F1)
            tryCompare(help, "opened", true)
            compare(help.view, "settings")
            help.close()
            frame.settingsPanel.close()
        }

        // A note for one cause changes in place when raised again or updated, and closes when
        // withdrawn.
        function test_groupedNotesChangeInPlace() {
            var frame = createFrame()
            var before = frame.notes.count
            popupProvider.showGroupedNote("failed job-a", "Labels not printed", "1 label of job A failed",
                                          PopupNoteTypes.ErrorMessage)
            popupProvider.showGroupedNote("failed job-b", "Labels not printed", "1 label of job B failed",
                                          PopupNoteTypes.ErrorMessage)
            popupProvider.showGroupedNote("failed job-a", "Labels not printed", "2 labels of job A failed",
                                          PopupNoteTypes.ErrorMessage)
            compare(frame.notes.count, before + 2)
            compare(frame.notes.get(before).text, "2 labels of job A failed")
            popupProvider.dismissGroupedNote("failed job-a")
            compare(frame.notes.count, before + 1)
            compare(frame.notes.get(before).text, "1 label of job B failed")
            // An update changes a note on show and brings back none that was closed.
            popupProvider.updateGroupedNote("failed job-a", "1 label of job A failed")
            popupProvider.updateGroupedNote("failed job-b", "2 labels of job B failed")
            compare(frame.notes.count, before + 1)
            compare(frame.notes.get(before).text, "2 labels of job B failed")
        }
    }
}
