pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import Vireon
import "ScrollMath.js" as ScrollMath
import "Tint.js" as Tint

// The audio mixer: a master strip and one strip per input channel, each with a fader, a dB
// readout, a scale and a level meter, and the mute, solo, separate-track and monitoring
// buttons. All audio state lives in AppManager; a strip re-reads its channel when
// channelAudioStateChanged names it.
Item {
    id: root

    // Width of all strips plus the frame (4 px margin and 6 px padding on each side); the
    // window never makes the panel wider.
    readonly property real contentWidth: stripsRow.width + 20
    // Frame, title bar and divider, and the scroll bar when shown, around the strips.
    readonly property real chromeHeight: 20 + 36 + 6 + 1 + 6 + (scrollBar.visible ? 6 + 16 : 0)
    // The strips with every row and 140 px meters: the master's rows are the tallest, and
    // every strip folds with it, so their meters stay level.
    readonly property real stripsComfortableHeight: masterStrip.comfortableHeight
    // The least height: the strips folded, their meters at their least.
    readonly property real minimumHeight: chromeHeight + masterStrip.minimumHeight
    // When short, the footer goes first, then the meters shrink from 140 px to 90 px, then the
    // strips fold their input rows (those are in each strip's settings too; at the window's
    // first size of 1280x720 they still show), then the meters shrink to their least.
    readonly property real foldingMeterHeight: 90
    readonly property bool isCompact: height < chromeHeight + stripsComfortableHeight + 6 + 1 + 6 + 28
    readonly property bool areStripsFolded: stripsView.height < stripsComfortableHeight - 140 + foldingMeterHeight
    readonly property bool isOverflowing: stripsRow.width > stripsView.width
    readonly property int stripCount: 1 + channelRepeater.count
    readonly property bool isEnglish: AppManager.currentLanguage === "EN"

    function scrollBy(delta) {
        stripsView.contentX = ScrollMath.scrolled(stripsView.contentX, delta,
                                                  stripsRow.width, stripsView.width)
    }

    function toggleMonitoring() {
        AppManager.liveMonitoringEnabled = !AppManager.liveMonitoringEnabled
    }

    implicitWidth: 320

    // --- the panel ---

    Rectangle {
        anchors.fill: parent
        anchors.margins: 4
        color: Colors.surfaceDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 3
        clip: true

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 6
            spacing: 6

            // Title bar.
            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 36
                Layout.minimumHeight: 36
                color: Colors.panelDark
                border.width: 1
                border.color: Colors.borderDark
                radius: 3

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 10
                    anchors.rightMargin: 10
                    spacing: 8

                    Rectangle {
                        Layout.preferredWidth: 3
                        Layout.preferredHeight: 14
                        radius: 1.5
                        color: Colors.accent
                    }

                    Text {
                        Layout.fillWidth: true
                        Layout.minimumWidth: 0
                        text: "AUDIO MIXER"
                        elide: Text.ElideRight
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }

                    Rectangle {
                        objectName: "monitorToggle"
                        Layout.preferredWidth: Math.max(56, monitorLabel.implicitWidth + 12)
                        Layout.preferredHeight: 22
                        radius: 3
                        color: AppManager.liveMonitoringEnabled ? Tint.alpha(Colors.liveGreen, 0.18) : Colors.surfaceDark
                        border.width: 1
                        border.color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.borderDark

                        Text {
                            id: monitorLabel

                            anchors.centerIn: parent
                            text: AppManager.liveMonitoringEnabled ? "MONITOR ON" : "MUTED"
                            font: Typography.captionBold
                            color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.textSecondary
                        }

                        MouseArea {
                            anchors.fill: parent
                            cursorShape: Qt.PointingHandCursor
                            onClicked: root.toggleMonitoring()
                        }
                    }

                    // Lists the audio devices again (one plugged in since).
                    Rectangle {
                        objectName: "refreshDevices"
                        Layout.preferredWidth: 22
                        Layout.preferredHeight: 22
                        radius: 3
                        color: "transparent"

                        Text {
                            anchors.centerIn: parent
                            text: "↺"
                            font.pixelSize: 12
                            color: refreshArea.containsMouse ? Colors.accent : Colors.textSecondary
                        }

                        MouseArea {
                            id: refreshArea

                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            onClicked: {
                                AppManager.refreshAudioInputDevices()
                                AppManager.refreshAudioOutputDevices()
                            }
                        }
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 1
                Layout.minimumHeight: 1
                color: Colors.borderDark
            }

            // The strips.
            Flickable {
                id: stripsView

                objectName: "stripsView"
                Layout.fillWidth: true
                Layout.fillHeight: true
                contentWidth: stripsRow.width
                contentHeight: height
                flickableDirection: Flickable.HorizontalFlick
                boundsBehavior: Flickable.StopAtBounds
                clip: true

                // Wheel and touch-pad gestures scroll the strips sideways; presses pass through.
                MouseArea {
                    parent: stripsView
                    anchors.fill: parent
                    z: 1
                    acceptedButtons: Qt.NoButton
                    onWheel: wheel => root.scrollBy(ScrollMath.wheelDelta(wheel.angleDelta.x, wheel.angleDelta.y))
                }

                Row {
                    id: stripsRow

                    height: stripsView.height
                    spacing: 4

                    MixerMasterStrip {
                        id: masterStrip

                        height: parent.height
                        isFolded: root.areStripsFolded
                    }

                    Repeater {
                        id: channelRepeater

                        model: ChannelsModel

                        MixerChannelStrip {
                            height: stripsRow.height
                            isFolded: root.areStripsFolded
                        }
                    }
                }
            }

            // Horizontal scroll bar, shown only when the strips do not fit.
            Rectangle {
                id: scrollBar

                objectName: "scrollBar"
                Layout.fillWidth: true
                Layout.preferredHeight: 16
                Layout.minimumHeight: 16
                visible: root.isOverflowing
                color: Colors.panelDark
                border.width: 1
                border.color: Colors.borderDark
                radius: 3

                RowLayout {
                    anchors.fill: parent
                    anchors.margins: 2
                    spacing: 4

                    Rectangle {
                        Layout.preferredWidth: 16
                        Layout.fillHeight: true
                        radius: 2
                        color: leftArea.pressed ? Colors.borderDark : "transparent"

                        Text {
                            anchors.centerIn: parent
                            text: "◀"
                            font.pixelSize: 8
                            color: leftArea.containsMouse ? Colors.accent : Colors.textSecondary
                        }

                        MouseArea {
                            id: leftArea

                            anchors.fill: parent
                            hoverEnabled: true
                            onClicked: root.scrollBy(100)
                        }
                    }

                    Item {
                        id: scrollTrack

                        readonly property real thumbWidth: ScrollMath.thumbWidth(width, stripsView.width, stripsRow.width)
                        readonly property real maxThumbX: Math.max(0, width - thumbWidth)

                        Layout.fillWidth: true
                        Layout.fillHeight: true

                        Rectangle {
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.width
                            height: 4
                            radius: 2
                            color: Colors.surfaceDark
                            border.width: 1
                            border.color: Colors.borderDark
                        }

                        MouseArea {
                            anchors.fill: parent
                            onClicked: mouse => stripsView.contentX = ScrollMath.contentXForTrackClick(
                                           mouse.x, scrollTrack.width, stripsRow.width, stripsView.width)
                        }

                        Rectangle {
                            id: thumb

                            objectName: "scrollThumb"
                            anchors.verticalCenter: parent.verticalCenter
                            x: ScrollMath.thumbX(stripsView.contentX, stripsRow.width, stripsView.width,
                                                 scrollTrack.width, scrollTrack.thumbWidth)
                            width: scrollTrack.thumbWidth
                            height: 8
                            radius: 4
                            color: thumbArea.drag.active ? Colors.accent
                                 : thumbArea.containsMouse ? Qt.lighter(Colors.accent, 1.2) : Colors.borderStrong

                            Behavior on color { ColorAnimation { duration: 100 } }

                            Row {
                                anchors.centerIn: parent
                                spacing: 2

                                Repeater {
                                    model: 3

                                    Rectangle {
                                        width: 1
                                        height: 4
                                        color: "white"
                                        opacity: 0.6
                                    }
                                }
                            }

                            MouseArea {
                                id: thumbArea

                                anchors.fill: parent
                                anchors.margins: -4
                                hoverEnabled: true
                                drag.target: thumb
                                drag.axis: Drag.XAxis
                                drag.minimumX: 0
                                drag.maximumX: scrollTrack.maxThumbX
                                onPositionChanged: {
                                    if (drag.active)
                                        stripsView.contentX = ScrollMath.contentXForThumb(
                                                    thumb.x, stripsRow.width, stripsView.width,
                                                    scrollTrack.width, scrollTrack.thumbWidth)
                                }
                            }
                        }
                    }

                    Rectangle {
                        Layout.preferredWidth: 16
                        Layout.fillHeight: true
                        radius: 2
                        color: rightArea.pressed ? Colors.borderDark : "transparent"

                        Text {
                            anchors.centerIn: parent
                            text: "▶"
                            font.pixelSize: 8
                            color: rightArea.containsMouse ? Colors.accent : Colors.textSecondary
                        }

                        MouseArea {
                            id: rightArea

                            anchors.fill: parent
                            hoverEnabled: true
                            onClicked: root.scrollBy(-100)
                        }
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 1
                Layout.minimumHeight: 1
                visible: !root.isCompact
                color: Colors.borderDark
            }

            // Footer: whether every channel is in view. Dropped when the panel is short.
            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 28
                Layout.minimumHeight: 28
                visible: !root.isCompact
                color: Colors.panelDark
                border.width: 1
                border.color: Colors.borderDark
                radius: 3

                Text {
                    objectName: "bottomText"
                    anchors.left: parent.left
                    anchors.leftMargin: 8
                    anchors.right: parent.right
                    anchors.rightMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.isOverflowing ? "Scroll ◀ ▶ for all channels"
                                             : root.stripCount + " Channels • All visible"
                    elide: Text.ElideRight
                    font: Typography.caption
                    color: root.isOverflowing ? Colors.textSecondary : Colors.liveGreen
                }
            }
        }

    }
}
