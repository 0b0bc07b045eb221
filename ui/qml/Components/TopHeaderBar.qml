import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import Vireon
import "StatusTexts.js" as StatusTexts

// The header bar: name, session status, transport and the window buttons. Pressing its
// background moves the window. It holds at most one help window and one settings window.
Rectangle {
    id: root

    property var helpWindow: null
    property var settingsWindow: null
    readonly property bool remoteRunning: typeof RemoteServer !== "undefined" && RemoteServer.isRunning

    readonly property alias addSourceButton: addSourceButton
    readonly property alias sessionLabel: sessionLabel
    readonly property alias transport: transport

    // The main window opens the overlays these ask for.
    signal addSourceRequested(int channelId)
    signal remoteControlRequested()

    // Shows the held window, or creates it from fileName when none is held. Returns the window
    // held afterwards (null when the file failed to load).
    function showSingleWindow(held, fileName, errorPrefix) {
        if (held) {
            try {
                held.show()
                held.raise()
                held.requestActivate()
                return held
            } catch (error) {
                // The window was destroyed behind our back: forget it and make a new one.
            }
        }
        const component = Qt.createComponent(fileName)
        if (component.status !== Component.Ready) {
            console.error(errorPrefix + component.errorString())
            return null
        }
        const window = component.createObject(null)
        if (window)
            window.show()
        return window
    }

    function closeSecondaryWindows() {
        for (const window of [root.helpWindow, root.settingsWindow]) {
            try {
                if (window)
                    window.close()
            } catch (error) {
                // Already destroyed.
            }
        }
    }

    function openHelpWindow() {
        root.helpWindow = showSingleWindow(root.helpWindow, "HelpWindow.qml", "Error loading help window: ")
    }

    function openSettingsWindow() {
        root.settingsWindow = showSingleWindow(root.settingsWindow, "SettingsDialog.qml",
                                               "Error loading settings dialog: ")
    }

    implicitHeight: 60
    color: Colors.panelDark
    border.width: 1
    border.color: Colors.borderDark

    MouseArea {
        anchors.fill: parent
        onPressed: {
            if (root.Window.window)
                root.Window.window.startSystemMove()
        }
    }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        spacing: 0

        Text {
            text: "VIREON"
            font: Typography.heading2
            color: Colors.accent
        }

        Rectangle {
            Layout.leftMargin: 4
            Layout.preferredWidth: 8
            Layout.preferredHeight: 8
            radius: 4
            color: Colors.liveGreen
        }

        Text {
            Layout.leftMargin: 4
            text: "2.4.5b"
            font: Typography.caption
            color: Colors.textSecondary
        }

        Rectangle {
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.preferredWidth: 1
            Layout.preferredHeight: 16
            color: Colors.borderDark
        }

        Text {
            id: sessionLabel

            readonly property string sessionState: StatusTexts.sessionState(AppManager.isRecording, AppManager.isArming)

            Layout.maximumWidth: 260
            text: StatusTexts.sessionText(AppManager.isRecording, AppManager.isArming, AppManager.activeSessionName)
            font: Typography.bodyBold
            color: sessionState === "recording" ? Colors.recordingRed : sessionState === "arming" ? Colors.accent : Colors.textMuted
            elide: Text.ElideRight
        }

        Item { Layout.fillWidth: true }

        TransportControls {
            id: transport

            Layout.rightMargin: 16
        }

        DarkButton {
            id: addSourceButton

            objectName: "addSourceButton"
            Layout.preferredWidth: 96
            Layout.preferredHeight: 32
            // The model can go before the window when the program ends.
            visible: !!ChannelsModel && ChannelsModel.activeVideoCount < 4
            onClicked: root.addSourceRequested(ChannelsModel.firstInactiveChannelId)

            Row {
                anchors.centerIn: parent
                spacing: 4
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "+"
                    font.pixelSize: 14
                    font.bold: true
                    color: Colors.accent
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "SOURCE"
                    font: Typography.captionBold
                    color: Colors.textPrimary
                }
            }
        }

        DarkButton {
            id: helpButton

            objectName: "helpButton"
            Layout.preferredWidth: 36
            Layout.preferredHeight: 32
            cursorShape: Qt.PointingHandCursor
            onClicked: root.openHelpWindow()

            Rectangle {
                anchors.centerIn: parent
                width: 24
                height: 24
                radius: 3
                color: helpButton.hovered ? Qt.rgba(Colors.accent.r, Colors.accent.g, Colors.accent.b, 0.15) : "transparent"
                border.width: 1
                border.color: helpButton.hovered ? Colors.accent : Colors.borderDark

                Text {
                    anchors.centerIn: parent
                    text: "?"
                    font.pixelSize: 13
                    font.bold: true
                    color: helpButton.hovered ? Colors.accent : Colors.textPrimary
                }
            }
        }

        DarkButton {
            id: remoteButton

            objectName: "remoteButton"
            Layout.preferredWidth: 38
            Layout.preferredHeight: 32
            onClicked: root.remoteControlRequested()

            Rectangle {
                anchors.centerIn: parent
                width: 26
                height: 26
                radius: 3
                color: "transparent"
                border.width: 1
                border.color: root.remoteRunning ? Colors.liveGreen
                            : remoteButton.hovered ? Colors.accent : Colors.borderDark

                Text {
                    anchors.centerIn: parent
                    text: "📱"
                    font.pixelSize: 14
                    color: Colors.textPrimary
                }

                Rectangle {
                    anchors.top: parent.top
                    anchors.right: parent.right
                    anchors.margins: 2
                    width: 6
                    height: 6
                    radius: 3
                    color: Colors.liveGreen
                    visible: root.remoteRunning
                }
            }

            ToolTip {
                visible: remoteButton.hovered
                delay: 400
                text: StatusTexts.tr(AppManager.currentLanguage, "Remote Control (Phone Web App & QR)",
                                     "Daljinska Kontrola (Telefon Web App & QR)")
            }
        }

        DarkButton {
            objectName: "settingsButton"
            Layout.preferredWidth: 40
            Layout.preferredHeight: 32
            onClicked: root.openSettingsWindow()

            Text {
                anchors.centerIn: parent
                text: "⚙"
                font.pixelSize: 18
                color: Colors.textSecondary
            }
        }

        DarkButton {
            Layout.preferredWidth: 40
            Layout.preferredHeight: 32
            onClicked: {
                if (root.Window.window)
                    root.Window.window.showMinimized()
            }

            Text {
                anchors.centerIn: parent
                text: "—"
                font.pixelSize: 14
                color: Colors.textPrimary
            }
        }

        DarkButton {
            Layout.preferredWidth: 40
            Layout.preferredHeight: 32
            onClicked: {
                const window = root.Window.window
                if (!window)
                    return
                if (window.visibility === Window.Maximized)
                    window.showNormal()
                else
                    window.showMaximized()
            }

            Text {
                anchors.centerIn: parent
                text: "☐"
                font.pixelSize: 16
                color: Colors.textPrimary
            }
        }

        DarkButton {
            Layout.preferredWidth: 40
            Layout.preferredHeight: 32
            onClicked: {
                if (root.Window.window)
                    root.Window.window.close()
            }

            Text {
                anchors.centerIn: parent
                text: "✕"
                font.pixelSize: 14
                color: Colors.recRed
            }
        }
    }
}
