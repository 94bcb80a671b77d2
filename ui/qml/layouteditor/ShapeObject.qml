import QtQuick 2.15

// An image object: a logo of the local logo folder, or one of the drawn shapes.
ImageObject {
    id: shape
    objectType: "ShapeObject.qml"
    uw: 200
    uh: 100
    empty: sourceImage.length === 0 && sourceShape.length === 0
    emptyText: qsTr("Image: none chosen")
    opaque: sourceImage.length > 0

    property string sourceImage: ""         // a logo file name (or a path of older layouts)
    property string sourceShape: ""
    property bool maintainAspectRatio: true
    property int boundObject: -1
    readonly property string imageUrl: {
        if (!sourceImage.length)
            return ""
        if (sourceImage.indexOf("file:") === 0)
            return sourceImage
        if (sourceImage.charAt(0) === "/")
            return "file://" + sourceImage
        return "file://" + userAppContainer.logoDir + sourceImage
    }

    function editedRecord() {
        var r = commonRecord()
        r.sourceImage = sourceImage
        r.sourceShape = sourceShape
        r.maintainAspectRation = maintainAspectRatio
        r.boundObject = boundObject
        return r
    }
    function applyRecord(r) {
        applyCommon(r)
        sourceImage = r.sourceImage !== undefined ? r.sourceImage : ""
        sourceShape = r.sourceShape !== undefined ? r.sourceShape : ""
        maintainAspectRatio = r.maintainAspectRation === true
        boundObject = r.boundObject !== undefined ? r.boundObject : -1
    }

    Image {
        anchors.fill: parent
        source: shape.imageUrl
        // Printing scales into the box from its top left corner.
        fillMode: shape.maintainAspectRatio ? Image.PreserveAspectFit : Image.Stretch
        horizontalAlignment: Image.AlignLeft
        verticalAlignment: Image.AlignTop
        smooth: true
        asynchronous: false
        cache: false
    }

    Canvas {
        id: drawn
        anchors.fill: parent
        visible: shape.sourceImage.length === 0 && shape.sourceShape.length > 0
        property string kind: shape.sourceShape.toLowerCase()
        onKindChanged: requestPaint()
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            var pen = 2, w = width, h = height
            ctx.lineWidth = pen
            ctx.strokeStyle = "black"
            ctx.fillStyle = "black"
            var l = pen / 2, t = pen / 2, r = w - pen / 2, b = h - pen / 2
            ctx.beginPath()
            if (kind.indexOf("rectangle") >= 0) {
                ctx.rect(l, t, r - l, b - t)
            } else if (kind.indexOf("ellipse") >= 0) {
                ctx.ellipse(l, t, r - l, b - t)
            } else if (kind === "line") {
                ctx.moveTo(l, h / 2); ctx.lineTo(r, h / 2)
            } else if (kind === "verticalline") {
                ctx.moveTo(w / 2, t); ctx.lineTo(w / 2, b)
            }
            if (kind.indexOf("filled") === 0)
                ctx.fill()
            ctx.stroke()
        }
    }
}
