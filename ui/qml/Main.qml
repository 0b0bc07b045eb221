import QtQuick
import QtQuick.Window
import Vireon

// The main window. Frameless: the header bar moves it and the edge layer resizes it.
Window {
    id: root

    width: 1280
    height: 720
    minimumWidth: 1024
    minimumHeight: 640
    visible: true
    flags: Qt.FramelessWindowHint | Qt.Window
    title: "Vireon Studio 2.4.5b"
    color: Colors.backgroundDark

    // Live view of the four channels with their meters, until the monitoring grid and the
    // mixer panel take this place.
    Row {
        anchors.fill: parent
        anchors.margins: 10
        spacing: 10

        Grid {
            id: channelGrid

            width: parent.width - masterMeter.width - parent.spacing
            height: parent.height
            columns: 2
            spacing: 10

            Repeater {
                model: ChannelsModel

                Rectangle {
                    required property int channelId
                    required property string channelName
                    required property real audioLevel
                    required property real audioLevelRight

                    width: (channelGrid.width - channelGrid.spacing) / 2
                    height: (channelGrid.height - channelGrid.spacing) / 2
                    color: Colors.panelDark
                    border.width: AppManager.activeSourceId === channelId ? 2 : 1
                    border.color: AppManager.activeSourceId === channelId ? Colors.recRed : Colors.borderDark

                    VideoStreamItem {
                        anchors.fill: parent
                        anchors.margins: 2
                        anchors.rightMargin: 20
                        channelIndex: parent.channelId
                    }

                    Column {
                        anchors.right: parent.right
                        anchors.top: parent.top
                        anchors.bottom: parent.bottom
                        anchors.margins: 4
                        width: 12

                        Row {
                            height: parent.height
                            spacing: 2
                            Repeater {
                                model: [audioLevel, audioLevelRight]
                                Rectangle {
                                    required property real modelData
                                    width: 5
                                    height: parent.height
                                    color: Colors.surfaceDark
                                    Rectangle {
                                        anchors.bottom: parent.bottom
                                        width: parent.width
                                        height: parent.height * Math.min(1, parent.modelData)
                                        color: Colors.liveGreen
                                    }
                                }
                            }
                        }
                    }

                    Text {
                        anchors.left: parent.left
                        anchors.top: parent.top
                        anchors.margins: 8
                        text: parent.channelId + "  " + parent.channelName
                        color: Colors.textPrimary
                        font: Typography.captionBold
                    }

                    MouseArea {
                        anchors.fill: parent
                        onClicked: AppManager.activeSourceId = parent.channelId
                    }
                }
            }
        }

        Rectangle {
            id: masterMeter

            width: 24
            height: parent.height
            color: Colors.panelDark
            border.color: Colors.borderDark

            Row {
                anchors.fill: parent
                anchors.margins: 4
                spacing: 2
                Repeater {
                    model: [AppManager.masterAudioLevel, AppManager.masterAudioLevelRight]
                    Rectangle {
                        required property real modelData
                        width: 7
                        height: parent.height
                        color: Colors.surfaceDark
                        Rectangle {
                            anchors.bottom: parent.bottom
                            width: parent.width
                            height: parent.height * Math.min(1, parent.modelData)
                            color: Colors.accent
                        }
                    }
                }
            }
        }
    }
}
