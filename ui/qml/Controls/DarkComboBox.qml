pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "ComboText.js" as ComboText

// A dark drop-down list. Object entries may carry "supported" (false disables the row) and a
// note shown at the right of the row.
ComboBox {
    id: root

    property string noteRole: "note"
    property real popupMinWidth: 280
    // How the shown entry is cut when it does not fit (a list whose entries end in what
    // matters elides in the middle).
    property int textElide: Text.ElideRight

    implicitWidth: 200
    implicitHeight: 36
    font: Typography.body

    background: Rectangle {
        radius: 4
        color: root.pressed ? Qt.darker(Colors.surfaceDark, 1.1) : Colors.surfaceDark
        border.width: root.activeFocus || root.popup.visible ? 1.5 : 1
        border.color: root.activeFocus || root.popup.visible ? Colors.accent
                    : root.hovered ? Colors.borderLight : Colors.borderDark
    }

    contentItem: Text {
        leftPadding: 12
        rightPadding: 30
        text: root.displayText
        font: root.font
        color: Colors.textPrimary
        verticalAlignment: Text.AlignVCenter
        elide: root.textElide
    }

    indicator: Canvas {
        property color fill: root.pressed || root.popup.visible ? Colors.accent
                           : root.hovered ? Colors.textPrimary : Colors.textSecondary

        x: root.width - width - 14
        y: (root.height - height) / 2
        width: 10
        height: 6
        onFillChanged: requestPaint()
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            ctx.moveTo(0, 0)
            ctx.lineTo(width, 0)
            ctx.lineTo(width / 2, height)
            ctx.closePath()
            ctx.fillStyle = fill
            ctx.fill()
        }
    }

    delegate: ItemDelegate {
        id: row

        required property int index

        readonly property var entry: ComboText.entryAt(root.model, index)
        readonly property bool supported: ComboText.isSupported(entry)
        readonly property bool highlightedRow: root.highlightedIndex === index

        width: ListView.view ? ListView.view.width : root.width
        height: 34
        leftPadding: 12
        rightPadding: 12
        enabled: supported
        hoverEnabled: true

        background: Rectangle {
            color: row.highlightedRow ? Qt.rgba(Colors.accent.r, Colors.accent.g, Colors.accent.b, 0.18)
                 : row.index % 2 === 0 ? Colors.surfaceDark : Colors.panelDark
        }

        // The entry's text takes the room its note leaves.
        contentItem: RowLayout {
            spacing: 8

            Text {
                Layout.fillWidth: true
                text: ComboText.rowText(row.entry, root.textRole, root.textAt(row.index))
                      + (row.supported ? "" : "<font color=\"" + Colors.textMuted + "\"> (Unavailable)</font>")
                textFormat: row.supported ? Text.PlainText : Text.StyledText
                font: root.font
                color: row.highlightedRow ? Colors.accent : Colors.textPrimary
                elide: Text.ElideRight
            }

            Text {
                Layout.minimumWidth: implicitWidth
                text: ComboText.noteText(row.entry, root.noteRole)
                font: Typography.caption
                color: Colors.textSecondary
            }
        }
    }

    popup: Popup {
        y: root.height + 2
        width: Math.max(root.width, root.popupMinWidth)
        // The list is as high as its rows (its implicit height).
        height: Math.min(280, contentItem.implicitHeight + 6)
        padding: 2
        // Kept inside the window: a list wider than its box (the mixer's input lists at the
        // window's right edge) is moved left instead of being cut off.
        margins: 6

        background: Rectangle {
            color: Colors.surfaceDark
            border.color: Colors.borderDark
            radius: 4
        }

        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: root.popup.visible ? root.delegateModel : null
            currentIndex: root.highlightedIndex
            boundsBehavior: Flickable.StopAtBounds

            ScrollBar.vertical: ScrollBar {
                width: 6
                // A list that fits has nothing to scroll: no thumb the length of the list (size
                // is the shown part of the list).
                policy: size < 1 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                contentItem: Rectangle {
                    implicitWidth: 6
                    radius: 3
                    color: Colors.borderLight
                }
            }
        }
    }
}
