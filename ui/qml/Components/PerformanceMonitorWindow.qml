pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import Vireon
import "MonitorTexts.js" as MonitorTexts
import "StatusTexts.js" as StatusTexts

// The performance monitor: the recording figures, the resolution and graphics adapter, and
// the tail of the program's log, polled while the window is shown. The status bar creates
// one on demand; closing it destroys it, so the next one starts fresh.
Window {
    id: root

    // Back-end figures, bound here so each look can be shown with chosen values.
    property bool isRecording: AppManager.isRecording
    property bool isArming: AppManager.isArming
    property real currentFps: AppManager.currentFps
    property int measuredCameras: AppManager.measuredCameraCount
    // The back end's verdicts: "good", "ok", "low", "none"; "clean", "repeated", "dropped".
    property string fpsLevel: AppManager.fpsLevel
    property string frameSyncLevel: AppManager.frameSyncLevel
    property int droppedFrames: AppManager.droppedFrames
    property int repeatedFrames: AppManager.repeatedFrames
    property real diskWriteSpeedMBs: AppManager.diskWriteSpeedMBs
    property string cpuUsage: AppManager.cpuUsage
    property string ramUsage: AppManager.ramUsage
    property string activeResolutionName: AppManager.activeResolutionName
    property string gpuInfo: AppManager.hardwareGpuInfo
    // The log's last lines as {text, kind}.
    property var logLines: []
    // Where the log lines come from and go: the back end, or a stand-in under test.
    property var logSource: AppManager
    readonly property string sessionState: StatusTexts.sessionState(root.isRecording, root.isArming)
    // "Consolas, Courier New, monospace": the first one installed.
    readonly property string logFontFamily: MonitorTexts.firstInstalled(["Consolas", "Courier New"], Qt.fontFamilies(), "monospace")

    readonly property alias statusDot: statusDot
    readonly property alias stateBadge: stateBadge
    readonly property alias stateBadgeLabel: stateBadgeLabel
    readonly property alias fpsValue: fpsValue
    readonly property alias droppedValue: droppedValue
    readonly property alias droppedUnit: droppedUnit
    readonly property alias droppedCard: droppedCard
    readonly property alias diskValue: diskValue
    readonly property alias loadValue: loadValue
    readonly property alias resolutionLabel: resolutionLabel
    readonly property alias gpuLabel: gpuLabel
    readonly property alias logView: logView
    readonly property alias pollTimer: pollTimer
    readonly property alias clearButton: clearButton
    readonly property alias benchmarkButton: benchmarkButton

    function fpsColor(level) {
        switch (level) {
        case "good": return Colors.liveGreen
        case "ok": return Colors.alertAmber
        case "none": return Colors.textSecondary
        default: return "#ef4444"
        }
    }

    function lineColor(kind) {
        switch (kind) {
        case "started": return Colors.liveGreen
        case "stopped": return Colors.accent
        case "lost":
        case "drops": return "#f87171"
        default: return "#94a3b8"
        }
    }

    // Replaces the list with the log's last lines and shows the newest.
    function refreshLogs() {
        const lines = root.logSource.getRecentLogEntries()
        if (MonitorTexts.sameEntries(lines, root.logLines))
            return
        root.logLines = lines
        logView.positionViewAtEnd()
        // Wrapped lines get their real height only once laid out; the first position used
        // estimates and could leave the newest line half hidden.
        // (The linter of Qt 6.4 takes Qt.callLater for a property, not a method.)
        Qt.callLater(logView.positionViewAtEnd) // qmllint disable type
    }

    function clearLogs() {
        root.logSource.clearLogFile()
        root.logLines = []
    }

    width: 620
    height: 560
    minimumWidth: 500
    minimumHeight: 450
    flags: Qt.FramelessWindowHint | Qt.Window
    title: "Studio Performance Monitor & Telemetry"
    color: Colors.backgroundDark

    onClosing: root.destroy()
    Component.onCompleted: root.refreshLogs()

    component FigureCard: Rectangle {
        id: card

        property string label
        property string icon
        property color iconColor: Colors.textPrimary
        default property alias valueContent: valueRow.data
        readonly property alias iconLabel: iconLabel

        Layout.fillWidth: true
        Layout.preferredHeight: 84
        radius: 6
        color: Colors.panelDark
        border.width: 1
        border.color: Colors.borderDark

        Column {
            anchors.left: parent.left
            anchors.right: iconCircle.left
            anchors.verticalCenter: parent.verticalCenter
            anchors.leftMargin: 14
            anchors.rightMargin: 8
            spacing: 6

            Text {
                width: parent.width
                text: card.label
                font: Typography.smallBold
                color: Colors.textSecondary
                elide: Text.ElideRight
            }

            Row {
                id: valueRow

                width: parent.width
                spacing: 6
            }
        }

        Rectangle {
            id: iconCircle

            anchors.right: parent.right
            anchors.rightMargin: 14
            anchors.verticalCenter: parent.verticalCenter
            width: 36
            height: 36
            radius: 18
            color: "#1e293b"

            Text {
                id: iconLabel

                anchors.centerIn: parent
                text: card.icon
                font.pixelSize: 16
                color: card.iconColor
            }
        }
    }

    component MonitorButton: DarkButton {
        id: button

        property string label
        property color labelColor: Colors.textPrimary

        Layout.preferredHeight: 34
        opacity: enabled ? 1.0 : 0.5

        Text {
            anchors.centerIn: parent
            text: button.label
            font: Typography.captionBold
            color: button.labelColor
        }
    }

    Timer {
        id: pollTimer

        interval: 1000
        repeat: true
        running: root.visible
        onTriggered: root.refreshLogs()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 1
        spacing: 0

        // Header: pressing its background moves the window.
        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 46
            color: Colors.panelDark

            MouseArea {
                anchors.fill: parent
                onPressed: root.startSystemMove()
            }

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 14
                anchors.rightMargin: 8
                spacing: 10

                Rectangle {
                    id: statusDot

                    readonly property bool pulsing: root.sessionState !== "idle"
                    // Set by the animation below; only read while pulsing.
                    property real pulseOpacity

                    Layout.preferredWidth: 10
                    Layout.preferredHeight: 10
                    radius: 5
                    opacity: pulsing ? pulseOpacity : 1.0
                    color: root.sessionState === "recording" ? Colors.recordingRed
                         : root.sessionState === "arming" ? Colors.accent : Colors.liveGreen

                    SequentialAnimation on pulseOpacity {
                        running: statusDot.pulsing
                        loops: Animation.Infinite
                        NumberAnimation { from: 0.2; to: 1.0; duration: 600; easing.type: Easing.InOutQuad }
                        NumberAnimation { from: 1.0; to: 0.2; duration: 600; easing.type: Easing.InOutQuad }
                    }
                }

                Text {
                    Layout.fillWidth: true
                    text: "STUDIO PERFORMANCE & TELEMETRY MONITOR"
                    font: Typography.bodyBold
                    color: Colors.textPrimary
                    elide: Text.ElideRight
                }

                Rectangle {
                    id: stateBadge

                    readonly property color tone: root.sessionState === "recording" ? Colors.recordingRed : Colors.liveGreen

                    Layout.preferredWidth: stateBadgeLabel.implicitWidth + 16
                    Layout.preferredHeight: 22
                    radius: 3
                    color: root.sessionState === "recording" ? "#450a0a"
                         : Qt.rgba(Colors.liveGreen.r, Colors.liveGreen.g, Colors.liveGreen.b, 0.12)
                    border.width: 1
                    border.color: tone

                    Text {
                        id: stateBadgeLabel

                        anchors.centerIn: parent
                        text: MonitorTexts.stateBadgeText(root.isRecording, root.isArming)
                        font: Typography.smallBold
                        color: stateBadge.tone
                    }
                }

                DarkButton {
                    Layout.preferredWidth: 30
                    Layout.preferredHeight: 30
                    onClicked: root.close()

                    Text {
                        anchors.centerIn: parent
                        text: "✕"
                        font.pixelSize: 13
                        color: Colors.textPrimary
                    }
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: Colors.borderDark
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.margins: 14
            spacing: 10

            GridLayout {
                Layout.fillWidth: true
                columns: 2
                columnSpacing: 10
                rowSpacing: 10

                FigureCard {
                    label: "FPS RATE"
                    icon: "🎞"
                    iconColor: root.fpsColor(root.fpsLevel)

                    Text {
                        id: fpsValue

                        text: root.measuredCameras === 0 ? "—" : Number(root.currentFps).toFixed(1)
                        font.pixelSize: 24
                        font.bold: true
                        color: root.fpsColor(root.fpsLevel)
                    }
                    Text {
                        anchors.baseline: fpsValue.baseline
                        text: "FPS"
                        font: Typography.captionBold
                        color: Colors.textSecondary
                    }
                }

                // "100% SYNC" only when every frame slot had a picture of its own: frames lost
                // show in red, frames repeated for want of a new picture in amber.
                FigureCard {
                    id: droppedCard

                    readonly property bool clean: root.frameSyncLevel === "clean"
                    readonly property bool repeatedOnly: root.frameSyncLevel === "repeated"
                    readonly property color tone: clean ? Colors.liveGreen : repeatedOnly ? Colors.alertAmber : "#ef4444"

                    label: "DROPPED FRAMES"
                    icon: clean ? "✓" : "⚠"
                    iconColor: tone

                    Text {
                        id: droppedValue

                        text: droppedCard.repeatedOnly ? root.repeatedFrames : root.droppedFrames
                        font.pixelSize: 24
                        font.bold: true
                        color: droppedCard.clean ? Colors.textPrimary : droppedCard.tone
                    }
                    Text {
                        id: droppedUnit

                        anchors.baseline: droppedValue.baseline
                        text: droppedCard.clean ? "100% SYNC" : droppedCard.repeatedOnly ? "REPEATED" : "DROPPED"
                        font: Typography.captionBold
                        color: droppedCard.tone
                    }
                }

                FigureCard {
                    label: "DISK WRITE SPEED"
                    icon: "💾"

                    Text {
                        id: diskValue

                        text: Number(root.diskWriteSpeedMBs).toFixed(1)
                        font.pixelSize: 24
                        font.bold: true
                        color: root.diskWriteSpeedMBs > 0 ? Colors.accent : Colors.textPrimary
                    }
                    Text {
                        anchors.baseline: diskValue.baseline
                        text: "MB/s"
                        font: Typography.captionBold
                        color: Colors.textSecondary
                    }
                }

                FigureCard {
                    label: "CPU & MEMORY LOAD"
                    icon: "⚙"

                    Text {
                        id: loadValue

                        width: parent.width
                        height: 30
                        verticalAlignment: Text.AlignVCenter
                        text: MonitorTexts.loadText(root.cpuUsage, root.ramUsage)
                        font.pixelSize: 16
                        font.weight: Font.DemiBold
                        // Shrinks, then takes a second line, rather than cut the memory figure off
                        // in a narrow window.
                        fontSizeMode: Text.Fit
                        wrapMode: Text.WordWrap
                        maximumLineCount: 2
                        minimumPixelSize: 10
                        color: Colors.textPrimary
                    }
                }
            }

            // Resolution and graphics adapter.
            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 32
                radius: 4
                color: "#0f172a"
                border.width: 1
                border.color: Colors.borderDark

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 12
                    anchors.rightMargin: 12
                    spacing: 12

                    Text {
                        id: resolutionLabel

                        Layout.fillWidth: true
                        text: "ACTIVE RESOLUTION: " + root.activeResolutionName
                        font: Typography.captionBold
                        color: Colors.textPrimary
                        elide: Text.ElideRight
                    }
                    Text {
                        id: gpuLabel

                        text: "GPU: " + MonitorTexts.shortGpuName(root.gpuInfo)
                        font: Typography.caption
                        color: Colors.textSecondary
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.topMargin: 4
                spacing: 8

                Text {
                    Layout.fillWidth: true
                    text: "LIVE TELEMETRY & LOG STREAM (perf_stats.log)"
                    font: Typography.captionBold
                    color: Colors.textSecondary
                    elide: Text.ElideRight
                }
                Text {
                    text: "Auto-saved to disk"
                    font: Typography.small
                    color: Colors.textMuted
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumHeight: 60
                radius: 4
                color: "#020617"
                border.width: 1
                border.color: Colors.borderDark

                ListView {
                    id: logView

                    // At its end when last scrolled: wrapped lines get their real height only
                    // once created, and the view follows the corrected height, so the newest
                    // line never ends half hidden below the edge.
                    property bool isAtEnd: true

                    onContentYChanged: isAtEnd = atYEnd
                    onContentHeightChanged: {
                        if (isAtEnd && !atYEnd)
                            Qt.callLater(positionViewAtEnd) // qmllint disable type
                    }

                    anchors.fill: parent
                    anchors.margins: 8
                    spacing: 3
                    clip: true
                    boundsBehavior: Flickable.StopAtBounds
                    model: root.logLines

                    ScrollBar.vertical: ScrollBar {
                        policy: ScrollBar.AsNeeded
                        contentItem: Rectangle {
                            implicitWidth: 6
                            radius: 3
                            color: Colors.borderLight
                        }
                    }

                    delegate: Text {
                        required property var modelData

                        width: ListView.view.width - 10
                        text: modelData.text
                        font.family: root.logFontFamily
                        font.pixelSize: 11
                        color: root.lineColor(modelData.kind)
                        wrapMode: Text.WrapAnywhere
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 8

                // A take and a benchmark would fight for the same CPU: no run while recording.
                // The holder stays enabled so its tooltip can say why the button is not.
                Item {
                    Layout.fillWidth: true
                    Layout.maximumWidth: 170
                    Layout.minimumWidth: 130
                    Layout.preferredHeight: 34
                    ToolTip.visible: benchmarkHover.hovered && root.isRecording
                    ToolTip.delay: 300
                    ToolTip.text: StatusTexts.tr(AppManager.currentLanguage,
                                                 "Not while recording: the benchmark would take the CPU the take needs.",
                                                 "Ne tokom snimanja: benchmark bi uzeo procesor koji je potreban snimku.")

                    HoverHandler {
                        id: benchmarkHover
                    }

                    MonitorButton {
                        id: benchmarkButton

                        anchors.fill: parent
                        enabled: !root.isRecording && !AppManager.isBenchmarking
                        label: "⚡ RUN BENCHMARK"
                        labelColor: Colors.accent
                        onClicked: AppManager.runHardwareBenchmark()
                    }
                }
                MonitorButton {
                    Layout.fillWidth: true
                    Layout.maximumWidth: 150
                    Layout.minimumWidth: 120
                    label: "📄 OPEN LOG FILE"
                    onClicked: root.logSource.openLogFile()
                }
                MonitorButton {
                    id: clearButton

                    Layout.fillWidth: true
                    Layout.maximumWidth: 110
                    Layout.minimumWidth: 95
                    label: "🗑 CLEAR LOG"
                    onClicked: root.clearLogs()
                }
                // The buttons give up their spare width before the window is too narrow for them.
                Item { Layout.fillWidth: true; Layout.preferredWidth: 0 }
                MonitorButton {
                    Layout.fillWidth: true
                    Layout.maximumWidth: 90
                    Layout.minimumWidth: 64
                    label: "CLOSE"
                    onClicked: root.close()
                }
            }
        }
    }

    // 1 px frame above the content.
    Rectangle {
        anchors.fill: parent
        color: "transparent"
        border.width: 1
        border.color: Colors.borderDark
        z: 1000
    }
}
