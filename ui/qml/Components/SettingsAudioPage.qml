import QtQuick
import QtQuick.Layouts
import Vireon
import "SettingsRules.js" as Rules
import "Tint.js" as Tint

// The AUDIO page: master input and monitor output, separate tracks per source and live
// monitoring.
ColumnLayout {
    id: root

    readonly property alias inputBox: inputBox
    readonly property alias outputBox: outputBox
    readonly property alias separateCheck: separateCheck
    readonly property alias monitoringCheck: monitoringCheck

    spacing: 16

    Text {
        text: "Audio Engine & Recording Settings"
        font: Typography.heading3
        color: Colors.textPrimary
    }

    Rectangle {
        Layout.fillWidth: true
        Layout.preferredHeight: 120
        color: Colors.surfaceDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 4

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 14
            spacing: 10

            Text {
                text: "MASTER ROUTING"
                font: Typography.captionBold
                color: Colors.accent
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 20

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    spacing: 6

                    SettingsCaption {
                        Layout.fillWidth: true
                        text: "Master Input Device (Default / Fallback)"
                    }

                    DarkComboBox {
                        id: inputBox

                        Layout.fillWidth: true
                        model: AppManager.audioInputDevices
                        currentIndex: Rules.clampIndex(Rules.indexOfText(AppManager.audioInputDevices,
                                                                         AppManager.masterAudioDevice, 0), count)
                        onActivated: index => AppManager.masterAudioDevice = textAt(index)
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    spacing: 6

                    SettingsCaption {
                        Layout.fillWidth: true
                        text: "Master Output / Monitor Device"
                    }

                    DarkComboBox {
                        id: outputBox

                        Layout.fillWidth: true
                        model: AppManager.audioOutputDevices
                        currentIndex: Rules.clampIndex(Rules.indexOfText(AppManager.audioOutputDevices,
                                                                         AppManager.masterAudioOutputDevice, 0), count)
                        onActivated: index => AppManager.masterAudioOutputDevice = textAt(index)
                    }
                }
            }
        }
    }

    Rectangle {
        Layout.fillWidth: true
        Layout.preferredHeight: 110
        color: Colors.surfaceDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 4

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 14
            spacing: 8

            Text {
                text: "PODCAST PRODUCTION & ISOLATION"
                font: Typography.captionBold
                color: Colors.textPrimary
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.fillHeight: true
                spacing: 10

                Rectangle {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    radius: 4
                    color: AppManager.separateAudioRecordingEnabled ? Tint.alpha(Colors.accent, 0.15) : Colors.panelDark
                    border.width: 1
                    border.color: AppManager.separateAudioRecordingEnabled ? Colors.accent : Colors.borderDark

                    ColumnLayout {
                        anchors.fill: parent
                        anchors.leftMargin: 10
                        anchors.rightMargin: 10
                        spacing: 2

                        SettingsCheckBox {
                            id: separateCheck

                            Layout.fillWidth: true
                            text: "Record Separate Audio Tracks for Each Source"
                            font: Typography.bodyBold
                            shownChecked: AppManager.separateAudioRecordingEnabled
                            onCommitted: checked => AppManager.separateAudioRecordingEnabled = checked
                        }

                        Text {
                            Layout.fillWidth: true
                            Layout.leftMargin: 28
                            text: "Generates dedicated .wav files for each assigned microphone/source alongside the main master mix."
                            font: Typography.small
                            color: Colors.textSecondary
                            wrapMode: Text.WordWrap
                            maximumLineCount: 2
                            elide: Text.ElideRight
                        }
                    }
                }

                Rectangle {
                    Layout.preferredWidth: 180
                    Layout.fillHeight: true
                    radius: 4
                    color: AppManager.liveMonitoringEnabled ? Qt.rgba(0.2, 0.8, 0.3, 0.15) : Colors.panelDark
                    border.width: 1
                    border.color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.borderDark

                    ColumnLayout {
                        anchors.fill: parent
                        anchors.leftMargin: 10
                        anchors.rightMargin: 10
                        spacing: 2

                        SettingsCheckBox {
                            id: monitoringCheck

                            Layout.fillWidth: true
                            text: "Live Monitoring"
                            font: Typography.bodyBold
                            shownChecked: AppManager.liveMonitoringEnabled
                            onCommitted: checked => AppManager.liveMonitoringEnabled = checked
                        }

                        Text {
                            Layout.leftMargin: 28
                            text: AppManager.liveMonitoringEnabled ? "ACTIVE (Headphones)" : "MUTED"
                            font.family: Typography.family
                            font.pixelSize: 10
                            font.bold: true
                            color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.textMuted
                        }
                    }
                }
            }
        }
    }

    Item { Layout.fillHeight: true }
}
