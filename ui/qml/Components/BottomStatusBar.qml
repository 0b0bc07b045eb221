import QtQuick
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// The status bar at the foot of the main window: load, frame rate, disk and dropped frames.
Rectangle {
    id: root

    // Back-end figures, bound here so each look can be shown with chosen values.
    property string cpuUsage: AppManager.cpuUsage
    property string ramUsage: AppManager.ramUsage
    property real currentFps: AppManager.currentFps
    // The rate the take records at, as the back end writes it ("29.97").
    property string recordingFpsText: AppManager.recordingFpsText
    property real diskWriteSpeedMBs: AppManager.diskWriteSpeedMBs
    property int droppedFrames: AppManager.droppedFrames
    property int measuredCameras: AppManager.measuredCameraCount
    // The back end's verdict on the rate: "good", "ok", "low" or "none" (no reading).
    property string fpsLevel: AppManager.fpsLevel
    property real diskFreeBytes: AppManager.diskFreeBytes
    property real diskSecondsLeft: AppManager.diskSecondsLeft
    property string diskLevel: AppManager.diskSpaceLevel

    property var monitorWindow: null

    readonly property alias fpsDot: fpsDot
    readonly property alias fpsLabel: fpsLabel
    readonly property alias writeLabel: writeLabel
    readonly property alias droppedMark: droppedMark
    readonly property alias droppedLabel: droppedLabel
    readonly property alias diskLabel: diskLabel

    function fpsColor(level) {
        switch (level) {
        case "good": return Colors.liveGreen
        case "ok": return Colors.alertAmber
        case "none": return Colors.textSecondary
        default: return "#ef4444"
        }
    }

    function diskColor(level) {
        switch (level) {
        case "low": return Colors.alertAmber
        case "critical": return "#ef4444"
        default: return Colors.textSecondary
        }
    }

    function closeMonitorWindow() {
        if (root.monitorWindow)
            root.monitorWindow.close()
    }

    // Activates the monitor window when it is open, else creates a new one.
    function openMonitorWindow() {
        if (root.monitorWindow && root.monitorWindow.visible) {
            root.monitorWindow.raise()
            root.monitorWindow.requestActivate()
            return
        }
        const component = Qt.createComponent("PerformanceMonitorWindow.qml")
        if (component.status !== Component.Ready) {
            console.error("Failed to load PerformanceMonitorWindow: " + component.errorString())
            return
        }
        root.monitorWindow = component.createObject(null)
        if (root.monitorWindow)
            root.monitorWindow.show()
    }

    implicitHeight: 32
    color: Colors.panelDark
    border.width: 1
    border.color: Colors.borderDark

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 12
        spacing: 16

        Row {
            spacing: 6
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "⚡"
                font.pixelSize: 11
                color: Colors.textSecondary
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: StatusTexts.resourceText(root.cpuUsage, root.ramUsage)
                font: Typography.caption
                color: Colors.textSecondary
            }
        }

        Item { Layout.fillWidth: true }

        Row {
            spacing: 6
            Rectangle {
                id: fpsDot

                anchors.verticalCenter: parent.verticalCenter
                width: 6
                height: 6
                radius: 3
                color: root.fpsColor(root.fpsLevel)
            }
            Text {
                id: fpsLabel

                anchors.verticalCenter: parent.verticalCenter
                text: StatusTexts.fpsText(root.currentFps, root.recordingFpsText, root.measuredCameras)
                font: Typography.captionBold
                color: root.measuredCameras === 0 ? Colors.textSecondary : Colors.textPrimary
            }
        }

        Item { Layout.fillWidth: true }

        Row {
            spacing: 6
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "💾"
                font.pixelSize: 11
                color: Colors.textSecondary
            }
            Text {
                id: writeLabel

                anchors.verticalCenter: parent.verticalCenter
                text: StatusTexts.writeText(root.diskWriteSpeedMBs)
                font: Typography.caption
                color: root.diskWriteSpeedMBs > 0 ? Colors.accent : Colors.textSecondary
            }
            // The recording folder's disk: what is free and how long a take can run on it.
            Text {
                id: diskLabel

                objectName: "diskSpaceText"
                anchors.verticalCenter: parent.verticalCenter
                text: StatusTexts.diskText(root.diskFreeBytes, root.diskSecondsLeft, AppManager.currentLanguage)
                font: root.diskLevel === "low" || root.diskLevel === "critical" ? Typography.captionBold
                                                                                 : Typography.caption
                color: root.diskColor(root.diskLevel)
            }
        }

        Item { Layout.fillWidth: true }

        Row {
            spacing: 6
            Text {
                id: droppedMark

                anchors.verticalCenter: parent.verticalCenter
                text: root.droppedFrames === 0 ? "✓" : "⚠"
                font.pixelSize: 11
                font.bold: true
                color: root.droppedFrames === 0 ? Colors.liveGreen : "#ef4444"
            }
            Text {
                id: droppedLabel

                anchors.verticalCenter: parent.verticalCenter
                text: StatusTexts.droppedText(root.droppedFrames)
                font: Typography.caption
                color: root.droppedFrames === 0 ? Colors.textSecondary : "#ef4444"
            }
        }

        Item { Layout.fillWidth: true }

        DarkButton {
            id: monitorButton

            implicitWidth: 100
            implicitHeight: 24
            onClicked: root.openMonitorWindow()

            Row {
                anchors.centerIn: parent
                spacing: 6
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "📊"
                    font: Typography.smallBold
                    color: Colors.textPrimary
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "MONITOR"
                    font: Typography.smallBold
                    color: Colors.textPrimary
                }
            }
        }
    }
}
