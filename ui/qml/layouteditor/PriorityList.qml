import QtQuick 2.15
import QtQuick.Controls 2.15

// A list whose order the user sets by dragging rows (or with the arrow buttons); each row can be
// switched on or off. `chosen` is the switched-on entries in their order.
ListView {
    id: list

    property bool checkable: true
    property var chosen: []
    signal orderChanged()
    signal entryActivated(int index)

    // entries: [{ "text": shown, "value": stored, "on": bool }]
    function setEntries(entries) {
        entryModel.clear()
        currentIndex = -1
        for (var i = 0; i < entries.length; ++i)
            entryModel.append({ "text": entries[i].text, "value": entries[i].value, "on": entries[i].on === true })
        update()
    }
    function update() {
        var values = []
        for (var i = 0; i < entryModel.count; ++i)
            if (!checkable || entryModel.get(i).on)
                values.push(entryModel.get(i).value)
        chosen = values
        orderChanged()
    }
    function moveEntry(from, to) {
        if (from === to || from < 0 || to < 0 || from >= entryModel.count || to >= entryModel.count)
            return
        entryModel.move(from, to, 1)
        update()
    }

    clip: true
    spacing: 2
    implicitHeight: 200
    model: ListModel { id: entryModel }
    ScrollBar.vertical: ScrollBar {}

    delegate: Rectangle {
        id: row
        width: list.width - 10
        height: 30
        radius: 3
        color: dragArea.pressed || list.currentIndex === index ? "#dbe7fb" : index % 2 ? "#f6f7f9" : "white"
        border.color: "#d0d6df"

        MouseArea {
            anchors.fill: parent
            onClicked: list.currentIndex = index
            onDoubleClicked: list.entryActivated(index)
        }
        Text {
            id: handle
            text: "\u2261"
            font.pixelSize: 20
            color: "#7b8794"
            anchors.left: parent.left
            anchors.leftMargin: 6
            anchors.verticalCenter: parent.verticalCenter
        }
        CheckBox {
            id: check
            visible: list.checkable
            anchors.left: handle.right
            anchors.verticalCenter: parent.verticalCenter
            checked: model.on
            text: model.text
            onToggled: { entryModel.setProperty(index, "on", checked); list.update() }
        }
        Label {
            visible: !list.checkable
            anchors.left: handle.right
            anchors.leftMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            text: model.text
        }
        Row {
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            ToolButton { text: "\u25b2"; implicitHeight: 26; onClicked: list.moveEntry(index, index - 1) }
            ToolButton { text: "\u25bc"; implicitHeight: 26; onClicked: list.moveEntry(index, index + 1) }
        }
        MouseArea {
            id: dragArea
            anchors.left: parent.left
            width: 28
            height: parent.height
            cursorShape: Qt.SizeVerCursor
            onPositionChanged: {
                var p = mapToItem(list.contentItem, mouse.x, mouse.y)
                var target = list.indexAt(10, p.y)
                if (target >= 0 && target !== index)
                    list.moveEntry(index, target)
            }
        }
    }
}
