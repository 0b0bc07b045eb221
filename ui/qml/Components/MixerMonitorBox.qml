import QtQuick
import Vireon
import "Tint.js" as Tint

// The global live-monitoring toggle as a strip button.
Rectangle {
    id: monitorBox

    // How strongly the green shows while monitoring is on.
    property real litOpacity: 0.25

    radius: 2
    color: AppManager.liveMonitoringEnabled ? Tint.alpha(Colors.liveGreen, litOpacity) : Colors.surfaceDark
    border.width: 1
    border.color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.borderDark

    HeadphonesIcon {
        anchors.centerIn: parent
        color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.textSecondary
        isCrossed: !AppManager.liveMonitoringEnabled
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: AppManager.liveMonitoringEnabled = !AppManager.liveMonitoringEnabled
    }
}
