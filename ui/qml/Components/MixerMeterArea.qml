pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "MeterScale.js" as MeterScale

// Fader, dB scale and level meter of a strip.
Item {
    id: meterArea

    property real volume: 1.0
    property bool isMuted: false
    property real levelLeft: 0
    property real levelRight: 0
    readonly property alias faderValue: fader.value
    readonly property alias isFaderPressed: fader.pressed
    readonly property real contentTop: 11
    readonly property real contentHeight: Math.max(10, height - 22)

    signal moved(real value)

    Layout.fillWidth: true
    Layout.fillHeight: true
    // 140 px where the mixer has the room. The camera grid keeps its half of the window, so a
    // short mixer drops its footer and lets its meters shrink, folding the strips' input rows
    // below 90 px (see AudioMixerPanel), to a 60 px area at the least.
    Layout.minimumHeight: 60
    Layout.preferredHeight: 140

    Row {
        anchors.horizontalCenter: parent.horizontalCenter
        height: parent.height

        Slider {
            id: fader

            objectName: "fader"
            width: 22
            height: parent.height
            orientation: Qt.Vertical
            from: 0.0
            to: 1.0
            padding: 0
            value: meterArea.volume
            onMoved: meterArea.moved(value)

            background: Item {
                Rectangle {
                    x: (fader.width - width) / 2
                    y: meterArea.contentTop
                    width: 4
                    height: meterArea.contentHeight
                    radius: 2
                    color: Colors.surfaceDark
                    border.width: 1
                    border.color: Colors.borderDark

                    Rectangle {
                        anchors.bottom: parent.bottom
                        width: parent.width
                        height: (1 - fader.visualPosition) * parent.height
                        radius: 2
                        color: meterArea.isMuted ? Colors.borderStrong : Colors.accent
                    }
                }
            }

            handle: Rectangle {
                x: (fader.width - width) / 2
                y: meterArea.contentTop + fader.visualPosition * meterArea.contentHeight - height / 2
                width: 14
                height: 22
                radius: 3
                color: fader.pressed ? Colors.borderStrong : fader.hovered ? Colors.borderDark : Colors.panelDark
                border.width: 1
                border.color: fader.pressed ? Colors.accent : Colors.borderStrong

                Rectangle {
                    anchors.centerIn: parent
                    width: 8
                    height: 2
                    color: meterArea.isMuted ? Colors.recRed : Colors.accent
                }
            }
        }

        Item {
            width: 30
            height: parent.height

            Repeater {
                model: MeterScale.markCount

                Item {
                    required property int index
                    readonly property color markColor: MeterScale.markColor(index) || Colors.borderStrong
                    readonly property color labelColor: MeterScale.markColor(index) || Colors.textSecondary

                    width: parent.width
                    height: 10
                    y: meterArea.contentTop + MeterScale.markY(index, meterArea.contentHeight) - height / 2

                    Rectangle { x: 0; anchors.verticalCenter: parent.verticalCenter; width: 3; height: 1; color: parent.markColor }
                    Rectangle { anchors.right: parent.right; anchors.verticalCenter: parent.verticalCenter; width: 3; height: 1; color: parent.markColor }

                    Text {
                        anchors.centerIn: parent
                        visible: parent.index % MeterScale.labelStep(meterArea.contentHeight) === 0
                        text: MeterScale.markLabel(parent.index)
                        font.family: "Consolas, Segoe UI, sans-serif"
                        font.pixelSize: 8
                        font.bold: parent.index <= 1
                        color: parent.labelColor
                    }
                }
            }
        }

        Item {
            width: 18
            height: parent.height

            AudioVuMeter {
                objectName: "meter"
                y: meterArea.contentTop
                width: 18
                height: meterArea.contentHeight
                level: meterArea.levelLeft
                levelRight: meterArea.levelRight
            }
        }
    }
}
