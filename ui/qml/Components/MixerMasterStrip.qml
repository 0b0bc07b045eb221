import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "Tint.js" as Tint

Rectangle {
    id: masterStrip

    // The fader's value; the back end offers no change signal for the master volume, so
    // the strip keeps what it last set.
    property real volume: AppManager.masterAudioVolume()
    // Short of room: the bus label folds away, as the channel strips' input selectors do.
    property bool isFolded: false
    // Every row shown with the meter at its 140 px; and the least, folded with the meter at its
    // least.
    // (From the rows' own heights: the column's would change with the folding.)
    readonly property real comfortableHeight: 8 + masterBadge.Layout.preferredHeight + busLabel.Layout.preferredHeight
                                              + dbBox.implicitHeight + masterMeter.Layout.preferredHeight
                                              + buttonRow.Layout.preferredHeight + 4 * stripColumn.spacing
    readonly property real minimumHeight: comfortableHeight - busLabel.Layout.preferredHeight - stripColumn.spacing
                                          - masterMeter.Layout.preferredHeight + masterMeter.Layout.minimumHeight

    function setVolume(v) {
        volume = v
        AppManager.setMasterAudioVolume(v)
    }

    width: 120
    color: Colors.panelDark
    border.width: 1
    border.color: Colors.borderDark
    radius: 3

    ColumnLayout {
        id: stripColumn

        anchors.fill: parent
        anchors.margins: 4
        spacing: 4

        Rectangle {
            id: masterBadge

            Layout.fillWidth: true
            Layout.preferredHeight: 18
            Layout.minimumHeight: 18
            radius: 2
            color: Tint.alpha(Colors.accent, 0.15)
            border.width: 1
            border.color: Colors.accent

            Text {
                anchors.centerIn: parent
                text: "MASTER"
                font: Typography.captionBold
                color: Colors.accent
            }
        }

        Rectangle {
            id: busLabel

            Layout.fillWidth: true
            Layout.preferredHeight: 30
            Layout.minimumHeight: 30
            visible: !masterStrip.isFolded
            radius: 3
            color: Colors.surfaceDark
            border.width: 1
            border.color: Colors.borderDark
            ToolTip.visible: busArea.containsMouse
            ToolTip.delay: 300
            ToolTip.text: "Master Program Mix (Failsafe Bus): Sums all assigned channels. Always recorded to Master_Audio_Output.wav."

            Row {
                anchors.centerIn: parent
                spacing: 4

                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 6
                    height: 6
                    radius: 3
                    color: Colors.liveGreen
                }

                // Two lines where the installed font is wider than Segoe UI, never a smaller font.
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, masterStrip.width - 8 - 10 - 10)
                    text: "PROGRAM MIX (FAILSAFE)"
                    font: Typography.smallBold
                    wrapMode: Text.WordWrap
                    maximumLineCount: 2
                    lineHeight: 0.95
                    horizontalAlignment: Text.AlignHCenter
                    color: Colors.textSecondary
                }
            }

            MouseArea {
                id: busArea

                anchors.fill: parent
                hoverEnabled: true
            }
        }

        DbInputBox {
            id: dbBox

            Layout.alignment: Qt.AlignHCenter
            volumeValue: masterMeter.faderValue
            onVolumeSet: newVolume => masterStrip.setVolume(newVolume)
        }

        MixerMeterArea {
            id: masterMeter

            volume: masterStrip.volume
            levelLeft: AppManager.masterAudioLevel
            levelRight: AppManager.masterAudioLevelRight
            onMoved: value => masterStrip.setVolume(value)
        }

        RowLayout {
            id: buttonRow

            Layout.fillWidth: true
            Layout.preferredHeight: 24
            Layout.minimumHeight: 24
            spacing: 4

            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                radius: 2
                color: Colors.surfaceDark
                border.width: 1
                border.color: Colors.borderDark

                SpeakerIcon {
                    anchors.centerIn: parent
                }
            }

            MixerMonitorBox {
                Layout.fillWidth: true
                Layout.fillHeight: true
                litOpacity: 0.2
            }
        }
    }
}
