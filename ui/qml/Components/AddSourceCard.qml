import QtQuick
import Vireon
import "Tint.js" as Tint

// A free place of the monitoring grid: a click asks for a camera on the first channel
// without video.
Rectangle {
    id: root

    property bool compact: false
    readonly property bool isHovered: mouseArea.containsMouse

    // The window opens the source configuration dialog for it (add mode: editMode false).
    signal openSourceConfig(int channelId, bool editMode)

    radius: 3
    color: isHovered ? Tint.alpha(Colors.accent, 0.08) : Colors.surfaceDark
    border.width: isHovered ? 2 : 1
    border.color: isHovered ? Colors.accent : Colors.borderDark

    Behavior on color { ColorAnimation { duration: 150 } }
    Behavior on border.color { ColorAnimation { duration: 150 } }

    Column {
        anchors.centerIn: parent
        spacing: root.compact ? 6 : 10

        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            width: root.compact ? 34 : 44
            height: width
            radius: width / 2
            color: root.isHovered ? Colors.accent : Tint.alpha(Colors.accent, 0.15)
            border.width: 1.5
            border.color: Colors.accent

            Behavior on color { ColorAnimation { duration: 150 } }

            Text {
                anchors.centerIn: parent
                text: "+"
                font.pixelSize: root.compact ? 18 : 22
                font.bold: true
                color: root.isHovered ? "black" : Colors.accent

                Behavior on color { ColorAnimation { duration: 150 } }
            }
        }

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: AppManager.currentLanguage === "EN" ? "ADD SOURCE" : "DODAJ SOURCE"
            font: root.compact ? Typography.caption : Typography.captionBold
            color: root.isHovered ? Colors.accent : Colors.textPrimary
        }

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: (AppManager.currentLanguage === "EN" ? "Channel " : "Kanal ")
                  + ChannelsModel.firstInactiveChannelId
            font: Typography.caption
            color: Colors.textMuted
        }
    }

    MouseArea {
        id: mouseArea

        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: root.openSourceConfig(ChannelsModel.firstInactiveChannelId, false)
    }
}
