import QtQuick
import QtQuick.Controls
import QtTest
import Vireon

// A new operator's first session, with the real main window and only clicks and keys on what
// is on screen: two built-in cameras from an empty grid, the test tone on channel 1, a
// recording folder typed in the settings window, one take found on disk, the phone page behind
// the QR code's address, the manual and its search, and the language switch. The steps run in
// order on one window, as a session does.
Item {
    id: host

    width: 400
    height: 300

    Component {
        id: mainComponent
        Main {}
    }

    SignalSpy {
        id: takeSpy

        target: AppManager
        signalName: "takeFinished"
    }

    TestCase {
        id: journey

        property var main: null
        property string scratch: ""
        property string takeFolder: ""
        // What the session changes in the back end, to give back at the end.
        property string savedRecordingPath: ""
        property string savedInput: ""
        property int savedFormat: 0
        // The list a step opened, closed again should the step fail with it open.
        property var openList: null

        name: "UserJourney"
        when: windowShown

        function initTestCase() {
            savedRecordingPath = AppManager.recordingPath
            savedInput = AppManager.getChannelAudioInput(1)
            savedFormat = AppManager.recordingFormatIndex
            // A first session: English, the MP4 container, no camera on any channel.
            AppManager.currentLanguage = "EN"
            AppManager.recordingFormatIndex = 0
            for (let id = 1; id <= 4; ++id) {
                AppManager.removeCameraFromChannel(id)
                ChannelsModel.setHasActiveVideo(id, false)
            }
            scratch = TestDisk.makeScratchFolder()
            verify(scratch !== "", "a scratch folder for the take")
            main = mainComponent.createObject(host)
            verify(main)
            tryVerify(() => main.visible && main.headerBar.width > 0)
        }

        function init() {
            failOnWarning(/.*/)
        }

        // A failed step leaves nothing open in front of the next one.
        function cleanup() {
            if (openList && openList.popup.visible)
                openList.popup.close()
            openList = null
            const dialogs = [main.sourceConfigOverlay.dialog, main.remoteControlOverlay.dialog]
            for (const dialog of dialogs) {
                if (dialog && dialog.visible)
                    dialog.visible = false
            }
        }

        function cleanupTestCase() {
            if (AppManager.isRecording)
                AppManager.stopRecording()
            if (RemoteServer.isRunning)
                RemoteServer.stopServer()
            const header = main ? main.headerBar : null
            if (header) {
                for (const window of [header.helpWindow, header.settingsWindow]) {
                    if (window)
                        window.destroy()
                }
            }
            if (main)
                main.destroy()
            for (let id = 1; id <= 4; ++id) {
                AppManager.removeCameraFromChannel(id)
                ChannelsModel.setHasActiveVideo(id, false)
                ChannelsModel.setChannelName(id, "Source " + id)
            }
            AppManager.setAudioInputForChannel(1, savedInput)
            AppManager.recordingPath = savedRecordingPath
            AppManager.recordingFormatIndex = savedFormat
            AppManager.activeSourceId = 1
            AppManager.currentLanguage = "EN"
            TestDisk.clearOpenedUrls()
        }

        // --- finding what is on screen ---

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

        function visibleTexts(item, into) {
            const found = into || []
            if (!item || item.visible === false)
                return found
            if (typeof item.text === "string" && item.text !== "")
                found.push(item.text)
            const kids = item.children || []
            for (let i = 0; i < kids.length; ++i)
                visibleTexts(kids[i], found)
            return found
        }

        function onScreen(root, name) {
            const item = findByName(root, name)
            verify(item, name + " exists")
            tryVerify(() => item.visible && item.width > 0 && item.height > 0, 2000, name + " is shown")
            return item
        }

        function grid() {
            return onScreen(main.contentItem, "monitorGrid")
        }

        // The channels the grid shows a tile for.
        function tileChannels() {
            const channels = []
            const g = grid()
            for (let i = 0; i < g.children.length; ++i) {
                const tile = g.children[i].item
                if (tile && tile.visible && tile.channelIndex !== undefined && tile.width > 0)
                    channels.push(tile.channelIndex)
            }
            return channels.sort()
        }

        // Opens a drop-down list with a click and clicks the entry that reads text.
        function pickFromList(combo, text) {
            openList = combo
            mouseClick(combo)
            tryVerify(() => combo.popup.opened, 2000, "the list opens")
            const index = combo.find(text)
            verify(index >= 0, "\"" + text + "\" is offered")
            const list = combo.popup.contentItem
            // The whole list is on screen, and a list with nothing to scroll has no scroll bar.
            const corner = list.mapToItem(null, 0, 0)
            verify(corner.x >= 0 && corner.x + list.width <= combo.Window.width,
                   "list from " + corner.x + " to " + (corner.x + list.width) + " in " + combo.Window.width)
            verify(corner.y >= 0 && corner.y + list.height <= combo.Window.height)
            if (list.contentHeight <= list.height)
                verify(!list.ScrollBar.vertical.visible, "no scroll bar on a list that fits")
            // Scrolls the entry into the list's view, as the operator would.
            list.positionViewAtIndex(index, ListView.Contain)
            let row = null
            tryVerify(() => (row = list.itemAtIndex(index)) !== null && row.visible)
            mouseClick(row)
            tryVerify(() => !combo.popup.visible, 2000, "the list closes")
            compare(combo.displayText, text)
        }

        // Simulated keys go to the focus window.
        function activate(window) {
            window.requestActivate()
            tryVerify(() => window.active, 2000, window.title + " takes the keys")
        }

        function typeText(text) {
            for (const character of text)
                keyClick(character)
        }

        function openSettings() {
            const header = main.headerBar
            if (header.settingsWindow && Qt.platform.pluginName === "offscreen")
                ignoreWarning("This plugin does not support raise()")
            mouseClick(onScreen(header, "settingsButton"))
            const settings = header.settingsWindow
            verify(settings)
            tryVerify(() => settings.visible && settings.width > 0)
            return settings
        }

        function addCamera(openButton, channel, cameraName) {
            mouseClick(openButton)
            const dialog = main.sourceConfigOverlay.dialog
            verify(dialog)
            tryVerify(() => dialog.visible)
            compare(dialog.targetChannelId, channel)
            pickFromList(dialog.cameraCombo, cameraName)
            // A small format keeps two encoders light on a busy machine.
            pickFromList(dialog.resolutionCombo, "640x480 (SD)")
            mouseClick(dialog.applyButton)
            tryVerify(() => !dialog.visible, 3000, "the dialog closes once the camera runs")
            verify(!dialog.applyFailed)
            verify(ChannelsModel.hasActiveVideo(channel))
            compare(AppManager.getCameraNameForChannel(channel), cameraName)
        }

        // --- the session, step by step ---

        function test_1_addsTwoBuiltInCameras() {
            const empty = onScreen(grid(), "emptyCard")
            verify(visibleTexts(empty).indexOf("NO ACTIVE VIDEO SOURCES") >= 0)
            compare(tileChannels(), [])

            addCamera(onScreen(empty, "emptyAddButton"), 1, "Test Pattern 1")
            tryVerify(() => !empty.visible)
            tryVerify(() => String(tileChannels()) === "1", 3000, "one tile: " + tileChannels())
            compare(AppManager.activeSourceId, 1, "the first camera becomes the programme")

            addCamera(onScreen(main.headerBar, "addSourceButton"), 2, "Test Pattern 2")
            tryVerify(() => String(tileChannels()) === "1,2", 3000, "two tiles: " + tileChannels())
            compare(ChannelsModel.activeVideoCount, 2)
        }

        function test_2_setsTheTestToneOnChannel1() {
            const strip = onScreen(main.mixerPanel, "channelStrip1")
            const selector = onScreen(strip, "inputSelector")
            pickFromList(selector, "Test Tone")
            compare(AppManager.getChannelAudioInput(1), "Test Tone")
            // The tone reaches the strip's meter.
            tryVerify(() => strip.audioLevel > 0, 3000, "channel 1 meter moves")
        }

        function test_3_typesTheRecordingFolder() {
            const settings = openSettings()
            mouseClick(onScreen(settings.contentItem, "recordingTab"))
            compare(settings.currentCategoryIndex, 0)
            const field = onScreen(settings.contentItem, "recordingPathField")
            activate(settings)
            mouseClick(field)
            tryVerify(() => field.activeFocus)
            keyClick(Qt.Key_A, Qt.ControlModifier)
            typeText(scratch)
            keyClick(Qt.Key_Return)
            compare(AppManager.recordingPath, scratch)
            compare(field.text, scratch)
            mouseClick(settings.closeButton)
            tryVerify(() => !settings.visible)
        }

        function test_4_recordsATakeAndFindsItOnDisk() {
            verify(AppManager.recordingPath === scratch, "the folder of step 3")
            takeSpy.clear()
            const transport = main.headerBar.transport
            const button = onScreen(main.headerBar, "recordButton")
            compare(transport.recordLabel.text, "REC ALL")
            mouseClick(button)
            // A take may be armed with a countdown first; it records once that has run out.
            tryVerify(() => AppManager.isRecording, 15000, "recording starts")
            compare(transport.recordLabel.text, "STOP REC")
            compare(main.headerBar.sessionLabel.text, "RECORDING")
            tryVerify(() => AppManager.timecode >= "00:00:02:00", 10000, "two seconds recorded: " + AppManager.timecode)
            mouseClick(button)
            tryVerify(() => !AppManager.isRecording, 10000)
            compare(transport.recordLabel.text, "REC ALL")
            tryCompare(takeSpy, "count", 1, 10000)

            takeFolder = takeSpy.signalArguments[0][0]
            verify(takeFolder.indexOf(scratch + "/") === 0, takeFolder + " lies in the chosen folder")
            const files = TestDisk.filesUnder(takeFolder)
            for (const name of ["Camera_01.mp4", "Camera_02.mp4", "Master_Audio_Output.wav"])
                verify(files.indexOf(name) >= 0, name + " in " + files)
            // The programme cut and every angle, for the editor.
            const timelines = files.filter(name => name.endsWith(".xml")).sort()
            compare(timelines.length, 2, "two timelines in " + files)
            verify(timelines[1].endsWith("_AllAngles.xml"), timelines[1])
            // Two seconds of 48 kHz 16-bit stereo, and real pictures in both videos.
            verify(TestDisk.fileSize(takeFolder + "/Master_Audio_Output.wav") > 44 + 2 * 48000 * 4 * 0.9)
            for (const name of ["Camera_01.mp4", "Camera_02.mp4"])
                verify(TestDisk.fileSize(takeFolder + "/" + name) > 10000, name + " has pictures")
            for (const name of timelines)
                verify(TestDisk.fileSize(takeFolder + "/" + name) > 500, name)

            // "Open Output Folder" hands the desktop the folder that holds the take.
            const settings = openSettings()
            mouseClick(onScreen(settings.contentItem, "recordingTab"))
            TestDisk.clearOpenedUrls()
            mouseClick(onScreen(settings.contentItem, "openOutputFolderButton"))
            compare(TestDisk.openedUrls, ["file://" + scratch])
            mouseClick(settings.closeButton)
            tryVerify(() => !settings.visible)
        }

        function test_5_opensThePhonePageFromTheQrAddress() {
            // The program starts the server at launch; here on a free port, not the program's.
            RemoteServer.startServer(0)
            verify(RemoteServer.isRunning)
            const port = RemoteServer.port
            mouseClick(onScreen(main.headerBar, "remoteButton"))
            const dialog = main.remoteControlOverlay.dialog
            verify(dialog)
            tryVerify(() => dialog.visible)
            compare(RemoteServer.port, port, "the running server is kept")
            tryCompare(dialog.qrImage, "status", Image.Ready)
            verify(dialog.qrImage.visible && dialog.qrImage.paintedWidth > 0)
            compare(String(dialog.qrImage.source), RemoteServer.qrCodeDataUrl)
            const address = findByName(dialog, "addressText").text
            compare(address, RemoteServer.serverUrl)
            verify(address.indexOf(":" + port + "/") > 0, address)

            const request = new XMLHttpRequest()
            request.open("GET", address)
            request.send()
            tryVerify(() => request.readyState === XMLHttpRequest.DONE, 5000, "the page answers")
            compare(request.status, 200)
            verify(request.responseText.indexOf("<title>Vireon Studio - Remote</title>") >= 0,
                   request.responseText.substring(0, 200))
            // The key in the QR address is what lets the phone use the API.
            verify(address.indexOf("/?key=") > 0, address)
            const status = new XMLHttpRequest()
            status.open("GET", address.replace("/?key=", "/api/status?key="))
            status.send()
            tryVerify(() => status.readyState === XMLHttpRequest.DONE, 5000, "the status answers")
            compare(status.status, 200)
            compare(JSON.parse(status.responseText).channels.length, 4)

            mouseClick(dialog.closeButton)
            tryVerify(() => !dialog.visible)
        }

        function test_6_readsTheManualAndSearchesIt() {
            mouseClick(onScreen(main.headerBar, "helpButton"))
            const help = main.headerBar.helpWindow
            verify(help)
            tryVerify(() => help.visible && help.width > 0)
            verify(!help.manualMissing, "the shipped manual is found")
            verify(help.sourceLabel.text.indexOf("GETTING_STARTED_EN.md") > 0)
            const total = help.allSections.length
            verify(total > 0)
            compare(help.countLabel.text, total + " / " + total + " Topics")
            tryCompare(help.sectionList, "count", total)

            activate(help)
            mouseClick(help.searchField)
            tryVerify(() => help.searchField.activeFocus)
            typeText("audio")
            const shown = help.filteredSections.length
            verify(shown > 0 && shown < total, shown + " of " + total)
            compare(help.countLabel.text, shown + " / " + total + " Topics")
            tryCompare(help.sectionList, "count", shown)
            mouseClick(help.clearSearchButton)
            compare(help.filteredSections.length, total)
            keyClick(Qt.Key_Escape)
            tryVerify(() => !help.visible)
        }

        function test_7_switchesTheLanguageAndBack() {
            const settings = openSettings()
            mouseClick(onScreen(settings.contentItem, "systemTab"))
            compare(settings.currentCategoryIndex, 3)
            mouseClick(onScreen(settings.contentItem, "serbianButton"))
            compare(AppManager.currentLanguage, "SR")
            // The main window follows at once: the free grid places and the settings window.
            tryVerify(() => visibleTexts(grid()).indexOf("DODAJ SOURCE") >= 0, 2000, "grid in Serbian: " + visibleTexts(grid()))
            verify(visibleTexts(grid()).indexOf("ADD SOURCE") < 0)
            verify(visibleTexts(grid()).indexOf("Kanal 3") >= 0)
            verify(visibleTexts(settings.contentItem).indexOf("SAČUVAJ PODEŠAVANJA") >= 0)

            mouseClick(onScreen(settings.contentItem, "englishButton"))
            compare(AppManager.currentLanguage, "EN")
            tryVerify(() => visibleTexts(grid()).indexOf("ADD SOURCE") >= 0)
            verify(visibleTexts(grid()).indexOf("Channel 3") >= 0)
            verify(visibleTexts(settings.contentItem).indexOf("SAVE SETTINGS") >= 0)
            mouseClick(settings.closeButton)
            tryVerify(() => !settings.visible)
        }
    }
}
