pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Vireon
import "OutputWindow.js" as OutputWindow

// The program output: the programme channel on a window of its own, full-screen or windowed
// on any screen, with an overlay bar that hides itself 3 s after the pointer last moved.
Window {
    id: root

    property int displayIndex: 0
    property int channelIndex: 1
    property bool isFullscreenMode: true
    property bool overlayVisible: true
    readonly property bool isFullScreen: visibility === Window.FullScreen
    // The linter of Qt 6.4 types Qt.application as the core application, which has no screens.
    readonly property var screens: Qt.application.screens // qmllint disable type

    function targetScreenIndex(index) {
        return OutputWindow.targetScreen(index, screens.length)
    }

    function openOutput(index) {
        if (index !== undefined)
            displayIndex = index
        var target = targetScreenIndex(displayIndex)
        if (target < 0) {
            show()
            return
        }
        if (isFullscreenMode)
            applyFullscreen(target)
        else
            applyWindowed(target)
    }

    function applyFullscreen(target) {
        var s = screens[target]
        isFullscreenMode = true
        screen = s
        var g = OutputWindow.fullscreenGeometry(s)
        x = g.x
        y = g.y
        width = g.width
        height = g.height
        showFullScreen()
        raise()
        requestActivate()
        showOverlayBriefly()
    }

    function applyWindowed(target) {
        var s = screens[target]
        isFullscreenMode = false
        if (isFullScreen)
            showNormal()
        screen = s
        var g = OutputWindow.windowedGeometry(s)
        width = g.width
        height = g.height
        x = g.x
        y = g.y
        showNormal()
        raise()
        requestActivate()
        showOverlayBriefly()
    }

    function toggleFullscreen() {
        var target = targetScreenIndex(displayIndex)
        if (target < 0)
            return
        if (isFullscreenMode || isFullScreen)
            applyWindowed(target)
        else
            applyFullscreen(target)
    }

    function closeOutput() {
        if (isFullScreen)
            showNormal()
        close()
    }

    function repositionToScreen(index) {
        displayIndex = index
        if (visible)
            openOutput()
    }

    function showOverlayBriefly() {
        overlayVisible = true
        overlayTimer.restart()
    }

    function handleEscape() {
        // The mode, not the window state: platforms report the state change later.
        var target = targetScreenIndex(displayIndex)
        if (isFullscreenMode && target >= 0)
            applyWindowed(target)
        else
            closeOutput()
    }

    width: 1280
    height: 720
    minimumWidth: 480
    minimumHeight: 270
    flags: Qt.Window
    color: "black"
    title: OutputWindow.windowTitle(channelIndex)

    onClosing: {
        if (isFullScreen)
            showNormal()
    }
    Component.onCompleted: showOverlayBriefly()

    Timer {
        id: overlayTimer

        interval: 3000
        onTriggered: {
            if (!windowArea.containsMouse && !barArea.containsMouse)
                root.overlayVisible = false
        }
    }

    Shortcut {
        sequence: "Esc"
        onActivated: root.handleEscape()
    }

    Shortcut {
        sequences: ["F11", "F"]
        onActivated: root.toggleFullscreen()
    }

    VideoStreamItem {
        anchors.fill: parent
        channelIndex: root.channelIndex
    }

    MouseArea {
        id: windowArea

        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        onPositionChanged: root.showOverlayBriefly()
        onClicked: mouse => {
            if (mouse.button === Qt.RightButton)
                contextMenu.popup()
            else
                root.showOverlayBriefly()
        }
        onDoubleClicked: mouse => {
            if (mouse.button === Qt.LeftButton)
                root.toggleFullscreen()
        }
    }

    Rectangle {
        id: overlayBar

        objectName: "overlayBar"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        height: 44
        visible: root.overlayVisible || barArea.containsMouse
        color: Qt.rgba(13 / 255, 17 / 255, 23 / 255, 0.92)
        border.width: 1
        border.color: Colors.borderDark

        MouseArea {
            id: barArea

            anchors.fill: parent
            hoverEnabled: true
            onPressed: {
                if (!root.isFullScreen)
                    root.startSystemMove()
            }
            onDoubleClicked: root.toggleFullscreen()
        }

        Rectangle {
            id: liveBadge

            anchors.left: parent.left
            anchors.leftMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            width: liveText.implicitWidth + 16
            height: 24
            radius: 3
            color: Colors.recRed

            Text {
                id: liveText

                anchors.centerIn: parent
                text: "LIVE OUTPUT"
                font: Typography.smallBold
                color: "white"
            }
        }

        Text {
            objectName: "overlayTitle"
            anchors.left: liveBadge.right
            anchors.leftMargin: 10
            anchors.right: modeButton.left
            anchors.rightMargin: 10
            anchors.verticalCenter: parent.verticalCenter
            text: OutputWindow.overlayTitle(root.channelIndex, root.displayIndex, root.isFullscreenMode)
            font: Typography.captionBold
            color: Colors.textPrimary
            elide: Text.ElideRight
        }

        Rectangle {
            id: modeButton

            readonly property bool isHovered: modeArea.containsMouse

            anchors.right: closeButton.left
            anchors.rightMargin: 10
            anchors.verticalCenter: parent.verticalCenter
            width: modeRow.implicitWidth + 24
            height: 28
            radius: 4
            color: isHovered ? Colors.surfaceDark : Colors.panelDark
            border.width: 1
            border.color: isHovered ? Colors.accent : Colors.borderDark

            Row {
                id: modeRow

                anchors.centerIn: parent
                spacing: 6

                // Drawn, not a font glyph: Debian's default fonts have neither symbol.
                WindowModeIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    isRestore: root.isFullscreenMode
                    color: modeButton.isHovered ? Colors.accent : Colors.textPrimary
                }

                Text {
                    text: root.isFullscreenMode ? "CHANGE TO WINDOW" : "FULLSCREEN"
                    font: Typography.smallBold
                    color: modeButton.isHovered ? Colors.accent : Colors.textPrimary
                }
            }

            MouseArea {
                id: modeArea

                anchors.fill: parent
                hoverEnabled: true
                onClicked: root.toggleFullscreen()
            }
        }

        Rectangle {
            id: closeButton

            readonly property bool isHovered: closeArea.containsMouse

            anchors.right: parent.right
            anchors.rightMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            width: 72
            height: 28
            radius: 4
            color: isHovered ? Colors.recRed : Colors.panelDark
            border.width: 1
            border.color: isHovered ? Colors.recRed : Colors.borderDark

            Row {
                anchors.centerIn: parent
                spacing: 4

                Text {
                    text: "✕"
                    font.pixelSize: 12
                    font.bold: true
                    color: closeButton.isHovered ? "white" : Colors.recRed
                }

                Text {
                    text: "CLOSE"
                    font: Typography.smallBold
                    color: closeButton.isHovered ? "white" : Colors.textPrimary
                }
            }

            MouseArea {
                id: closeArea

                anchors.fill: parent
                hoverEnabled: true
                onClicked: root.closeOutput()
            }
        }
    }

    Menu {
        id: contextMenu

        MenuItem {
            text: root.isFullScreen ? "Change to Windowed Mode (Esc)" : "Switch to Fullscreen (F11)"
            onTriggered: root.toggleFullscreen()
        }

        MenuSeparator {}

        Menu {
            id: displayMenu

            title: "Select Display Monitor"

            Instantiator {
                model: root.screens.length

                MenuItem {
                    required property int index

                    text: OutputWindow.displayName(index) + (index === root.displayIndex ? "  ✓" : "")
                    onTriggered: root.repositionToScreen(index)
                }

                onObjectAdded: (index, object) => displayMenu.insertItem(index, object)
                onObjectRemoved: (index, object) => displayMenu.removeItem(object)
            }
        }

        MenuSeparator {}

        MenuItem {
            text: "Close Output Monitor"
            onTriggered: root.closeOutput()
        }
    }
}
