import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "Tint.js" as Tint

Rectangle {
    id: strip

    objectName: "channelStrip" + channelId
    required property int channelId
    required property string channelName
    required property real audioLevel
    required property real audioLevelRight
    property bool isMuted: false
    property bool isSolo: false
    property bool isSeparate: false
    property string inputName: ""
    property real volume: 1.0
    property int cameraLink: 0
    // What the channel hears ("Interface — In 3", "None") and how: "none", "waiting", "live", "lost".
    property string inputLabel: "None"
    property string audioState: "none"
    property real trimDb: 0
    property bool isLowCut: false
    readonly property bool isSR: AppManager.currentLanguage === "SR"
    // Short of room: the input selector folds away (the gear's settings have it too).
    property bool isFolded: false
    readonly property var inputDevices: AppManager.audioInputDevices
    // The channel's settings (the gear on its badge).
    readonly property alias settingsPopup: settingsPopup
    readonly property int inputIndex: Math.max(0, inputDevices.indexOf(inputName))

    function refresh() {
        isMuted = AppManager.isChannelAudioMuted(channelId)
        isSolo = AppManager.isChannelAudioSolo(channelId)
        isSeparate = AppManager.isChannelSeparateAudioEnabled(channelId)
        inputName = AppManager.getChannelAudioInput(channelId)
        inputLabel = AppManager.getChannelAudioInputLabel(channelId)
        audioState = AppManager.getChannelAudioStateForChannel(channelId)
        trimDb = AppManager.getChannelGainTrim(channelId)
        isLowCut = AppManager.isChannelLowCutEnabled(channelId)
        cameraLink = AppManager.getChannelCameraLink(channelId)
        if (!meter.isFaderPressed)
            volume = AppManager.getChannelAudioVolume(channelId)
    }

    function setVolume(v) {
        volume = v
        AppManager.setChannelAudioVolume(channelId, v)
    }

    width: 120
    color: Colors.panelDark
    border.width: 1
    border.color: Colors.borderDark
    radius: 3
    Component.onCompleted: refresh()

    Connections {
        target: AppManager
        function onChannelAudioStateChanged(channelId) {
            if (channelId === strip.channelId)
                strip.refresh()
        }
    }

    // Every row shown with the meter at its 140 px; and the least, folded with the meter at its
    // least.
    // (From the rows' own heights: the column's would change with the folding.)
    readonly property real comfortableHeight: 8 + badge.Layout.preferredHeight + inputSelector.Layout.preferredHeight
                                              + dbBox.implicitHeight + meter.Layout.preferredHeight
                                              + buttonRow.Layout.preferredHeight + 4 * stripColumn.spacing
    readonly property real minimumHeight: comfortableHeight - inputSelector.Layout.preferredHeight - stripColumn.spacing
                                          - meter.Layout.preferredHeight + meter.Layout.minimumHeight

    ColumnLayout {
        id: stripColumn

        anchors.fill: parent
        anchors.margins: 4
        spacing: 4

        Rectangle {
            id: badge

            objectName: "channelBadge"
            Layout.fillWidth: true
            Layout.preferredHeight: 20
            Layout.minimumHeight: 20
            radius: 2
            readonly property bool isLost: strip.audioState === "lost"
            readonly property bool isWaiting: strip.audioState === "waiting"

            color: isLost || strip.isMuted ? Tint.alpha(Colors.recRed, 0.2)
                 : strip.isSolo || isWaiting ? Tint.alpha(Colors.alertAmber, 0.2)
                 : Tint.alpha(Colors.borderStrong, 0.25)
            border.width: 1
            border.color: isLost || strip.isMuted ? Colors.recRed : strip.isSolo || isWaiting ? Colors.alertAmber : Colors.borderDark

            // A lost microphone first: its track is recording silence. A strip without an input
            // dims its name (its selector says "None").
            Text {
                objectName: "badgeText"
                anchors.centerIn: parent
                width: Math.min(implicitWidth, parent.width - 32)
                elide: Text.ElideRight
                text: badge.isLost ? (strip.isSR ? "IZGUBLJEN" : "MIC LOST")
                    : badge.isWaiting ? (strip.isSR ? "ČEKA ULAZ" : "WAITING")
                    : strip.isMuted ? "MUTED" : strip.isSolo ? "SOLO"
                    : strip.channelName.toUpperCase()
                font: Typography.captionBold
                color: badge.isLost || strip.isMuted ? Colors.recRed : strip.isSolo || badge.isWaiting ? Colors.alertAmber
                     : strip.audioState === "none" ? Colors.textMuted : Colors.textPrimary
            }

            Text {
                id: gear

                anchors.right: parent.right
                anchors.rightMargin: 4
                anchors.verticalCenter: parent.verticalCenter
                text: "⚙"
                font.pixelSize: 10
                color: Colors.textSecondary

                MouseArea {
                    anchors.fill: parent
                    anchors.margins: -4
                    cursorShape: Qt.PointingHandCursor
                    onClicked: settingsPopup.open()
                }
            }

            Popup {
                id: settingsPopup

                objectName: "channelSettings"
                x: badge.width + 4
                y: 0
                width: 260
                height: 380
                // Pushed back inside the window, as the drop-down lists are: beside a strip at
                // the window's right edge it would open mostly outside it.
                margins: 8
                padding: 12
                modal: true
                closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

                background: Rectangle {
                    color: Colors.backgroundDark
                    border.width: 1
                    border.color: Colors.borderDark
                    radius: 4
                }

                // The rows are the popup's children rather than its content item: they carry
                // ids, and a content item with ids cannot be created late.
                Column {
                    anchors.fill: parent
                    spacing: 12

                    Text {
                        text: strip.channelName + " Settings"
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }

                    Rectangle {
                        width: parent.width
                        height: 1
                        color: Colors.borderDark
                    }

                    Text {
                        text: "Physical Input"
                        font: Typography.caption
                        color: Colors.textSecondary
                    }

                    DarkComboBox {
                        width: parent.width
                        height: 28
                        font: Typography.caption
                        model: strip.inputDevices
                        currentIndex: strip.inputIndex
                        onActivated: index => AppManager.setAudioInputForChannel(strip.channelId, textAt(index))
                    }

                    Item {
                        width: parent.width
                        height: trimLabel.implicitHeight

                        Text {
                            id: trimLabel

                            text: "Gain Trim (dB)"
                            font: Typography.caption
                            color: Colors.textSecondary
                        }

                        Text {
                            objectName: "trimValue"
                            anchors.right: parent.right
                            text: (strip.trimDb > 0 ? "+" : "") + strip.trimDb.toFixed(1) + " dB"
                            font: Typography.captionBold
                            color: strip.trimDb !== 0 ? Colors.accent : Colors.textSecondary
                        }
                    }

                    // Before everything else: the channel's own recording, its meter and its fader.
                    Slider {
                        objectName: "trimSlider"
                        width: parent.width
                        height: 20
                        from: -20
                        to: 20
                        stepSize: 0.5
                        value: strip.trimDb
                        onMoved: AppManager.setChannelGainTrim(strip.channelId, value)
                    }

                    Switch {
                        id: lowCut

                        objectName: "lowCutSwitch"
                        text: "Low-Cut Filter (80Hz)"
                        checked: strip.isLowCut
                        onToggled: {
                            AppManager.setChannelLowCutEnabled(strip.channelId, checked)
                            checked = Qt.binding(() => strip.isLowCut)
                        }

                        contentItem: Text {
                            leftPadding: lowCut.indicator.width + lowCut.spacing
                            text: lowCut.text
                            font: Typography.caption
                            color: Colors.textPrimary
                            verticalAlignment: Text.AlignVCenter
                        }
                    }

                    Text {
                        text: "Camera Link Binding"
                        font: Typography.caption
                        color: Colors.textSecondary
                    }

                    DarkComboBox {
                        width: parent.width
                        height: 28
                        font: Typography.caption
                        model: ["None", "Camera 1 (V1)", "Camera 2 (V2)", "Camera 3 (V3)", "Camera 4 (V4)"]
                        currentIndex: strip.cameraLink
                        onActivated: index => AppManager.setChannelCameraLink(strip.channelId, index)
                    }

                    CheckBox {
                        id: separateCheck

                        text: "Separate Track (ISO REC)"
                        checked: strip.isSeparate
                        ToolTip.visible: hovered
                        ToolTip.delay: 300
                        ToolTip.text: strip.isSR ? "Sopstveni snimak kanala je pre fejdera: ulaz posle trima i low-cut filtera, bez fejdera, mute i solo."
                                                 : "The channel's own track is pre-fader: its input after trim and low cut, without fader, mute or solo."
                        onToggled: {
                            AppManager.setChannelSeparateAudioEnabled(strip.channelId, checked)
                            checked = Qt.binding(() => strip.isSeparate)
                        }

                        contentItem: Text {
                            leftPadding: separateCheck.indicator.width + separateCheck.spacing
                            text: separateCheck.text
                            font: Typography.captionBold
                            color: Colors.accent
                            verticalAlignment: Text.AlignVCenter
                        }
                    }

                    Item {
                        width: parent.width
                        height: 28

                        // Takes the microphone off the channel; it is then silent and says so.
                        DarkButton {
                            objectName: "removeInputButton"
                            anchors.left: parent.left
                            width: 120
                            height: 28
                            enabled: strip.audioState !== "none"
                            onClicked: AppManager.removeAudioInputFromChannel(strip.channelId)

                            Text {
                                anchors.centerIn: parent
                                text: strip.isSR ? "UKLONI ULAZ" : "REMOVE INPUT"
                                font: Typography.captionBold
                                color: parent.enabled ? Colors.recRed : Colors.textMuted
                            }
                        }

                        DarkButton {
                            anchors.right: parent.right
                            width: 70
                            height: 28
                            onClicked: settingsPopup.close()

                            Text {
                                anchors.centerIn: parent
                                text: "CLOSE"
                                font: Typography.captionBold
                                color: Colors.textPrimary
                            }
                        }
                    }
                }
            }
        }

        DarkComboBox {
            id: inputSelector

            objectName: "inputSelector"
            visible: !strip.isFolded
            Layout.fillWidth: true
            Layout.preferredHeight: 26
            Layout.minimumHeight: 26
            font: Typography.caption
            popupMinWidth: 320
            // "Interface — In 3": the inputs stay in view on a narrow strip.
            textElide: Text.ElideMiddle
            model: strip.inputDevices
            currentIndex: strip.inputIndex
            onActivated: index => AppManager.setAudioInputForChannel(strip.channelId, textAt(index))
            ToolTip.visible: hovered
            ToolTip.delay: 300
            ToolTip.text: strip.audioState === "none" ? (strip.isSR ? "Bez ulaza: kanal je nem." : "No input: the channel is silent.")
                        : strip.audioState === "lost" ? (strip.isSR ? strip.inputLabel + " je izgubljen; ponovo se povezuje sam."
                                                                  : strip.inputLabel + " is lost; it reconnects by itself.")
                        : strip.audioState === "waiting" ? (strip.isSR ? strip.inputLabel + " nije povezan; kanal ga čeka i uključuje ga čim se pojavi."
                                                                       : strip.inputLabel + " is not connected; the channel waits for it and opens it as soon as it appears.")
                        : strip.inputLabel
        }

        DbInputBox {
            id: dbBox

            Layout.alignment: Qt.AlignHCenter
            volumeValue: meter.faderValue
            isMuted: strip.isMuted
            onVolumeSet: newVolume => strip.setVolume(newVolume)
        }

        MixerMeterArea {
            id: meter

            volume: strip.volume
            isMuted: strip.isMuted
            levelLeft: strip.isMuted ? 0 : strip.audioLevel
            levelRight: strip.isMuted ? 0 : strip.audioLevelRight
            onMoved: value => strip.setVolume(value)
        }

        RowLayout {
            id: buttonRow

            Layout.fillWidth: true
            Layout.preferredHeight: 24
            Layout.minimumHeight: 24
            spacing: 4

            Rectangle {
                objectName: "muteButton"
                Layout.fillWidth: true
                Layout.fillHeight: true
                radius: 2
                color: strip.isMuted ? Tint.alpha(Colors.recRed, 0.25) : Colors.surfaceDark
                border.width: 1
                border.color: strip.isMuted ? Colors.recRed : Colors.borderDark

                SpeakerIcon {
                    anchors.centerIn: parent
                    color: strip.isMuted ? Colors.recRed : Colors.textSecondary
                    isCrossed: strip.isMuted
                }

                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: AppManager.setChannelAudioMute(strip.channelId, !strip.isMuted)
                }
            }

            MixerTextBox {
                objectName: "soloButton"
                Layout.preferredWidth: 24
                Layout.fillHeight: true
                label: "S"
                isOn: strip.isSolo
                litColor: Colors.alertAmber
                onClicked: AppManager.setChannelAudioSolo(strip.channelId, !strip.isSolo)
            }

            MixerTextBox {
                id: isoButton

                objectName: "separateButton"
                Layout.preferredWidth: 28
                Layout.fillHeight: true
                label: "ISO"
                labelFont: Typography.smallBold
                isOn: strip.isSeparate
                offTextColor: Colors.textMuted
                onClicked: AppManager.setChannelSeparateAudioEnabled(strip.channelId, !strip.isSeparate)
                ToolTip.visible: isHovered
                ToolTip.delay: 300
                ToolTip.text: strip.isSeparate
                              ? "Separate Track Recording: ON\n(Records both separate Channel audio file AND Master failsafe mix)\n"
                                + (strip.isSR ? "Sopstveni snimak je pre fejdera: trim i low-cut, bez fejdera, mute i solo."
                                              : "The channel file is pre-fader: trim and low cut only, no fader, mute or solo.")
                              : "Separate Track Recording: OFF\n(Audio mixed into Master failsafe only)"
            }

            MixerMonitorBox {
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
        }
    }
}
