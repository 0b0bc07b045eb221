import QtQuick

// The output window's mode symbol, drawn so that it shows with any installed font: two
// overlapping frames ("back to a window") or four corners ("fill the screen").
Item {
    id: root

    property bool isRestore: true
    property color color: "white"

    implicitWidth: 11
    implicitHeight: 11

    // Back to a window: a frame with another behind it.
    Item {
        anchors.fill: parent
        visible: root.isRestore

        Rectangle {
            x: 3; y: 0; width: 8; height: 8
            color: "transparent"
            border.width: 1
            border.color: root.color
        }
        Rectangle {
            x: 0; y: 3; width: 8; height: 8
            color: Qt.rgba(0, 0, 0, 0.6)
            border.width: 1
            border.color: root.color
        }
    }

    // Fill the screen: the four corners of a frame.
    Repeater {
        model: root.isRestore ? 0 : 4

        Item {
            required property int index
            readonly property bool atRight: index % 2 === 1
            readonly property bool atBottom: index >= 2

            x: atRight ? root.width - 4 : 0
            y: atBottom ? root.height - 4 : 0
            width: 4
            height: 4

            Rectangle { y: parent.atBottom ? 3 : 0; width: 4; height: 1; color: root.color }
            Rectangle { x: parent.atRight ? 3 : 0; width: 1; height: 4; color: root.color }
        }
    }
}
