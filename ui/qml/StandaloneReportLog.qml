import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The "Report Log" view: every report printed since start-up, newest last. A double click copies
// a cell, or on the row number the whole row (tab-separated, so it pastes into a spreadsheet).
Item {
    id: view

    readonly property var columnTitles: [qsTr("Print Time"), qsTr("Job Name"), qsTr("Layout Name"),
                                         qsTr("Printer Name"), qsTr("Report UUID"), qsTr("Report id"),
                                         qsTr("IMEI / Serial"), qsTr("Model"), qsTr("Custom Field")]
    // Share of the width after the row number column, and the least each column gets.
    readonly property var columnWeights: [1.5, 0.9, 0.9, 1.0, 1.8, 0.6, 1.4, 1.3, 0.9]
    readonly property var columnMinimum: [165, 90, 90, 100, 140, 70, 150, 110, 90]
    readonly property int numberWidth: 64
    readonly property real weightSum: 10.3

    function columnWidth(column, total) {
        var free = total - numberWidth
        return Math.max(columnMinimum[column], Math.floor(free * columnWeights[column] / weightSum))
    }

    function timeText(time) {
        return Qt.formatDateTime(time, "yyyy-MM-dd hh:mm:ss")
    }

    // Rows ticked for reprinting; recounted whenever a row changes.
    property int selectedCount: 0
    Connections {
        target: reportList
        function onDataChanged() { view.selectedCount = reportList.selectedArchiveIds().length }
        function onRowsInserted() { view.selectedCount = reportList.selectedArchiveIds().length }
    }

    function copy(text) {
        keyboard.copyToClipboard(text)
    }

    StationTheme { id: theme }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 10
            Button {
                objectName: "pauseButton"
                text: printerInterface.paused ? qsTr("Resume printing") : qsTr("Pause printing")
                font.pixelSize: theme.fontSize
                highlighted: printerInterface.paused
                onClicked: printerInterface.paused = !printerInterface.paused
            }
            Button {
                objectName: "reprintButton"
                text: qsTr("Reprint selected")
                font.pixelSize: theme.fontSize
                enabled: view.selectedCount > 0
                onClicked: {
                    printerInterface.reprint(reportList.selectedArchiveIds())
                    reportList.clearSelection()
                }
            }
            TextField {
                id: searchField
                objectName: "reportSearchField"
                Layout.preferredWidth: 260
                font.pixelSize: theme.fontSize
                placeholderText: qsTr("Search all columns")
                selectByMouse: true
                onTextChanged: reportList.shownRows.searchText = text
            }
            Label {
                objectName: "rowCountLabel"
                text: reportList.shownRows.searchText.trim().length > 0
                      ? qsTr("%1 of %2 rows").arg(reportList.shownRows.shownCount).arg(reportList.shownRows.totalCount)
                      : qsTr("%1 rows").arg(reportList.shownRows.totalCount)
                font.pixelSize: theme.fontSize
                color: theme.mutedText
            }
            Label {
                objectName: "spoolStateText"
                Layout.fillWidth: true
                text: printerInterface.spoolState
                elide: Text.ElideRight
                font.pixelSize: theme.fontSize
                color: printerInterface.failedLabels > 0 || printerInterface.paused ? "#b45309" : theme.mutedText
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            radius: theme.radius
            color: theme.card
            border.color: theme.cardBorder
            clip: true

            ListView {
                id: table
                objectName: "reportTable"
                anchors.fill: parent
                anchors.margins: 1
                model: reportList.shownRows
                clip: true
                headerPositioning: ListView.OverlayHeader
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {}
                // Stay on the newest row unless the user has scrolled back.
                property bool following: true
                onMovementEnded: following = atYEnd
                onCountChanged: if (following) Qt.callLater(positionViewAtEnd)

                header: Rectangle {
                    z: 2
                    width: table.width
                    height: 40
                    color: "#e4e9ee"
                    Row {
                        anchors.fill: parent
                        Label {
                            width: view.numberWidth
                            height: parent.height
                            text: "#"
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                            font.pixelSize: theme.fontSize - 1
                            font.bold: true
                            color: theme.text
                        }
                        Repeater {
                            model: view.columnTitles
                            Label {
                                width: view.columnWidth(index, table.width)
                                height: parent.height
                                leftPadding: 10
                                rightPadding: 6
                                text: modelData
                                elide: Text.ElideRight
                                verticalAlignment: Text.AlignVCenter
                                font.pixelSize: theme.fontSize - 1
                                font.bold: true
                                color: theme.text
                            }
                        }
                    }
                }

                delegate: Rectangle {
                    id: reportRow
                    objectName: "reportRow_" + index
                    width: table.width
                    height: 36
                    color: index % 2 === 1 ? theme.rowAlternate : theme.card
                    readonly property var cells: [view.timeText(model.printTime), model.jobName, model.layoutName,
                                                  model.printerName, model.reportUuid, model.reportId, model.deviceId,
                                                  model.deviceModel, model.customContent]

                    Row {
                        anchors.fill: parent
                        Rectangle {
                            id: numberCell
                            objectName: "rowNumber"
                            width: view.numberWidth
                            height: parent.height
                            color: numberMouse.pressed ? theme.selection : "#eef1f4"
                            Label {
                                objectName: "rowNumberText"
                                anchors.verticalCenter: parent.verticalCenter
                                anchors.right: parent.right
                                anchors.rightMargin: 6
                                text: index + 1
                                font.pixelSize: theme.fontSize - 1
                                color: model.attention.length > 0 ? "#b45309" : theme.mutedText
                            }
                            MouseArea {
                                id: numberMouse
                                anchors.fill: parent
                                onDoubleClicked: {
                                    view.copy(reportRow.cells.join("\t"))
                                    rowFlash.restart()
                                }
                            }
                            CheckBox {
                                objectName: "rowSelect"
                                anchors.verticalCenter: parent.verticalCenter
                                anchors.left: parent.left
                                visible: model.archiveId.length > 0
                                checked: model.selected
                                scale: 0.8
                                onToggled: model.selected = checked
                                ToolTip.visible: hovered
                                ToolTip.delay: 600
                                ToolTip.text: model.attention.length > 0
                                              ? qsTr("Printed without: %1. Tick to reprint.").arg(model.attention)
                                              : qsTr("Tick to reprint")
                            }
                        }
                        Repeater {
                            model: reportRow.cells
                            Rectangle {
                                objectName: "cell_" + index
                                width: view.columnWidth(index, table.width)
                                height: reportRow.height
                                color: cellFlash.running || rowFlash.running ? theme.selection : "transparent"
                                Label {
                                    anchors.fill: parent
                                    leftPadding: 10
                                    rightPadding: 6
                                    text: modelData === undefined ? "" : modelData
                                    elide: Text.ElideRight
                                    verticalAlignment: Text.AlignVCenter
                                    font.pixelSize: theme.fontSize - 1
                                    color: theme.text
                                }
                                MouseArea {
                                    id: cellMouse
                                    anchors.fill: parent
                                    hoverEnabled: true
                                    onDoubleClicked: {
                                        view.copy(modelData)
                                        cellFlash.restart()
                                    }
                                    ToolTip.visible: containsMouse && String(modelData).length > 24
                                    ToolTip.delay: 600
                                    ToolTip.text: modelData
                                }
                                // A short highlight shows what was copied.
                                Timer { id: cellFlash; interval: 500 }
                            }
                        }
                    }
                    Timer { id: rowFlash; interval: 500 }
                }
            }

            Label {
                objectName: "emptyTableText"
                anchors.centerIn: parent
                visible: table.count === 0
                text: reportList.shownRows.totalCount > 0
                      ? qsTr("No row matches \"%1\"").arg(reportList.shownRows.searchText.trim())
                      : qsTr("No reports printed yet")
                font.pixelSize: theme.titleFontSize
                color: theme.mutedText
            }
        }

        // Labels not printed yet: waiting for their turn or their printer, or failed.
        Rectangle {
            objectName: "spoolPanel"
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(280, 64 + spoolList.count * 42)
            visible: spoolList.count > 0
            radius: theme.radius
            color: theme.card
            border.color: theme.cardBorder
            clip: true

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 8
                spacing: 4
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 8
                    Label {
                        objectName: "spoolPanelTitle"
                        Layout.fillWidth: true
                        // The same counts as the status bar: every failed and every waiting label.
                        text: {
                            var parts = []
                            if (printerInterface.failedLabels > 0)
                                parts.push(qsTr("%1 failed").arg(printerInterface.labelsText(printerInterface.failedLabels)))
                            if (printerInterface.waitingLabels > 0)
                                parts.push(qsTr("%1 waiting").arg(printerInterface.labelsText(printerInterface.waitingLabels)))
                            var title = qsTr("Labels not printed yet") + (parts.length > 0 ? ": " + parts.join(", ") : "")
                            return printerInterface.spoolModel.hiddenCount > 0
                                    ? title + " " + qsTr("(%1 not listed)").arg(printerInterface.spoolModel.hiddenCount)
                                    : title
                        }
                        elide: Text.ElideRight
                        font.pixelSize: theme.fontSize
                        font.bold: true
                        color: theme.text
                    }
                    Button {
                        objectName: "retryAllButton"
                        visible: printerInterface.failedLabels > 0
                        text: qsTr("Retry all failed")
                        font.pixelSize: theme.fontSize - 1
                        onClicked: printerInterface.retryAllFailed()
                    }
                    Button {
                        objectName: "discardAllButton"
                        visible: printerInterface.failedLabels > 0
                        text: qsTr("Discard all failed")
                        font.pixelSize: theme.fontSize - 1
                        onClicked: discardAllDialog.open()
                    }
                    Button {
                        objectName: "retryWaitingButton"
                        visible: printerInterface.waitingLabels > 0
                        text: qsTr("Retry printers now")
                        font.pixelSize: theme.fontSize - 1
                        onClicked: printerInterface.retryWaiting()
                    }
                }
                ListView {
                    id: spoolList
                    objectName: "spoolList"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    model: printerInterface.spoolModel
                    ScrollBar.vertical: ScrollBar {}
                    delegate: RowLayout {
                        width: spoolList.width - 14
                        height: 42
                        spacing: 10
                        Label {
                            Layout.preferredWidth: 70
                            text: model.state === "failed" ? qsTr("Failed") : qsTr("Waiting")
                            font.pixelSize: theme.fontSize - 1
                            font.bold: true
                            color: model.state === "failed" ? "#b91c1c" : "#b45309"
                        }
                        Label {
                            Layout.preferredWidth: 140
                            text: model.jobName
                            elide: Text.ElideRight
                            font.pixelSize: theme.fontSize - 1
                        }
                        Label {
                            Layout.preferredWidth: 300
                            text: model.reportUuid
                            elide: Text.ElideRight
                            font.pixelSize: theme.fontSize - 1
                        }
                        Label {
                            Layout.preferredWidth: 170
                            text: model.printer
                            elide: Text.ElideRight
                            font.pixelSize: theme.fontSize - 1
                        }
                        Label {
                            Layout.fillWidth: true
                            text: model.reason + "  (" + qsTr("since %1").arg(view.timeText(model.since)) + ")"
                            elide: Text.ElideRight
                            font.pixelSize: theme.fontSize - 1
                            color: theme.mutedText
                        }
                        // Hidden but keeping its place, so Discard stays where it was.
                        Button {
                            objectName: "retryButton"
                            enabled: model.state === "failed"
                            opacity: enabled ? 1 : 0
                            text: qsTr("Retry")
                            font.pixelSize: theme.fontSize - 1
                            onClicked: printerInterface.retryFailed(model.entryId)
                        }
                        Button {
                            objectName: "discardButton"
                            text: qsTr("Discard")
                            font.pixelSize: theme.fontSize - 1
                            onClicked: printerInterface.discardEntry(model.entryId)
                        }
                    }
                }
            }
        }

        Label {
            objectName: "reportLogHint"
            Layout.fillWidth: true
            text: qsTr("Hint: Double click an item to copy its contents to the clipboard. Double click the row number to copy the row to the clipboard. Tick rows to reprint them (reports are kept for %1 days).").arg(settingsManager.getIntValue("printing/keepPrintedDays", 30, true))
            wrapMode: Text.Wrap
            font.pixelSize: theme.smallFontSize
            color: theme.mutedText
        }
    }

    Dialog {
        id: discardAllDialog
        objectName: "discardAllDialog"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(520, parent ? parent.width - 48 : 520)
        modal: true
        title: qsTr("Discard failed labels")
        font.pixelSize: theme.fontSize

        Label {
            width: discardAllDialog.availableWidth
            text: qsTr("Discard the %1? They are not printed.").arg(printerInterface.failedLabels === 1
                      ? qsTr("failed label") : qsTr("%1 failed labels").arg(printerInterface.failedLabels))
            font.pixelSize: theme.fontSize
            wrapMode: Text.Wrap
        }

        footer: DialogButtonBox {
            Button {
                objectName: "confirmDiscardAllButton"
                text: qsTr("Discard them")
                DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole
                onClicked: {
                    printerInterface.discardAllFailed()
                    discardAllDialog.close()
                }
            }
            Button {
                text: qsTr("Cancel")
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
        }
    }
}
