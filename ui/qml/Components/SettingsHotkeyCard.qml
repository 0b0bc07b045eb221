import QtQuick
import Vireon
import "Tint.js" as Tint

// One camera's hotkey (or the marker key): shows the bound key; a click makes it listen for a
// new one (the listening itself is KeybindCapture's).
Column {
    id: root

    // Source index 0..3 (camera 1..4).
    property int sourceIndex: 0
    // The key that drops a marker in the running take, not a camera's.
    property bool isMarkerKey: false
    // The bound key's name; re-read whenever the keybinds change.
    property string keyName: ""
    readonly property bool listening: capture.listening
    readonly property bool hovered: cardMouse.containsMouse
    readonly property bool isActiveSource: !isMarkerKey && AppManager.activeSourceId === sourceIndex + 1

    readonly property alias capture: capture
    readonly property alias card: card
    readonly property alias keyLabel: keyLabel
    readonly property alias hintLabel: hintLabel
    readonly property alias dot: dot

    function refreshKeyName() {
        root.keyName = root.isMarkerKey ? AppManager.getMarkerKeyName() : AppManager.getSourceKeyName(root.sourceIndex)
    }

    spacing: 4
    Component.onCompleted: refreshKeyName()
    onSourceIndexChanged: refreshKeyName()
    onIsMarkerKeyChanged: refreshKeyName()

    Connections {
        target: AppManager

        function onKeybindsChanged() {
            root.refreshKeyName()
        }
    }

    Text {
        text: root.isMarkerKey ? "Marker" : "Camera " + (root.sourceIndex + 1)
        font: Typography.caption
        color: Colors.textSecondary
    }

    Rectangle {
        id: card

        width: 110
        height: 44
        radius: 4
        color: root.listening ? Tint.alpha(Colors.accent, 0.15)
             : root.hovered ? Colors.surfaceDark : Colors.panelDark
        border.width: root.listening ? 2 : 1
        border.color: root.listening ? Colors.accent
                    : root.hovered ? Colors.borderStrong : Colors.borderDark

        KeybindCapture {
            id: capture

            sourceIndex: root.sourceIndex
            isMarkerKey: root.isMarkerKey
        }

        Column {
            anchors.centerIn: parent
            spacing: 1

            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 6

                Rectangle {
                    id: dot

                    // The tally of the camera the key switches to; the marker key has none.
                    visible: !root.isMarkerKey
                    anchors.verticalCenter: parent.verticalCenter
                    width: 6
                    height: 6
                    radius: 3
                    color: root.listening ? Colors.accent
                         : root.isActiveSource ? Colors.recRed : Colors.borderStrong
                }

                Text {
                    id: keyLabel

                    text: root.listening ? "Press Key..." : root.keyName
                    font: Typography.bodyBold
                    color: root.listening ? Colors.accent : Colors.textPrimary
                }
            }

            Text {
                id: hintLabel

                anchors.horizontalCenter: parent.horizontalCenter
                text: root.listening ? "Waiting for key..." : "Click to reassign"
                font.family: Typography.family
                font.pixelSize: 9
                color: root.listening ? Colors.accent : Colors.textMuted
            }
        }

        MouseArea {
            id: cardMouse

            anchors.fill: parent
            hoverEnabled: true
            onClicked: capture.start()
        }
    }
}
