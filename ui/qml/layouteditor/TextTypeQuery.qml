import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import LayoutEditing 1.0

// Properties of a text object: its text with tags (picked from the content kinds or typed), its
// formatting, and a preview with example values.
Dialog {
    id: dialog

    property var editor: null
    property var target: null
    property bool isNew: false
    property alias text: textArea.text
    property alias contentChoice: contentChoice
    property alias kindSearch: kindSearch
    property alias xmlSearch: xmlSearch
    property alias xmlField: xmlField
    property alias textArea: textArea
    property alias fontFamily: fontFamily
    readonly property var kinds: doc.textContentKinds()
    // The kinds as the chooser lists them: sorted, narrowed by the search text.
    readonly property var shownKinds: doc.filteredEntries(kinds, kindSearch.text)
    readonly property var xmlEntries: doc.filteredEntries(mcReportFields.getLabels(category.currentText).map(function(label) {
        return { "label": label, "tag": doc.xmlReportTag(mcReportFields.getFormattedSearchPath(label)) }
    }), xmlSearch.text)
    property var chosenKind: null
    readonly property string currentKind: chosenKind ? chosenKind.kind : ""

    title: qsTr("Text properties")
    modal: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(parent ? parent.width - 40 : 900, 900)
    closePolicy: Popup.CloseOnEscape

    LayoutDocument { id: doc }

    // A field with its tag beside it, as in the chooser lists below.
    component FieldDelegate: ItemDelegate {
        property var entry
        contentItem: RowLayout {
            spacing: 12
            Label { text: entry.label; Layout.fillWidth: true; elide: Text.ElideRight }
            Label {
                text: entry.tag !== undefined ? entry.tag : ""
                color: "#5d6b7e"
                font.family: "monospace"
                font.pixelSize: 12
                elide: Text.ElideMiddle
                Layout.maximumWidth: 300
            }
        }
    }

    function openFor(object, newObject) {
        target = object
        isNew = newObject
        textArea.text = object.unformattedString
        bold.checked = object.bold
        underline.checked = object.underline
        alignment.currentIndex = Math.max(0, alignment.values.indexOf(object.alignment))
        elide.currentIndex = Math.max(0, elide.values.indexOf(object.elide))
        background.checked = object.background
        boundingRect.checked = object.showboundingrect
        multiline.checked = object.multiline
        fontSize.value = object.pixelSize
        fontFamily.currentIndex = Math.max(0, fontFamily.model.indexOf(object.fontFamily))
        tickBox.checked = object.tickBoxFormat
        kindSearch.text = ""
        xmlSearch.text = ""
        chosenKind = null
        contentChoice.currentIndex = -1
        open()
        textArea.forceActiveFocus()
    }
    // Puts a tag at the cursor, or in place of the selected text.
    function insertTag(tag) {
        var start = textArea.selectionStart, end = textArea.selectionEnd
        var at = start !== end ? start : textArea.cursorPosition
        if (start !== end)
            textArea.remove(start, end)
        textArea.insert(at, tag)
        textArea.cursorPosition = at + tag.length
        textArea.forceActiveFocus()
    }
    // index into shownKinds.
    function chooseKind(index) {
        var kind = shownKinds[index]
        if (!kind)
            return
        chosenKind = kind
        if (kind.kind === "tag")
            insertTag(kind.tag)
    }
    function apply() {
        if (!target)
            return
        target.unformattedString = textArea.text
        target.bold = bold.checked
        target.underline = underline.checked
        target.alignment = alignment.values[alignment.currentIndex]
        target.elide = elide.values[elide.currentIndex]
        target.background = background.checked
        target.showboundingrect = boundingRect.checked
        target.multiline = multiline.checked
        target.pixelSize = fontSize.value
        target.fontFamily = fontFamily.currentIndex > 0 ? fontFamily.currentText : ""
        target.tickBoxFormat = tickBox.checked
    }

    onAccepted: {
        apply()
        if (editor && target) {
            editor.propertiesAccepted(target, isNew, isNew ? qsTr("Add text") : qsTr("Change text"))
            editor.forceActiveFocus()
        }
    }
    onRejected: {
        if (isNew && editor && target)
            editor.removeObject(target)
        if (editor)
            editor.forceActiveFocus()
    }

    footer: DialogButtonBox {
        standardButtons: DialogButtonBox.Ok | DialogButtonBox.Cancel
    }

    ColumnLayout {
            anchors.fill: parent
            spacing: 8

            RowLayout {
                Label { text: qsTr("Text content:") }
                TextField {
                    id: kindSearch
                    objectName: "kindSearch"
                    Layout.preferredWidth: 200
                    placeholderText: qsTr("Search fields")
                    selectByMouse: true
                    // Enter inserts the one match, or shows the matches to pick from.
                    onAccepted: dialog.shownKinds.length === 1 ? dialog.chooseKind(0) : contentChoice.popup.open()
                }
                ComboBox {
                    id: contentChoice
                    Layout.preferredWidth: 460
                    model: dialog.shownKinds
                    textRole: "label"
                    displayText: dialog.shownKinds.length === 0 ? qsTr("No field matches")
                               : dialog.chosenKind ? dialog.chosenKind.label : qsTr("Choose what to insert")
                    onActivated: dialog.chooseKind(index)
                    delegate: FieldDelegate {
                        entry: modelData
                        width: contentChoice.width
                        highlighted: contentChoice.highlightedIndex === index
                    }
                }
            }

            // Kinds that need a further choice before their tag is known.
            ColumnLayout {
                visible: dialog.currentKind === "identifier"
                Layout.fillWidth: true
                Label { text: qsTr("Drag items up and down to prioritize. Topmost will be used if found") }
                PriorityList {
                    id: identifiers
                    Layout.fillWidth: true
                    Layout.preferredHeight: 180
                    Component.onCompleted: setEntries(doc.identifierLabels().map(function(l, i) {
                        return { "text": l, "value": l, "on": i < 3 } }))
                }
                Button {
                    text: qsTr("Insert")
                    enabled: identifiers.chosen.length > 0
                    onClicked: dialog.insertTag(doc.identifierTag(identifiers.chosen))
                }
            }
            RowLayout {
                visible: dialog.currentKind === "customfield" || dialog.currentKind === "devcustomfield"
                readonly property var model: dialog.currentKind === "devcustomfield" ? devicecustommodel : custommodel
                Label { text: qsTr("Field:") }
                ComboBox {
                    id: customField
                    Layout.preferredWidth: 260
                    model: {
                        var m = parent.model
                        return m ? m.getFieldNumbers().map(function(n) { return m.getField(n) }) : []
                    }
                }
                Button {
                    text: qsTr("Insert")
                    enabled: customField.currentText.length > 0
                    onClicked: dialog.insertTag(doc.customFieldTag(customField.currentText,
                                                                   dialog.currentKind === "devcustomfield"))
                }
                Label {
                    visible: customField.count === 0
                    text: qsTr("No custom fields are defined.")
                    color: "#8a5a00"
                }
            }
            GridLayout {
                visible: dialog.currentKind === "diagnostics"
                columns: 4
                Label { text: qsTr("Device type:") }
                ComboBox { id: deviceType; model: ["Android", "iOS"]; Layout.preferredWidth: 160 }
                Label { text: qsTr("Test:") }
                ComboBox {
                    id: diagTest
                    Layout.preferredWidth: 260
                    model: [qsTr("List of tests")].concat(diagnostics.getAllTests(deviceType.currentText))
                }
                Label { text: qsTr("Result format:"); visible: diagTest.currentIndex > 0 }
                ComboBox {
                    id: diagForm
                    visible: diagTest.currentIndex > 0
                    model: [qsTr("Passed / Failed / Not performed"), qsTr("P / F / blank")]
                    Layout.columnSpan: 3
                    Layout.preferredWidth: 260
                }
                CheckBox { id: showOk; text: qsTr("Show successful tests:"); checked: true; visible: diagTest.currentIndex === 0; LayoutMirroring.enabled: true }
                CheckBox { id: showFailed; text: qsTr("Show failed tests:"); checked: true; visible: diagTest.currentIndex === 0; LayoutMirroring.enabled: true }
                CheckBox { id: showNotPerformed; text: qsTr("Show not performed tests:"); visible: diagTest.currentIndex === 0; LayoutMirroring.enabled: true }
                CheckBox { id: showNotAvailable; text: qsTr("Show not available tests:"); visible: diagTest.currentIndex === 0; LayoutMirroring.enabled: true }
                Button {
                    text: qsTr("Insert")
                    onClicked: dialog.insertTag(diagTest.currentIndex === 0
                        ? doc.diagnosticsListTag(showOk.checked, showFailed.checked, showNotPerformed.checked, showNotAvailable.checked)
                        : doc.diagnosticsTestTag(diagTest.currentText, diagForm.currentIndex === 1))
                }
            }
            GridLayout {
                visible: dialog.currentKind === "xmlreport"
                columns: 3
                Label { text: qsTr("Category:") }
                ComboBox {
                    id: category
                    Layout.preferredWidth: 460
                    model: mcReportFields.categories
                }
                Item { width: 1; height: 1 }
                Label { text: qsTr("Search:") }
                TextField {
                    id: xmlSearch
                    Layout.preferredWidth: 460
                    placeholderText: qsTr("Part of a field's name or path")
                    selectByMouse: true
                }
                Item { width: 1; height: 1 }
                Label { text: qsTr("XML field:") }
                ComboBox {
                    id: xmlField
                    Layout.preferredWidth: 460
                    model: dialog.xmlEntries
                    textRole: "label"
                    displayText: dialog.xmlEntries.length ? currentText : qsTr("No field matches")
                    delegate: FieldDelegate {
                        entry: modelData
                        width: xmlField.width
                        highlighted: xmlField.highlightedIndex === index
                    }
                }
                Button {
                    text: qsTr("Insert")
                    enabled: xmlField.currentIndex >= 0 && xmlField.currentIndex < dialog.xmlEntries.length
                    onClicked: dialog.insertTag(dialog.xmlEntries[xmlField.currentIndex].tag)
                }
            }

            Label {
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                textFormat: Text.RichText
                wrapMode: Text.Wrap
                text: qsTr("Below is <u>unformatted</u> text which can be manually edited. Use above dropdown to bring in formats for different texts.")
            }
            RowLayout {
                Layout.fillWidth: true
                ScrollView {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 100
                    Layout.preferredHeight: 90
                    clip: true
                    TextArea {
                        id: textArea
                        objectName: "textArea"
                        wrapMode: TextEdit.Wrap
                        selectByMouse: true
                        font.family: "monospace"
                        background: Rectangle { border.color: textArea.activeFocus ? "#1f6feb" : "#b9c4d3"; color: "white" }
                    }
                }
                Button { text: qsTr("Clear"); onClicked: textArea.clear() }
            }

            GridLayout {
                columns: 4
                columnSpacing: 16
                CheckBox { id: bold; text: qsTr("Bold") }
                CheckBox { id: underline; text: qsTr("Underline") }
                Label { text: qsTr("Alignment:") }
                ComboBox {
                    id: alignment
                    readonly property var values: ["Left", "Right", "Center"]
                    model: [qsTr("Align left"), qsTr("Align right"), qsTr("Align center")]
                }
                CheckBox { id: background; text: qsTr("White background:"); LayoutMirroring.enabled: true }
                CheckBox { id: boundingRect; text: qsTr("Show bounding rectangle while editing") }
                Label { text: qsTr("Elide mode:") }
                ComboBox {
                    id: elide
                    readonly property var values: ["Left", "Right", "Middle", "None"]
                    model: [qsTr("Elide left"), qsTr("Elide right"), qsTr("Elide middle"), qsTr("Scale to fit")]
                }
                CheckBox { id: multiline; text: qsTr("Allow multiple lines") }
                CheckBox { id: tickBox; text: qsTr("Show tickbox") }
                Label { text: qsTr("Font size") }
                RowLayout {
                    Slider { id: fontSlider; Layout.preferredWidth: 140; from: 6; to: 160; stepSize: 1; value: fontSize.value; onMoved: fontSize.value = value }
                    SpinBox { id: fontSize; from: 6; to: 400; editable: true; value: 24 }
                }
                Label { text: qsTr("Font:") }
                ComboBox {
                    id: fontFamily
                    objectName: "fontFamily"
                    Layout.columnSpan: 3
                    Layout.preferredWidth: 260
                    // The first entry leaves the choice to the printer's default font.
                    model: [qsTr("Default")].concat(Qt.fontFamilies())
                }
            }
            Label {
                visible: tickBox.checked
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                wrapMode: Text.Wrap
                color: "#4a5568"
                text: qsTr("Result format: a tick box prints the first character of the text, e.g. <frp X, > prints X in the box when FRP is locked.")
            }

            Label { text: qsTr("preview:"); font.bold: true }
            Rectangle {
                Layout.fillWidth: true
                Layout.preferredWidth: 100
                Layout.preferredHeight: Math.max(40, previewText.implicitHeight + 12)
                color: "white"
                border.color: "#b9c4d3"
                Text {
                    id: previewText
                    objectName: "preview"
                    anchors.fill: parent
                    anchors.margins: 6
                    text: printerInterface.formatText(textArea.text, tickBox.checked)
                    textFormat: Text.PlainText
                    font.bold: bold.checked || textArea.text.indexOf("<b>") >= 0
                    font.underline: underline.checked || textArea.text.indexOf("<u>") >= 0
                    font.pixelSize: 18
                    font.family: fontFamily.currentIndex > 0 ? fontFamily.currentText : Qt.application.font.family
                    elide: Text.ElideRight
                    horizontalAlignment: alignment.currentIndex === 1 ? Text.AlignRight
                                       : alignment.currentIndex === 2 ? Text.AlignHCenter : Text.AlignLeft
                }
            }
        }
    
}
