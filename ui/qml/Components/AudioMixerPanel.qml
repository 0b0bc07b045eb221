import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "MeterScale.js" as MeterScale
import "ScrollMath.js" as ScrollMath
import "Tint.js" as Tint

// The audio mixer: a master strip and one strip per input channel, each with a fader, a dB
// readout, a scale and a level meter, and the mute, solo, separate-track and monitoring
// buttons. All audio state lives in AppManager; a strip re-reads its channel when
// channelAudioStateChanged names it.
Item {
    id: root

    // Width of all strips plus the frame; the window never makes the panel wider.
    readonly property real contentWidth: stripsRow.width + 14
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

    // --- pieces shared by the strips ---

    // Headphones drawn from rectangles: a head band over two ear cups.
    component HeadphonesIcon: Item {
        id: headphones

        property color color: Colors.textSecondary
        property bool isCrossed: false

        width: 14
        height: 12

        Item {
            width: parent.width
            height: 7
            clip: true

            Rectangle {
                width: parent.width
                height: parent.width
                radius: width / 2
                color: "transparent"
                border.width: 2
                border.color: headphones.color
            }
        }

        Rectangle { x: 0; y: 6; width: 4; height: 6; radius: 1; color: headphones.color }
        Rectangle { x: parent.width - 4; y: 6; width: 4; height: 6; radius: 1; color: headphones.color }

        Text {
            x: parent.width - 2
            y: -4
            visible: headphones.isCrossed
            text: "x"
            font.pixelSize: 9
            font.bold: true
            color: headphones.color
        }
    }

    // A speaker drawn from rectangles, with a sound arc or a cross beside it.
    component SpeakerIcon: Item {
        id: speaker

        property color color: Colors.textSecondary
        property bool isCrossed: false

        width: 16
        height: 12

        Rectangle { x: 0; y: 4; width: 3; height: 4; color: speaker.color }
        Rectangle { x: 3; y: 1; width: 4; height: 10; radius: 1; color: speaker.color }

        Item {
            x: 8
            width: 6
            height: 12
            visible: !speaker.isCrossed
            clip: true

            Rectangle {
                x: -6
                width: 12
                height: 12
                radius: 6
                color: "transparent"
                border.width: 1.5
                border.color: speaker.color
            }
        }

        Text {
            x: 9
            anchors.verticalCenter: parent.verticalCenter
            visible: speaker.isCrossed
            text: "x"
            font.pixelSize: 10
            font.bold: true
            color: speaker.color
        }
    }

    // The global live-monitoring toggle as a strip button.
    component MonitorBox: Rectangle {
        id: monitorBox

        property real onOpacity: 0.25

        radius: 2
        color: AppManager.liveMonitoringEnabled ? Tint.alpha(Colors.liveGreen, onOpacity) : Colors.surfaceDark
        border.width: 1
        border.color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.borderDark

        HeadphonesIcon {
            anchors.centerIn: parent
            color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.textSecondary
            isCrossed: !AppManager.liveMonitoringEnabled
        }

        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: root.toggleMonitoring()
        }
    }

    // Fader, dB scale and level meter of a strip.
    component MeterArea: Item {
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
        // 140 px when the panel has room; below that the meter gives way so the buttons
        // under it stay visible in a window of the default height.
        Layout.minimumHeight: 40
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
                        id: track

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

    // A small square strip button with a text.
    component TextBox: Rectangle {
        id: textBox

        property string label
        property font labelFont: Typography.captionBold
        property bool isOn: false
        property color onColor: Colors.accent
        property color offTextColor: Colors.textSecondary
        readonly property bool isHovered: textArea.containsMouse

        signal clicked()

        radius: 2
        color: isOn ? Tint.alpha(onColor, 0.25) : Colors.surfaceDark
        border.width: 1
        border.color: isOn ? onColor : Colors.borderDark

        Text {
            anchors.centerIn: parent
            text: textBox.label
            font: textBox.labelFont
            color: textBox.isOn ? textBox.onColor : textBox.offTextColor
        }

        MouseArea {
            id: textArea

            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: textBox.clicked()
        }
    }

    component MasterStrip: Rectangle {
        id: masterStrip

        // The fader's value; the back end offers no change signal for the master volume, so
        // the strip keeps what it last set.
        property real volume: AppManager.masterAudioVolume()

        function setVolume(v) {
            volume = v
            AppManager.setMasterAudioVolume(v)
        }

        width: 120
        color: Colors.panelDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 3

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 4
            spacing: 4

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 18
                Layout.minimumHeight: 18
                radius: 2
                color: Tint.alpha(Colors.accent, 0.15)
                border.width: 1
                border.color: Colors.accent

                Text {
                    anchors.centerIn: parent
                    text: "MASTER"
                    font: Typography.captionBold
                    color: Colors.accent
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 26
                Layout.minimumHeight: 26
                radius: 3
                color: Colors.surfaceDark
                border.width: 1
                border.color: Colors.borderDark
                ToolTip.visible: busArea.containsMouse
                ToolTip.delay: 300
                ToolTip.text: "Master Program Mix (Failsafe Bus): Sums all assigned channels. Always recorded to Master_Audio_Output.wav."

                Row {
                    anchors.centerIn: parent
                    spacing: 4

                    Rectangle {
                        anchors.verticalCenter: parent.verticalCenter
                        width: 6
                        height: 6
                        radius: 3
                        color: Colors.liveGreen
                    }

                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        // Shrinks where the fallback font is wider than Segoe UI.
                        width: Math.min(implicitWidth, 112 - 8 - 10)
                        text: "PROGRAM MIX (FAILSAFE)"
                        font: Typography.smallBold
                        fontSizeMode: Text.HorizontalFit
                        minimumPixelSize: 7
                        color: Colors.textSecondary
                    }
                }

                MouseArea {
                    id: busArea

                    anchors.fill: parent
                    hoverEnabled: true
                }
            }

            DbInputBox {
                Layout.alignment: Qt.AlignHCenter
                volumeValue: masterMeter.faderValue
                onVolumeSet: newVolume => masterStrip.setVolume(newVolume)
            }

            MeterArea {
                id: masterMeter

                volume: masterStrip.volume
                levelLeft: AppManager.masterAudioLevel
                levelRight: AppManager.masterAudioLevelRight
                onMoved: value => masterStrip.setVolume(value)
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.preferredHeight: 24
                Layout.minimumHeight: 24
                spacing: 4

                Rectangle {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    radius: 2
                    color: Colors.surfaceDark
                    border.width: 1
                    border.color: Colors.borderDark

                    SpeakerIcon {
                        anchors.centerIn: parent
                    }
                }

                MonitorBox {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    onOpacity: 0.2
                }
            }
        }
    }

    component ChannelStrip: Rectangle {
        id: strip

        required property int channelId
        required property string channelName
        required property real audioLevel
        required property real audioLevelRight
        property bool isMuted: false
        property bool isSolo: false
        property bool isSeparate: false
        property string inputName: ""
        property real volume: 1.0
        property int cameraLink: 0
        readonly property var inputDevices: AppManager.audioInputDevices
        readonly property int inputIndex: Math.max(0, inputDevices.indexOf(inputName))

        function refresh() {
            isMuted = AppManager.isChannelAudioMuted(channelId)
            isSolo = AppManager.isChannelAudioSolo(channelId)
            isSeparate = AppManager.isChannelSeparateAudioEnabled(channelId)
            inputName = AppManager.getChannelAudioInput(channelId)
            cameraLink = AppManager.getChannelCameraLink(channelId)
            if (!meter.isFaderPressed)
                volume = AppManager.getChannelAudioVolume(channelId)
        }

        function setVolume(v) {
            volume = v
            AppManager.setChannelAudioVolume(channelId, v)
        }

        width: 120
        color: Colors.panelDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 3
        Component.onCompleted: refresh()

        Connections {
            target: AppManager
            function onChannelAudioStateChanged(channelId) {
                if (channelId === strip.channelId)
                    strip.refresh()
            }
        }

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 4
            spacing: 4

            Rectangle {
                id: badge

                objectName: "channelBadge"
                Layout.fillWidth: true
                Layout.preferredHeight: 20
                Layout.minimumHeight: 20
                radius: 2
                color: strip.isMuted ? Tint.alpha(Colors.recRed, 0.2)
                     : strip.isSolo ? Tint.alpha(Colors.alertAmber, 0.2)
                     : Tint.alpha(Colors.borderStrong, 0.25)
                border.width: 1
                border.color: strip.isMuted ? Colors.recRed : strip.isSolo ? Colors.alertAmber : Colors.borderDark

                Text {
                    objectName: "badgeText"
                    anchors.centerIn: parent
                    width: Math.min(implicitWidth, parent.width - 32)
                    elide: Text.ElideRight
                    text: strip.isMuted ? "MUTED" : strip.isSolo ? "SOLO" : strip.channelName.toUpperCase()
                    font: Typography.captionBold
                    color: strip.isMuted ? Colors.recRed : strip.isSolo ? Colors.alertAmber : Colors.textPrimary
                }

                Text {
                    id: gear

                    anchors.right: parent.right
                    anchors.rightMargin: 4
                    anchors.verticalCenter: parent.verticalCenter
                    text: "⚙"
                    font.pixelSize: 10
                    color: Colors.textSecondary

                    MouseArea {
                        anchors.fill: parent
                        anchors.margins: -4
                        cursorShape: Qt.PointingHandCursor
                        onClicked: settingsPopup.open()
                    }
                }

                Popup {
                    id: settingsPopup

                    objectName: "channelSettings"
                    x: badge.width + 4
                    y: 0
                    width: 260
                    height: 380
                    padding: 12
                    modal: true
                    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

                    background: Rectangle {
                        color: Colors.backgroundDark
                        border.width: 1
                        border.color: Colors.borderDark
                        radius: 4
                    }

                    contentItem: Column {
                        spacing: 12

                        Text {
                            text: strip.channelName + " Settings"
                            font: Typography.captionBold
                            color: Colors.textPrimary
                        }

                        Rectangle {
                            width: parent.width
                            height: 1
                            color: Colors.borderDark
                        }

                        Text {
                            text: "Physical Input"
                            font: Typography.caption
                            color: Colors.textSecondary
                        }

                        DarkComboBox {
                            width: parent.width
                            height: 28
                            font: Typography.caption
                            model: strip.inputDevices
                            currentIndex: strip.inputIndex
                            onActivated: index => AppManager.setAudioInputForChannel(strip.channelId, textAt(index))
                        }

                        Text {
                            text: "Gain Trim (dB)"
                            font: Typography.caption
                            color: Colors.textSecondary
                        }

                        // Not bound to the back end: it has no gain trim.
                        Slider {
                            width: parent.width
                            height: 20
                            from: -20
                            to: 20
                            value: 0
                        }

                        // Not bound to the back end: it has no low-cut filter.
                        Switch {
                            id: lowCut

                            text: "Low-Cut Filter (80Hz)"
                            checked: false

                            contentItem: Text {
                                leftPadding: lowCut.indicator.width + lowCut.spacing
                                text: lowCut.text
                                font: Typography.caption
                                color: Colors.textPrimary
                                verticalAlignment: Text.AlignVCenter
                            }
                        }

                        Text {
                            text: "Camera Link Binding"
                            font: Typography.caption
                            color: Colors.textSecondary
                        }

                        DarkComboBox {
                            width: parent.width
                            height: 28
                            font: Typography.caption
                            model: ["None", "Camera 1 (V1)", "Camera 2 (V2)", "Camera 3 (V3)", "Camera 4 (V4)"]
                            currentIndex: strip.cameraLink
                            onActivated: index => AppManager.setChannelCameraLink(strip.channelId, index)
                        }

                        CheckBox {
                            id: separateCheck

                            text: "Separate Track (ISO REC)"
                            checked: strip.isSeparate
                            onToggled: {
                                AppManager.setChannelSeparateAudioEnabled(strip.channelId, checked)
                                checked = Qt.binding(() => strip.isSeparate)
                            }

                            contentItem: Text {
                                leftPadding: separateCheck.indicator.width + separateCheck.spacing
                                text: separateCheck.text
                                font: Typography.captionBold
                                color: Colors.accent
                                verticalAlignment: Text.AlignVCenter
                            }
                        }

                        Item {
                            width: parent.width
                            height: 28

                            DarkButton {
                                anchors.right: parent.right
                                width: 70
                                height: 28
                                onClicked: settingsPopup.close()

                                Text {
                                    anchors.centerIn: parent
                                    text: "CLOSE"
                                    font: Typography.captionBold
                                    color: Colors.textPrimary
                                }
                            }
                        }
                    }
                }
            }

            DarkComboBox {
                objectName: "inputSelector"
                Layout.fillWidth: true
                Layout.preferredHeight: 26
                Layout.minimumHeight: 26
                font: Typography.caption
                popupMinWidth: 320
                model: strip.inputDevices
                currentIndex: strip.inputIndex
                onActivated: index => AppManager.setAudioInputForChannel(strip.channelId, textAt(index))
                ToolTip.visible: hovered
                ToolTip.delay: 300
                ToolTip.text: strip.inputName
            }

            DbInputBox {
                Layout.alignment: Qt.AlignHCenter
                volumeValue: meter.faderValue
                isMuted: strip.isMuted
                onVolumeSet: newVolume => strip.setVolume(newVolume)
            }

            MeterArea {
                id: meter

                volume: strip.volume
                isMuted: strip.isMuted
                levelLeft: strip.isMuted ? 0 : strip.audioLevel
                levelRight: strip.isMuted ? 0 : strip.audioLevelRight
                onMoved: value => strip.setVolume(value)
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.preferredHeight: 24
                Layout.minimumHeight: 24
                spacing: 4

                Rectangle {
                    objectName: "muteButton"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    radius: 2
                    color: strip.isMuted ? Tint.alpha(Colors.recRed, 0.25) : Colors.surfaceDark
                    border.width: 1
                    border.color: strip.isMuted ? Colors.recRed : Colors.borderDark

                    SpeakerIcon {
                        anchors.centerIn: parent
                        color: strip.isMuted ? Colors.recRed : Colors.textSecondary
                        isCrossed: strip.isMuted
                    }

                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: AppManager.setChannelAudioMute(strip.channelId, !strip.isMuted)
                    }
                }

                TextBox {
                    objectName: "soloButton"
                    Layout.preferredWidth: 24
                    Layout.fillHeight: true
                    label: "S"
                    isOn: strip.isSolo
                    onColor: Colors.alertAmber
                    onClicked: AppManager.setChannelAudioSolo(strip.channelId, !strip.isSolo)
                }

                TextBox {
                    id: isoButton

                    objectName: "separateButton"
                    Layout.preferredWidth: 28
                    Layout.fillHeight: true
                    label: "ISO"
                    labelFont: Typography.smallBold
                    isOn: strip.isSeparate
                    offTextColor: Colors.textMuted
                    onClicked: AppManager.setChannelSeparateAudioEnabled(strip.channelId, !strip.isSeparate)
                    ToolTip.visible: isHovered
                    ToolTip.delay: 300
                    ToolTip.text: strip.isSeparate
                                  ? "Separate Track Recording: ON\n(Records both separate Channel audio file AND Master failsafe mix)"
                                  : "Separate Track Recording: OFF\n(Audio mixed into Master failsafe only)"
                }

                MonitorBox {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                }
            }
        }
    }

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
                        text: "AUDIO MIXER"
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }

                    Item { Layout.fillWidth: true }

                    Rectangle {
                        objectName: "monitorToggle"
                        Layout.preferredWidth: 80
                        Layout.preferredHeight: 22
                        radius: 3
                        color: AppManager.liveMonitoringEnabled ? Tint.alpha(Colors.liveGreen, 0.18) : Colors.surfaceDark
                        border.width: 1
                        border.color: AppManager.liveMonitoringEnabled ? Colors.liveGreen : Colors.borderDark

                        Text {
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

                    MasterStrip {
                        height: parent.height
                    }

                    Repeater {
                        id: channelRepeater

                        model: ChannelsModel

                        ChannelStrip {
                            height: stripsRow.height
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
                color: Colors.borderDark
            }

            // Bottom bar.
            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 28
                Layout.minimumHeight: 28
                color: Colors.panelDark
                border.width: 1
                border.color: Colors.borderDark
                radius: 3

                Text {
                    objectName: "bottomText"
                    anchors.left: parent.left
                    anchors.leftMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.isOverflowing ? "Scroll ◀ ▶ for all channels"
                                             : root.stripCount + " Channels • All visible"
                    font: Typography.caption
                    color: root.isOverflowing ? Colors.textSecondary : Colors.liveGreen
                }

                Rectangle {
                    anchors.right: parent.right
                    anchors.rightMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    width: 22
                    height: 22
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

    }
}
