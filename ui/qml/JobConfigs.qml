import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The "Print Jobs" view: the console connection, the list of jobs and the editor of the selected
// job with its filters. The jobs live in the native job list (jobListModel), which stores them in
// the global settings where the poller reads them; this view only keeps the filter rows being edited.
Item {
    id: view

    readonly property var jobs: jobListModel
    readonly property alias filters: filterModel
    property string selectedJobId: ""
    // The selected job as stored, read again after every change of the list.
    readonly property var job: {
        jobListModel.revision
        var stored = jobListModel.job(selectedJobId)
        return stored.id !== undefined ? stored : null
    }
    readonly property int selectedIndex: { jobListModel.revision; return jobListModel.indexOf(selectedJobId) }
    readonly property string activationBlocker: {
        jobListModel.revision
        return selectedIndex >= 0 ? jobListModel.activationBlocker(selectedJobId) : ""
    }

    function loadJobs() {
        jobListModel.reload()
        if (jobListModel.indexOf(selectedJobId) >= 0)
            loadFilters()
        else
            selectJob(jobListModel.count > 0 ? jobListModel.idAt(0) : "")
    }

    function selectJob(id) {
        if (id === selectedJobId && jobListModel.indexOf(id) >= 0)
            return
        leaveJob()
        selectedJobId = id
        loadFilters()
    }

    // Rows being edited are not lost when another job is shown: complete ones are saved, the
    // others are kept as drafts of their job.
    function leaveJob() {
        if (jobListModel.indexOf(selectedJobId) < 0)
            return
        saveCompleteRows()
        var drafts = []
        for (var i = 0; i < filterModel.count; ++i) {
            var f = filterModel.get(i)
            if (f.dirty)
                drafts.push({ filterId: f.filterId, category: f.category, hint: f.hint, searchPath: f.searchPath,
                              dataType: f.dataType, operatorSymbol: f.operatorSymbol, filterValue: f.filterValue })
        }
        jobListModel.keepDrafts(selectedJobId, drafts)
    }

    function saveCompleteRows() {
        for (var i = 0; i < filterModel.count; ++i) {
            var f = filterModel.get(i)
            if (f.dirty && jobListModel.filterProblem(f.searchPath, f.operatorSymbol).length === 0)
                saveFilter(i)
        }
    }

    function createJob() {
        leaveJob()
        var id = jobListModel.createJob(qsTr("New job"))
        selectJob(id)
        nameField.forceActiveFocus()
        nameField.selectAll()
        return id
    }

    function removeJob(id) {
        if (id.length === 0)
            return
        jobListModel.removeJob(id)
        // Another job's form stays as it is; only a removed selection moves on.
        if (id === selectedJobId) {
            filterModel.clear()
            selectedJobId = ""
            selectJob(jobListModel.count > 0 ? jobListModel.idAt(0) : "")
        }
    }

    function setActive(active) {
        if (selectedIndex < 0)
            return false
        if (!active) {
            waitingDialog.askFor(selectedJobId, job.name, false)
            return true
        }
        // The filters shown are the filters it runs with.
        saveCompleteRows()
        if (unsavedRows() > 0) {
            activeNote.show(qsTr("Finish or remove the filter rows that are not saved first."))
            return false
        }
        if (activationBlocker.length > 0)
            return false
        var startAfter = chosenStartAfter()
        if (startAfter === undefined) {
            activeNote.show(qsTr("Enter the number of the first report to print, or choose another start."))
            return false
        }
        var startProblem = jobListModel.startProblem(startAfter)
        if (startProblem.length > 0) {
            activeNote.show(startProblem)
            return false
        }
        if (jobListModel.needsUnfilteredConfirmation(selectedJobId)) {
            unfilteredDialog.askFor(selectedJobId, job.name, startAfter)
            return false
        }
        return jobListModel.setActive(selectedJobId, true, false, startAfter)
    }

    // The report after which the job starts as chosen in the form: -1 for the reports arriving from
    // now on, undefined while "From report" has no number.
    function chosenStartAfter() {
        if (sinceCreatedRadio.checked && sinceCreatedRadio.visible)
            return jobListModel.createdAfter(selectedJobId)
        if (!fromReportRadio.checked)
            return -1
        var first = parseInt(fromReportField.text, 10)
        return first >= 1 ? first - 1 : undefined
    }

    function unsavedRows() {
        var count = 0
        for (var i = 0; i < filterModel.count; ++i) {
            if (filterModel.get(i).dirty)
                ++count
        }
        return count
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
        if (jobListModel.indexOf(selectedJobId) < 0)
            return
        var stored = jobListModel.filters(selectedJobId)
        for (var i = 0; i < stored.length; ++i) {
            var f = stored[i]
            filterModel.append({
                filterId: f.filterId,
                category: categoryOf(f.searchPath),
                hint: "",
                searchPath: f.searchPath,
                dataType: f.dataType.length > 0 ? f.dataType : mcReportFields.getDataType(f.searchPath, "string"),
                operatorSymbol: f.operatorSymbol,
                filterValue: f.filterValue,
                stored: true,
                dirty: false
            })
        }
        var drafts = jobListModel.drafts(selectedJobId)
        for (var j = 0; j < drafts.length; ++j) {
            var d = drafts[j]
            filterModel.append({
                filterId: d.filterId, category: d.category, hint: d.hint, searchPath: d.searchPath,
                dataType: d.dataType, operatorSymbol: d.operatorSymbol, filterValue: d.filterValue,
                stored: false, dirty: true
            })
        }
    }

    function addFilter() {
        if (selectedIndex < 0)
            return -1
        var id = jobListModel.newFilterId(selectedJobId)
        for (var i = 0; i < filterModel.count; ++i) {
            if (filterModel.get(i).filterId === id)
                return addFilter()
        }
        filterModel.append({
            filterId: id,
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
        if (index < 0 || index >= filterModel.count)
            return false
        var f = filterModel.get(index)
        if (!jobListModel.saveFilter(selectedJobId, f.filterId, f.searchPath, f.dataType, f.operatorSymbol, f.filterValue))
            return false
        filterModel.setProperty(index, "stored", true)
        filterModel.setProperty(index, "dirty", false)
        return true
    }

    function indexOfFilter(filterId) {
        for (var i = 0; i < filterModel.count; ++i) {
            if (filterModel.get(i).filterId === filterId)
                return i
        }
        return -1
    }

    function removeFilter(index) {
        if (index < 0 || index >= filterModel.count)
            return
        jobListModel.removeFilter(selectedJobId, filterModel.get(index).filterId)
        filterModel.remove(index)
    }

    StationTheme { id: theme }
    ListModel { id: filterModel }

    Component.onCompleted: loadJobs()
    // Printers come and go while another view is shown.
    onVisibleChanged: if (visible) jobListModel.refreshAvailability()
    Component.onDestruction: leaveJob()

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
                        model: jobListModel
                        currentIndex: view.selectedIndex
                        keyNavigationEnabled: true
                        activeFocusOnTab: true
                        onCurrentIndexChanged: {
                            if (currentIndex >= 0 && jobListModel.idAt(currentIndex) !== view.selectedJobId)
                                view.selectJob(jobListModel.idAt(currentIndex))
                        }
                        ScrollBar.vertical: ScrollBar {}

                        delegate: Rectangle {
                            id: jobRow
                            objectName: "jobRow_" + model.uniqueId
                            width: jobList.width
                            height: model.problem.length > 0 ? 60 : 48
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
                                    visible: model.problem.length === 0
                                    Layout.preferredWidth: 10
                                    Layout.preferredHeight: 10
                                    radius: 5
                                    color: model.isactive ? theme.connected : "#b0b8c1"
                                }
                                // A job that cannot print says so instead of showing a plain dot.
                                Rectangle {
                                    objectName: "jobWarning_" + model.uniqueId
                                    visible: model.problem.length > 0
                                    Layout.preferredWidth: 18
                                    Layout.preferredHeight: 18
                                    Layout.leftMargin: -4
                                    radius: 9
                                    color: model.isactive ? theme.failed : theme.working
                                    Label {
                                        anchors.centerIn: parent
                                        text: "!"
                                        font.bold: true
                                        font.pixelSize: theme.smallFontSize
                                        color: "white"
                                    }
                                }
                                ColumnLayout {
                                    Layout.fillWidth: true
                                    spacing: 0
                                    Label {
                                        Layout.fillWidth: true
                                        text: model.jobname
                                        elide: Text.ElideRight
                                        font.pixelSize: theme.fontSize + 1
                                        font.bold: jobRow.selected
                                        color: model.isactive ? theme.text : theme.mutedText
                                    }
                                    Label {
                                        objectName: "jobProblem"
                                        Layout.fillWidth: true
                                        visible: model.problem.length > 0
                                        text: model.problem
                                        elide: Text.ElideRight
                                        font.pixelSize: theme.smallFontSize
                                        color: model.isactive ? theme.failed : theme.working
                                    }
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
                    readonly property var job: view.job

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
                            text: editor.job ? editor.job.name : ""
                            onTextEdited: jobListModel.setName(view.selectedJobId, text)
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
                            onActivated: jobListModel.setPrinter(view.selectedJobId, printers[index])
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
                            onActivated: jobListModel.setLayout(view.selectedJobId, layoutmanager.customLayouts[index])
                        }

                        Item { width: 1; height: 1 }
                        ColumnLayout {
                            Layout.columnSpan: 3
                            Layout.fillWidth: true
                            spacing: 2
                            CheckBox {
                                id: activeBox
                                objectName: "activeBox"
                                text: qsTr("Active")
                                font.pixelSize: theme.fontSize
                                checked: editor.job ? editor.job.active : false
                                // An incomplete job cannot be switched on; one that is on can always be switched off.
                                enabled: editor.job !== null && (checked || view.activationBlocker.length === 0)
                                onToggled: {
                                    view.setActive(checked)
                                    checked = Qt.binding(function () { return editor.job ? editor.job.active : false })
                                }
                            }
                            Label {
                                objectName: "jobStateNote"
                                Layout.fillWidth: true
                                readonly property string reason: !editor.job ? ""
                                    : (!activeBox.checked && view.activationBlocker.length > 0 ? view.activationBlocker
                                                                                               : editor.job.problem)
                                visible: reason.length > 0
                                text: (activeBox.checked ? qsTr("Its labels cannot print: %1.") : qsTr("To make it active: %1."))
                                      .arg(reason.charAt(0).toLowerCase() + reason.slice(1))
                                wrapMode: Text.Wrap
                                font.pixelSize: theme.smallFontSize
                                color: activeBox.checked ? theme.failed : theme.working
                            }
                            // Which reports the job prints: chosen before it is made active, said
                            // while it is.
                            Flow {
                                id: startChoice
                                objectName: "startChoice"
                                Layout.fillWidth: true
                                spacing: 4
                                visible: editor.job !== null && !editor.job.active
                                readonly property var watermark: jobListModel.watermark
                                readonly property var createdAfter: {
                                    jobListModel.revision
                                    return view.selectedIndex >= 0 ? jobListModel.createdAfter(view.selectedJobId) : -1
                                }
                                ButtonGroup { id: startGroup }
                                Label {
                                    height: fromNowRadio.height
                                    verticalAlignment: Text.AlignVCenter
                                    text: qsTr("When made active, it prints:")
                                    font.pixelSize: theme.smallFontSize
                                    color: theme.text
                                }
                                RadioButton {
                                    id: fromNowRadio
                                    objectName: "startFromNow"
                                    ButtonGroup.group: startGroup
                                    checked: true
                                    font.pixelSize: theme.smallFontSize
                                    text: startChoice.watermark >= 0
                                          ? qsTr("reports arriving from now on (after report %1)").arg(startChoice.watermark)
                                          : qsTr("reports arriving from now on")
                                }
                                RadioButton {
                                    id: sinceCreatedRadio
                                    objectName: "startSinceCreated"
                                    ButtonGroup.group: startGroup
                                    visible: startChoice.createdAfter >= 0 && startChoice.createdAfter < startChoice.watermark
                                    font.pixelSize: theme.smallFontSize
                                    text: qsTr("also those since it was created (reports %1 to %2)")
                                          .arg(startChoice.createdAfter + 1).arg(startChoice.watermark)
                                }
                                // Wrapped as one piece: the number stays beside its choice.
                                Row {
                                    spacing: 4
                                    RadioButton {
                                        id: fromReportRadio
                                        objectName: "startFromReport"
                                        ButtonGroup.group: startGroup
                                        font.pixelSize: theme.smallFontSize
                                        text: qsTr("from report")
                                    }
                                    TextField {
                                        id: fromReportField
                                        objectName: "startFromReportField"
                                        width: 110
                                        height: fromNowRadio.height
                                        font.pixelSize: theme.smallFontSize
                                        selectByMouse: true
                                        validator: RegularExpressionValidator { regularExpression: /[0-9]{0,18}/ }
                                        inputMethodHints: Qt.ImhDigitsOnly
                                        onTextEdited: fromReportRadio.checked = true
                                    }
                                    Label {
                                        height: fromNowRadio.height
                                        verticalAlignment: Text.AlignVCenter
                                        text: qsTr("on")
                                        font.pixelSize: theme.smallFontSize
                                        color: theme.text
                                    }
                                }
                                // Every job starts out with the choice a user expects.
                                Connections {
                                    target: view
                                    function onSelectedJobIdChanged() {
                                        fromNowRadio.checked = true
                                        fromReportField.text = ""
                                    }
                                }
                            }
                            Label {
                                objectName: "startText"
                                Layout.fillWidth: true
                                visible: editor.job !== null && editor.job.active
                                text: {
                                    jobListModel.revision
                                    jobListModel.watermark
                                    return visible ? jobListModel.startText(view.selectedJobId) : ""
                                }
                                wrapMode: Text.Wrap
                                font.pixelSize: theme.smallFontSize
                                color: theme.text
                            }
                            Label {
                                objectName: "activeHint"
                                Layout.fillWidth: true
                                text: qsTr("An inactive job passes new reports by: they print only when you choose "
                                           + "so as it is made active again. To hold labels for a while, use "
                                           + "\"Pause printing\" in the Report Log.")
                                wrapMode: Text.Wrap
                                font.pixelSize: theme.smallFontSize
                                color: theme.mutedText
                            }
                            Label {
                                id: activeNote
                                objectName: "activeNote"
                                function show(message) { text = message }
                                Layout.fillWidth: true
                                visible: text.length > 0
                                wrapMode: Text.Wrap
                                font.pixelSize: theme.smallFontSize
                                color: theme.failed
                                Connections {
                                    target: view
                                    function onSelectedJobIdChanged() { activeNote.text = "" }
                                }
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
                            problem: { jobListModel.revision; return jobListModel.filterProblem(model.searchPath, model.operatorSymbol) }
                            onChangeRequested: {
                                filterModel.setProperty(index, name, value)
                                if (name !== "hint" && name !== "category")
                                    filterModel.setProperty(index, "dirty", true)
                            }
                            // By id: a row being rebuilt may no longer know its index.
                            onSaveRequested: view.saveFilter(view.indexOfFilter(filterId))
                            onRemoveRequested: view.removeFilter(view.indexOfFilter(filterId))
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

        // A job with waiting labels is asked about once, by the question that names them.
        function ask(id, name) {
            if (printerInterface.waitingForJob(id) > 0) {
                waitingDialog.askFor(id, name, true)
                return
            }
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
        onAccepted: waitingDialog.askFor(jobId, jobName, true)
    }

    // A job without filters prints a label for every report the console gets: asked once.
    Dialog {
        id: unfilteredDialog
        objectName: "unfilteredDialog"
        property string jobId
        property string jobName
        property var startAfter: -1

        function askFor(id, name, start) {
            jobId = id
            jobName = name
            startAfter = start
            open()
        }

        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(560, parent ? parent.width - 48 : 560)
        modal: true
        title: qsTr("Print every report?")
        font.pixelSize: theme.fontSize

        Label {
            width: unfilteredDialog.availableWidth
            text: qsTr("The job \"%1\" has no filters: it prints a label for every new report. Make it active?")
                  .arg(unfilteredDialog.jobName)
            font.pixelSize: theme.fontSize
            wrapMode: Text.Wrap
        }

        footer: DialogButtonBox {
            Button {
                objectName: "confirmUnfilteredButton"
                text: qsTr("Print every report")
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            }
            Button {
                text: qsTr("Cancel")
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
        onAccepted: jobListModel.setActive(jobId, true, true, startAfter)
    }

    // A job that is removed or made inactive may still have labels in the spool: asked before the
    // job changes, with its labels held meanwhile; they print with the settings they were spooled
    // with, or are dropped.
    Dialog {
        id: waitingDialog
        objectName: "waitingLabelsDialog"
        property string jobId
        property string jobName
        property bool removing: false
        property int waiting: 0

        function askFor(id, name, remove) {
            jobId = id
            jobName = name
            removing = remove
            waiting = printerInterface.holdJob(id)
            if (waiting === 0)
                change()
            else
                open()
        }
        function change() {
            if (removing)
                view.removeJob(jobId)
            else
                jobListModel.setActive(jobId, false)
            printerInterface.releaseJob(jobId)
        }

        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(560, parent ? parent.width - 48 : 560)
        modal: true
        closePolicy: Popup.NoAutoClose
        title: removing ? qsTr("Remove job") : qsTr("Labels still waiting")
        font.pixelSize: theme.fontSize

        Label {
            objectName: "waitingLabelsText"
            width: waitingDialog.availableWidth
            // The count in all is the status bar's, so the two can be told apart.
            text: (waitingDialog.removing ? qsTr("Remove the job \"%1\" with its filters? ").arg(waitingDialog.jobName)
                                          : qsTr("Make the job \"%1\" inactive? ").arg(waitingDialog.jobName))
                  + qsTr("%1 of this job have not been printed yet (%2 waiting in all). Print them, or discard them?")
                    .arg(printerInterface.labelsText(waitingDialog.waiting))
                    .arg(printerInterface.labelsText(printerInterface.waitingLabels))
            font.pixelSize: theme.fontSize
            wrapMode: Text.Wrap
        }

        footer: DialogButtonBox {
            Button {
                objectName: "printWaitingButton"
                text: waitingDialog.removing ? qsTr("Remove, print them") : qsTr("Print them")
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            }
            Button {
                objectName: "discardWaitingButton"
                text: waitingDialog.removing ? qsTr("Remove, discard them") : qsTr("Discard them")
                DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole
                onClicked: {
                    printerInterface.discardJob(waitingDialog.jobId)
                    waitingDialog.change()
                    waitingDialog.close()
                }
            }
            Button {
                objectName: "keepJobButton"
                text: qsTr("Cancel")
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
        onAccepted: change()
        onRejected: printerInterface.releaseJob(jobId)
    }
}
