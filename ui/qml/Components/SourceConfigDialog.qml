import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "SourceFormatLists.js" as Lists
import "StatusTexts.js" as StatusTexts
import "Tint.js" as Tint

// Puts a camera on a channel (add mode) or changes the camera, format, name or hotkey of a
// channel that has one (edit mode). A dimmed layer over the whole main window with a card.
// The format lists and what applying or disabling a source does are the back end's (the
// phone page calls the same commands).
Rectangle {
    id: root

    property int targetChannelId: 1
    property bool isEditMode: false
    property var availableCameras: []
    // The chosen camera's format lists: {resolutions: [{label, width, height, frameRates:
    // [{label, fps, formatName}]}], colorRanges: [{label, value}], positions}.
    property var formatChoices: ({ resolutions: [], colorRanges: [] })
    property var resolutionModel: []
    property var frameRateModel: []
    // The picture is to be turned upside down (shown by the flip box, applied with the camera).
    property bool isFlipChosen: false
    // The last apply could not open the camera; the card stays open and says why.
    property bool applyFailed: false
    property string applyError: ""
    // In edit mode: how the channel's camera runs, with what was asked where it differs.
    property string grantedFormat: ""
    // False when the camera did not grant what was asked (grantedFormat then says what).
    property bool isGrantedAsAsked: true
    // Why the chosen camera cannot be used (no permission, in use elsewhere); empty when it can.
    readonly property string cameraProblem: {
        const index = cameraCombo.currentIndex
        const camera = index >= 0 && index < availableCameras.length ? availableCameras[index] : null
        return camera && !Lists.isCameraUsable(camera) ? camera.unavailable : ""
    }

    readonly property bool isEnglish: AppManager.currentLanguage === "EN"
    readonly property bool hasCameras: availableCameras.length > 0
    // How the channel's camera goes into its file, in the order of recordingModeCombo.
    readonly property var recordingModeKeys: ["default", "reencode", "camera"]
    // Re-read every second while shown: the camera's stream rate is measured as it runs.
    property int costRevision: 0
    // Re-read after every key change: getSourceKeyName has no notification of its own.
    property int keybindRevision: 0
    readonly property string keyName: keybindRevision >= 0 ? AppManager.getSourceKeyName(targetChannelId - 1) : ""

    readonly property alias nameField: nameField
    readonly property alias cameraCombo: cameraCombo
    readonly property alias resolutionCombo: resolutionCombo
    readonly property alias frameRateCombo: frameRateCombo
    readonly property alias colorRangeCombo: colorRangeCombo
    readonly property alias recordingModeCombo: recordingModeCombo
    readonly property alias flipBox: flipBox
    readonly property alias keyCapture: keyCapture
    readonly property alias keyCard: keyCard
    readonly property alias cancelButton: cancelButton
    readonly property alias disableButton: disableButton
    readonly property alias applyButton: applyButton
    readonly property alias closeButton: closeButton

    function tr(english, serbian) {
        return StatusTexts.tr(AppManager.currentLanguage, english, serbian)
    }

    function openForChannel(channelId, editMode) {
        // Only the four channels exist; "no free channel" (-1) must not become a target.
        if (!(channelId >= 1 && channelId <= 4)) {
            console.warn("SourceConfigDialog: no channel " + channelId)
            return
        }
        targetChannelId = channelId
        isEditMode = editMode
        applyFailed = false
        grantedFormat = editMode ? AppManager.getCameraFormatTextForChannel(channelId) : ""
        isGrantedAsAsked = !editMode || AppManager.getCameraHealthForChannel(channelId).formatAsAsked !== false
        availableCameras = AppManager.getAvailableCameras()
        nameField.text = ChannelsModel.getChannelName(channelId) || "CAM " + channelId
        isFlipChosen = AppManager.isChannelCameraFlipped(channelId)

        if (editMode) {
            const link = AppManager.getCameraLinkForChannel(channelId)
            const found = availableCameras.findIndex(camera => camera.link === link)
            cameraCombo.currentIndex = Math.max(0, found)
            rebuildResolutions()
            // Where the channel's camera sits in the lists.
            const positions = formatChoices.positions || { resolution: 0, frameRate: 0, colorRange: 0 }
            resolutionCombo.currentIndex = positions.resolution
            rebuildFrameRates()
            frameRateCombo.currentIndex = positions.frameRate
            colorRangeCombo.currentIndex = positions.colorRange
        } else {
            cameraCombo.currentIndex = 0
            rebuildResolutions()
            colorRangeCombo.currentIndex = 0
        }
        recordingModeCombo.currentIndex = Math.max(0, recordingModeKeys.indexOf(AppManager.getCameraRecordingModeForChannel(channelId)))
        visible = true
    }

    function hide() {
        keyCapture.stop()
        visible = false
    }

    // The link of the chosen camera; empty when there is none to choose.
    function selectedCameraLink() {
        const index = cameraCombo.currentIndex
        return index >= 0 && index < availableCameras.length ? availableCameras[index].link : ""
    }

    function rebuildResolutions() {
        const link = selectedCameraLink()
        formatChoices = AppManager.getSourceFormatChoices(link, targetChannelId)
        const kept = resolutionCombo.currentIndex
        resolutionModel = formatChoices.resolutions.map(entry => entry.label)
        resolutionCombo.currentIndex = kept >= 0 && kept < resolutionModel.length ? kept : 0
        rebuildFrameRates()
    }

    function rebuildFrameRates() {
        const kept = frameRateCombo.currentIndex
        frameRateModel = selectedResolution().frameRates.map(entry => entry.label)
        frameRateCombo.currentIndex = kept >= 0 && kept < frameRateModel.length ? kept : 0
    }

    function selectedResolution() {
        return formatChoices.resolutions[resolutionCombo.currentIndex]
               || { width: 1920, height: 1080, frameRates: [] }
    }

    function apply() {
        const link = selectedCameraLink()
        if (link === "") {
            hide()
            return
        }
        if (cameraProblem !== "")
            return // the notice says why; nothing to apply

        const resolution = selectedResolution()
        const rate = resolution.frameRates[frameRateCombo.currentIndex] || { fps: 30, formatName: "" }
        const range = formatChoices.colorRanges[colorRangeCombo.currentIndex] || { value: "Default" }
        // The mode first: the camera keeps its compressed pictures from its first one.
        AppManager.setCameraRecordingModeForChannel(targetChannelId, recordingModeKeys[recordingModeCombo.currentIndex])
        const result = AppManager.applyChannelSource(targetChannelId, link, resolution.width, resolution.height,
                                                     rate.fps, range.value, rate.formatName, nameField.text)
        if (!result.ok) {
            applyError = result.error
            applyFailed = true
            return
        }
        AppManager.setChannelCameraFlipped(targetChannelId, isFlipChosen)
        hide()
    }

    function disableSource() {
        AppManager.removeChannelSource(targetChannelId)
        hide()
    }

    anchors.fill: parent
    visible: false
    color: Qt.rgba(0, 0, 0, 0.75)
    onVisibleChanged: {
        if (!visible)
            keyCapture.stop()
    }

    Connections {
        target: AppManager
        function onKeybindsChanged() { root.keybindRevision++ }
    }

    Timer {
        interval: 1000
        repeat: true
        running: root.visible && root.isEditMode
        onTriggered: root.costRevision++
    }

    // The layer takes every click and wheel turn meant for the window below.
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: wheel => wheel.accepted = true
    }

    component Caption: Text {
        font: Typography.captionBold
        color: Colors.textSecondary
        elide: Text.ElideRight
    }

    component ListBox: DarkComboBox {
        Layout.fillWidth: true
        Layout.preferredHeight: 32
        font: Typography.caption
    }

    Rectangle {
        id: card

        anchors.centerIn: parent
        width: 490
        height: 550
        color: Colors.panelDark
        border.color: Colors.accent
        radius: 6

        MouseArea { anchors.fill: parent }

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 20
            spacing: 14

            RowLayout {
                Layout.fillWidth: true
                spacing: 12

                Rectangle {
                    Layout.preferredWidth: 32
                    Layout.preferredHeight: 32
                    radius: 4
                    color: Tint.alpha(Colors.accent, 0.15)
                    border.color: Colors.accent

                    Text {
                        anchors.centerIn: parent
                        text: "📹"
                        font.pixelSize: 16
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2

                    Text {
                        objectName: "dialogTitle"
                        Layout.fillWidth: true
                        text: root.isEditMode
                              ? root.tr("CONFIGURE CHANNEL ", "PODEŠAVANJE ZA KANAL ") + root.targetChannelId
                              : root.tr("ADD VIDEO SOURCE (CHANNEL ", "DODAJ VIDEO SOURCE (KANAL ")
                                + root.targetChannelId + ")"
                        font: Typography.heading3
                        color: Colors.textPrimary
                        elide: Text.ElideRight
                    }

                    Text {
                        Layout.fillWidth: true
                        text: root.isEditMode
                              ? root.tr("Change device or resolution without deleting source",
                                        "Izmenite uređaj ili rezoluciju bez brisanja sourca")
                              : root.tr("Select video device and signal parameters",
                                        "Izaberite video uređaj i parametre signala")
                        font: Typography.caption
                        color: Colors.textSecondary
                        elide: Text.ElideRight
                    }
                }

                DarkButton {
                    id: closeButton

                    Layout.preferredWidth: 32
                    Layout.preferredHeight: 32
                    onClicked: root.hide()

                    Text {
                        anchors.centerIn: parent
                        text: "✕"
                        font.pixelSize: 14
                        color: Colors.textSecondary
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 1
                color: Colors.borderDark
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6

                Caption { text: root.tr("CHANNEL NAME:", "NAZIV KANALA:") }

                TextField {
                    id: nameField

                    Layout.fillWidth: true
                    Layout.preferredHeight: 32
                    leftPadding: 10
                    font: Typography.body
                    color: Colors.textPrimary
                    selectionColor: Colors.accent
                    selectedTextColor: Colors.backgroundDark
                    verticalAlignment: TextInput.AlignVCenter
                    background: Rectangle {
                        radius: 4
                        color: Colors.surfaceDark
                        border.color: nameField.activeFocus ? Colors.accent : Colors.borderDark
                    }
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6

                Caption { text: root.tr("VIDEO DEVICE (CAMERA / CAPTURE CARD):", "VIDEO UREĐAJ (KAMERA / CAPTURE CARD):") }

                ListBox {
                    id: cameraCombo

                    popupMinWidth: width
                    model: root.hasCameras ? root.availableCameras.map(camera => Lists.cameraLabel(camera))
                                           : [root.tr("No cameras detected", "Nema pronađenih kamera")]
                    onActivated: {
                        root.applyFailed = false
                        root.rebuildResolutions()
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 12

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    spacing: 6

                    Caption { Layout.fillWidth: true; text: root.tr("RESOLUTION:", "REZOLUCIJA:") }

                    ListBox {
                        id: resolutionCombo

                        popupMinWidth: width
                        model: root.resolutionModel
                        onActivated: {
                            root.applyFailed = false
                            root.rebuildFrameRates()
                        }
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    spacing: 6

                    Caption { Layout.fillWidth: true; text: root.tr("FRAMERATE (FPS):", "BROJ SLIČICA (FPS):") }

                    ListBox {
                        id: frameRateCombo

                        popupMinWidth: width
                        model: root.frameRateModel
                        onActivated: root.applyFailed = false
                    }
                }
            }

            Text {
                objectName: "grantedFormatText"
                Layout.fillWidth: true
                visible: root.isEditMode && root.grantedFormat !== ""
                text: root.tr("RUNNING: ", "RADI: ") + root.grantedFormat
                font: Typography.caption
                // Amber when the camera did not grant what was asked.
                color: root.isGrantedAsAsked ? Colors.textSecondary : Colors.alertAmber
                elide: Text.ElideRight
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 12

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 6

                    Caption { text: root.tr("COLOR RANGE:", "RASPON BOJA (COLOR RANGE):") }

                    ListBox {
                        id: colorRangeCombo

                        popupMinWidth: width
                        model: root.formatChoices.colorRanges.map(entry => entry.label)
                    }
                }

                // A camera mounted upside down.
                SettingsCheckBox {
                    id: flipBox

                    objectName: "flipBox"
                    Layout.alignment: Qt.AlignBottom
                    Layout.bottomMargin: 8
                    text: root.tr("FLIP PICTURE", "OKRENI SLIKU")
                    font: Typography.captionBold
                    shownChecked: root.isFlipChosen
                    onCommitted: checked => root.isFlipChosen = checked
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6

                Caption { text: root.tr("RECORDING:", "SNIMANJE:") }

                ListBox {
                    id: recordingModeCombo

                    popupMinWidth: 260
                    model: [
                        root.tr("Default (", "Podrazumevano (")
                            + (AppManager.defaultCameraRecordingMode === "camera" ? root.tr("camera stream", "strim kamere")
                                                                                   : root.tr("re-encode", "ponovo kodiraj")) + ")",
                        root.tr("Re-encode (H.264/HEVC)", "Ponovo kodiraj (H.264/HEVC)"),
                        root.tr("Camera's own stream (MJPEG/H.264)", "Strim kamere (MJPEG/H.264)")
                    ]
                }
            }

            Text {
                objectName: "recordingCostText"
                Layout.fillWidth: true
                visible: root.isEditMode && text !== ""
                text: root.costRevision >= 0 && root.isEditMode ? AppManager.getRecordingCostTextForChannel(root.targetChannelId) : ""
                font: Typography.caption
                color: Colors.textSecondary
                wrapMode: Text.WordWrap
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6

                Caption { text: root.tr("CAMERA SWITCH KEYBIND (HOTKEY):", "PREČICA ZA SWITCH KAMERE (KEYBIND):") }

                RowLayout {
                    Layout.fillWidth: true
                    spacing: 12

                    Rectangle {
                        id: keyCard

                        readonly property bool listening: keyCapture.listening

                        Layout.preferredWidth: 140
                        Layout.preferredHeight: 34
                        radius: 4
                        color: listening ? Tint.alpha(Colors.accent, 0.15)
                             : keyMouse.containsMouse ? Colors.surfaceDark : Colors.panelDark
                        border.width: listening ? 2 : 1
                        border.color: listening ? Colors.accent
                                    : keyMouse.containsMouse ? Colors.borderStrong : Colors.borderDark

                        Text {
                            objectName: "keyText"
                            anchors.centerIn: parent
                            width: parent.width - 12
                            horizontalAlignment: Text.AlignHCenter
                            text: keyCard.listening ? root.tr("Press Key...", "Pritisnite taster...")
                                : root.keyName !== "" ? root.keyName : "Key " + root.targetChannelId
                            font: Typography.bodyBold
                            color: keyCard.listening ? Colors.accent : Colors.textPrimary
                            elide: Text.ElideRight
                        }

                        MouseArea {
                            id: keyMouse

                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: Qt.PointingHandCursor
                            onClicked: keyCapture.start()
                        }

                        KeybindCapture {
                            id: keyCapture

                            sourceIndex: root.targetChannelId - 1
                        }
                    }

                    Text {
                        objectName: "keyHint"
                        Layout.fillWidth: true
                        text: keyCard.listening
                              ? root.tr("Waiting for key press (press Esc to cancel)...",
                                        "Čekanje tastera (Esc za odustajanje)...")
                              : root.tr("Click to assign camera switch hotkey", "Kliknite za promenu prečice")
                        font: Typography.caption
                        color: keyCard.listening ? Colors.accent : Colors.textMuted
                        wrapMode: Text.WordWrap
                        maximumLineCount: 2
                        elide: Text.ElideRight
                    }
                }
            }

            // The routing notice; for a camera that cannot be used, or after a failed apply, it
            // tells why the card is still open.
            Rectangle {
                id: notice

                readonly property bool warns: root.applyFailed || root.cameraProblem !== ""

                objectName: "notice"
                Layout.fillWidth: true
                Layout.preferredHeight: 34
                radius: 4
                color: warns ? Tint.alpha(Colors.recRed, 0.12) : Colors.surfaceDark
                border.color: warns ? Colors.recRed : Colors.borderDark

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 10
                    anchors.rightMargin: 10
                    spacing: 8

                    Text {
                        text: notice.warns ? "⚠" : "🎙"
                        font.pixelSize: 14
                        color: notice.warns ? Colors.recRed : Colors.textSecondary
                    }

                    Text {
                        objectName: "noticeText"
                        Layout.fillWidth: true
                        text: root.cameraProblem !== ""
                              ? root.tr("This camera cannot be used: ", "Ova kamera ne može da se koristi: ") + root.cameraProblem
                              : root.applyFailed
                              ? root.tr("The camera could not be opened with these settings. Choose another device or format.",
                                        "Kamera ne može da se otvori sa ovim podešavanjima. Izaberite drugi uređaj ili format.")
                                + (root.applyError !== "" ? " (" + root.applyError + ")" : "")
                              : root.tr("Audio inputs for this video channel are routed in the Audio Mixer at the bottom.",
                                        "Audio ulazi za ovaj video kanal se podešavaju u Audio Mixer-u na dnu ekrana.")
                        font.family: "Segoe UI"
                        font.pixelSize: 10
                        color: notice.warns ? Colors.recRed : Colors.textSecondary
                        wrapMode: Text.WordWrap
                        maximumLineCount: 2
                        elide: Text.ElideRight
                    }
                }
            }

            Item { Layout.fillHeight: true }

            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                DarkButton {
                    id: cancelButton

                    Layout.preferredWidth: 90
                    Layout.preferredHeight: 36
                    onClicked: root.hide()

                    Text {
                        anchors.centerIn: parent
                        text: root.tr("CANCEL", "OTKAŽI")
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }
                }

                DarkButton {
                    id: disableButton

                    Layout.preferredWidth: 140
                    Layout.preferredHeight: 36
                    visible: root.isEditMode
                    border.color: Colors.recRed
                    onClicked: root.disableSource()

                    Text {
                        anchors.centerIn: parent
                        text: root.tr("DISABLE SOURCE", "ISKLJUČI SOURCE")
                        font: Typography.captionBold
                        color: Colors.recRed
                    }
                }

                Item { Layout.fillWidth: true }

                DarkButton {
                    id: applyButton

                    Layout.preferredWidth: 150
                    Layout.preferredHeight: 36
                    color: down ? Qt.darker(Colors.accent, 1.2) : Colors.accent
                    border.color: Colors.accent
                    onClicked: root.apply()

                    Text {
                        anchors.centerIn: parent
                        text: root.isEditMode ? root.tr("SAVE CHANGES", "SAČUVAJ IZMENE")
                                              : root.tr("ADD SOURCE", "DODAJ SOURCE")
                        font: Typography.captionBold
                        color: "black"
                    }
                }
            }
        }
    }
}
