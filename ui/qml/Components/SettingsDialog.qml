pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Window
import Vireon
import "StatusTexts.js" as StatusTexts

// The settings window: recording, sources, audio and system pages. Every control acts on the
// back end at once, which keeps the settings (and saves them shortly after each change);
// "SAVE SETTINGS" saves them now and closes the window. The header bar creates it once and
// shows it again, so the page shown lasts for the run.
Window {
    id: root

    // The page shown: 0 recording, 1 sources, 2 audio, 3 system.
    property int currentCategoryIndex: 0

    readonly property alias recordingPage: recordingPage
    readonly property alias sourcesPage: sourcesPage
    readonly property alias audioPage: audioPage
    readonly property alias systemPage: systemPage
    readonly property alias tabRepeater: tabRepeater
    readonly property alias saveButton: saveButton
    readonly property alias closeButton: closeButton

    width: 680
    height: 720
    flags: Qt.FramelessWindowHint | Qt.Window
    title: "Program Settings"
    color: Colors.backgroundDark

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 50
            color: Colors.panelDark

            MouseArea {
                anchors.fill: parent
                onPressed: root.startSystemMove()
            }

            Text {
                anchors.left: parent.left
                anchors.leftMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                text: "SETTINGS"
                font: Typography.heading2
                color: Colors.textPrimary
            }

            DarkButton {
                id: closeButton

                objectName: "closeButton"
                anchors.right: parent.right
                anchors.rightMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                width: 40
                height: 32
                onClicked: root.close()

                Text {
                    anchors.centerIn: parent
                    text: "✕"
                    font.pixelSize: 14
                    color: Colors.textSecondary
                }
            }

            Rectangle {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                height: 1
                color: Colors.borderDark
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 34
            Layout.leftMargin: 20
            Layout.rightMargin: 20
            Layout.topMargin: 12
            Layout.bottomMargin: 6
            color: Colors.panelDark
            border.width: 1
            border.color: Colors.borderDark
            radius: 4

            RowLayout {
                anchors.fill: parent
                anchors.margins: 2
                spacing: 3

                Repeater {
                    id: tabRepeater

                    model: [
                        { icon: "📹", name: "RECORDING" },
                        { icon: "🖥", name: "SOURCES" },
                        { icon: "🎙", name: "AUDIO" },
                        { icon: "⚙", name: "SYSTEM" }
                    ]

                    delegate: Rectangle {
                        id: tab

                        objectName: modelData.name.toLowerCase() + "Tab"
                        required property var modelData
                        required property int index
                        readonly property bool selected: root.currentCategoryIndex === index
                        readonly property bool hovered: tabMouse.containsMouse

                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.preferredWidth: 1
                        radius: 3
                        color: selected ? Colors.surfaceDark
                             : hovered ? Qt.rgba(1, 1, 1, 0.05) : "transparent"
                        border.width: selected || hovered ? 1 : 0
                        border.color: selected ? Colors.accent : Colors.borderLight

                        Row {
                            anchors.centerIn: parent
                            spacing: 6

                            Text {
                                anchors.verticalCenter: parent.verticalCenter
                                text: tab.modelData.icon
                                font.pixelSize: 11
                                color: Colors.textPrimary
                                opacity: tab.selected ? 1.0 : tab.hovered ? 0.8 : 0.5
                            }

                            Text {
                                anchors.verticalCenter: parent.verticalCenter
                                text: tab.modelData.name
                                font: Typography.captionBold
                                color: tab.selected ? Colors.accent
                                     : tab.hovered ? Colors.textPrimary : Colors.textSecondary
                            }
                        }

                        MouseArea {
                            id: tabMouse

                            anchors.fill: parent
                            hoverEnabled: true
                            onClicked: root.currentCategoryIndex = tab.index
                        }
                    }
                }
            }
        }

        StackLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.leftMargin: 20
            Layout.rightMargin: 20
            Layout.topMargin: 6
            Layout.bottomMargin: 20
            currentIndex: root.currentCategoryIndex
            clip: true

            SettingsRecordingPage {
                id: recordingPage
            }

            SettingsSourcesPage {
                id: sourcesPage
            }

            SettingsAudioPage {
                id: audioPage
            }

            SettingsSystemPage {
                id: systemPage
            }
        }

        DarkButton {
            id: saveButton

            Layout.alignment: Qt.AlignRight
            // As wide as its label in either language: a shrunk label could not be read.
            Layout.preferredWidth: Math.max(130, saveLabel.implicitWidth + 24)
            Layout.preferredHeight: 40
            Layout.rightMargin: 20
            Layout.bottomMargin: 20
            color: Colors.liveGreen
            border.color: Colors.liveGreen
            opacity: down ? 0.8 : 1.0
            onClicked: {
                AppManager.saveSettings()
                root.close()
            }

            Text {
                id: saveLabel

                anchors.centerIn: parent
                text: StatusTexts.tr(AppManager.currentLanguage, "SAVE SETTINGS", "SAČUVAJ PODEŠAVANJA")
                font: Typography.captionBold
                color: "white"
            }
        }
    }

    // The frame lies above everything and lets the mouse through.
    Rectangle {
        anchors.fill: parent
        z: 1000
        color: "transparent"
        border.width: 1
        border.color: Colors.borderDark
    }
}
