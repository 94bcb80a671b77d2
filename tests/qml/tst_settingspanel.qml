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

        function test_fieldsWriteTheirKeysAndCheckTheConnection() {
            var panel = createPanel()
            // Read back from the file itself: each change is flushed.
            var consoleFields = [["addressField", "MC/address", "http://127.0.0.1"], ["portField", "MC/port", "1"],
                                 ["usernameField", "MC/username", "station"], ["passwordField", "MC/password", "s3cr,et"],
                                 ["customFieldKeyField", "ReportView/customFieldKey", "/root/report/user_data/fields/info1"]]
            for (var i = 0; i < consoleFields.length; ++i) {
                typeInto(findChild(panel, consoleFields[i][0]), consoleFields[i][2])
                compare(stored(consoleFields[i][1]), consoleFields[i][2])
            }
            verify(findChild(panel, "passwordField").displayText.indexOf("s3cr") < 0)
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
            var flick = findChild(panel, "settingsScroller").contentItem
            waitForRendering(panel.contentItem)
            flick.contentY = Math.max(0, flick.contentHeight - flick.height)
            waitForRendering(panel.contentItem)
            mouseClick(trust)
            tryVerify(function() { return trusted.text.indexOf("AB:AB:AB") === 0 })
            tryCompare(trust, "visible", false)
            verify(!offered.visible)
            compare([probe.isStored("MC/certificateKey"), probe.isStored("MC/offeredCertificateKey")], [true, false])
            // Trusting starts a new check at once.
            verify(mcconnector.connectionState !== "Certificate changed")
        }
    }
}
