import QtQuick
import Vireon
import "Tint.js" as Tint

// A small square strip button with a text.
Rectangle {
    id: textBox

    property string label
    property font labelFont: Typography.captionBold
    property bool isOn: false
    // Its colour while on ("onColor" would read as a signal handler).
    property color litColor: Colors.accent
    property color offTextColor: Colors.textSecondary
    readonly property bool isHovered: textArea.containsMouse

    signal clicked()

    radius: 2
    color: isOn ? Tint.alpha(litColor, 0.25) : Colors.surfaceDark
    border.width: 1
    border.color: isOn ? litColor : Colors.borderDark

    Text {
        anchors.centerIn: parent
        text: textBox.label
        font: textBox.labelFont
        color: textBox.isOn ? textBox.litColor : textBox.offTextColor
    }

    MouseArea {
        id: textArea

        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: textBox.clicked()
    }
}
