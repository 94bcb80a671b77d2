import QtQuick 2.15

// The snapping grid over the page: one line every `spacing` layout units.
Canvas {
    id: grid
    property real zoom: 1
    property int spacing: 10
    property color lineColor: "#7a8ca5"

    opacity: 0.4
    enabled: false // never takes the mouse from the objects below

    onZoomChanged: requestPaint()
    onSpacingChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    onPaint: {
        var ctx = getContext("2d")
        ctx.reset()
        var step = spacing * zoom
        if (step < 3)
            return // too dense to be of use
        ctx.strokeStyle = lineColor
        ctx.lineWidth = 1
        ctx.beginPath()
        for (var x = 0; x <= width; x += step) {
            ctx.moveTo(Math.round(x) + 0.5, 0)
            ctx.lineTo(Math.round(x) + 0.5, height)
        }
        for (var y = 0; y <= height; y += step) {
            ctx.moveTo(0, Math.round(y) + 0.5)
            ctx.lineTo(width, Math.round(y) + 0.5)
        }
        ctx.stroke()
    }
}
