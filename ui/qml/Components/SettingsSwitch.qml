import QtQuick
import QtQuick.Controls
import Vireon

// An on/off switch in the window's colours; its label is its text.
Switch {
    id: root

    font: Typography.body
    spacing: 10
    padding: 0

    indicator: Rectangle {
        x: root.leftPadding
        anchors.verticalCenter: parent.verticalCenter
        implicitWidth: 36
        implicitHeight: 18
        radius: 9
        color: root.checked ? Colors.accent : Colors.surfaceDark
        border.width: 1
        border.color: root.checked ? Colors.accent : Colors.borderStrong

        Rectangle {
            x: root.checked ? parent.width - width - 2 : 2
            anchors.verticalCenter: parent.verticalCenter
            width: 14
            height: 14
            radius: 7
            color: root.checked ? Colors.backgroundDark : Colors.textSecondary

            Behavior on x { NumberAnimation { duration: 100 } }
        }
    }

    contentItem: Text {
        leftPadding: root.indicator.implicitWidth + root.spacing
        text: root.text
        font: root.font
        color: Colors.textPrimary
        verticalAlignment: Text.AlignVCenter
    }
}
