import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// One filter of a print job: the report field (chosen by category, narrowed by a hint), its data
// type, the operator and the content to compare. The row only shows its values; every edit is
// handed out through changeRequested so the list model keeps it while the row scrolls away.
Rectangle {
    id: row

    property string filterId
    property string category
    property string hint
    property string searchPath
    property string dataType
    property string operatorSymbol
    property string filterValue
    property bool stored: false
    property bool dirty: true
    // What the row still lacks before it can be saved; empty when it can be.
    property string problem: ""

    signal changeRequested(string name, var value)
    signal saveRequested()
    signal removeRequested()

    readonly property string allCategories: "--- All Categories ---"
    // The category's fields narrowed by the hint; labels and search paths go in step, since a
    // label alone does not name one field (several fields share a label).
    readonly property var fields: buildFields(category, hint)
    readonly property bool complete: problem.length === 0

    function buildFields(cat, hintText) {
        var labels = mcReportFields.getLabels(cat)
        var paths = mcReportFields.getSearchPaths(cat)
        var needle = hintText.trim().toLowerCase()
        var out = []
        for (var i = 0; i < labels.length && i < paths.length; ++i) {
            if (needle.length === 0 || labels[i].toLowerCase().indexOf(needle) >= 0
                    || paths[i].toLowerCase().indexOf(needle) >= 0)
                out.push({ label: labels[i], path: paths[i] })
        }
        return out
    }

    function indexOfPath(list, path) {
        for (var i = 0; i < list.length; ++i) {
            if (list[i].path === path)
                return i
        }
        return -1
    }

    function chooseField(path) {
        var type = mcReportFields.getDataType(path, "string")
        var operators = mcReportFields.operatorsFor(path, type)
        changeRequested("searchPath", path)
        changeRequested("dataType", type)
        if (operators.indexOf(operatorSymbol) < 0)
            changeRequested("operatorSymbol", operators.length > 0 ? operators[0] : "")
    }

    StationTheme { id: theme }

    implicitHeight: content.implicitHeight + 24
    radius: theme.radius
    color: theme.card
    border.color: dirty ? theme.working : theme.cardBorder
    border.width: dirty ? 2 : 1

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 12
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            ColumnLayout {
                Layout.preferredWidth: 6
                Layout.fillWidth: true
                spacing: 2
                Label { text: qsTr("Category"); font.pixelSize: theme.smallFontSize; color: theme.mutedText }
                StationComboBox {
                    objectName: "categoryBox"
                    Layout.fillWidth: true
                    font.pixelSize: theme.fontSize - 1
                    model: mcReportFields.categories
                    currentIndex: mcReportFields.categories.indexOf(row.category)
                    onActivated: row.changeRequested("category", model[index])
                }
            }
            ColumnLayout {
                Layout.preferredWidth: 2
                Layout.fillWidth: true
                spacing: 2
                Label { text: " "; font.pixelSize: theme.smallFontSize }
                TextField {
                    objectName: "hintField"
                    Layout.fillWidth: true
                    font.pixelSize: theme.fontSize - 1
                    placeholderText: qsTr("Field to filter")
                    selectByMouse: true
                    text: row.hint
                    onTextEdited: {
                        row.changeRequested("hint", text)
                        // A hint that names one field chooses it, as if picked from the list.
                        var path = mcReportFields.fieldForHint(row.category, text)
                        if (path.length > 0 && path !== row.searchPath)
                            row.chooseField(path)
                    }
                }
            }
            ColumnLayout {
                Layout.preferredWidth: 5
                Layout.fillWidth: true
                spacing: 2
                Label { text: qsTr("Search Fields"); font.pixelSize: theme.smallFontSize; color: theme.mutedText }
                StationComboBox {
                    id: fieldBox
                    objectName: "fieldBox"
                    Layout.fillWidth: true
                    font.pixelSize: theme.fontSize - 1
                    model: row.fields
                    textRole: "label"
                    currentIndex: row.indexOfPath(row.fields, row.searchPath)
                    // A field outside the current category or hint still shows what is stored.
                    // Shown from the row's own field, never from whatever entry the box lands on.
                    displayText: {
                        if (row.searchPath.length === 0)
                            return qsTr("Choose a field")
                        var i = row.indexOfPath(row.fields, row.searchPath)
                        return i >= 0 ? row.fields[i].label : row.searchPath
                    }
                    onActivated: row.chooseField(row.fields[index].path)
                    delegate: ItemDelegate {
                        width: fieldBox.popup.width
                        highlighted: fieldBox.highlightedIndex === index
                        contentItem: Column {
                            Label {
                                text: modelData.label
                                font.pixelSize: theme.fontSize - 1
                                color: theme.text
                            }
                            Label {
                                width: parent.width
                                text: modelData.path
                                font.pixelSize: theme.smallFontSize - 1
                                color: theme.mutedText
                                elide: Text.ElideMiddle
                            }
                        }
                    }
                    ToolTip.visible: hovered && !down && row.searchPath.length > 0
                    ToolTip.text: displayText + "\n" + row.searchPath
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            ColumnLayout {
                spacing: 2
                Label { text: qsTr("Data type"); font.pixelSize: theme.smallFontSize; color: theme.mutedText }
                ComboBox {
                    objectName: "dataTypeBox"
                    Layout.preferredWidth: 120
                    font.pixelSize: theme.fontSize - 1
                    model: mcReportFields.getDataTypes()
                    currentIndex: model.indexOf(row.dataType)
                    onActivated: {
                        var type = model[index]
                        var operators = mcReportFields.operatorsFor(row.searchPath, type)
                        row.changeRequested("dataType", type)
                        if (operators.indexOf(row.operatorSymbol) < 0)
                            row.changeRequested("operatorSymbol", operators.length > 0 ? operators[0] : "")
                    }
                }
            }
            ColumnLayout {
                spacing: 2
                Label { text: qsTr("Operator"); font.pixelSize: theme.smallFontSize; color: theme.mutedText }
                ComboBox {
                    id: operatorBox
                    objectName: "operatorBox"
                    Layout.preferredWidth: 170
                    font.pixelSize: theme.fontSize
                    model: mcReportFields.operatorsFor(row.searchPath, row.dataType)
                    currentIndex: model.indexOf(row.operatorSymbol)
                    // A stored operator the field no longer offers still shows what it is.
                    displayText: row.operatorSymbol.length > 0
                                 ? row.operatorSymbol + "  " + mcReportFields.operatorName(row.operatorSymbol) : ""
                    onActivated: row.changeRequested("operatorSymbol", model[index])
                    delegate: ItemDelegate {
                        width: operatorBox.popup.width
                        highlighted: operatorBox.highlightedIndex === index
                        text: modelData + "  " + mcReportFields.operatorName(modelData)
                        font.pixelSize: theme.fontSize
                    }
                    ToolTip.visible: hovered && !down && row.operatorSymbol.length > 0
                    ToolTip.text: mcReportFields.operatorHelp(row.operatorSymbol)
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 2
                Label { text: " "; font.pixelSize: theme.smallFontSize }
                TextField {
                    objectName: "contentField"
                    Layout.fillWidth: true
                    font.pixelSize: theme.fontSize
                    placeholderText: qsTr("Content to filter")
                    selectByMouse: true
                    text: row.filterValue
                    onTextEdited: row.changeRequested("filterValue", text)
                    Keys.onReturnPressed: if (row.complete) row.saveRequested()
                    Keys.onEnterPressed: if (row.complete) row.saveRequested()
                }
            }
            ColumnLayout {
                spacing: 2
                Label { text: " "; font.pixelSize: theme.smallFontSize }
                RowLayout {
                    spacing: 6
                    Button {
                        objectName: "saveFilterButton"
                        text: qsTr("Save")
                        font.pixelSize: theme.fontSize
                        enabled: row.dirty && row.complete
                        highlighted: row.dirty && row.complete
                        ToolTip.visible: hovered && row.problem.length > 0
                        ToolTip.text: row.problem
                        onClicked: row.saveRequested()
                    }
                    ToolButton {
                        objectName: "removeFilterButton"
                        Layout.preferredWidth: 40
                        Layout.preferredHeight: 40
                        Accessible.name: qsTr("Remove filter")
                        ToolTip.visible: hovered
                        ToolTip.text: qsTr("Remove filter")
                        onClicked: row.removeRequested()
                        icon.source: "pics/remove-icon.png"
                        icon.color: "transparent"
                        icon.width: 22
                        icon.height: 22
                    }
                }
            }
        }

        Label {
            objectName: "filterProblem"
            Layout.fillWidth: true
            visible: row.dirty
            text: row.problem.length > 0 ? row.problem
                                         : qsTr("Not saved yet: press Save (it is saved by itself when another job is chosen).")
            font.pixelSize: theme.smallFontSize
            color: row.problem.length > 0 ? theme.failed : theme.working
            wrapMode: Text.Wrap
        }
        Label {
            objectName: "operatorHelp"
            Layout.fillWidth: true
            visible: text.length > 0
            text: mcReportFields.operatorHelp(row.operatorSymbol)
            font.pixelSize: theme.smallFontSize
            color: theme.mutedText
            wrapMode: Text.Wrap
        }
        Label {
            objectName: "descriptionLabel"
            Layout.fillWidth: true
            visible: row.searchPath.length > 0
            text: qsTr("Description: %1").arg(mcReportFields.getDescription(row.searchPath))
            font.pixelSize: theme.smallFontSize
            color: theme.mutedText
            wrapMode: Text.Wrap
        }
    }
}
