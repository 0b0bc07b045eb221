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

    // One corner of the frame: a short line along each edge that meets there.
    component Corner: Item {
        id: corner

        property bool atRight: false
        property bool atBottom: false
        property color color

        x: atRight && parent ? parent.width - 4 : 0
        y: atBottom && parent ? parent.height - 4 : 0
        width: 4
        height: 4

        Rectangle { y: corner.atBottom ? 3 : 0; width: 4; height: 1; color: corner.color }
        Rectangle { x: corner.atRight ? 3 : 0; width: 1; height: 4; color: corner.color }
    }

    // Fill the screen: the four corners of a frame.
    Item {
        anchors.fill: parent
        visible: !root.isRestore

        Corner { color: root.color }
        Corner { atRight: true; color: root.color }
        Corner { atBottom: true; color: root.color }
        Corner { atRight: true; atBottom: true; color: root.color }
    }
}
