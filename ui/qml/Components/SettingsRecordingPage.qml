import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Vireon
import "SettingsRules.js" as Rules

// The RECORDING page: output folder, session name, the recording lists, Broadcast WAV, the
// advanced quality grid and the hardware benchmark. The lists and their entries come from the
// back end, which keeps (and saves) the choices; below them, what the chosen encoder cannot do
// as set and what it does instead.
SettingsScrollPage {
    id: root

    readonly property var choices: AppManager.recordingChoices

    readonly property alias pathField: pathField
    readonly property alias sessionField: sessionField
    readonly property alias todayButton: todayButton
    readonly property alias resolutionBox: resolutionBox
    readonly property alias framerateBox: framerateBox
    readonly property alias encoderBox: encoderBox
    readonly property alias qualityBox: qualityBox
    readonly property alias formatBox: formatBox
    readonly property alias broadcastWavSwitch: broadcastWavSwitch
    readonly property alias cameraModeBox: cameraModeBox
    readonly property alias settingNotes: settingNotes
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

    FolderDialog {
        id: folderDialog

        title: "Select Recording Output Path"
        currentFolder: Rules.pathToFileUrl(AppManager.recordingPath)
        onAccepted: root.acceptFolder(String(selectedFolder))
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
                model: root.choices.resolutions
                currentIndex: Rules.clampIndex(AppManager.recordingResolutionIndex, count)
                onActivated: index => AppManager.recordingResolutionIndex = index
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
                model: root.choices.frameRates
                currentIndex: Rules.clampIndex(AppManager.recordingFramerateIndex, count)
                onActivated: index => AppManager.recordingFramerateIndex = index
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
                currentIndex: Rules.clampIndex(AppManager.recordingEncoderIndex, count)
                onActivated: index => AppManager.recordingEncoderIndex = index
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
                model: root.choices.qualityPresets
                currentIndex: Rules.clampIndex(AppManager.recordingQualityIndex, count)
                onActivated: index => AppManager.recordingQualityIndex = index
            }
        }
    }

    // What the chosen encoder does not do as set, and what it does instead.
    Column {
        id: settingNotes

        width: parent.width
        spacing: 2
        visible: AppManager.recordingSettingNotes.length > 0

        Repeater {
            model: AppManager.recordingSettingNotes

            delegate: Text {
                required property string modelData

                width: parent ? parent.width : 0
                text: "⚠ " + modelData
                font: Typography.small
                color: Colors.alertAmber
                wrapMode: Text.WordWrap
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
            model: root.choices.containers
            textRole: "name"
            currentIndex: AppManager.recordingFormatIndex
            onActivated: index => {
                // The arrow keys of a closed list can land on an unavailable entry, which the
                // back end refuses: the list goes back to what records.
                AppManager.recordingFormatIndex = index
                currentIndex = Qt.binding(() => AppManager.recordingFormatIndex)
            }
        }
    }

    // How cameras go into their files unless their channel chooses otherwise, and what each
    // way costs on disk.
    ColumnLayout {
        width: parent.width
        spacing: 6

        SettingsCaption { text: "Camera Recording (Default)" }

        DarkComboBox {
            id: cameraModeBox

            readonly property var keys: ["reencode", "camera"]

            Layout.fillWidth: true
            model: ["Re-encode (H.264/HEVC with the settings above)",
                    "Camera's own stream (MJPEG into MOV or MKV, H.264 into MP4)"]
            currentIndex: Math.max(0, keys.indexOf(AppManager.defaultCameraRecordingMode))
            onActivated: index => AppManager.defaultCameraRecordingMode = keys[index]
        }

        Text {
            objectName: "cameraModeCostText"
            Layout.fillWidth: true
            text: "Re-encoded: " + AppManager.recordingModeCostText("reencode")
                  + ". Camera stream: " + AppManager.recordingModeCostText("camera")
                  + ". The camera's stream needs almost no CPU; DaVinci Resolve, Premiere Pro and Final Cut Pro read MJPEG in MOV, VLC and Shotcut in MKV too."
            font: Typography.small
            color: Colors.textMuted
            wrapMode: Text.WordWrap
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
        onApplyRequested: AppManager.applyRecommendedSettings()
    }
}
