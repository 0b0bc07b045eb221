import QtQuick
import Vireon
import "GridLayout.js" as GridLayout
import "Tint.js" as Tint

// The monitoring grid: one tile per channel with active video, laid out by how many there
// are, with add-source slots in the free places and an empty-state card when there is none.
Rectangle {
    id: root

    readonly property int count: ChannelsModel ? ChannelsModel.activeVideoCount : 0
    readonly property var channelIds: ChannelsModel ? ChannelsModel.activeChannelIds : []
    // Kinds and channels of the cells; geometry is taken per cell so a resize moves the
    // tiles without recreating their pictures.
    readonly property var cells: GridLayout.layout(count, channelIds, 0, 0)

    // The window opens the source configuration dialog (editMode false: add a source).
    signal openSourceConfig(int channelId, bool editMode)

    color: Colors.backgroundDark

    Component {
        id: tileComponent

        SourceWindow {}
    }

    Component {
        id: addComponent

        AddSourceCard {}
    }

    Repeater {
        id: cellRepeater

        model: root.cells

        Loader {
            id: cellLoader

            required property var modelData
            required property int index
            // The repeater makes its cells in this grid's context; the linter of Qt 6.4 cannot
            // follow a delegate's ids to its document.
            readonly property var rect: GridLayout.layout(root.count, root.channelIds, // qmllint disable unqualified
                                                          root.width, root.height)[index] || modelData

            x: rect.x
            y: rect.y
            width: rect.width
            height: rect.height
            sourceComponent: modelData.kind === "tile" ? tileComponent : addComponent
            onLoaded: {
                if (modelData.kind === "tile")
                    item.channelIndex = modelData.channel
                else
                    item.compact = modelData.kind === "addCompact"
            }

            Connections {
                target: cellLoader.item
                function onOpenSourceConfig(channelId, editMode) {
                    root.openSourceConfig(channelId, editMode) // qmllint disable unqualified
                }
            }
        }
    }

    Rectangle {
        id: emptyCard

        objectName: "emptyCard"
        readonly property bool isHovered: addArea.containsMouse

        anchors.centerIn: parent
        visible: root.count === 0
        width: Math.min(480, root.width - 40)
        height: 220
        color: Colors.surfaceDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 6

        Column {
            anchors.centerIn: parent
            spacing: 14

            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 54
                height: 54
                radius: 27
                color: emptyCard.isHovered ? Colors.accent : Tint.alpha(Colors.accent, 0.15)
                border.width: 1.5
                border.color: Colors.accent

                Behavior on color { ColorAnimation { duration: 150 } }

                Text {
                    anchors.centerIn: parent
                    text: "+"
                    font.pixelSize: 28
                    font.bold: true
                    color: emptyCard.isHovered ? "black" : Colors.accent

                    Behavior on color { ColorAnimation { duration: 150 } }
                }
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: AppManager.currentLanguage === "EN" ? "NO ACTIVE VIDEO SOURCES"
                                                           : "NEMA AKTIVNIH VIDEO ULAZA"
                font: Typography.heading3
                color: Colors.textPrimary
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: AppManager.currentLanguage === "EN"
                      ? "Connect a camera or capture card to begin monitoring"
                      : "Povežite kameru ili capture karticu za praćenje i režiju"
                font: Typography.caption
                color: Colors.textSecondary
            }

            Rectangle {
                objectName: "emptyAddButton"
                anchors.horizontalCenter: parent.horizontalCenter
                width: 170
                height: 38
                radius: 3
                color: emptyCard.isHovered ? Qt.darker(Colors.accent, 1.15) : Colors.accent

                Row {
                    anchors.centerIn: parent
                    spacing: 6

                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: "+"
                        font.pixelSize: 16
                        font.bold: true
                        color: "black"
                    }

                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: AppManager.currentLanguage === "EN" ? "ADD SOURCE" : "DODAJ SOURCE"
                        font: Typography.captionBold
                        color: "black"
                    }
                }

                MouseArea {
                    id: addArea

                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: root.openSourceConfig(ChannelsModel.firstInactiveChannelId, false)
                }
            }
        }
    }
}
