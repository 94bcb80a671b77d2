import QtQuick 2.15

// A barcode object: the first available of its contents, encoded in its symbology. The canvas
// shows bars made from the example value; the printer draws the real symbol into the same box.
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
    property real moduleWidthMm: 0          // 0: the code fills its box
    property int quietZone: -1              // modules; -1: the symbology's own
    property bool gs1: false                // Data Matrix only
    readonly property string exampleValue: contentOrder.length
        ? printerInterface.formatText("<firstvalue " + contentOrder + ">", false) : ""

    function record() {
        var r = commonRecord()
        r.sourceimage = sourceimage
        r.contentOrder = contentOrder
        r.prefixString = prefixString
        r.attachText = attachText ? "true" : "false"
        r.symbology = symbology
        r.textobjectid = textObjectId
        r.moduleWidthMm = moduleWidthMm
        r.quietZone = quietZone
        r.gs1 = gs1
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
        moduleWidthMm = r.moduleWidthMm !== undefined ? r.moduleWidthMm : 0
        quietZone = r.quietZone !== undefined ? r.quietZone : -1
        gs1 = r.gs1 === true
    }

    // Widths of alternating bars and gaps, from the bits of each character of the value.
    readonly property var widths: {
        var list = [2, 1, 1, 2]
        for (var i = 0; i < exampleValue.length; ++i) {
            var code = exampleValue.charCodeAt(i)
            for (var b = 0; b < 6; ++b)
                list.push(((code >> b) & 1) + 1)
        }
        list.push(2, 1, 1, 2)
        return list
    }
    readonly property real moduleWidth: {
        var total = 0
        for (var i = 0; i < widths.length; ++i)
            total += widths[i]
        return total > 0 ? uw / total : 1
    }

    Row {
        anchors.fill: parent
        visible: !barcode.empty
        Repeater {
            model: barcode.widths
            Rectangle {
                width: modelData * barcode.moduleWidth
                height: barcode.uh
                color: index % 2 === 0 ? "black" : "white"
            }
        }
    }
}
