import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The "Print Jobs" view: the console connection, the list of jobs and the editor of the selected
// job with its filters. Job and filter keys go to the global settings file, where the poller
// reads them, and are flushed at once.
Item {
    id: view

    readonly property alias jobs: jobModel
    readonly property alias filters: filterModel
    property string selectedJobId: ""
    property int selectedIndex: -1
    // Set while the list is rebuilt, when the list view's current row means nothing.
    property bool loading: false

    readonly property string idCharacters: "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"

    function randomId(length, taken) {
        var id
        do {
            id = ""
            for (var i = 0; i < length; ++i)
                id += idCharacters.charAt(Math.floor(Math.random() * idCharacters.length))
        } while (taken.indexOf(id) >= 0)
        return id
    }

    function indexOfJob(id) {
        for (var i = 0; i < jobModel.count; ++i) {
            if (jobModel.get(i).uniqueId === id)
                return i
        }
        return -1
    }

    function jobKey(id, key) {
        return "jobs/" + id + "/" + key
    }

    function loadJobs() {
        loading = true
        jobModel.clear()
        var ids = settingsManager.childGroupsOfGroup("jobs", true)
        for (var i = 0; i < ids.length; ++i) {
            var id = ids[i]
            jobModel.append({
                uniqueId: id,
                jobname: settingsManager.getValue(jobKey(id, "jobname"), "", true),
                printer: settingsManager.getValue(jobKey(id, "printer"), "", true),
                layout: settingsManager.getValue(jobKey(id, "layout"), "", true),
                isactive: settingsManager.getBooleanValue(jobKey(id, "active"), true, true)
            })
        }
        loading = false
        if (indexOfJob(selectedJobId) >= 0)
            selectJob(selectedJobId)
        else
            selectJob(jobModel.count > 0 ? jobModel.get(0).uniqueId : "")
    }

    function selectJob(id) {
        selectedJobId = id
        selectedIndex = indexOfJob(id)
        loadFilters()
    }

    function createJob() {
        var id = randomId(12, settingsManager.childGroupsOfGroup("jobs", true))
        settingsManager.setValue(jobKey(id, "jobname"), qsTr("New job"), true)
        settingsManager.setValue(jobKey(id, "active"), true, true)
        settingsManager.setValue(jobKey(id, "layout"), "", true)
        settingsManager.setValue(jobKey(id, "printer"), "", true)
        settingsManager.flush()
        loadJobs()
        selectJob(id)
        nameField.forceActiveFocus()
        nameField.selectAll()
        return id
    }

    // The whole group goes, filters included.
    function removeJob(id) {
        if (id.length === 0)
            return
        settingsManager.removeKey("jobs/" + id, true)
        settingsManager.flush()
        if (id === selectedJobId)
            selectedJobId = ""
        loadJobs()
    }

    function setJobValue(key, role, value) {
        if (selectedIndex < 0)
            return
        settingsManager.setValue(jobKey(selectedJobId, key), value, true)
        settingsManager.flush()
        jobModel.setProperty(selectedIndex, role, value)
    }

    function setActive(active) {
        setJobValue("active", "isactive", active)
    }

    function categoryOf(path) {
        var categories = mcReportFields.categories
        for (var i = 1; i < categories.length; ++i) {
            if (mcReportFields.getSearchPaths(categories[i]).indexOf(path) >= 0)
                return categories[i]
        }
        return categories.length > 0 ? categories[0] : ""
    }

    function loadFilters() {
        filterModel.clear()
        if (selectedJobId.length === 0)
            return
        var ids = settingsManager.childGroupsOfSubGroup("jobs", selectedJobId, true)
        for (var i = 0; i < ids.length; ++i) {
            var key = "jobs/" + selectedJobId + "/" + ids[i] + "/"
            var path = settingsManager.getValue(key + "filterName", "", true)
            filterModel.append({
                filterId: ids[i],
                category: categoryOf(path),
                hint: "",
                searchPath: path,
                dataType: settingsManager.getValue(key + "operatorType", mcReportFields.getDataType(path, "string"), true),
                operatorSymbol: settingsManager.getValue(key + "operator", "==", true),
                filterValue: settingsManager.getValue(key + "filterValue", "", true),
                stored: true,
                dirty: false
            })
        }
    }

    function addFilter() {
        if (selectedJobId.length === 0)
            return -1
        var taken = settingsManager.childGroupsOfSubGroup("jobs", selectedJobId, true)
        for (var i = 0; i < filterModel.count; ++i)
            taken.push(filterModel.get(i).filterId)
        filterModel.append({
            filterId: randomId(8, taken),
            category: mcReportFields.categories.length > 0 ? mcReportFields.categories[0] : "",
            hint: "",
            searchPath: "",
            dataType: "string",
            operatorSymbol: "==",
            filterValue: "",
            stored: false,
            dirty: true
        })
        filterList.positionViewAtEnd()
        return filterModel.count - 1
    }

    function saveFilter(index) {
        var f = filterModel.get(index)
        if (selectedJobId.length === 0 || f.searchPath.length === 0)
            return
        var key = "jobs/" + selectedJobId + "/" + f.filterId + "/"
        settingsManager.setValue(key + "filterName", f.searchPath, true)
        settingsManager.setValue(key + "operatorType", f.dataType, true)
        settingsManager.setValue(key + "operator", f.operatorSymbol, true)
        settingsManager.setValue(key + "filterValue", f.filterValue, true)
        settingsManager.flush()
        filterModel.setProperty(index, "stored", true)
        filterModel.setProperty(index, "dirty", false)
    }

    function removeFilter(index) {
        var f = filterModel.get(index)
        if (f.stored) {
            settingsManager.removeValueOfGroup("jobs/" + selectedJobId, f.filterId, true)
            settingsManager.flush()
        }
        filterModel.remove(index)
    }

    StationTheme { id: theme }
    ListModel { id: jobModel }
    ListModel { id: filterModel }

    Component.onCompleted: loadJobs()

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        // Connection line
        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 48
            radius: theme.radius
            color: theme.card
            border.color: theme.cardBorder

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 16
                anchors.rightMargin: 16
                spacing: 10
                Rectangle {
                    Layout.preferredWidth: 14
                    Layout.preferredHeight: 14
                    radius: 7
                    color: connectionLine.stateColor
                }
                Label {
                    id: connectionLine
                    objectName: "connectionLine"
                    readonly property color stateColor: theme.stateColor(mcconnector.connectionState)
                    Layout.fillWidth: true
                    textFormat: Text.StyledText
                    text: qsTr("MC Connection: ") + "<b><font color=\"" + stateColor + "\">"
                          + mcconnector.connectionState + "</font></b>"
                    font.pixelSize: theme.titleFontSize
                    color: theme.text
                    elide: Text.ElideRight
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 16

            // Job list
            Rectangle {
                Layout.preferredWidth: Math.max(330, Math.round(view.width * 0.22))
                Layout.fillHeight: true
                radius: theme.radius
                color: theme.card
                border.color: theme.cardBorder

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 12
                    spacing: 10

                    Label {
                        text: qsTr("Print Jobs")
                        font.pixelSize: theme.titleFontSize
                        font.bold: true
                        color: theme.text
                    }

                    ListView {
                        id: jobList
                        objectName: "jobList"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        clip: true
                        spacing: 4
                        model: jobModel
                        currentIndex: view.selectedIndex
                        keyNavigationEnabled: true
                        activeFocusOnTab: true
                        onCurrentIndexChanged: {
                            if (!view.loading && currentIndex >= 0 && currentIndex < jobModel.count
                                    && jobModel.get(currentIndex).uniqueId !== view.selectedJobId)
                                view.selectJob(jobModel.get(currentIndex).uniqueId)
                        }
                        ScrollBar.vertical: ScrollBar {}

                        delegate: Rectangle {
                            id: jobRow
                            objectName: "jobRow_" + model.uniqueId
                            width: jobList.width
                            height: 48
                            radius: 4
                            readonly property bool selected: model.uniqueId === view.selectedJobId
                            color: selected ? theme.selection : (rowMouse.containsMouse ? theme.rowAlternate : "transparent")
                            border.color: selected && jobList.activeFocus ? theme.accent : "transparent"

                            MouseArea {
                                id: rowMouse
                                anchors.fill: parent
                                hoverEnabled: true
                                onClicked: {
                                    view.selectJob(model.uniqueId)
                                    jobList.forceActiveFocus()
                                }
                            }
                            RowLayout {
                                anchors.fill: parent
                                anchors.leftMargin: 12
                                anchors.rightMargin: 4
                                spacing: 8
                                Rectangle {
                                    Layout.preferredWidth: 10
                                    Layout.preferredHeight: 10
                                    radius: 5
                                    color: model.isactive ? theme.connected : "#b0b8c1"
                                }
                                Label {
                                    Layout.fillWidth: true
                                    text: model.jobname
                                    elide: Text.ElideRight
                                    font.pixelSize: theme.fontSize + 1
                                    font.bold: jobRow.selected
                                    color: model.isactive ? theme.text : theme.mutedText
                                }
                                ToolButton {
                                    objectName: "removeJobButton"
                                    Layout.preferredWidth: 40
                                    Layout.preferredHeight: 40
                                    Accessible.name: qsTr("Remove job")
                                    ToolTip.visible: hovered
                                    ToolTip.text: qsTr("Remove job")
                                    icon.source: "pics/remove-icon.png"
                                    icon.color: "transparent"
                                    icon.width: 22
                                    icon.height: 22
                                    onClicked: removeDialog.ask(model.uniqueId, model.jobname)
                                }
                            }
                        }
                    }

                    Button {
                        objectName: "createJobButton"
                        Layout.fillWidth: true
                        text: qsTr("Create new Job")
                        font.pixelSize: theme.fontSize
                        highlighted: true
                        onClicked: view.createJob()
                    }
                }
            }

            // Job editor
            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                radius: theme.radius
                color: theme.card
                border.color: theme.cardBorder

                Label {
                    anchors.centerIn: parent
                    visible: view.selectedIndex < 0
                    text: qsTr("No print job selected")
                    font.pixelSize: theme.titleFontSize
                    color: theme.mutedText
                }

                ColumnLayout {
                    id: editor
                    objectName: "jobEditor"
                    anchors.fill: parent
                    anchors.margins: 16
                    spacing: 12
                    visible: view.selectedIndex >= 0
                    readonly property var job: view.selectedIndex >= 0 ? jobModel.get(view.selectedIndex) : null

                    GridLayout {
                        Layout.fillWidth: true
                        columns: 4
                        columnSpacing: 12
                        rowSpacing: 10

                        Label { text: qsTr("Job name:"); font.pixelSize: theme.fontSize; color: theme.text }
                        TextField {
                            id: nameField
                            objectName: "jobNameField"
                            Layout.fillWidth: true
                            Layout.columnSpan: 3
                            font.pixelSize: theme.fontSize
                            selectByMouse: true
                            text: editor.job ? editor.job.jobname : ""
                            onTextEdited: view.setJobValue("jobname", "jobname", text)
                        }

                        Label { text: qsTr("Printer:"); font.pixelSize: theme.fontSize; color: theme.text }
                        StationComboBox {
                            id: printerBox
                            objectName: "printerBox"
                            Layout.fillWidth: true
                            font.pixelSize: theme.fontSize
                            property var printers: printerInterface.activePrinters()
                            model: printers
                            currentIndex: editor.job ? printers.indexOf(editor.job.printer) : -1
                            displayText: currentIndex >= 0 ? currentText
                                         : (editor.job && editor.job.printer.length > 0 ? editor.job.printer : qsTr("Not selected"))
                            onActivated: view.setJobValue("printer", "printer", printers[index])
                            popup.onAboutToShow: printers = printerInterface.activePrinters()
                        }

                        Label { text: qsTr("Layout"); font.pixelSize: theme.fontSize; color: theme.text }
                        StationComboBox {
                            id: layoutBox
                            objectName: "layoutBox"
                            Layout.fillWidth: true
                            font.pixelSize: theme.fontSize
                            model: layoutmanager.customLayouts
                            currentIndex: editor.job ? layoutmanager.customLayouts.indexOf(editor.job.layout) : -1
                            displayText: currentIndex >= 0 ? currentText
                                         : (editor.job && editor.job.layout.length > 0 ? editor.job.layout : qsTr("Not selected"))
                            onActivated: view.setJobValue("layout", "layout", layoutmanager.customLayouts[index])
                        }

                        Item { width: 1; height: 1 }
                        CheckBox {
                            id: activeBox
                            objectName: "activeBox"
                            Layout.columnSpan: 3
                            text: qsTr("Active")
                            font.pixelSize: theme.fontSize
                            checked: editor.job ? editor.job.isactive : false
                            onToggled: {
                                view.setActive(checked)
                                if (!checked)
                                    waitingDialog.askFor(view.selectedJobId, editor.job ? editor.job.jobname : "")
                            }
                        }
                    }

                    Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: theme.cardBorder }

                    RowLayout {
                        Layout.fillWidth: true
                        Label {
                            Layout.fillWidth: true
                            text: qsTr("Filters")
                            font.pixelSize: theme.titleFontSize
                            font.bold: true
                            color: theme.text
                        }
                        Button {
                            objectName: "addFilterButton"
                            text: qsTr("Add filter")
                            font.pixelSize: theme.fontSize
                            onClicked: view.addFilter()
                        }
                    }

                    ListView {
                        id: filterList
                        objectName: "filterList"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        clip: true
                        spacing: 10
                        model: filterModel
                        ScrollBar.vertical: ScrollBar {}

                        delegate: FilterRow {
                            objectName: "filterRow_" + model.filterId
                            width: filterList.width - 14
                            filterId: model.filterId
                            category: model.category
                            hint: model.hint
                            searchPath: model.searchPath
                            dataType: model.dataType
                            operatorSymbol: model.operatorSymbol
                            filterValue: model.filterValue
                            stored: model.stored
                            dirty: model.dirty
                            onChangeRequested: {
                                filterModel.setProperty(index, name, value)
                                if (name !== "hint" && name !== "category")
                                    filterModel.setProperty(index, "dirty", true)
                            }
                            onSaveRequested: view.saveFilter(index)
                            onRemoveRequested: view.removeFilter(index)
                        }
                    }
                }
            }
        }
    }

    Dialog {
        id: removeDialog
        objectName: "removeJobDialog"
        property string jobId
        property string jobName

        function ask(id, name) {
            jobId = id
            jobName = name
            open()
        }

        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(520, parent ? parent.width - 48 : 520)
        modal: true
        title: qsTr("Remove job")
        font.pixelSize: theme.fontSize

        Label {
            width: removeDialog.availableWidth
            text: qsTr("Remove the job \"%1\" with its filters?").arg(removeDialog.jobName)
            font.pixelSize: theme.fontSize
            wrapMode: Text.Wrap
        }

        footer: DialogButtonBox {
            Button {
                objectName: "confirmRemoveButton"
                text: qsTr("Remove")
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            }
            Button {
                text: qsTr("Cancel")
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
        onAccepted: {
            view.removeJob(jobId)
            waitingDialog.askFor(jobId, jobName)
        }
    }

    // A job that is removed or made inactive may still have labels in the spool: print them with
    // the settings they were spooled with, or drop them.
    Dialog {
        id: waitingDialog
        objectName: "waitingLabelsDialog"
        property string jobId
        property string jobName
        property int waiting: 0

        function askFor(id, name) {
            waiting = printerInterface.waitingForJob(id)
            if (waiting === 0)
                return
            jobId = id
            jobName = name
            open()
        }

        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(560, parent ? parent.width - 48 : 560)
        modal: true
        closePolicy: Popup.NoAutoClose
        title: qsTr("Labels still waiting")
        font.pixelSize: theme.fontSize

        Label {
            width: waitingDialog.availableWidth
            text: qsTr("%1 labels of the job \"%2\" have not been printed yet. Print them, or discard them?")
                  .arg(waitingDialog.waiting).arg(waitingDialog.jobName)
            font.pixelSize: theme.fontSize
            wrapMode: Text.Wrap
        }

        footer: DialogButtonBox {
            Button {
                objectName: "printWaitingButton"
                text: qsTr("Print them")
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            }
            Button {
                objectName: "discardWaitingButton"
                text: qsTr("Discard them")
                DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole
                onClicked: {
                    printerInterface.discardJob(waitingDialog.jobId)
                    waitingDialog.close()
                }
            }
        }
    }
}
