import QtQuick
import QtTest
import Vireon
import "qrc:/Vireon/ui/qml/Components/SourceFormatLists.js" as Lists

// The source configuration dialog: what opening, applying and disabling do to the channel, with
// the built-in cameras. The lists themselves are built by the back end (tst_routing).
Item {
    id: host

    width: 1280
    height: 720

    Component { id: dialogComponent; SourceConfigDialog {} }

    TestCase {
        id: testCase

        name: "SourceConfig"
        when: windowShown

        property var savedKeys: []

        function initTestCase() {
            for (let i = 0; i < 4; ++i)
                savedKeys.push(AppManager.getSourceKey(i))
        }

        function resetBackEnd() {
            for (let id = 1; id <= 4; ++id) {
                AppManager.removeCameraFromChannel(id)
                ChannelsModel.setHasActiveVideo(id, false)
                ChannelsModel.setChannelName(id, "Source " + id)
            }
            for (let i = 0; i < 4; ++i)
                AppManager.setSourceKey(i, savedKeys[i])
            AppManager.activeSourceId = 1
            AppManager.isCapturingKeybind = false
            AppManager.currentLanguage = "EN"
        }

        function init() {
            resetBackEnd()
            failOnWarning(/.*/)
        }

        function cleanup() {
            resetBackEnd()
        }

        function findByName(item, name) {
            if (!item)
                return null
            if (item.objectName === name)
                return item
            const kids = item.children || []
            for (let i = 0; i < kids.length; ++i) {
                const found = findByName(kids[i], name)
                if (found)
                    return found
            }
            return null
        }

        function cameraKey(name) {
            const camera = AppManager.getAvailableCameras().find(c => c.name === name)
            verify(camera, name + " is listed")
            return camera.link
        }

        function openDialog(channelId, editMode) {
            const dialog = createTemporaryObject(dialogComponent, host)
            verify(dialog)
            dialog.openForChannel(channelId, editMode)
            verify(dialog.visible)
            return dialog
        }

        function selectCamera(dialog, name) {
            const index = dialog.availableCameras.findIndex(c => c.name === name)
            verify(index >= 0, name + " offered")
            dialog.cameraCombo.currentIndex = index
            dialog.rebuildResolutions()
        }

        // --- the camera list ---

        function test_cameraLabels() {
            // A camera that cannot be opened is listed with its reason and cannot be chosen.
            const locked = { name: "Acme Cam", link: "/dev/video4", unavailable: "in use by another program" }
            compare(Lists.cameraLabel(locked), "Acme Cam \u2014 in use by another program")
            verify(!Lists.isCameraUsable(locked))
            compare(Lists.cameraLabel({ name: "Test Pattern 1", link: "x" }), "Test Pattern 1")
            verify(Lists.isCameraUsable({ name: "Test Pattern 1", link: "x" }))
        }

        // --- the dialog with the back end ---

        function test_addModeOpensOnTheFirstCamera() {
            const dialog = openDialog(2, false)
            compare(findByName(dialog, "dialogTitle").text, "ADD VIDEO SOURCE (CHANNEL 2)")
            verify(!dialog.disableButton.visible)
            compare(dialog.nameField.text, "Source 2")
            verify(dialog.availableCameras.some(c => c.name === "Test Pattern 1"))
            compare(dialog.cameraCombo.currentIndex, 0)
            compare(dialog.colorRangeCombo.currentIndex, 0)
            compare(dialog.resolutionCombo.model,
                    AppManager.getSourceFormatChoices(dialog.availableCameras[0].link).resolutions.map(e => e.label))

            ChannelsModel.setChannelName(2, "")
            dialog.openForChannel(2, false)
            compare(dialog.nameField.text, "CAM 2", "an unnamed channel offers CAM n")
        }

        function test_noChannelOpensNothing_data() {
            return [{ tag: "no free channel", id: -1 }, { tag: "zero", id: 0 }, { tag: "beyond 4", id: 5 }]
        }

        function test_noChannelOpensNothing(data) {
            const dialog = createTemporaryObject(dialogComponent, host)
            ignoreWarning("SourceConfigDialog: no channel " + data.id)
            dialog.openForChannel(data.id, false)
            verify(!dialog.visible)
            compare(dialog.targetChannelId, 1)
        }

        function test_choosingRebuildsAndKeepsValidPositions() {
            const dialog = openDialog(1, false)
            selectCamera(dialog, "Test Pattern 1")
            compare(dialog.resolutionCombo.model, ["1920x1080 (1080p FHD)", "1280x720 (720p HD)", "640x480 (SD)"])
            dialog.resolutionCombo.currentIndex = 2
            dialog.rebuildFrameRates()
            dialog.frameRateCombo.currentIndex = 3
            selectCamera(dialog, "Test Pattern 2")
            compare(dialog.resolutionCombo.currentIndex, 2, "same lists: positions kept")
            compare(dialog.frameRateCombo.currentText, "30.00 fps (I420)")
        }

        function test_applyPutsTheCameraOnTheChannel() {
            const dialog = openDialog(3, false)
            selectCamera(dialog, "Test Pattern 2")
            dialog.resolutionCombo.currentIndex = 1
            dialog.rebuildFrameRates()
            dialog.frameRateCombo.currentIndex = dialog.frameRateModel.indexOf("30.00 fps (I420)")
            dialog.colorRangeCombo.currentIndex = 2
            dialog.recordingModeCombo.currentIndex = 2 // the camera's own stream
            dialog.nameField.text = "   "
            mouseClick(dialog.applyButton)

            verify(!dialog.visible)
            verify(ChannelsModel.hasActiveVideo(3))
            compare(AppManager.getCameraLinkForChannel(3), cameraKey("Test Pattern 2"))
            compare(AppManager.getCameraWidthForChannel(3), 1280)
            compare(AppManager.getCameraHeightForChannel(3), 720)
            fuzzyCompare(AppManager.getCameraFramerateForChannel(3), 30, 0.01)
            compare(AppManager.getCameraColorRangeForChannel(3), "Partial (16-235 TV)")
            compare(ChannelsModel.getChannelName(3), "CAM 3")
            // The pixel format of the chosen entry is the one opened.
            compare(AppManager.getCameraFormatTextForChannel(3), "1280\u00d7720 I420 30 fps")
            compare(AppManager.getCameraRecordingModeForChannel(3), "camera")
            verify(!AppManager.isChannelCameraFlipped(3))

            // Flipped, kept with the channel and shown when the dialog opens again; a test
            // pattern sends raw pictures: the dialog says it is re-encoded, and at what cost.
            dialog.openForChannel(3, true)
            compare(dialog.recordingModeCombo.currentIndex, 2)
            verify(findByName(dialog, "recordingCostText").text.indexOf("sends no compressed stream") >= 0)
            mouseClick(dialog.flipBox)
            mouseClick(dialog.applyButton)
            verify(AppManager.isChannelCameraFlipped(3))
            dialog.openForChannel(3, true)
            verify(dialog.flipBox.checked)
            AppManager.setChannelCameraFlipped(3, false)
            AppManager.setCameraRecordingModeForChannel(3, "default")
        }

        function test_applyKeepsAnExistingProgrammeSource() {
            const dialog = openDialog(2, false)
            dialog.nameField.text = " Wide "
            AppManager.activeSourceId = 4
            mouseClick(dialog.applyButton)
            verify(ChannelsModel.hasActiveVideo(2))
            compare(ChannelsModel.getChannelName(2), "Wide")
            compare(AppManager.activeSourceId, 4)
        }

        function test_editModeSelectsTheRunningFormat() {
            const link = cameraKey("Test Pattern 3")
            AppManager.setCameraForChannel(2, link, 1920, 1080, 29.97, "Full (0-255 PC)")
            const dialog = openDialog(2, true)
            compare(findByName(dialog, "dialogTitle").text, "CONFIGURE CHANNEL 2")
            verify(dialog.disableButton.visible)
            compare(dialog.availableCameras[dialog.cameraCombo.currentIndex].link, link)
            compare(dialog.resolutionCombo.currentText, "1920x1080 (1080p FHD)")
            // 60 comes first for this camera; it offers 29.97 beside 30 and runs the one asked for.
            compare(dialog.frameRateCombo.model[0], "60.00 fps (I420)")
            compare(dialog.frameRateCombo.currentText, "29.97 fps (I420)")
            compare(dialog.colorRangeCombo.currentIndex, 1)

            compare(findByName(dialog, "grantedFormatText").text, "RUNNING: 1920\u00d71080 I420 29.97 fps")

            AppManager.setCameraForChannel(2, link, 640, 480, 60, "Default")
            dialog.openForChannel(2, true)
            compare(dialog.resolutionCombo.currentText, "640x480 (SD)")
            compare(dialog.frameRateCombo.currentText, "60.00 fps (I420)")
            compare(dialog.colorRangeCombo.currentIndex, 0)

            // A size the camera does not have: it runs its own, and the log and the dialog say both.
            ignoreWarning("[CameraWatch] Camera of channel 2 runs 1920\u00d71080 I420 60 fps (asked 800\u00d7600 30 fps)"
                          + " - the device did not grant the format asked for")
            AppManager.setCameraForChannel(2, link, 800, 600, 30, "Default")
            dialog.openForChannel(2, true)
            const granted = findByName(dialog, "grantedFormatText")
            compare(granted.text, "RUNNING: 1920\u00d71080 I420 60 fps (asked 800\u00d7600 30 fps)")
            verify(Qt.colorEqual(granted.color, Colors.alertAmber))
        }

        function test_noCameraOnlyCloses() {
            const dialog = openDialog(2, false)
            // As on a machine without cameras.
            dialog.availableCameras = []
            dialog.cameraCombo.currentIndex = 0
            dialog.rebuildResolutions()
            compare(dialog.cameraCombo.currentText, "No cameras detected")
            // The common sizes and rates, as the back end offers them for a camera without formats.
            const common = AppManager.getSourceFormatChoices("")
            compare(dialog.resolutionCombo.model, common.resolutions.map(e => e.label))
            compare(dialog.frameRateCombo.model[7], "23.976 fps")
            mouseClick(dialog.applyButton)
            verify(!dialog.visible)
            verify(!ChannelsModel.hasActiveVideo(2))
            compare(AppManager.getCameraLinkForChannel(2), "")
            compare(ChannelsModel.getChannelName(2), "Source 2")

            AppManager.currentLanguage = "SR"
            dialog.openForChannel(2, false)
            dialog.availableCameras = []
            compare(dialog.cameraCombo.currentText, "Nema pronađenih kamera")
        }

        function test_cameraThatFailsToOpenIsNotShownAsVideo() {
            const dialog = openDialog(4, false)
            dialog.availableCameras = [{ name: "Unplugged", link: "/dev/vireon-no-such-camera" }]
            dialog.cameraCombo.currentIndex = 0
            dialog.rebuildResolutions()
            dialog.nameField.text = "Gone"
            AppManager.activeSourceId = 2
            ignoreWarning(/Unknown camera device/)
            ignoreWarning(/Failed to start camera capture for channel 4/)
            mouseClick(dialog.applyButton)
            verify(dialog.visible, "the card stays open")
            verify(dialog.applyFailed)
            verify(findByName(dialog, "noticeText").text.indexOf("could not be opened") >= 0)
            verify(!ChannelsModel.hasActiveVideo(4))
            compare(ChannelsModel.getChannelName(4), "Source 4")
            compare(AppManager.activeSourceId, 2)
        }

        function test_disablingMovesTheProgrammeSource_data() {
            return [
                { tag: "active, another has video", target: 2, active: 2, video: [2, 3, 4], expected: 3 },
                { tag: "active, lower one has video", target: 3, active: 3, video: [1, 3], expected: 1 },
                { tag: "active, none other", target: 4, active: 4, video: [4], expected: 1 },
                { tag: "not active", target: 2, active: 4, video: [2, 3, 4], expected: 4 }
            ]
        }

        function test_disablingMovesTheProgrammeSource(data) {
            const link = cameraKey("Test Pattern 1")
            for (const id of data.video)
                ChannelsModel.setHasActiveVideo(id, true)
            AppManager.setCameraForChannel(data.target, link, 640, 480, 30, "Default")
            AppManager.activeSourceId = data.active
            const dialog = openDialog(data.target, true)
            mouseClick(dialog.disableButton)
            verify(!dialog.visible)
            verify(!ChannelsModel.hasActiveVideo(data.target))
            compare(AppManager.activeSourceId, data.expected)
        }

        function test_keyCardBindsTheChannelsKey() {
            const dialog = openDialog(3, true)
            const keyText = findByName(dialog, "keyText")
            compare(keyText.text, AppManager.getSourceKeyName(2))
            mouseClick(dialog.keyCard)
            verify(dialog.keyCapture.listening)
            compare(keyText.text, "Press Key...")
            compare(findByName(dialog, "keyHint").text, "Waiting for key press (press Esc to cancel)...")
            keyClick(Qt.Key_F8)
            verify(!dialog.keyCapture.listening)
            compare(AppManager.getSourceKey(2), Qt.Key_F8)
            compare(keyText.text, AppManager.getSourceKeyName(2))
            verify(keyText.text !== "")

            AppManager.setSourceKey(2, 0)
            compare(keyText.text, "Key 3", "no key: the channel's default caption")
        }

        function test_hidingEndsListening_data() {
            return [{ tag: "cancel" }, { tag: "close" }]
        }

        function test_hidingEndsListening(data) {
            const dialog = openDialog(1, false)
            mouseClick(dialog.keyCard)
            verify(AppManager.isCapturingKeybind)
            mouseClick(data.tag === "cancel" ? dialog.cancelButton : dialog.closeButton)
            verify(!dialog.visible)
            verify(!AppManager.isCapturingKeybind)
            compare(AppManager.getSourceKey(0), savedKeys[0])
        }

        function test_serbianTexts() {
            AppManager.currentLanguage = "SR"
            const dialog = openDialog(2, true)
            compare(findByName(dialog, "dialogTitle").text, "PODEŠAVANJE ZA KANAL 2")
            dialog.openForChannel(4, false)
            compare(findByName(dialog, "dialogTitle").text, "DODAJ VIDEO SOURCE (KANAL 4)")
            compare(findByName(dialog, "keyHint").text, "Kliknite za promenu prečice")
        }
    }
}
