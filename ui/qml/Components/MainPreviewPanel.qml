pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import Vireon
import "OutputWindow.js" as OutputWindow

// The large picture of the programme channel, with the recording and arming marks, the
// arming countdown over it, and the controls of the program output window.
Item {
    id: root

    readonly property int channelIndex: AppManager.activeSourceId
    property bool isRecording: AppManager.isRecording
    property bool isArming: AppManager.isArming
    property int countdownSeconds: AppManager.countdownSeconds
    // The linter of Qt 6.4 types Qt.application as the core application, which has no screens.
    readonly property int screenCount: Qt.application.screens.length // qmllint disable type
    // The program output window, created on the first press of the output button and kept.
    property var outputWindow: null
    readonly property bool isOutputShown: outputWindow !== null && outputWindow.visible
    readonly property int selectedDisplay: displaySelector.currentIndex

    function toggleOutput() {
        if (outputWindow === null) {
            var component = Qt.createComponent("PreviewOutput.qml")
            if (component.status !== Component.Ready) {
                console.log("PreviewOutput load error: " + component.errorString())
                return
            }
            outputWindow = component.createObject(null, { channelIndex: channelIndex,
                                                          displayIndex: selectedDisplay })
            if (outputWindow === null) {
                console.log("PreviewOutput load error: " + component.errorString())
                return
            }
        }
        if (outputWindow.visible) {
            outputWindow.closeOutput()
        } else {
            outputWindow.channelIndex = channelIndex
            outputWindow.openOutput(selectedDisplay)
        }
    }

    function closeOutputWindow() {
        if (isOutputShown)
            outputWindow.closeOutput()
    }

    onChannelIndexChanged: {
        if (isOutputShown)
            outputWindow.channelIndex = channelIndex
    }
    Component.onDestruction: {
        if (outputWindow !== null)
            outputWindow.destroy()
    }

    Rectangle {
        id: frame

        anchors.fill: parent
        anchors.margins: 4
        color: Colors.surfaceDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 3

        VideoStreamItem {
            anchors.fill: parent
            anchors.margins: 1
            channelIndex: root.channelIndex
        }

        Rectangle {
            objectName: "liveBadge"
            anchors.left: parent.left
            anchors.bottom: parent.bottom
            anchors.margins: 12
            visible: root.isRecording
            width: 52
            height: 22
            radius: 4
            color: Colors.recRed

            Text {
                anchors.centerIn: parent
                text: "LIVE"
                font: Typography.captionBold
                color: "white"
            }
        }

        Rectangle {
            objectName: "syncBadge"
            anchors.left: parent.left
            anchors.bottom: parent.bottom
            anchors.margins: 12
            visible: root.isArming
            width: 78
            height: 22
            radius: 4
            color: "#d97706"

            Text {
                anchors.centerIn: parent
                text: "SYNC " + root.countdownSeconds + "s"
                font: Typography.captionBold
                color: "white"
            }
        }

        Row {
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.margins: 10
            spacing: 8

            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "MAIN PREVIEW"
                font: Typography.captionBold
                color: Colors.textSecondary
            }

            ComboBox {
                id: displaySelector

                objectName: "displaySelector"
                anchors.verticalCenter: parent.verticalCenter
                visible: root.screenCount > 1
                width: 120
                height: 26
                font: Typography.caption
                model: OutputWindow.displayNames(root.screenCount)
                currentIndex: root.screenCount > 1 ? 1 : 0
                onActivated: index => {
                    if (root.outputWindow !== null)
                        root.outputWindow.displayIndex = index
                }

                background: Rectangle {
                    color: Colors.surfaceDark
                    border.width: 1
                    border.color: Colors.accent
                    radius: 2
                }

                contentItem: Text {
                    leftPadding: 8
                    text: displaySelector.displayText
                    font: displaySelector.font
                    color: Colors.accent
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                }
            }

            Rectangle {
                id: outputButton

                objectName: "outputButton"
                anchors.verticalCenter: parent.verticalCenter
                width: root.isOutputShown ? 110 : 90
                height: 26
                radius: 3
                color: root.isOutputShown ? Colors.recRed : Colors.accent
                opacity: outputArea.containsMouse ? 0.85 : 1.0

                Behavior on width { NumberAnimation { duration: 120 } }
                Behavior on color { ColorAnimation { duration: 120 } }

                Text {
                    objectName: "outputButtonText"
                    anchors.centerIn: parent
                    text: root.isOutputShown ? "HIDE OUTPUT" : "OUTPUT"
                    font: Typography.captionBold
                    color: root.isOutputShown ? "white" : Colors.backgroundDark
                }

                MouseArea {
                    id: outputArea

                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: root.toggleOutput()
                }
            }
        }

        // The arming countdown, over everything else in the panel.
        Rectangle {
            objectName: "armingOverlay"
            anchors.fill: parent
            visible: root.isArming
            color: Qt.rgba(0, 0, 0, 0.75)

            // Swallows clicks so the picture under the overlay cannot be used meanwhile.
            MouseArea {
                anchors.fill: parent
            }

            Column {
                anchors.centerIn: parent
                spacing: 16

                Rectangle {
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 100
                    height: 100
                    radius: 50
                    color: Qt.rgba(217 / 255, 119 / 255, 6 / 255, 0.25)
                    border.width: 3
                    border.color: "#f59e0b"

                    Text {
                        objectName: "countdownText"
                        anchors.centerIn: parent
                        text: root.countdownSeconds > 0 ? String(root.countdownSeconds) : "SYNC"
                        color: "#fbbf24"
                        font.family: "Segoe UI"
                        font.pixelSize: 46
                        font.bold: true
                    }
                }

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "LOCKSTEP SYNC BRIDGE"
                    font: Typography.heading1
                    color: "white"
                }

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Synchronizing hardware clocks & pre-warming video encoders..."
                    font: Typography.body
                    color: "#d1d5db"
                }

                Row {
                    anchors.horizontalCenter: parent.horizontalCenter
                    spacing: 10

                    Repeater {
                        objectName: "stepBars"
                        model: 3

                        Rectangle {
                            required property int index
                            readonly property bool isLit: 3 - index >= root.countdownSeconds

                            width: 32
                            height: 6
                            radius: 3
                            color: isLit ? "#f59e0b" : Qt.rgba(1, 1, 1, 0.2)
                        }
                    }
                }

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Click REC ALL button to Cancel"
                    font: Typography.caption
                    color: "#9ca3af"
                }
            }
        }
    }
}
