pragma ComponentBehavior: Bound
import QtQuick
import "MeterScale.js" as MeterScale

// A level meter of plain rectangles: one bar (mono) or two (stereo, from 14 px wide), lit
// from the bottom through a fixed gradient, with a peak line held by a 25 ms timer.
Item {
    id: root

    property real level: 0
    property real levelRight: level
    property real peakL: 0
    property real peakR: 0
    property int holdCountL: 0
    property int holdCountR: 0
    readonly property bool isStereo: MeterScale.isStereo(width)
    readonly property real fractionL: MeterScale.fraction(level)
    readonly property real fractionR: MeterScale.fraction(levelRight)

    // One tick of the peak hold of both sides.
    function stepPeaks() {
        var l = MeterScale.stepPeak(peakL, holdCountL, fractionL)
        peakL = l.peak
        holdCountL = l.holdCount
        var r = MeterScale.stepPeak(peakR, holdCountR, fractionR)
        peakR = r.peak
        holdCountR = r.holdCount
    }

    implicitWidth: 18
    implicitHeight: 180

    Timer {
        interval: MeterScale.tickMs
        repeat: true
        running: true
        onTriggered: root.stepPeaks()
    }

    Row {
        anchors.fill: parent
        spacing: 2

        Repeater {
            model: root.isStereo ? 2 : 1

            Rectangle {
                id: bar

                required property int index
                readonly property real fraction: index === 0 ? root.fractionL : root.fractionR
                readonly property real peak: index === 0 ? root.peakL : root.peakR
                readonly property real innerHeight: Math.max(0, height - 2)

                width: root.isStereo ? MeterScale.stereoBarWidth(root.width) : root.width
                height: root.height
                color: "#000000"
                border.color: "#161922"
                border.width: 1
                radius: 2
                clip: true

                // Unlit segments.
                Column {
                    x: 1
                    y: 1
                    spacing: 1

                    Repeater {
                        model: MeterScale.unlitRows(bar.height)

                        Rectangle {
                            width: bar.width - 2
                            height: 2
                            color: "#080a0f"
                        }
                    }
                }

                // The lit part: a window at the bottom onto a gradient fixed to the full bar.
                Item {
                    objectName: "litPart"
                    x: 1
                    width: bar.width - 2
                    height: MeterScale.litHeight(bar.height, bar.fraction)
                    y: 1 + bar.innerHeight - height
                    clip: true

                    Rectangle {
                        width: parent.width
                        height: bar.innerHeight
                        y: parent.height - height

                        gradient: Gradient {
                            GradientStop { position: 0.00; color: "#FF003C" }
                            GradientStop { position: 0.05; color: "#FF2600" }
                            GradientStop { position: 0.10; color: "#FF8000" }
                            GradientStop { position: 0.20; color: "#FFD000" }
                            GradientStop { position: 0.30; color: "#99FF00" }
                            GradientStop { position: 0.50; color: "#00FF66" }
                            GradientStop { position: 0.75; color: "#00D672" }
                            GradientStop { position: 1.00; color: "#00552B" }
                        }
                    }
                }

                // Grille cutting the light into 2 px segments.
                Column {
                    x: 1
                    y: 3
                    spacing: 2

                    Repeater {
                        model: MeterScale.unlitRows(bar.height)

                        Rectangle {
                            width: bar.width - 2
                            height: 1
                            color: "#000000"
                        }
                    }
                }

                Rectangle {
                    objectName: "peakLine"
                    x: 1
                    y: MeterScale.peakLineY(bar.height, bar.peak)
                    width: bar.width - 2
                    height: 2
                    visible: MeterScale.peakVisible(bar.peak)
                    color: MeterScale.peakColor(bar.peak)

                    Rectangle {
                        width: parent.width
                        height: 1
                        color: "#FFFFFF"
                        opacity: 0.85
                    }
                }
            }
        }
    }
}
