import QtQuick 2.15
import QtQuick.Controls 2.15
import LayoutEditing 1.0

// A length shown and typed in millimetres with one decimal; the canvas keeps layout units.
// Typing ends with Enter or by leaving the field; text that is no length puts the old value back.
TextField {
    id: field

    property real units: 0
    // Live fields report each typed length at once; the others keep it until typedUnits() is read.
    property bool live: true
    // Nothing to show (no object chosen): the field stays empty rather than showing 0.0.
    property bool blank: false
    signal unitsEdited(int units)

    // The typed length in layout units, or the shown one when the text is no length.
    function typedUnits() {
        var typed = geometry.unitsFromMillimetreText(text)
        return typed === undefined ? Math.round(units) : typed
    }
    function reset() {
        text = Qt.binding(function() { return field.blank ? "" : geometry.millimetreText(field.units) })
    }

    LayoutGeometry { id: geometry }

    text: blank ? "" : geometry.millimetreText(units)
    selectByMouse: true
    horizontalAlignment: TextInput.AlignRight
    rightPadding: unit.implicitWidth + 12
    onEditingFinished: {
        var typed = geometry.unitsFromMillimetreText(text)
        if (typed !== undefined && !live) {
            text = geometry.millimetreText(typed)
            return
        }
        reset()
        if (typed !== undefined && geometry.millimetreText(typed) !== geometry.millimetreText(units))
            unitsEdited(typed)
    }

    Label {
        id: unit
        anchors.right: parent.right
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        text: qsTr("mm")
        visible: !field.blank
        color: "#5d6b7e"
    }
}
