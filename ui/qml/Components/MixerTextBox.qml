import QtQuick
import Vireon
import "Tint.js" as Tint

// A small square strip button with a text.
Rectangle {
    id: textBox

    property string label
    property font labelFont: Typography.captionBold
    property bool isOn: false
    property color onColor: Colors.accent
    property color offTextColor: Colors.textSecondary
    readonly property bool isHovered: textArea.containsMouse

    signal clicked()

    radius: 2
    color: isOn ? Tint.alpha(onColor, 0.25) : Colors.surfaceDark
    border.width: 1
    border.color: isOn ? onColor : Colors.borderDark

    Text {
        anchors.centerIn: parent
        text: textBox.label
        font: textBox.labelFont
        color: textBox.isOn ? textBox.onColor : textBox.offTextColor
    }

    MouseArea {
        id: textArea

        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: textBox.clicked()
    }
}
