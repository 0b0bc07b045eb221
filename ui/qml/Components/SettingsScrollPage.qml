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

    clip: true
    contentWidth: width
    contentHeight: column.implicitHeight
    boundsBehavior: Flickable.StopAtBounds

    ScrollBar.vertical: ScrollBar {
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
