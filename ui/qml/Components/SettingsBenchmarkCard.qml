import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// The hardware card: what was detected, the benchmark button and, once a benchmark has
// finished, its summary and the button that applies its recommendation.
Rectangle {
    id: root

    readonly property bool accelerated: AppManager.hardwareSummary.indexOf("[AVAILABLE]") >= 0
    // A run in progress has a summary too ("Benchmarking encoders..."), but its recommendation
    // is not there yet.
    readonly property bool hasResult: AppManager.benchmarkSummary !== "" && !AppManager.isBenchmarking

    readonly property alias statusLabel: statusLabel
    readonly property alias benchmarkButton: benchmarkButton
    readonly property alias applyButton: applyButton
    readonly property alias resultBox: resultBox

    signal applyRequested()

    implicitHeight: column.implicitHeight + 28
    color: Colors.surfaceDark
    border.width: 1
    border.color: Colors.borderDark
    radius: 4

    ColumnLayout {
        id: column

        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: 14
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            Text {
                Layout.fillWidth: true
                text: "HARDWARE BENCHMARK & AUTO-OPTIMIZER"
                font: Typography.captionBold
                color: Colors.textPrimary
                elide: Text.ElideRight
            }

            Text {
                id: statusLabel

                text: root.accelerated ? "READY (HARDWARE ACCELERATED)" : "READY (CPU FALLBACK)"
                font: Typography.smallBold
                color: root.accelerated ? Colors.liveGreen : Colors.accent
            }
        }

        Text {
            Layout.fillWidth: true
            text: "GPU: " + AppManager.hardwareGpuInfo
            font: Typography.caption
            color: Colors.textSecondary
            wrapMode: Text.Wrap
        }

        Text {
            Layout.fillWidth: true
            text: "CPU: " + AppManager.hardwareCpuInfo
            font: Typography.caption
            color: Colors.textSecondary
            wrapMode: Text.Wrap
        }

        Text {
            Layout.fillWidth: true
            text: AppManager.hardwareSummary
            font: Typography.caption
            color: Colors.textSecondary
            wrapMode: Text.Wrap
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            // A take and a benchmark would fight for the same CPU: no run while recording. The
            // holder stays enabled so its tooltip can say why the button is not.
            Item {
                id: benchmarkHolder

                Layout.preferredWidth: 280
                Layout.preferredHeight: 34
                ToolTip.visible: benchmarkHover.hovered && AppManager.isRecording
                ToolTip.delay: 300
                ToolTip.text: StatusTexts.tr(AppManager.currentLanguage,
                                             "Not while recording: the benchmark would take the CPU the take needs.",
                                             "Ne tokom snimanja: benchmark bi uzeo procesor koji je potreban snimku.")

                HoverHandler {
                    id: benchmarkHover
                }

                SettingsTextButton {
                    id: benchmarkButton

                    anchors.fill: parent
                    enabled: !AppManager.isBenchmarking && !AppManager.isRecording
                    icon: "⚡"
                    iconColor: Colors.accent
                    label: AppManager.isBenchmarking ? "BENCHMARKING HARDWARE..." : "BENCHMARK HARDWARE & OPTIMIZE"
                    onClicked: AppManager.runHardwareBenchmark()
                }
            }

            Item { Layout.fillWidth: true }

            SettingsTextButton {
                id: applyButton

                Layout.preferredWidth: 210
                Layout.preferredHeight: 34
                visible: root.hasResult
                icon: "✓"
                iconColor: Colors.liveGreen
                label: "APPLY RECOMMENDED"
                onClicked: root.applyRequested()
            }
        }

        Rectangle {
            id: resultBox

            Layout.fillWidth: true
            Layout.preferredHeight: summaryText.implicitHeight + 20
            visible: AppManager.benchmarkSummary !== ""
            color: "#0f172a"
            border.width: 1
            border.color: "#334155"
            radius: 4

            Text {
                id: summaryText

                anchors.fill: parent
                anchors.margins: 10
                text: AppManager.benchmarkSummary
                font.family: "Consolas, Segoe UI, sans-serif"
                font.pixelSize: 11
                color: "#38bdf8"
                wrapMode: Text.Wrap
            }
        }
    }
}
