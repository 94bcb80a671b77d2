import QtQuick 2.15
import LayoutEditing 1.0

// A ruler in millimetres beside the canvas: a tick every millimetre (where there is room), a longer
// one every 5 and a number every 10, with 0 at the label's edge.
Canvas {
    id: ruler
    property int orientation: Qt.Horizontal
    property real zoom: 1                       // screen pixels per layout unit
    property real origin: 0                     // where the label's edge lies on the ruler, in pixels
    property int lengthUnits: 0                 // the label's side
    readonly property real pixelsPerMillimetre: zoom * doc.unitsPerMillimetre
    readonly property bool horizontal: orientation === Qt.Horizontal

    LayoutDocument { id: doc }

    onZoomChanged: requestPaint()
    onOriginChanged: requestPaint()
    onLengthUnitsChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    onPaint: {
        var ctx = getContext("2d")
        ctx.reset()
        ctx.fillStyle = "#f4f6f9"
        ctx.fillRect(0, 0, width, height)
        var along = horizontal ? width : height
        var across = horizontal ? height : width
        // The label's extent, shaded white.
        ctx.fillStyle = "white"
        var labelLength = lengthUnits * zoom
        if (horizontal)
            ctx.fillRect(origin, 0, labelLength, height)
        else
            ctx.fillRect(0, origin, width, labelLength)
        var step = pixelsPerMillimetre
        // Ticks every millimetre only where they are 3 pixels apart; else every 5 or 10.
        var every = step >= 3 ? 1 : step * 5 >= 3 ? 5 : 10
        var labelEvery = step * 10 >= 28 ? 10 : step * 50 >= 28 ? 50 : 100
        ctx.strokeStyle = "#7a8ca5"
        ctx.fillStyle = "#4a5568"
        ctx.font = "9px sans-serif"
        ctx.lineWidth = 1
        ctx.beginPath()
        var first = Math.ceil(-origin / step / every) * every
        for (var mm = first; origin + mm * step <= along; mm += every) {
            var p = Math.round(origin + mm * step) + 0.5
            var length = mm % 10 === 0 ? across * 0.6 : mm % 5 === 0 ? across * 0.4 : across * 0.2
            if (horizontal) {
                ctx.moveTo(p, across)
                ctx.lineTo(p, across - length)
            } else {
                ctx.moveTo(across, p)
                ctx.lineTo(across - length, p)
            }
            if (mm % labelEvery === 0) {
                if (horizontal)
                    ctx.fillText(mm, p + 2, 9)
                else
                    ctx.fillText(mm, 1, p - 2)
            }
        }
        ctx.stroke()
    }
}
