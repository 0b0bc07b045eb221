pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Window
import Qt.labs.settings
import Vireon
import "Components/MainLayout.js" as MainLayout

// The main window. Frameless: the header bar moves it and the edge layer resizes it.
Window {
    id: root

    // The "Layout" group of the application's settings store. A host that has not named the
    // application (so has no settings store) keeps the width for this run only. Either kind of
    // object, so typed var.
    readonly property var layoutSettings:
        (Qt.application.organization !== "" && Qt.application.domain !== ""
         ? persistentLayoutSettings : sessionLayoutSettings).createObject(root)

    // The mixer's width: as stored, within what the bottom row and the mixer's strips allow.
    readonly property real mixerMaxWidth: MainLayout.mixerMaxWidth(bottomRow.width, mixerPanel.contentWidth)
    readonly property real mixerWidth: MainLayout.preferredMixerWidth(root.layoutSettings.audioMixerWidth, mixerMaxWidth)

    readonly property alias headerBar: headerBar
    readonly property alias statusBar: statusBar
    readonly property alias splitter: splitter
    readonly property alias splitterMouse: splitterMouse
    readonly property alias mixerPanel: mixerPanel
    readonly property alias resizeLayer: resizeLayer
    readonly property alias sourceConfigOverlay: sourceConfigDialog
    readonly property alias remoteControlOverlay: remoteControlDialog
    readonly property alias updateOverlay: updateDialog
    readonly property alias recordingBanner: recordingBanner
    readonly property alias takeSavedNotice: takeSavedNotice

    // Creates an overlay of this window from fileName, or logs why it could not.
    function createOverlay(fileName, parentItem, errorPrefix) {
        const component = Qt.createComponent(fileName)
        if (component.status !== Component.Ready) {
            console.error(errorPrefix + component.errorString())
            return null
        }
        return component.createObject(parentItem)
    }

    function storeMixerWidth(width) {
        root.layoutSettings.audioMixerWidth = width
    }

    width: 1280
    height: 720
    minimumWidth: 1024
    minimumHeight: 640
    visible: true
    flags: Qt.FramelessWindowHint | Qt.Window
    title: "Vireon Studio 2.4.5b"
    color: Colors.backgroundDark

    // The help, settings, monitor and program-output windows have no parent window; left open
    // they would keep the program running after the main window is closed.
    onClosing: {
        headerBar.closeSecondaryWindows()
        statusBar.closeMonitorWindow()
        mainPreview.closeOutputWindow()
    }

    Component {
        id: persistentLayoutSettings

        Settings {
            property real audioMixerWidth: 320

            category: "Layout"
        }
    }

    Component {
        id: sessionLayoutSettings

        QtObject {
            property real audioMixerWidth: 320
        }
    }

    Shortcut {
        sequence: "F1"
        context: Qt.WindowShortcut
        onActivated: headerBar.openHelpWindow()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        TopHeaderBar {
            id: headerBar

            Layout.fillWidth: true
            Layout.preferredHeight: 60
            onAddSourceRequested: channelId => sourceConfigDialog.openForChannel(channelId, false)
            onRemoteControlRequested: remoteControlDialog.openDialog()
        }

        ColumnLayout {
            id: content

            // The grid and the bottom row share the height equally. A layout would give the
            // row with the larger minimum the larger share, so both ask for half outright;
            // half of what the window leaves, not of this column's own height, which the layout
            // sets only after it has read the rows' wishes.
            readonly property real halfHeight: Math.max(0, (root.height - headerBar.Layout.preferredHeight
                                                            - statusBar.Layout.preferredHeight - 2 * Layout.margins
                                                            - spacing) / 2)

            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.margins: 10
            spacing: 10

            IsoMonitorGrid {
                objectName: "monitorGrid"
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumHeight: 160
                Layout.preferredHeight: content.halfHeight

                onOpenSourceConfig: (channelId, editMode) => sourceConfigDialog.openForChannel(channelId, editMode)
            }

            RowLayout {
                id: bottomRow

                Layout.fillWidth: true
                Layout.fillHeight: true
                // The mixer folds to leave the grid its half (see AudioMixerPanel), down to its
                // least.
                Layout.minimumHeight: Math.max(200, mixerPanel.minimumHeight)
                Layout.preferredHeight: content.halfHeight
                spacing: 4

                MainPreviewPanel {
                    id: mainPreview

                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.minimumWidth: 260
                }

                Item {
                    id: splitter

                    readonly property bool active: splitterMouse.pressed || splitterMouse.containsMouse

                    Layout.preferredWidth: 8
                    Layout.fillHeight: true

                    Rectangle {
                        anchors.centerIn: parent
                        width: splitter.active ? 4 : 2
                        height: parent.height - 20
                        radius: 2
                        color: splitterMouse.pressed ? Colors.accent
                             : splitterMouse.containsMouse ? "#60a5fa" : Colors.borderDark

                        Behavior on width { NumberAnimation { duration: 120 } }
                        Behavior on color { ColorAnimation { duration: 120 } }
                    }

                    Column {
                        anchors.centerIn: parent
                        spacing: 4
                        visible: !splitter.active

                        Repeater {
                            model: 3
                            Rectangle {
                                width: 2
                                height: 2
                                color: "#64748b"
                            }
                        }
                    }

                    MouseArea {
                        id: splitterMouse

                        property real pressX: 0
                        property real pressWidth: 0

                        anchors.fill: parent
                        anchors.leftMargin: -4
                        anchors.rightMargin: -4
                        hoverEnabled: true
                        cursorShape: Qt.SizeHorCursor
                        // Scene coordinates: the splitter itself moves while the mixer widens.
                        onPressed: mouse => {
                            pressX = mapToItem(null, mouse.x, mouse.y).x
                            pressWidth = root.mixerWidth
                        }
                        onPositionChanged: mouse => {
                            if (!pressed)
                                return
                            const x = mapToItem(null, mouse.x, mouse.y).x
                            root.storeMixerWidth(MainLayout.draggedMixerWidth(pressWidth, pressX, x, root.mixerMaxWidth))
                        }
                        onDoubleClicked: root.storeMixerWidth(
                            MainLayout.doubleClickedMixerWidth(root.mixerWidth, root.mixerMaxWidth))
                    }
                }

                AudioMixerPanel {
                    id: mixerPanel

                    Layout.fillHeight: true
                    Layout.preferredWidth: root.mixerWidth
                    Layout.minimumWidth: MainLayout.mixerMinWidth
                    Layout.maximumWidth: root.mixerMaxWidth
                }
            }
        }

        BottomStatusBar {
            id: statusBar

            Layout.fillWidth: true
            Layout.preferredHeight: 32
        }
    }

    // A take's failure or warning and the finished take, over the top of the camera tiles:
    // shown at once without moving the rest of the window, whatever its size.
    Column {
        x: 10
        y: headerBar.height + 10
        width: parent.width - 20
        spacing: 6
        z: 120

        RecordingBanner {
            id: recordingBanner

            width: parent.width
            height: implicitHeight
        }

        TakeSavedNotice {
            id: takeSavedNotice

            width: parent.width
            height: implicitHeight
        }

        TakeRecoveredNotice {
            id: takeRecoveredNotice

            width: parent.width
            height: implicitHeight
        }
    }

    // Overlays of this window, created on first use.
    Item {
        id: sourceConfigDialog

        property var dialog: null

        function openForChannel(channelId, editMode) {
            if (!dialog)
                dialog = root.createOverlay("Components/SourceConfigDialog.qml", sourceConfigDialog,
                                            "Error loading source config dialog: ")
            if (dialog)
                dialog.openForChannel(channelId, editMode)
        }

        anchors.fill: parent
        z: 150
    }

    Item {
        id: remoteControlDialog

        property var dialog: null

        function openDialog() {
            if (!dialog)
                dialog = root.createOverlay("Components/RemoteControlDialog.qml", remoteControlDialog,
                                            "Error loading remote control dialog: ")
            if (dialog)
                dialog.openDialog()
        }

        anchors.fill: parent
        z: 180
    }

    // Shows itself while the update manager offers a newer version.
    UpdateDialog {
        id: updateDialog

        z: 200
    }

    // Frameless resizing: edges and corners start a system resize.
    Item {
        id: resizeLayer

        readonly property int edge: 7
        readonly property int corner: 16

        anchors.fill: parent
        z: 99999
        visible: root.visibility !== Window.Maximized && root.visibility !== Window.FullScreen

        Repeater {
            model: [
                { edges: Qt.LeftEdge, cursor: Qt.SizeHorCursor },
                { edges: Qt.RightEdge, cursor: Qt.SizeHorCursor },
                { edges: Qt.TopEdge, cursor: Qt.SizeVerCursor },
                { edges: Qt.BottomEdge, cursor: Qt.SizeVerCursor },
                { edges: Qt.TopEdge | Qt.LeftEdge, cursor: Qt.SizeFDiagCursor },
                { edges: Qt.TopEdge | Qt.RightEdge, cursor: Qt.SizeBDiagCursor },
                { edges: Qt.BottomEdge | Qt.LeftEdge, cursor: Qt.SizeBDiagCursor },
                { edges: Qt.BottomEdge | Qt.RightEdge, cursor: Qt.SizeFDiagCursor }
            ]

            MouseArea {
                required property var modelData

                readonly property bool isLeft: modelData.edges & Qt.LeftEdge
                readonly property bool isRight: modelData.edges & Qt.RightEdge
                readonly property bool isTop: modelData.edges & Qt.TopEdge
                readonly property bool isBottom: modelData.edges & Qt.BottomEdge
                readonly property bool isCorner: (isLeft || isRight) && (isTop || isBottom)

                x: isRight ? resizeLayer.width - width : isLeft ? 0 : resizeLayer.corner
                y: isBottom ? resizeLayer.height - height : isTop ? 0 : resizeLayer.corner
                width: isCorner ? resizeLayer.corner
                     : (isLeft || isRight) ? resizeLayer.edge : resizeLayer.width - 2 * resizeLayer.corner
                height: isCorner ? resizeLayer.corner
                      : (isTop || isBottom) ? resizeLayer.edge : resizeLayer.height - 2 * resizeLayer.corner
                cursorShape: modelData.cursor
                onPressed: root.startSystemResize(modelData.edges)
            }
        }
    }
}
