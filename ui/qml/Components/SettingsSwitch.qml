import QtQuick
import QtQuick.Controls
import Vireon

// An on/off switch in the window's colours; its label is its text.
Switch {
    id: root

    // The back end's state. A click emits committed() with the new state and then shows the
    // back end's state again, so a change the back end refused (a monitor output that would
    // not open) does not stay ticked.
    property bool shownChecked: false

    signal committed(bool checked)

    font: Typography.body
    spacing: 10
    padding: 0
    checked: shownChecked
    onToggled: {
        root.committed(root.checked)
        root.checked = Qt.binding(() => root.shownChecked)
    }

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
