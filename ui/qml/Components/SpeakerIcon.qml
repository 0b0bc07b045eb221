import QtQuick
import Vireon

// A speaker drawn from rectangles, with a sound arc or a cross beside it.
Item {
    id: speaker

    property color color: Colors.textSecondary
    property bool isCrossed: false

    width: 16
    height: 12

    Rectangle { x: 0; y: 4; width: 3; height: 4; color: speaker.color }
    Rectangle { x: 3; y: 1; width: 4; height: 10; radius: 1; color: speaker.color }

    Item {
        x: 8
        width: 6
        height: 12
        visible: !speaker.isCrossed
        clip: true

        Rectangle {
            x: -6
            width: 12
            height: 12
            radius: 6
            color: "transparent"
            border.width: 1.5
            border.color: speaker.color
        }
    }

    Text {
        x: 9
        anchors.verticalCenter: parent.verticalCenter
        visible: speaker.isCrossed
        text: "x"
        font.pixelSize: 10
        font.bold: true
        color: speaker.color
    }
}
