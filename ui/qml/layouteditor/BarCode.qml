import QtQuick 2.15

// A barcode object: the first available of its contents, encoded in its symbology, drawn on the
// canvas as the printer draws it.
ImageObject {
    id: barcode
    objectType: "BarCode.qml"
    uw: 400
    uh: 120
    empty: contentOrder.length === 0
    emptyText: qsTr("Barcode: no content chosen")

    property string sourceimage: ""
    property string contentOrder: ""        // labels joined by ","
    property string prefixString: ""
    property bool attachText: false
    property string symbology: "code128"
    property int textObjectId: -1

    function editedRecord() {
        var r = commonRecord()
        r.sourceimage = sourceimage
        r.contentOrder = contentOrder
        r.prefixString = prefixString
        r.attachText = attachText ? "true" : "false"
        r.symbology = symbology
        r.textobjectid = textObjectId
        return r
    }
    function applyRecord(r) {
        applyCommon(r)
        sourceimage = r.sourceimage !== undefined ? r.sourceimage : ""
        contentOrder = r.contentOrder
        prefixString = r.prefixString !== undefined ? r.prefixString : ""
        attachText = r.attachText === true || r.attachText === "true"
        symbology = r.symbology !== undefined ? r.symbology : "code128"
        textObjectId = r.textobjectid !== undefined ? r.textobjectid : -1
    }
}
