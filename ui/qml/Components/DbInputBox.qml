import QtQuick
import QtQuick.Controls
import Vireon
import "DbText.js" as DbText
import "Tint.js" as Tint

// The dB readout of a fader. A click turns it into an edit field; Return applies what was
// typed, Escape drops it; a double-click resets the fader to 0 dB.
Rectangle {
    id: root

    property real volumeValue: 1.0
    property bool isMuted: false
    property bool isEditing: false
    readonly property bool isHovered: mouseArea.containsMouse

    signal volumeSet(real newVolume)

    function startEditing() {
        editField.text = DbText.editText(volumeValue)
        isEditing = true
        editField.forceActiveFocus()
        editField.selectAll()
    }

    function applyEdit() {
        if (!isEditing)
            return
        var volume = DbText.parse(editField.text)
        isEditing = false
        if (volume !== null)
            volumeSet(volume)
    }

    function cancelEdit() {
        isEditing = false
    }

    implicitWidth: 84
    implicitHeight: 22
    radius: 3
    color: isEditing ? Colors.backgroundDark
                     : isHovered ? Tint.alpha(Colors.accent, 0.15) : "transparent"
    border.width: isEditing || isHovered ? 1 : 0
    border.color: isEditing ? Colors.accent : Tint.alpha(Colors.accent, 0.5)

    Behavior on color { ColorAnimation { duration: 120 } }

    ToolTip.visible: isHovered && !isEditing
    ToolTip.delay: 350
    ToolTip.text: AppManager.currentLanguage === "EN" ? "Click to set dB (Double-click for 0 dB)"
                                                       : "Kliknite za unos dB (Dupli klik za 0 dB)"

    Text {
        objectName: "displayText"
        anchors.centerIn: parent
        visible: !root.isEditing
        text: DbText.displayText(root.volumeValue)
        font: Typography.captionBold
        color: root.isMuted ? Colors.recRed : Colors.textPrimary
    }

    TextInput {
        id: editField

        objectName: "editField"
        anchors.fill: parent
        anchors.leftMargin: 4
        anchors.rightMargin: 4
        visible: root.isEditing
        enabled: root.isEditing
        horizontalAlignment: TextInput.AlignHCenter
        verticalAlignment: TextInput.AlignVCenter
        font: Typography.captionBold
        color: "white"
        selectionColor: Colors.accent
        selectedTextColor: "black"
        selectByMouse: true
        clip: true
        onAccepted: root.applyEdit()
        onActiveFocusChanged: if (!activeFocus) root.applyEdit()
        Keys.onEscapePressed: root.cancelEdit()
    }

    // A single click waits out the double-click interval, so a double-click resets to
    // 0 dB instead of opening the editor.
    Timer {
        id: clickTimer

        // Qt.styleHints is an object without properties to the linter of Qt 6.4.
        interval: Qt.styleHints.mouseDoubleClickInterval // qmllint disable type
        onTriggered: root.startEditing()
    }

    MouseArea {
        id: mouseArea

        anchors.fill: parent
        enabled: !root.isEditing
        hoverEnabled: true
        cursorShape: Qt.IBeamCursor
        onClicked: clickTimer.restart()
        onDoubleClicked: {
            clickTimer.stop()
            root.volumeSet(1.0)
        }
    }
}
