import QtQuick 2.15
import QtTest 1.2

// The settings panel writes every console key and the report log settings to the global file as
// the user types, stores the report id when its editing ends, and holds polling while it is open.
Item {
    id: stage
    width: 1200
    height: 800

    TestCase {
        name: "SettingsPanel"
        when: windowShown

        function createPanel() {
            var component = Qt.createComponent("qrc:/ui/qml/SettingsPanel.qml")
            verify(component.status === Component.Ready, component.errorString())
            var panel = createTemporaryObject(component, stage)
            show(panel, true)
            return panel
        }

        function show(panel, shown) {
            shown ? panel.open() : panel.close()
            tryCompare(panel, shown ? "opened" : "visible", shown)
        }

        function stored(key) {
            return String(probe.storedValue(key))
        }

        function typeInto(field, text) {
            field.forceActiveFocus(); field.selectAll(); keyClick(Qt.Key_Backspace)
            text.split("").forEach(function (c) { keyClick(c) })
        }

        // Scrolls the panel's form so that `item` is in view.
        function scrollTo(panel, item) {
            var flick = findChild(panel, "settingsScroller").contentItem
            waitForRendering(panel.contentItem)
            var top = item.mapToItem(flick.contentItem, 0, 0).y
            flick.contentY = Math.max(0, Math.min(top - 20, flick.contentHeight - flick.height))
            waitForRendering(panel.contentItem)
        }

        // Picks an entry of a drop-down by its text, through its list as a user would.
        function choose(box, text) {
            mouseClick(box)
            tryCompare(box.popup, "opened", true)
            var index = box.find(text)
            verify(index >= 0, text)
            var list = box.popup.contentItem
            list.positionViewAtIndex(index, ListView.Contain)
            waitForRendering(list)
            mouseClick(list.itemAtIndex(index))
            tryCompare(box.popup, "visible", false)
            compare(box.currentText, text)
        }

        function test_fieldsWriteTheirKeysAndCheckTheConnection() {
            var panel = createPanel()
            mcconnector.setMcStatus("Invalid settings")
            // Read back from the file itself: each change is flushed.
            var consoleFields = [["addressField", "MC/address", "http://127.0.0.1"], ["portField", "MC/port", "1"],
                                 ["usernameField", "MC/username", "station"], ["passwordField", "MC/password", "s3cr,et"],
                                 ["customFieldKeyField", "ReportView/customFieldKey", "/root/report/user_data/fields/info1"]]
            for (var i = 0; i < consoleFields.length; ++i) {
                typeInto(findChild(panel, consoleFields[i][0]), consoleFields[i][2])
                compare(stored(consoleFields[i][1]), consoleFields[i][2])
            }
            verify(findChild(panel, "passwordField").displayText.indexOf("s3cr") < 0)
            // Complete, the form is checked without a press.
            tryVerify(function () { return mcconnector.connectionState !== "Invalid settings" }, 5000)
            mouseClick(findChild(panel, "onlyReportedBox"))
            compare(stored("MC/onlyreported"), "false")

            // The report id is stored when its editing ends, never half typed.
            settingsManager.removeKey("MC/lastReportId", true)
            settingsManager.flush()
            var reportId = findChild(panel, "reportIdField")
            typeInto(reportId, "250")
            verify(!probe.isStored("MC/lastReportId"))
            keyClick(Qt.Key_Return)
            compare(stored("MC/lastReportId"), "250")

            // The log file as the file dialog hands it over.
            var path = reportList.reportLogPath.replace(/[^\/]*$/, "Station log.csv")
            panel.setLogPath(panel.localPath("file:///" + path.replace(/^\//, "").replace(/ /g, "%20")))
            compare(reportList.reportLogPath, path)
            compare(stored("ReportView/reportLogPath"), path)

            // Checked against the console filled in above: nothing listens on port 1.
            mouseClick(findChild(panel, "checkConnectionButton"))
            compare(mcconnector.connectionState, "Connecting")
            tryCompare(mcconnector, "connectionState", "Failed to connect", 20000)
            compare(findChild(panel, "panelConnectionState").text, "Failed to connect")

            // No poll while the panel is open, even once a check connected; closing resumes
            // polling only when connected.
            mcconnector.setMcStatus("Connected")
            verify(!probe.isPolling())
            show(panel, false)
            verify(probe.isPolling())
            show(panel, true)
            verify(!probe.isPolling())
            mcconnector.setMcStatus("Failed to connect")
            show(panel, false)
            verify(!probe.isPolling())
        }

        // An id that skips or repeats reports says how many and is stored only when confirmed,
        // also when the panel is closed in the middle of editing; polling waits for the answer.
        function test_reportIdChangeAsksFirstAndCertificateTrust() {
            settingsManager.setValue("MC/lastReportId", 1500, true)
            settingsManager.flush()
            var panel = createPanel()
            var field = findChild(panel, "reportIdField")
            var dialog = findChild(panel, "reportIdDialog")
            compare(field.text, "1500")
            typeInto(field, "1600")
            keyClick(Qt.Key_Return)
            tryCompare(dialog, "opened", true)
            var question = findChild(dialog, "reportIdQuestion").text
            verify(question.indexOf("1501") >= 0 && question.indexOf("100 reports") >= 0, question)
            waitForRendering(dialog.contentItem)
            mouseClick(findChild(dialog, "keepReportIdButton"))
            tryCompare(dialog, "visible", false)
            compare(stored("MC/lastReportId"), "1500")
            compare(field.text, "1500")

            mcconnector.setMcStatus("Connected")
            typeInto(field, "1400")
            mouseClick(findChild(panel, "closeButton"))
            tryCompare(dialog, "opened", true)
            verify(findChild(dialog, "reportIdQuestion").text.indexOf("again") >= 0)
            verify(panel.visible && !probe.isPolling())
            waitForRendering(dialog.contentItem)
            mouseClick(findChild(dialog, "storeReportIdButton"))
            tryCompare(panel, "visible", false)
            compare(stored("MC/lastReportId"), "1400")
            verify(probe.isPolling())
            mcconnector.setMcStatus("Failed to connect")

            // A console's certificate: the trusted key shown, a changed one offered to trust.
            show(panel, true)
            var trusted = findChild(panel, "trustedFingerprint")
            var offered = findChild(panel, "offeredFingerprint")
            var trust = findChild(panel, "trustCertificateButton")
            probe.meetCertificate("https://mc.example:8443", 0x11)
            tryVerify(function() { return trusted.text.indexOf("11:11:11") === 0 })
            compare([offered.visible, trust.visible], [false, false])

            // A console with another key: refused, and the panel offers the new one.
            probe.refuseCertificate("https://mc.example:8443", 0xab)
            tryCompare(mcconnector, "connectionState", "Certificate changed")
            tryCompare(trust, "visible", true)
            verify(offered.visible && offered.text.indexOf("AB:AB:AB") >= 0, offered.text)
            verify(trusted.text.indexOf("11:11:11") === 0)

            // The button is low in the form: scrolled into view (once laid out) as a user would.
            scrollTo(panel, trust)
            mouseClick(trust)
            tryVerify(function() { return trusted.text.indexOf("AB:AB:AB") === 0 })
            tryCompare(trust, "visible", false)
            verify(!offered.visible)
            compare([probe.isStored("MC/certificateKey"), probe.isStored("MC/offeredCertificateKey")], [true, false])
            // Trusting starts a new check at once.
            verify(mcconnector.connectionState !== "Certificate changed")
        }
    
        // "Continue from report N" after the console's ids went back: the field follows the stored
        // id, and Close leaves it there without asking to store the old one.
        function test_continueFromThenClose() {
            settingsManager.setValue("MC/lastReportId", 295, true)
            settingsManager.flush()
            mcconnector.setMcStatus("Connected")
            var panel = createPanel()
            var field = findChild(panel, "reportIdField")
            compare(field.text, "295")
            xmlpoller.consoleBehind(35, 295)
            var move = findChild(panel, "moveWatermarkButton")
            tryCompare(move, "visible", true)
            waitForRendering(panel.contentItem)
            mouseClick(move)
            compare(stored("MC/lastReportId"), "35")
            tryCompare(field, "text", "35")
            mouseClick(findChild(panel, "closeButton"))
            tryCompare(panel, "visible", false)
            verify(!findChild(panel, "reportIdDialog").visible)
            compare(stored("MC/lastReportId"), "35")
            mcconnector.setMcStatus("Failed to connect")
        }

        // A label printer is added, refused with its reason, fixed, renamed and removed through the
        // form; the job's printer choice follows the stored list.
        function test_zplPrinterAddedRenamedAndRemoved() {
            var panel = createPanel()
            var printers = printerInterface.zplPrinters
            compare(printers.count, 0)
            var box = findChild(panel, "zplPrinterBox")
            var name = findChild(panel, "zplNameField")
            var address = findChild(panel, "zplAddressField")
            var stateLabel = findChild(panel, "zplStateLabel")
            var save = findChild(panel, "zplSaveButton")
            var remove = findChild(panel, "zplRemoveButton")
            compare(box.currentText, "New label printer")
            verify(!remove.enabled)
            scrollTo(panel, save)

            typeInto(name, "Dock 1")
            typeInto(address, "dock:99999")
            mouseClick(save)
            verify(stateLabel.text.indexOf("not host:port") >= 0, stateLabel.text)
            compare(String(stateLabel.color), "#b3261e")
            compare([printers.count, probe.storedGroups("zplPrinters").length], [0, 0])

            // Fixed, with each kind of field changed: the values stored are the ones shown.
            typeInto(address, "10.0.0.7")
            choose(findChild(panel, "zplDpiBox"), "300 dpi")
            typeInto(findChild(panel, "zplDarknessBox").contentItem, "22")
            typeInto(findChild(panel, "zplOffsetLeftBox").contentItem, "-1,5")
            choose(findChild(panel, "zplMediaBox"), "Black mark")
            mouseClick(save)
            compare(stateLabel.text, "Saved")
            compare([printers.count, box.currentText], [1, "Dock 1"])
            var picture = grabImage(stage)
            if (picture.width > 0) // the software renderer off screen gives no picture
                picture.save(probe.picturePath("settings-zpl-printer.png"))
            verify(remove.enabled)
            verify(printerInterface.activePrinters().indexOf("Dock 1") >= 0)
            var group = "zplPrinters/" + probe.storedGroups("zplPrinters")[0] + "/"
            compare([stored(group + "address"), stored(group + "dpi"), stored(group + "darkness"),
                     stored(group + "offsetLeft"), stored(group + "media")], ["10.0.0.7", "300", "22", "-1.5", "mark"])

            // Shown again from the list: every field reads the stored printer back.
            choose(box, "New label printer")
            compare([name.text, address.text, findChild(panel, "zplOffsetLeftBox").displayText,
                     findChild(panel, "zplMediaBox").currentText, stateLabel.text], ["", "", "0", "Gap or notch", ""])
            verify(!remove.enabled)
            choose(box, "Dock 1")
            compare([name.text, address.text, findChild(panel, "zplDpiBox").currentText,
                     findChild(panel, "zplDarknessBox").value, findChild(panel, "zplOffsetLeftBox").displayText,
                     findChild(panel, "zplMediaBox").currentText], ["Dock 1", "10.0.0.7", "300 dpi", 22, "-1.5", "Black mark"])

            // A new printer is stored beside the first one, not in its place.
            choose(box, "New label printer")
            typeInto(name, "Bench")
            typeInto(address, "/dev/usb/lp0")
            mouseClick(save)
            compare([printers.count, box.currentText, stateLabel.text], [2, "Bench", "Saved"])
            // A new printer under a name already stored is refused instead of replacing that one.
            choose(box, "New label printer")
            typeInto(name, "Bench")
            typeInto(address, "10.0.0.8")
            mouseClick(save)
            verify(stateLabel.text.indexOf("another label printer") >= 0, stateLabel.text)
            compare(printers.count, 2)

            // Renamed: still two printers, the first under its new name everywhere.
            choose(box, "Dock 1")
            typeInto(name, "Dock 2")
            keyClick(Qt.Key_Return)
            compare(stateLabel.text, "Saved")
            compare([printers.count, box.currentText, box.count], [2, "Dock 2", 3])
            var offered = printerInterface.activePrinters()
            verify(offered.indexOf("Dock 2") >= 0 && offered.indexOf("Dock 1") < 0, offered)

            mouseClick(remove)
            compare([printers.count, box.currentText, name.text], [1, "New label printer", ""])
            verify(printerInterface.activePrinters().indexOf("Dock 2") < 0)
            compare(probe.storedGroups("zplPrinters").length, 1)

            // Opened again, the panel shows the first stored printer.
            show(panel, false)
            show(panel, true)
            compare([box.currentText, name.text, address.text], ["Bench", "Bench", "/dev/usb/lp0"])
            verify(printers.remove("Bench"))
        }
    }
}
