import QtQuick 2.15
import QtQuick.Controls 2.15

// A drop-down whose shown text is elided rather than cut off when the choice is longer than the
// box (category and field names can be long); the full text is in the tooltip.
ComboBox {
    id: control

    contentItem: Label {
        leftPadding: 12
        rightPadding: control.indicator ? control.indicator.width + control.spacing : 12
        text: control.displayText
        font: control.font
        color: control.enabled ? "#1d2733" : "#8a949e"
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
    }

    ToolTip.visible: hovered && !down && contentItem.truncated
    ToolTip.text: displayText
    ToolTip.delay: 500
}
