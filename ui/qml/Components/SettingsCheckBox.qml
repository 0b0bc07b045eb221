import QtQuick
import QtQuick.Controls
import Vireon

// A check box in the window's colours: 18 x 18, filled accent with a black tick while on.
CheckBox {
    id: root

    // The back end's state. A click emits committed() with the new state and then shows the
    // back end's state again, so a change the back end refused (a monitor output that would
    // not open) does not stay ticked.
    property bool shownChecked: false
    property color textColor: Colors.textPrimary

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
        implicitWidth: 18
        implicitHeight: 18
        radius: 3
        color: root.checked ? Colors.accent : Colors.surfaceDark
        border.width: 1
        border.color: root.checked ? Colors.accent : Colors.borderStrong

        Text {
            anchors.centerIn: parent
            visible: root.checked
            text: "✓"
            font.pixelSize: 13
            font.bold: true
            color: Colors.backgroundDark
        }
    }

    contentItem: Text {
        leftPadding: root.indicator.implicitWidth + root.spacing
        text: root.text
        font: root.font
        color: root.textColor
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
