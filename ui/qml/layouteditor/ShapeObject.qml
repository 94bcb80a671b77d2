import QtQuick 2.15

// An image object: a logo of the local logo folder, or one of the drawn shapes.
ImageObject {
    id: shape
    objectType: "ShapeObject.qml"
    uw: 200
    uh: 100
    empty: sourceImage.length === 0 && sourceShape.length === 0
    emptyText: qsTr("Image: none chosen")

    property string sourceImage: ""         // a logo file name (or a path of older layouts)
    property string sourceShape: ""
    property bool maintainAspectRatio: true
    property int boundObject: -1

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
}
