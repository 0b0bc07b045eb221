import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Vireon
import "SettingsRules.js" as Rules

// The RECORDING page: output folder, session name, the recording lists, Broadcast WAV, the
// advanced quality grid and the hardware benchmark. The lists show the window's stored positions; a position
// goes to the back end only when the operator picks an entry or applies the recommendation.
SettingsScrollPage {
    id: root

    // The "RecordingConfig" group: resolutionIndex, framerateIndex, encoderIndex, formatIndex,
    // qualityIndex.
    required property QtObject config

    // The container list: AVI cannot be written. Until the back end can say so itself, the
    // window knows it.
    readonly property var formatEntries: Rules.formatEntries(index =>
        typeof AppManager.isRecordingFormatAvailable === "function"
            ? AppManager.isRecordingFormatAvailable(index) : index !== 4)

    readonly property alias pathField: pathField
    readonly property alias sessionField: sessionField
    readonly property alias todayButton: todayButton
    readonly property alias resolutionBox: resolutionBox
    readonly property alias framerateBox: framerateBox
    readonly property alias encoderBox: encoderBox
    readonly property alias qualityBox: qualityBox
    readonly property alias formatBox: formatBox
    readonly property alias broadcastWavSwitch: broadcastWavSwitch
    readonly property alias advancedSwitch: advancedSwitch
    readonly property alias advancedGrid: advancedGrid
    readonly property alias benchmarkCard: benchmarkCard
    readonly property alias folderDialog: folderDialog

    // Stores the path of a folder the picker returned.
    function acceptFolder(url) {
        AppManager.recordingPath = Rules.folderUrlToPath(url)
    }

    function useTodaysDate() {
        AppManager.useDatedSessionName()
    }

    function pickFormat(index) {
        if (formatEntries[index].supported === false)
            return false
        config.formatIndex = index
        // The back end learns the container once it knows about containers.
        if (typeof AppManager.recordingFormatIndex === "number")
            AppManager.recordingFormatIndex = index
        return true
    }

    // Moves the four lists to the benchmark's recommendation and hands it to the back end:
    // encoder and quality here, resolution and frame rate by applyRecommendedSettings().
    function applyRecommended() {
        const positions = Rules.recommendedPositions({
            resolutionIndex: AppManager.recommendedResolutionIndex,
            framerateIndex: AppManager.recommendedFramerateIndex,
            encoderIndex: AppManager.recommendedEncoderIndex,
            qualityIndex: AppManager.recommendedQualityIndex
        }, encoderBox.count)
        config.resolutionIndex = positions.resolutionIndex
        config.framerateIndex = positions.framerateIndex
        config.encoderIndex = positions.encoderIndex
        config.qualityIndex = positions.qualityIndex
        AppManager.recordingEncoderIndex = positions.encoderIndex
        AppManager.recordingQualityIndex = positions.qualityIndex
        AppManager.applyRecommendedSettings()
    }

    FolderDialog {
        id: folderDialog

        title: "Select Recording Output Path"
        currentFolder: Rules.pathToFileUrl(AppManager.recordingPath)
        onAccepted: root.acceptFolder(selectedFolder.toString())
    }

    // 1. Output folder.
    ColumnLayout {
        width: parent.width
        spacing: 6

        SettingsCaption { text: "Recording Output Path" }

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            SettingsTextField {
                id: pathField

                objectName: "recordingPathField"
                Layout.fillWidth: true
                shownText: AppManager.recordingPath
                onCommitted: text => AppManager.recordingPath = text
            }

            SettingsTextButton {
                Layout.preferredWidth: 80
                Layout.preferredHeight: 36
                label: "BROWSE"
                labelColor: Colors.accent
                onClicked: folderDialog.open()
            }

            SettingsTextButton {
                objectName: "openOutputFolderButton"
                Layout.preferredWidth: 160
                Layout.preferredHeight: 36
                icon: "📁"
                label: "Open Output Folder"
                onClicked: Qt.openUrlExternally(Rules.pathToFileUrl(AppManager.recordingPath))
            }
        }
    }

    // 2. Session name.
    ColumnLayout {
        width: parent.width
        spacing: 6

        SettingsCaption { text: "Recording Session Name (Custom Name or Auto Date)" }

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            SettingsTextField {
                id: sessionField

                Layout.fillWidth: true
                shownText: AppManager.activeSessionName
                placeholderText: "e.g. Podcast_Episode_1 (or leave empty for auto date)"
                onCommitted: text => AppManager.setActiveSessionName(text)
            }

            SettingsTextButton {
                id: todayButton

                Layout.preferredWidth: 140
                Layout.preferredHeight: 36
                label: "USE TODAY'S DATE"
                onClicked: root.useTodaysDate()
            }
        }

        Text {
            Layout.fillWidth: true
            text: "ℹ️ Take Organization: When recording starts, Vireon automatically creates Take_01, Take_02, Take_03... folders inside the session folder."
            font: Typography.small
            color: Colors.textMuted
            wrapMode: Text.WordWrap
        }
    }

    // 3. Resolution and frame rate.
    RowLayout {
        width: parent.width
        spacing: 20

        ColumnLayout {
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            spacing: 6

            SettingsCaption { text: "Master Recording Resolution" }

            DarkComboBox {
                id: resolutionBox

                Layout.fillWidth: true
                model: ["3840x2160 (4K UHD)", "2560x1440 (2K QHD)", "1920x1080 (1080p FHD)",
                        "1280x720 (720p HD)", "640x480 (SD)"]
                currentIndex: Rules.clampIndex(root.config.resolutionIndex, count)
                onActivated: index => {
                    root.config.resolutionIndex = index
                    AppManager.recordingResolutionIndex = index
                }
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            spacing: 6

            SettingsCaption { text: "Global Framerate" }

            DarkComboBox {
                id: framerateBox

                Layout.fillWidth: true
                model: ["23.976 fps (Film / 24p NTSC)", "24.00 fps (Cinema Standard)",
                        "25.00 fps (PAL Broadcast)", "29.97 fps (NTSC Broadcast)",
                        "30.00 fps (Standard Web/Streaming)", "48.00 fps (HFR Cinema)",
                        "50.00 fps (PAL High Motion)", "59.94 fps (NTSC High Motion)",
                        "60.00 fps (60p High Framerate)", "120.00 fps (High Speed / Slomo)",
                        "Auto (Match Highest Camera FPS)"]
                currentIndex: Rules.clampIndex(root.config.framerateIndex, count)
                onActivated: index => {
                    root.config.framerateIndex = index
                    AppManager.recordingFramerateIndex = SettingsFrameRates.globalIndex(index)
                }
            }
        }
    }

    // 4. Encoder and quality.
    RowLayout {
        width: parent.width
        spacing: 20

        ColumnLayout {
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            spacing: 6

            SettingsCaption { text: "Video Encoder & Codec" }

            DarkComboBox {
                id: encoderBox

                Layout.fillWidth: true
                model: AppManager.encoderCapabilities
                textRole: "name"
                currentIndex: Rules.clampIndex(root.config.encoderIndex, count)
                onActivated: index => {
                    root.config.encoderIndex = index
                    AppManager.recordingEncoderIndex = index
                }
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            spacing: 6

            SettingsCaption { text: "Quality Preset" }

            DarkComboBox {
                id: qualityBox

                Layout.fillWidth: true
                model: ["Low (4 Mbps - Draft / Proxy)", "Medium (8 Mbps - Standard 1080p)",
                        "High (16 Mbps - Production 1080p60/4K)",
                        "Ultra (30 Mbps - Mastering / High Bitrate)",
                        "Lossless (CRF 0 - Archival Quality)"]
                currentIndex: Rules.clampIndex(root.config.qualityIndex, count)
                onActivated: index => {
                    root.config.qualityIndex = index
                    AppManager.recordingQualityIndex = index
                }
            }
        }
    }

    // 5. Container.
    ColumnLayout {
        width: parent.width
        spacing: 6

        SettingsCaption { text: "Recording Format (Container)" }

        DarkComboBox {
            id: formatBox

            Layout.fillWidth: true
            model: root.formatEntries
            textRole: "name"
            currentIndex: Rules.formatPosition(root.config.formatIndex, root.formatEntries)
            onActivated: index => {
                // The arrow keys of a closed list can land on an unavailable entry.
                if (!root.pickFormat(index))
                    currentIndex = Qt.binding(() => Rules.formatPosition(root.config.formatIndex, root.formatEntries))
            }
        }
    }

    // Broadcast WAV: the WAV files carry the take's timecode for the editor.
    ColumnLayout {
        width: parent.width
        spacing: 4

        SettingsSwitch {
            id: broadcastWavSwitch

            text: "Broadcast WAV (timecode for editors)"
            shownChecked: AppManager.broadcastWavEnabled
            onCommitted: checked => AppManager.broadcastWavEnabled = checked
        }

        Text {
            Layout.fillWidth: true
            leftPadding: 46
            text: "Every WAV file of a take starts at the take's timecode, so editors line the audio up with the cameras."
            font: Typography.small
            color: Colors.textMuted
            wrapMode: Text.WordWrap
        }
    }

    // 6. Advanced quality.
    ColumnLayout {
        width: parent.width
        spacing: 12

        SettingsSwitch {
            id: advancedSwitch

            text: "Unlock Advanced Quality Settings"
            shownChecked: AppManager.advancedQualityEnabled
            onCommitted: checked => AppManager.advancedQualityEnabled = checked
        }

        SettingsAdvancedQuality {
            id: advancedGrid

            Layout.fillWidth: true
            visible: AppManager.advancedQualityEnabled
        }
    }

    // 7. Benchmark.
    SettingsBenchmarkCard {
        id: benchmarkCard

        width: parent.width
        onApplyRequested: root.applyRecommended()
    }
}
