import QtQuick 2.15

// A text object: text with tags, drawn as the label prints it (with example values without a report).
EditorObject {
    id: textObject
    objectType: "TextObject.qml"
    uw: 240
    uh: 40

    property string unformattedString: ""
    property bool bold: false
    property bool underline: false
    property int pixelSize: 24
    property bool multiline: false
    property string elide: "Right"          // "None", "Left", "Middle", "Right"
    property string alignment: "Left"       // "Left", "Center", "Right"
    property bool showboundingrect: false
    property bool tickBoxFormat: false
    property bool background: false
    property string fontFamily: ""           // empty: the default font
    // What the printer prints for the text without a report.
    readonly property string formattedString: printerInterface.formatText(unformattedString, tickBoxFormat)

    showBorder: (editor ? editor.showBorders : true) || showboundingrect

    function editedRecord() {
        var r = commonRecord()
        r.bold = bold
        r.underline = underline
        r.formattedString = formattedString
        r.unformattedString = unformattedString
        r.pixelSize = pixelSize
        r.multiline = multiline
        r.elide = elide
        r.alignment = alignment
        r.showboundingrect = showboundingrect
        r.tickBoxFormat = tickBoxFormat
        r.background = background
        // Only a chosen font is stored: layouts without one print as before.
        if (fontFamily.length)
            r.fontFamily = fontFamily
        return r
    }
    function applyRecord(r) {
        applyCommon(r)
        unformattedString = r.unformattedString
        bold = r.bold === true
        underline = r.underline === true
        pixelSize = r.pixelSize !== undefined ? r.pixelSize : 24
        multiline = r.multiline === true
        elide = r.elide !== undefined ? r.elide : "None"
        alignment = r.alignment !== undefined ? r.alignment : "Left"
        showboundingrect = r.showboundingrect === true
        tickBoxFormat = r.tickBoxFormat === true
        background = r.background === true
        fontFamily = r.fontFamily !== undefined ? r.fontFamily : ""
    }
}
