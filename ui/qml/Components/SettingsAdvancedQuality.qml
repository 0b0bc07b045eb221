import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "SettingsRules.js" as Rules

// The advanced quality grid: rate control, bitrates, GOP, profile, lookahead and colour. The
// lists and what a typed number means (0 or no number: the setting's default) are the back
// end's.
GridLayout {
    id: root

    readonly property var choices: AppManager.recordingChoices
    readonly property string mode: AppManager.rateControlMode
    readonly property bool isCqp: mode === "CQP"
    readonly property bool isVbr: mode === "VBR"

    readonly property alias rateControlBox: rateControlBox
    readonly property alias targetField: targetField
    readonly property alias targetCaption: targetCaption
    readonly property alias maxBitrateField: maxBitrateField
    readonly property alias maxBitrateCaption: maxBitrateCaption
    readonly property alias keyframeField: keyframeField
    readonly property alias bFramesField: bFramesField
    readonly property alias profileBox: profileBox
    readonly property alias lookaheadSwitch: lookaheadSwitch
    readonly property alias colorSpaceBox: colorSpaceBox
    readonly property alias colorRangeBox: colorRangeBox

    columns: 2
    columnSpacing: 20
    rowSpacing: 12

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            text: "Rate Control"
            font: Typography.caption
            color: Colors.textSecondary
        }

        DarkComboBox {
            id: rateControlBox

            Layout.fillWidth: true
            model: root.choices.rateControlModes
            currentIndex: Rules.indexOfText(root.choices.rateControlModes, root.mode, 0)
            onActivated: index => AppManager.rateControlMode = root.choices.rateControlModes[index]
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            id: targetCaption

            text: root.isCqp ? "CQP Level (1-51)" : "Target Bitrate (Kbps)"
            font: Typography.caption
            color: root.isCqp ? Colors.accent : Colors.textSecondary
        }

        SettingsTextField {
            id: targetField

            Layout.fillWidth: true
            shownText: AppManager.targetFieldText
            onCommitted: text => AppManager.setRecordingSettingFromText("targetBitrateKbps", text)
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            id: maxBitrateCaption

            text: "Max Bitrate (Kbps)"
            font: Typography.caption
            color: root.isVbr ? Colors.textSecondary : "#555555"
        }

        SettingsTextField {
            id: maxBitrateField

            Layout.fillWidth: true
            enabled: root.isVbr
            fillColor: enabled ? Colors.surfaceDark : "#111111"
            shownText: String(AppManager.maxBitrateKbps)
            onCommitted: text => AppManager.setRecordingSettingFromText("maxBitrateKbps", text)
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            text: "Keyframe Interval (s)"
            font: Typography.caption
            color: Colors.textSecondary
        }

        SettingsTextField {
            id: keyframeField

            Layout.fillWidth: true
            shownText: String(AppManager.keyframeInterval)
            onCommitted: text => AppManager.setRecordingSettingFromText("keyframeInterval", text)
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            text: "B-Frames"
            font: Typography.caption
            color: Colors.textSecondary
        }

        SettingsTextField {
            id: bFramesField

            Layout.fillWidth: true
            shownText: String(AppManager.bFrames)
            onCommitted: text => AppManager.setRecordingSettingFromText("bFrames", text)
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            text: "Encoder Profile"
            font: Typography.caption
            color: Colors.textSecondary
        }

        DarkComboBox {
            id: profileBox

            Layout.fillWidth: true
            model: root.choices.encoderProfiles
            currentIndex: Rules.indexOfText(root.choices.encoderProfiles, AppManager.encoderProfile, 2)
            onActivated: index => AppManager.encoderProfile = root.choices.encoderProfiles[index]
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            text: "Lookahead"
            font: Typography.caption
            color: Colors.textSecondary
        }

        SettingsSwitch {
            id: lookaheadSwitch

            Layout.preferredHeight: 36
            shownChecked: AppManager.lookaheadEnabled
            onCommitted: checked => AppManager.lookaheadEnabled = checked
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            text: "Color Space"
            font: Typography.caption
            color: Colors.textSecondary
        }

        DarkComboBox {
            id: colorSpaceBox

            Layout.fillWidth: true
            model: root.choices.colorSpaces
            currentIndex: Rules.indexOfText(root.choices.colorSpaces, AppManager.colorSpace, 1)
            onActivated: index => AppManager.colorSpace = root.choices.colorSpaces[index]
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        spacing: 6

        Text {
            text: "Color Range"
            font: Typography.caption
            color: Colors.textSecondary
        }

        DarkComboBox {
            id: colorRangeBox

            Layout.fillWidth: true
            model: root.choices.colorRanges
            currentIndex: Rules.indexOfText(root.choices.colorRanges, AppManager.colorRange, 0)
            onActivated: index => AppManager.colorRange = root.choices.colorRanges[index]
        }
    }
}
