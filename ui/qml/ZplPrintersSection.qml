import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The settings panel's label printers that take ZPL directly: the printer chosen in the box is
// edited in the fields below and stored with Save. The printer list checks what is saved and
// gives the reason when it refuses; the form shows that answer. Laid out in the panel's two
// columns, so its labels line up with the fields above.
GridLayout {
    id: section
    objectName: "zplPrintersSection"
    columns: 2
    columnSpacing: 20
    rowSpacing: 12

    readonly property var printers: printerInterface.zplPrinters
    // The name the shown printer is stored under, passed on Save so a rename replaces it; empty
    // for a new printer.
    property string storedName: ""
    // The answer to the last Save or Remove of the shown printer.
    property string stateText: ""
    property bool refused: false
    // The stored names, read again on every change of the list (a rename keeps its count).
    property var names: []

    function readNames() {
        var list = []
        for (var i = 0; i < printers.count; ++i)
            list.push(printers.printer(i).name)
        names = list
    }

    // Shows the printer of a row, or a new printer's defaults for -1.
    function show(row) {
        var printer = printers.printer(row)
        storedName = row >= 0 ? printer.name : ""
        chooser.currentIndex = row >= 0 ? row : names.length
        nameField.text = printer.name
        addressField.text = printer.address
        dpiBox.currentIndex = dpiBox.indexOfValue(printer.dpi)
        darknessBox.value = printer.darkness
        speedBox.value = printer.speed
        offsetLeftBox.value = Math.round(printer.offsetLeft * 100)
        offsetTopBox.value = Math.round(printer.offsetTop * 100)
        mediaBox.currentIndex = mediaBox.indexOfValue(printer.media)
        stateText = ""
        refused = false
    }

    // Reads the stored printers again, as the panel opens.
    function reload() {
        printers.reload()
        show(printers.count > 0 ? 0 : -1)
    }

    function save() {
        var printer = {
            name: nameField.text, address: addressField.text, dpi: dpiBox.currentValue,
            darkness: darknessBox.value, speed: speedBox.value, offsetLeft: offsetLeftBox.value / 100,
            offsetTop: offsetTopBox.value / 100, media: mediaBox.currentValue
        }
        var reason = printers.save(printer, storedName)
        if (reason.length > 0) {
            stateText = qsTr("Not saved: %1").arg(reason)
            refused = true
            return false
        }
        show(names.indexOf(nameField.text.trim()))
        stateText = qsTr("Saved")
        return true
    }

    function remove() {
        var name = storedName
        if (!printers.remove(name)) {
            stateText = qsTr("\"%1\" is no longer stored").arg(name)
            refused = true
            return false
        }
        show(-1)
        stateText = qsTr("Removed \"%1\"").arg(name)
        return true
    }

    // A change after Save makes "Saved" untrue; a refusal's reason stays while it is fixed.
    function edited() {
        if (!refused)
            stateText = ""
    }

    Connections {
        target: section.printers
        function onModelReset() { section.readNames() }
    }
    Component.onCompleted: readNames()

    StationTheme { id: theme }

    component FieldLabel: Label {
        Layout.alignment: Qt.AlignTop | Qt.AlignLeft
        topPadding: 10
        Layout.preferredWidth: 300
        Layout.maximumWidth: 300
        wrapMode: Text.Wrap
        font.pixelSize: 15
        color: theme.text
    }
    component HelpText: Label {
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        font.pixelSize: theme.smallFontSize
        color: theme.mutedText
    }
    component Unit: Label {
        font.pixelSize: theme.fontSize
        color: theme.mutedText
    }
    // Millimetres in hundredths, shown as "-1.5"; a point or a comma is taken as the decimal sign.
    component MillimetreBox: SpinBox {
        id: millimetres
        Layout.preferredWidth: 150
        font.pixelSize: theme.fontSize
        editable: true
        from: -9999
        to: 9999
        stepSize: 10
        validator: RegularExpressionValidator { regularExpression: /-?[0-9]{0,2}([.,][0-9]{0,2})?/ }
        textFromValue: function (value) { return String(Number((value / 100).toFixed(2))) }
        valueFromText: function (text) {
            var number = Number(text.replace(",", "."))
            return text.length > 0 && !isNaN(number) ? Math.round(number * 100) : millimetres.value
        }
        onValueModified: section.edited()
    }

    Rectangle {
        Layout.columnSpan: 2
        Layout.fillWidth: true
        Layout.topMargin: 12
        Layout.preferredHeight: 1
        color: theme.cardBorder
    }
    ColumnLayout {
        Layout.columnSpan: 2
        Layout.fillWidth: true
        spacing: 2
        Label {
            text: qsTr("Label printers (ZPL)")
            font.pixelSize: theme.titleFontSize
            font.bold: true
            color: theme.text
        }
        HelpText {
            text: qsTr("Printers that take ZPL directly, over the network or on a USB device file. "
                       + "Saved ones are offered in each print job's printer choice.")
        }
    }

    FieldLabel { text: qsTr("Label printer:") }
    StationComboBox {
        id: chooser
        objectName: "zplPrinterBox"
        Layout.fillWidth: true
        font.pixelSize: theme.fontSize
        model: section.names.concat([qsTr("New label printer")])
        onActivated: section.show(index < section.names.length ? index : -1)
    }

    FieldLabel { text: qsTr("Name:") }
    TextField {
        id: nameField
        objectName: "zplNameField"
        Layout.fillWidth: true
        font.pixelSize: theme.fontSize
        selectByMouse: true
        onTextEdited: section.edited()
        onAccepted: section.save()
    }

    FieldLabel { text: qsTr("Address:") }
    TextField {
        id: addressField
        objectName: "zplAddressField"
        Layout.fillWidth: true
        font.pixelSize: theme.fontSize
        placeholderText: "host:port or /dev/usb/lp0"
        selectByMouse: true
        onTextEdited: section.edited()
        onAccepted: section.save()
    }

    FieldLabel { text: qsTr("Resolution:") }
    ComboBox {
        id: dpiBox
        objectName: "zplDpiBox"
        Layout.preferredWidth: 150
        font.pixelSize: theme.fontSize
        textRole: "text"
        valueRole: "value"
        model: [{ text: "203 dpi", value: 203 }, { text: "300 dpi", value: 300 }, { text: "600 dpi", value: 600 }]
        onActivated: section.edited()
    }

    FieldLabel { text: qsTr("Darkness:") }
    RowLayout {
        spacing: 8
        SpinBox {
            id: darknessBox
            objectName: "zplDarknessBox"
            Layout.preferredWidth: 150
            font.pixelSize: theme.fontSize
            editable: true
            from: 0
            to: 30
            onValueModified: section.edited()
        }
        Unit { text: qsTr("0 to 30") }
    }

    FieldLabel { text: qsTr("Speed:") }
    RowLayout {
        spacing: 8
        SpinBox {
            id: speedBox
            objectName: "zplSpeedBox"
            Layout.preferredWidth: 150
            font.pixelSize: theme.fontSize
            editable: true
            from: 1
            to: 14
            onValueModified: section.edited()
        }
        Unit { text: qsTr("inches per second") }
    }

    FieldLabel { text: qsTr("Offset left:") }
    RowLayout {
        spacing: 8
        MillimetreBox { id: offsetLeftBox; objectName: "zplOffsetLeftBox" }
        Unit { text: qsTr("mm") }
    }

    FieldLabel { text: qsTr("Offset top:") }
    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2
        RowLayout {
            spacing: 8
            MillimetreBox { id: offsetTopBox; objectName: "zplOffsetTopBox" }
            Unit { text: qsTr("mm") }
        }
        HelpText {
            text: qsTr("Moves the print on the label: positive to the right and down, negative to the left "
                       + "and up. Example: -1.5")
        }
    }

    FieldLabel { text: qsTr("Media:") }
    ComboBox {
        id: mediaBox
        objectName: "zplMediaBox"
        Layout.preferredWidth: 240
        font.pixelSize: theme.fontSize
        textRole: "text"
        valueRole: "value"
        model: [{ text: qsTr("Gap or notch"), value: "gap" }, { text: qsTr("Black mark"), value: "mark" },
                { text: qsTr("Continuous"), value: "continuous" }]
        onActivated: section.edited()
    }

    Item { Layout.preferredWidth: 1; Layout.preferredHeight: 1 }
    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        Button {
            objectName: "zplSaveButton"
            text: qsTr("Save")
            font.pixelSize: theme.fontSize
            onClicked: section.save()
        }
        Button {
            objectName: "zplRemoveButton"
            text: qsTr("Remove")
            font.pixelSize: theme.fontSize
            enabled: section.storedName.length > 0
            onClicked: section.remove()
        }
        Label {
            objectName: "zplStateLabel"
            Layout.fillWidth: true
            text: section.stateText
            wrapMode: Text.Wrap
            font.pixelSize: theme.fontSize
            color: section.refused ? theme.failed : theme.connected
        }
    }
}
