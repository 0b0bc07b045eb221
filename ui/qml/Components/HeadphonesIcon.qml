import QtQuick
import Vireon

// Headphones drawn from rectangles: a head band over two ear cups.
Item {
    id: headphones

    property color color: Colors.textSecondary
    property bool isCrossed: false

    width: 14
    height: 12

    Item {
        width: parent.width
        height: 7
        clip: true

        Rectangle {
            width: parent.width
            height: parent.width
            radius: width / 2
            color: "transparent"
            border.width: 2
            border.color: headphones.color
        }
    }

    Rectangle { x: 0; y: 6; width: 4; height: 6; radius: 1; color: headphones.color }
    Rectangle { x: parent.width - 4; y: 6; width: 4; height: 6; radius: 1; color: headphones.color }

    Text {
        x: parent.width - 2
        y: -4
        visible: headphones.isCrossed
        text: "x"
        font.pixelSize: 9
        font.bold: true
        color: headphones.color
    }
}
