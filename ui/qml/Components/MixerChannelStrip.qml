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
    // Short of room: the input selector folds away (the gear's settings have it too).
    property bool isFolded: false
    readonly property var inputDevices: AppManager.audioInputDevices
    readonly property int inputIndex: Math.max(0, inputDevices.indexOf(inputName))

    function refresh() {
        isMuted = AppManager.isChannelAudioMuted(channelId)
        isSolo = AppManager.isChannelAudioSolo(channelId)
        isSeparate = AppManager.isChannelSeparateAudioEnabled(channelId)
        inputName = AppManager.getChannelAudioInput(channelId)
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
            color: strip.isMuted ? Tint.alpha(Colors.recRed, 0.2)
                 : strip.isSolo ? Tint.alpha(Colors.alertAmber, 0.2)
                 : Tint.alpha(Colors.borderStrong, 0.25)
            border.width: 1
            border.color: strip.isMuted ? Colors.recRed : strip.isSolo ? Colors.alertAmber : Colors.borderDark

            Text {
                objectName: "badgeText"
                anchors.centerIn: parent
                width: Math.min(implicitWidth, parent.width - 32)
                elide: Text.ElideRight
                text: strip.isMuted ? "MUTED" : strip.isSolo ? "SOLO" : strip.channelName.toUpperCase()
                font: Typography.captionBold
                color: strip.isMuted ? Colors.recRed : strip.isSolo ? Colors.alertAmber : Colors.textPrimary
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

                contentItem: Column {
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

                    Text {
                        text: "Gain Trim (dB)"
                        font: Typography.caption
                        color: Colors.textSecondary
                    }

                    // Not bound to the back end: it has no gain trim.
                    Slider {
                        width: parent.width
                        height: 20
                        from: -20
                        to: 20
                        value: 0
                    }

                    // Not bound to the back end: it has no low-cut filter.
                    Switch {
                        id: lowCut

                        text: "Low-Cut Filter (80Hz)"
                        checked: false

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
            model: strip.inputDevices
            currentIndex: strip.inputIndex
            onActivated: index => AppManager.setAudioInputForChannel(strip.channelId, textAt(index))
            ToolTip.visible: hovered
            ToolTip.delay: 300
            ToolTip.text: strip.inputName
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
                onColor: Colors.alertAmber
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
                              ? "Separate Track Recording: ON\n(Records both separate Channel audio file AND Master failsafe mix)"
                              : "Separate Track Recording: OFF\n(Audio mixed into Master failsafe only)"
            }

            MixerMonitorBox {
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
        }
    }
}
