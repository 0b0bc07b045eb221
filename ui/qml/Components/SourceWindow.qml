import QtQuick
import Vireon
import "StatusTexts.js" as StatusTexts
import "Tint.js" as Tint

// One monitoring tile: the live picture of a channel, its label and hotkey, the buttons
// to configure or remove its camera, and its ISO and STORE flags. A click on the picture
// makes the channel the programme source.
Rectangle {
    id: root

    property int channelIndex: 0
    property string channelName: ""
    property bool isRecording: false
    property bool isIsoEnabled: false
    property bool isStorageEnabled: false
    property string keyName: ""
    // The camera's state ("live", "lost", "reconnecting", "waiting", "off") and how it runs
    // (while waiting: the name of the camera it waits for); whether it runs as asked (else the
    // format names what was asked).
    property string sourceState: "off"
    property string sourceFormat: ""
    property bool isFormatAsAsked: true
    readonly property bool isCameraMissing: sourceState === "lost" || sourceState === "reconnecting"
                                            || sourceState === "waiting"
    readonly property var status: StatusTexts.tileStatus(isRecording, isActiveOutput, sourceState, isStorageEnabled,
                                                         AppManager.currentLanguage)
    // The size the camera is recorded at where it is not the master resolution.
    readonly property string recordedSizeNote: AppManager.recordingResolutionIndex >= 0 && sourceFormat !== ""
                                               && AppManager.currentLanguage !== ""
                                               ? AppManager.getRecordedSizeNoteForChannel(channelIndex) : ""
    // What the back end finds wrong with the camera's rate and this take's frames ("24.3 fps ·
    // 3 repeated"): shown only when something is, so a healthy tile stays quiet.
    property string healthText: ""
    readonly property bool isActiveOutput: AppManager.activeSourceId === channelIndex
    // Animated between 2 and 3 px while the tile is the programme output.
    property real pulseWidth: 2

    // The window opens the source configuration dialog for it.
    signal openSourceConfig(int channelId, bool editMode)

    // Reads the channel's state from the model; the model announces every change of it
    // through dataChanged, which calls this again.
    function refresh() {
        channelName = ChannelsModel.getChannelName(channelIndex)
        isRecording = ChannelsModel.isChannelRecording(channelIndex)
        isIsoEnabled = ChannelsModel.isIsoEnabled(channelIndex)
        isStorageEnabled = ChannelsModel.isStorageEnabled(channelIndex)
        sourceState = ChannelsModel.getSourceState(channelIndex)
        sourceFormat = ChannelsModel.getSourceFormat(channelIndex)
        isFormatAsAsked = ChannelsModel.isSourceFormatAsAsked(channelIndex)
        // A map, whose keys the linter of Qt 6.4 does not know.
        healthText = ChannelsModel.getSourceHealth(channelIndex).trouble || "" // qmllint disable type
        refreshKeyName()
    }

    function refreshKeyName() {
        keyName = channelIndex >= 1 ? AppManager.getSourceKeyName(channelIndex - 1) : ""
    }

    // Removes the channel's camera; the back end moves the programme off it (as for the phone).
    function removeCamera() {
        AppManager.removeChannelSource(channelIndex)
    }

    color: Colors.surfaceDark
    radius: 3
    clip: true
    border.width: isActiveOutput ? pulseWidth : isRecording ? 2 : 1
    border.color: isActiveOutput || isRecording ? Colors.recRed : Colors.borderDark

    onChannelIndexChanged: refresh()
    Component.onCompleted: refresh()

    SequentialAnimation {
        running: root.isActiveOutput
        loops: Animation.Infinite
        onStopped: root.pulseWidth = 2

        NumberAnimation { target: root; property: "pulseWidth"; from: 2; to: 3; duration: 600; easing.type: Easing.InOutSine }
        NumberAnimation { target: root; property: "pulseWidth"; from: 3; to: 2; duration: 600; easing.type: Easing.InOutSine }
    }

    Connections {
        target: ChannelsModel
        function onDataChanged() { root.refresh() }
        function onModelReset() { root.refresh() }
    }

    Connections {
        target: AppManager
        function onKeybindsChanged() { root.refreshKeyName() }
    }

    component IconButton: Rectangle {
        id: iconButton

        property string glyph
        property int glyphSize: 13
        property bool glyphBold: false
        property color hoverColor: Colors.accent
        readonly property bool isHovered: iconArea.containsMouse

        signal clicked()

        width: 26
        height: 24
        radius: 3
        color: isHovered ? Tint.alpha(hoverColor, 0.25) : Colors.panelDark
        border.width: 1
        border.color: isHovered ? hoverColor : Colors.borderDark

        Text {
            anchors.centerIn: parent
            text: iconButton.glyph
            font.pixelSize: iconButton.glyphSize
            font.bold: iconButton.glyphBold
            color: iconButton.isHovered ? iconButton.hoverColor : Colors.textSecondary
        }

        MouseArea {
            id: iconArea

            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: iconButton.clicked()
        }
    }

    component FlagBox: Row {
        id: flagBox

        property string label
        property bool checked: false
        property color litColor: Colors.accent

        signal toggled(bool checked)

        spacing: 6

        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            width: 16
            height: 16
            radius: 3
            color: flagBox.checked ? flagBox.litColor : Colors.panelDark
            border.width: 1
            border.color: flagBox.checked ? flagBox.litColor : Colors.borderDark

            Rectangle {
                anchors.centerIn: parent
                width: 6
                height: 6
                radius: 1
                color: "white"
                visible: flagBox.checked
            }
        }

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: flagBox.label
            font: Typography.captionBold
            color: flagBox.checked ? Colors.textPrimary : Colors.textMuted
        }

        TapHandler {
            cursorShape: Qt.PointingHandCursor
            onTapped: flagBox.toggled(!flagBox.checked)
        }
    }

    Column {
        anchors.fill: parent

        Item {
            id: pictureArea

            width: parent.width
            height: parent.height - controlsBar.height

            VideoStreamItem {
                anchors.fill: parent
                anchors.margins: 2
                channelIndex: root.channelIndex
            }

            Rectangle {
                anchors.fill: parent
                visible: root.isActiveOutput
                color: Colors.recRed
                opacity: 0.06
            }

            Rectangle {
                objectName: "programBadge"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 8
                visible: root.isActiveOutput
                width: programText.implicitWidth + 20
                height: 22
                radius: 3
                color: Tint.alpha(Colors.recRed, 0.92)

                Text {
                    id: programText

                    anchors.centerIn: parent
                    text: "PROGRAM OUT"
                    font: Typography.captionBold
                    color: "white"
                }
            }

            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: AppManager.activeSourceId = root.channelIndex
            }

            // The camera is gone or coming back: the picture is its last one, frozen.
            Rectangle {
                objectName: "cameraStateBadge"
                anchors.centerIn: parent
                visible: root.isCameraMissing
                width: cameraStateText.implicitWidth + 24
                height: 28
                radius: 3
                color: Tint.alpha(root.sourceState === "lost" ? Colors.recRed : Colors.alertAmber, 0.92)

                Text {
                    id: cameraStateText

                    anchors.centerIn: parent
                    text: root.sourceState === "lost"
                          ? (AppManager.currentLanguage === "SR" ? "⚠ KAMERA IZGUBLJENA" : "⚠ CAMERA LOST")
                          : root.sourceState === "waiting"
                          ? (AppManager.currentLanguage === "SR" ? "ČEKA NA " : "WAITING FOR ") + root.sourceFormat
                          : (AppManager.currentLanguage === "SR" ? "PONOVNO POVEZIVANJE…" : "RECONNECTING…")
                    font: Typography.captionBold
                    color: "white"
                }
            }

            // Below the target rate, or frames lost or repeated in this take.
            // Beside the name, where even the short tiles of a small window have room.
            Rectangle {
                objectName: "cameraHealthBadge"
                x: nameBox.x + nameBox.width + 6
                y: 10
                visible: root.healthText !== "" && !root.isCameraMissing && width > 40
                width: Math.min(healthLabel.implicitWidth + 12, parent.width - x - 76)
                height: 20
                radius: 3
                color: Tint.alpha(Colors.alertAmber, 0.9)

                Text {
                    id: healthLabel

                    anchors.fill: parent
                    anchors.leftMargin: 6
                    anchors.rightMargin: 6
                    verticalAlignment: Text.AlignVCenter
                    text: root.healthText
                    elide: Text.ElideRight
                    font: Typography.captionBold
                    color: "black"
                }
            }

            Rectangle {
                id: nameBox

                x: 8
                y: 8
                width: labelRow.implicitWidth + 16
                height: 24
                radius: 3
                color: root.isActiveOutput ? Colors.recRed : Colors.panelDark
                border.width: 1
                border.color: root.isActiveOutput ? Colors.recRed : Colors.borderDark

                Behavior on color { ColorAnimation { duration: 150 } }

                Row {
                    id: labelRow

                    anchors.centerIn: parent
                    spacing: 6

                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: root.channelName
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }

                    Rectangle {
                        objectName: "keyPill"
                        anchors.verticalCenter: parent.verticalCenter
                        visible: root.keyName !== ""
                        width: keyText.implicitWidth + 6
                        height: 16
                        radius: 2
                        color: root.isActiveOutput ? "white" : Tint.alpha(Colors.accent, 0.2)
                        border.width: root.isActiveOutput ? 0 : 1
                        border.color: Colors.accent

                        Text {
                            id: keyText

                            anchors.centerIn: parent
                            text: root.keyName
                            font.family: "Consolas, Segoe UI"
                            font.pixelSize: 9
                            font.bold: true
                            color: root.isActiveOutput ? Colors.recRed : Colors.accent
                        }
                    }
                }
            }

            Row {
                anchors.top: parent.top
                anchors.right: parent.right
                anchors.margins: 8
                spacing: 6

                IconButton {
                    objectName: "configButton"
                    glyph: "⚙"
                    onClicked: root.openSourceConfig(root.channelIndex, true)
                }

                IconButton {
                    objectName: "removeButton"
                    glyph: "✕"
                    glyphSize: 11
                    glyphBold: true
                    hoverColor: Colors.recRed
                    onClicked: root.removeCamera()
                }
            }
        }

        Item {
            id: controlsBar

            width: parent.width
            height: 30

            Row {
                anchors.left: parent.left
                anchors.leftMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8

                FlagBox {
                    objectName: "isoBox"
                    label: "ISO"
                    checked: root.isIsoEnabled
                    // The channel's audio on a WAV track of its own.
                    onToggled: checked => AppManager.setChannelSeparateAudioEnabled(root.channelIndex, checked)
                }

                FlagBox {
                    objectName: "storeBox"
                    label: "STORE"
                    litColor: Colors.liveGreen
                    checked: root.isStorageEnabled
                    // The camera recorded into a file of its own.
                    onToggled: checked => AppManager.setChannelCameraRecorded(root.channelIndex, checked)
                }
            }

            // How the camera runs; amber when it did not grant what was asked.
            Text {
                objectName: "formatText"
                anchors.left: parent.left
                anchors.leftMargin: 130
                anchors.right: statusText.left
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                horizontalAlignment: Text.AlignRight
                text: root.sourceState === "waiting" ? ""
                      : root.recordedSizeNote !== "" ? root.sourceFormat + " · " + root.recordedSizeNote
                      : root.sourceFormat
                font: Typography.caption
                color: root.isFormatAsAsked ? Colors.textSecondary : Colors.alertAmber
                elide: Text.ElideRight
            }

            Text {
                id: statusText

                objectName: "statusText"
                anchors.right: parent.right
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                text: root.status.text
                font: Typography.caption
                color: root.status.look === "rec" || root.status.look === "programme" || root.status.look === "lost"
                       ? Colors.recRed
                       : root.status.look === "waiting" ? Colors.alertAmber
                       : root.status.look === "ready" ? Colors.liveGreen : Colors.textMuted
            }
        }
    }
}
