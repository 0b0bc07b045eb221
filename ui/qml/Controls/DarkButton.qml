import QtQuick
import Vireon

// A flat dark button. Its content (text, icons) is placed inside it by its user.
Rectangle {
    id: root

    readonly property alias down: mouseArea.pressed
    readonly property alias hovered: mouseArea.containsMouse
    property alias cursorShape: mouseArea.cursorShape

    signal clicked()

    implicitWidth: 100
    implicitHeight: 40
    radius: 3
    border.width: 1
    border.color: Colors.borderDark
    color: mouseArea.pressed ? Colors.borderStrong
         : mouseArea.containsMouse ? Colors.borderDark : Colors.surfaceDark

    MouseArea {
        id: mouseArea

        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.clicked()
    }
}
