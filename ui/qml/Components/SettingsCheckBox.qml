import QtQuick
import QtQuick.Controls
import Vireon

// A check box in the window's colours: 18 x 18, filled accent with a black tick while on.
CheckBox {
    id: root

    property color textColor: Colors.textPrimary

    font: Typography.body
    spacing: 10
    padding: 0

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
