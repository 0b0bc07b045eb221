import QtQuick
import Vireon

// A dark button of the settings window with an optional icon before its label.
DarkButton {
    id: root

    property string icon: ""
    property string label: ""
    property color labelColor: Colors.textPrimary
    property color iconColor: labelColor
    property font labelFont: Typography.captionBold

    opacity: enabled ? 1.0 : 0.6

    Row {
        anchors.centerIn: parent
        spacing: 6

        Text {
            anchors.verticalCenter: parent.verticalCenter
            visible: root.icon !== ""
            text: root.icon
            font.pixelSize: 13
            color: root.iconColor
        }

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.label
            font: root.labelFont
            color: root.labelColor
        }
    }
}
