import QtQuick 2.15

// A text object: text with tags, drawn with example values as the label will print it.
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
    // Printing takes the marks out of the text and makes the whole text bold or underlined.
    readonly property bool shownBold: bold || unformattedString.indexOf("<b>") >= 0
    readonly property bool shownUnderline: underline || unformattedString.indexOf("<u>") >= 0

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

    Rectangle {
        anchors.fill: parent
        color: textObject.background ? "white" : "transparent"
    }

    Rectangle {
        id: tickBox
        visible: textObject.tickBoxFormat
        x: 1; y: 1
        width: textObject.uh - 2; height: width
        border.width: 2
        border.color: "black"
        Text {
            anchors.centerIn: parent
            text: textObject.formattedString.trim().charAt(0)
            font.pixelSize: textObject.pixelSize
            font.family: textObject.fontFamily.length ? textObject.fontFamily : Qt.application.font.family
            font.bold: textObject.shownBold
        }
    }

    Text {
        anchors.fill: parent
        visible: !textObject.tickBoxFormat
        text: textObject.formattedString
        textFormat: Text.PlainText
        color: "black"
        font.pixelSize: Math.max(1, textObject.pixelSize)
        font.family: textObject.fontFamily.length ? textObject.fontFamily : Qt.application.font.family
        font.bold: textObject.shownBold
        font.underline: textObject.shownUnderline
        horizontalAlignment: textObject.alignment === "Right" ? Text.AlignRight
                           : textObject.alignment === "Center" ? Text.AlignHCenter : Text.AlignLeft
        verticalAlignment: Text.AlignTop
        wrapMode: Text.NoWrap
        elide: textObject.elide === "Left" ? Text.ElideLeft : textObject.elide === "Middle" ? Text.ElideMiddle
             : textObject.elide === "Right" ? Text.ElideRight : Text.ElideNone
        maximumLineCount: textObject.multiline ? 100 : 1
        clip: false
    }
}
