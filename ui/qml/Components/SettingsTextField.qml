import QtQuick
import QtQuick.Controls
import Vireon

// A text field of the settings window. It shows shownText; finishing an edit emits committed()
// and then shows shownText again, so a value the back end corrected (or left unchanged) is
// what the field reads afterwards.
TextField {
    id: root

    property string shownText: ""
    property color fillColor: Colors.surfaceDark

    signal committed(string text)

    implicitHeight: 36
    leftPadding: 12
    rightPadding: 12
    font: Typography.body
    color: enabled ? Colors.textPrimary : "#555555"
    placeholderTextColor: Colors.textMuted
    selectionColor: Colors.accent
    selectedTextColor: Colors.backgroundDark
    verticalAlignment: TextInput.AlignVCenter
    text: shownText
    selectByMouse: true
    onEditingFinished: {
        root.committed(root.text)
        root.text = Qt.binding(() => root.shownText)
    }

    background: Rectangle {
        radius: 4
        color: root.fillColor
        border.width: 1
        border.color: root.activeFocus ? Colors.accent : Colors.borderDark
    }
}
