import QtQuick
import QtQuick.Controls
import Vireon

// A page that scrolls vertically. Its 6 px bar is always shown while the page is taller than
// the area, so the operator sees there is more below.
Flickable {
    id: root

    default property alias content: column.data
    property alias spacing: column.spacing
    readonly property bool scrollable: contentHeight > height
    readonly property alias verticalBar: bar

    // Scrolls just far enough that item (inside the page) is in view.
    function ensureVisible(item) {
        const top = item.mapToItem(column, 0, 0).y
        if (top < contentY)
            contentY = top
        else if (top + item.height > contentY + height)
            contentY = Math.min(top + item.height - height, Math.max(0, contentHeight - height))
    }

    clip: true
    contentWidth: width
    contentHeight: column.implicitHeight
    boundsBehavior: Flickable.StopAtBounds

    ScrollBar.vertical: ScrollBar {
        id: bar

        width: 6
        policy: root.scrollable ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
        contentItem: Rectangle {
            implicitWidth: 6
            radius: 3
            color: Colors.borderLight
        }
    }

    Column {
        id: column

        // Room for the bar at the right.
        width: root.width - 14
        spacing: 16
    }
}
