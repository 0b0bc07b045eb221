import QtQuick
import QtQuick.Controls
import QtTest
import Vireon
import "qrc:/Vireon/ui/qml/Components"
import "qrc:/Vireon/ui/qml/Components/SettingsRules.js" as Rules

// The settings window: list positions and what they send to the back end, what the lists show
// of it, folder URLs, the benchmark recommendation, what an encoder cannot do as set, hotkey
// cards and a clean load of every page. The typed-number rules and the stored settings are the
// back end's (tst_recordingsettings, tst_studiosetup).
Item {
    id: host

    width: 680
    height: 720

    Component {
        id: dialogComponent
        SettingsDialog {}
    }

    Component {
        id: headerComponent
        TopHeaderBar { width: 1280; height: 60 }
    }

    // Pages and cards that take typed keys live in the test's own window, where key events go.
    Component {
        id: advancedComponent
        SettingsAdvancedQuality { width: 640 }
    }

    Component {
        id: hotkeyComponent
        SettingsHotkeyCard {}
    }

    TestCase {
        name: "SettingsRules"

        function test_listPositions() {
            compare(Rules.clampIndex(5, 3), 2, "three encoders, stored 5: the last")
            compare(Rules.clampIndex(1, 3), 1)
            compare(Rules.clampIndex(-2, 3), 0)
            compare(Rules.clampIndex(0, 0), -1, "an empty list has no position")
            const profiles = AppManager.recordingChoices.encoderProfiles
            compare(Rules.indexOfText(profiles, "Weird", 2), 2)
            compare(Rules.indexOfText(AppManager.recordingChoices.colorSpaces, "Rec.2020", 1), 2)
        }

        function test_folderUrlToPath_data() {
            return [
                { tag: "linux with escaped space", url: "file:///home/a%20b", path: "/home/a b" },
                { tag: "windows drive", url: "file:///C:/My%20Takes/Day%201", path: "C:/My Takes/Day 1" },
                { tag: "windows drive root", url: "file:///D:", path: "D:" },
                { tag: "escaped percent", url: "file:///srv/100%25%20done", path: "/srv/100% done" },
                { tag: "unicode", url: "file:///home/ana/Snimci%20%C5%A1", path: "/home/ana/Snimci š" },
                { tag: "network share", url: "file://server/takes%20x", path: "//server/takes x" },
                { tag: "stray percent kept", url: "file:///tmp/50%", path: "/tmp/50%" },
                { tag: "not a file url", url: "/already/a path", path: "/already/a path" }
            ]
        }

        function test_folderUrlToPath(data) {
            compare(Rules.folderUrlToPath(data.url), data.path)
        }

        function test_pathToFileUrl_data() {
            return [
                { tag: "linux", path: "/home/a b", url: "file:///home/a%20b" },
                { tag: "windows", path: "C:/My Takes", url: "file:///C:/My%20Takes" },
                { tag: "windows backslashes", path: "C:\\Rec\\Day 1", url: "file:///C:/Rec/Day%201" },
                { tag: "hash and percent", path: "/rec/#1 100%", url: "file:///rec/%231%20100%25" },
                { tag: "network share", path: "//server/takes", url: "file://server/takes" }
            ]
        }

        function test_pathToFileUrl(data) {
            compare(Rules.pathToFileUrl(data.path), data.url)
            if (data.path.indexOf("\\") < 0)
                compare(Rules.folderUrlToPath(data.url), data.path, "back again")
        }
    }

    TestCase {
        id: windowCase

        property var savedKeys: []
        property var saved: ({})

        name: "SettingsWindow"
        when: windowShown

        function initTestCase() {
            for (let i = 0; i < 4; ++i)
                savedKeys.push(AppManager.getSourceKey(i))
            for (const key of ["recordingPath", "activeSessionName", "recordingResolutionIndex", "recordingFormatIndex",
                               "recordingFramerateIndex", "recordingEncoderIndex", "recordingQualityIndex",
                               "rateControlMode", "targetBitrateKbps", "maxBitrateKbps", "bFrames",
                               "keyframeInterval", "advancedQualityEnabled", "broadcastWavEnabled", "currentLanguage", "activeSourceId",
                               "encoderProfile",
                               "separateAudioRecordingEnabled", "masterAudioDevice"])
                saved[key] = AppManager[key]
        }

        function init() {
            failOnWarning(/.*/)
        }

        function cleanup() {
            for (let i = 0; i < 4; ++i)
                AppManager.setSourceKey(i, savedKeys[i])
            for (const key in saved)
                AppManager[key] = saved[key]
        }

        function openDialog() {
            const dialog = createTemporaryObject(dialogComponent, host)
            verify(dialog)
            dialog.show()
            tryVerify(() => dialog.visible && dialog.recordingPage.width > 0)
            // Input reaches the window once it has been shown on screen.
            waitForRendering(dialog.contentItem)
            return dialog
        }

        // Scrolls the page that holds item so a click reaches it.
        function showInPage(item) {
            // A row that has just shown the item places it when it is next polished: clicking
            // before that would hit where it is not.
            for (let p = item.parent; p; p = p.parent)
                tryVerify(() => !isPolishScheduled(p))
            for (let p = item.parent; p; p = p.parent) {
                if (typeof p.ensureVisible === "function") {
                    p.ensureVisible(item)
                    wait(0)
                    return
                }
            }
        }

        // Opens a list and returns its row index once it is laid out.
        function openRow(box, index) {
            showInPage(box)
            mouseClick(box)
            tryVerify(() => box.popup.opened)
            const list = box.popup.contentItem
            tryVerify(() => list.count > index)
            list.positionViewAtIndex(index, ListView.Contain)
            tryVerify(() => list.itemAtIndex(index) !== null, 2000, "row " + index + " of " + list.count)
            return list.itemAtIndex(index)
        }

        // Picks entry index of a list the way the operator does: open it, click the row.
        function pick(box, index) {
            mouseClick(openRow(box, index))
            if (box.popup.visible)
                box.popup.close()
            tryVerify(() => !box.popup.visible)
        }

        function test_windowFrame() {
            const dialog = openDialog()
            compare(dialog.width, 680)
            compare(dialog.height, 720)
            compare(dialog.title, "Program Settings")
            verify(dialog.flags & Qt.FramelessWindowHint)
            compare(dialog.saveButton.width, 130)
            compare(dialog.saveButton.height, 40)
            compare(dialog.currentCategoryIndex, 0)
        }

        function test_headerKeepsOneWindow() {
            const header = createTemporaryObject(headerComponent, host)
            header.openSettingsWindow()
            const dialog = header.settingsWindow
            verify(dialog)
            compare(dialog.title, "Program Settings")
            verify(dialog.visible)
            waitForRendering(dialog.contentItem)
            mouseClick(dialog.tabRepeater.itemAt(2))
            mouseClick(dialog.saveButton)
            verify(!dialog.visible, "SAVE SETTINGS closes the window")
            if (Qt.platform.pluginName === "offscreen")
                ignoreWarning("This plugin does not support raise()")
            header.openSettingsWindow()
            compare(header.settingsWindow, dialog, "the same window again")
            verify(dialog.visible)
            compare(dialog.currentCategoryIndex, 2, "on the page it was left on")
            mouseClick(dialog.closeButton)
            verify(!dialog.visible)
            dialog.destroy()
        }

        function test_everyPageLoadsCleanly() {
            const dialog = openDialog()
            const pages = [dialog.recordingPage, dialog.sourcesPage, dialog.audioPage, dialog.systemPage]
            for (let i = 3; i >= 0; --i) {
                mouseClick(dialog.tabRepeater.itemAt(i))
                compare(dialog.currentCategoryIndex, i)
                tryVerify(() => pages[i].visible)
                for (let j = 0; j < 4; ++j)
                    compare(pages[j].visible, i === j, "page " + j + " with tab " + i)
                wait(50)
            }
            // The advanced grid, a source's pop-up and the other language render too.
            AppManager.advancedQualityEnabled = true
            verify(dialog.recordingPage.advancedGrid.visible)
            dialog.currentCategoryIndex = 1
            const card = dialog.sourcesPage.cards.itemAt(0)
            mouseClick(card.propertiesButton)
            tryVerify(() => card.propertiesPopup.opened)
            compare(card.propertiesPopup.resolutionBox.currentText, "1920x1080 (1080p FHD)")
            mouseClick(card.propertiesPopup.okButton)
            tryVerify(() => !card.propertiesPopup.visible)
            dialog.currentCategoryIndex = 3
            mouseClick(dialog.systemPage.serbianButton)
            compare(AppManager.currentLanguage, "SR")
            compare(dialog.systemPage.updateCard.checkButton.label, "PROVERI SADA")
            mouseClick(dialog.systemPage.englishButton)
            compare(AppManager.currentLanguage, "EN")
            wait(50)
        }

        function test_pagesScrollWhenTaller() {
            const dialog = openDialog()
            const page = dialog.recordingPage
            // The benchmark card and the advanced grid do not fit in 514 px.
            AppManager.advancedQualityEnabled = true
            tryVerify(() => page.contentHeight > page.height)
            verify(page.scrollable)
            compare(page.verticalBar.policy, ScrollBar.AlwaysOn)
            compare(page.verticalBar.width, 6)
            verify(page.verticalBar.visible)
        }

        function test_listsShowWhatRecords() {
            // Set elsewhere (the phone, the command line, a restored set-up): the window shows it.
            AppManager.recordingResolutionIndex = 1
            AppManager.recordingQualityIndex = 3
            AppManager.recordingFramerateIndex = 7
            const dialog = openDialog()
            const page = dialog.recordingPage
            compare(page.resolutionBox.currentText, "2560x1440 (2K QHD)")
            compare(page.qualityBox.currentText, "Ultra (30 Mbps - Mastering / High Bitrate)")
            compare(page.framerateBox.currentText, "59.94 fps (NTSC High Motion)")
            AppManager.recordingFramerateIndex = 2
            compare(page.framerateBox.currentText, "25.00 fps (PAL Broadcast)")
            compare(AppManager.recordingFpsText, "25")
        }

        function test_picksStoreAndReachTheBackEnd() {
            const dialog = openDialog()
            const page = dialog.recordingPage
            pick(page.resolutionBox, 3)
            compare(AppManager.recordingResolutionIndex, 3)
            compare(AppManager.activeResolutionName, "1280x720 (720p HD)")

            pick(page.framerateBox, 8)
            compare(AppManager.selectedGlobalFps, 60)
            pick(page.framerateBox, 0)
            fuzzyCompare(AppManager.selectedGlobalFps, 24000 / 1001, 1e-9)
            compare(AppManager.recordingFpsText, "23.976")
            // 48 fps records at 48, as its entry says.
            pick(page.framerateBox, 5)
            compare(AppManager.recordingFramerateIndex, 5)
            compare(AppManager.selectedGlobalFps, 48)

            pick(page.qualityBox, 4)
            compare(AppManager.recordingQualityIndex, 4)

            const last = page.encoderBox.count - 1
            pick(page.encoderBox, last)
            compare(AppManager.recordingEncoderIndex, last)
        }

        function test_encoderListClampsStoredPosition() {
            const dialog = openDialog()
            const box = dialog.recordingPage.encoderBox
            verify(box.count >= 1)
            AppManager.recordingEncoderIndex = box.count + 3
            compare(box.currentIndex, box.count - 1)
            compare(box.currentText, AppManager.encoderCapabilities[box.count - 1].name)
        }

        function test_whatTheEncoderCannotDoIsNamed() {
            const dialog = openDialog()
            const page = dialog.recordingPage
            const hevc = AppManager.encoderCapabilities.findIndex(entry => entry.encoder === "libx265")
            verify(hevc >= 0, "software HEVC is offered")
            AppManager.recordingEncoderIndex = hevc
            AppManager.advancedQualityEnabled = true
            AppManager.encoderProfile = "Baseline"
            tryVerify(() => page.settingNotes.visible)
            verify(AppManager.recordingSettingNotes.some(note => note.indexOf("HEVC has no Baseline profile: Main is used") === 0),
                   AppManager.recordingSettingNotes.join(" | "))
            AppManager.currentLanguage = "SR"
            verify(AppManager.recordingSettingNotes.some(note => note.indexOf("HEVC nema profil Baseline") === 0))
            AppManager.encoderProfile = "Main"
            tryVerify(() => !page.settingNotes.visible)
            AppManager.encoderProfile = "High"
        }

        function test_aviIsUnavailable() {
            const dialog = openDialog()
            const box = dialog.recordingPage.formatBox
            pick(box, 1)
            compare(AppManager.recordingFormatIndex, 1)

            const avi = openRow(box, 4)
            verify(!avi.enabled, "the AVI row cannot be chosen")
            mouseClick(avi)
            box.popup.close()
            tryVerify(() => !box.popup.visible)
            compare(AppManager.recordingFormatIndex, 1)
            compare(box.currentIndex, 1)
            // Reached some other way (the arrow keys of the closed list), the back end refuses it.
            ignoreWarning(/Recording format 4 cannot be recorded/)
            AppManager.recordingFormatIndex = 4
            compare(AppManager.recordingFormatIndex, 1)
            compare(box.currentIndex, 1)
        }

        function test_chosenFolderIsStoredAsPlainPath() {
            const dialog = openDialog()
            dialog.recordingPage.acceptFolder("file:///tmp/My%20Takes")
            compare(AppManager.recordingPath, "/tmp/My Takes")
            compare(dialog.recordingPage.pathField.text, "/tmp/My Takes")
            compare(dialog.recordingPage.folderDialog.title, "Select Recording Output Path")
        }

        function test_todaysDateSessionName() {
            const dialog = openDialog()
            AppManager.setActiveSessionName("Old")
            mouseClick(dialog.recordingPage.todayButton)
            // Today's local date, as the program names a session when it starts.
            const today = new Date()
            const two = n => (n < 10 ? "0" : "") + n
            compare(AppManager.activeSessionName,
                    "Session_" + today.getFullYear() + "-" + two(today.getMonth() + 1) + "-" + two(today.getDate()))
            compare(dialog.recordingPage.sessionField.text, AppManager.activeSessionName)
        }

        function typeInto(field, text) {
            field.forceActiveFocus()
            field.selectAll()
            for (const c of text)
                keyClick(c)
            keyClick(Qt.Key_Return)
        }

        function test_advancedFieldRules() {
            const grid = createTemporaryObject(advancedComponent, host)
            AppManager.rateControlMode = "CBR"
            AppManager.targetBitrateKbps = 8000
            typeInto(grid.targetField, "abc")
            compare(AppManager.targetBitrateKbps, 16000)
            compare(grid.targetField.text, "16000", "the field shows what was stored")

            // Typing the value already stored leaves the field showing it, not the typed text.
            typeInto(grid.targetField, "xyz")
            compare(AppManager.targetBitrateKbps, 16000)
            compare(grid.targetField.text, "16000")

            AppManager.bFrames = 5
            typeInto(grid.bFramesField, "0")
            compare(AppManager.bFrames, 2)
            typeInto(grid.keyframeField, "4")
            compare(AppManager.keyframeInterval, 4)

            verify(!grid.maxBitrateField.enabled)
            verify(Qt.colorEqual(grid.maxBitrateCaption.color, "#555555"))
            AppManager.rateControlMode = "VBR"
            verify(grid.maxBitrateField.enabled)
            typeInto(grid.maxBitrateField, "0")
            compare(AppManager.maxBitrateKbps, 24000)

            AppManager.rateControlMode = "CQP"
            compare(grid.targetCaption.text, "CQP Level (1-51)")
            verify(Qt.colorEqual(grid.targetCaption.color, Colors.accent))
            compare(grid.targetField.text, "20", "a stored 16000 is no CQP level")
            typeInto(grid.targetField, "abc")
            compare(AppManager.targetBitrateKbps, 20)
            typeInto(grid.targetField, "28")
            compare(AppManager.targetBitrateKbps, 28)
            compare(grid.targetField.text, "28")
            compare(grid.rateControlBox.currentText, "CQP")

            AppManager.rateControlMode = "Unknown"
            compare(grid.rateControlBox.currentIndex, 0)
            AppManager.encoderProfile = "Unknown"
            compare(grid.profileBox.currentText, "High")
            AppManager.encoderProfile = "High"
        }

        function test_applyRecommended() {
            const dialog = openDialog()
            const page = dialog.recordingPage
            const card = page.benchmarkCard
            verify(AppManager.benchmarkSummary === "", "no benchmark has run in this process")
            verify(!card.applyButton.visible)
            verify(!card.resultBox.visible)

            AppManager.runHardwareBenchmark()
            verify(AppManager.isBenchmarking)
            verify(!card.applyButton.visible, "no recommendation while it runs")
            verify(!card.benchmarkButton.enabled)
            compare(card.benchmarkButton.label, "BENCHMARKING HARDWARE...")
            tryVerify(() => !AppManager.isBenchmarking, 120000)
            verify(card.applyButton.visible)
            verify(card.resultBox.visible)
            verify(card.benchmarkButton.enabled)

            // Lists elsewhere, then apply.
            pick(page.resolutionBox, 0)
            pick(page.framerateBox, 10)
            pick(page.qualityBox, 4)
            showInPage(card.applyButton)
            mouseClick(card.applyButton)
            const encoder = Math.min(AppManager.recommendedEncoderIndex, page.encoderBox.count - 1)
            compare(page.resolutionBox.currentIndex, AppManager.recommendedResolutionIndex)
            compare(page.framerateBox.currentIndex, AppManager.recommendedFramerateIndex)
            compare(page.encoderBox.currentIndex, encoder)
            compare(page.qualityBox.currentIndex, AppManager.recommendedQualityIndex)
            // The back end records what the lists show: the whole recommendation.
            compare(AppManager.recordingResolutionIndex, AppManager.recommendedResolutionIndex)
            compare(AppManager.recordingFramerateIndex, AppManager.recommendedFramerateIndex)
            compare(AppManager.recordingEncoderIndex, encoder)
            compare(AppManager.recordingQualityIndex, AppManager.recommendedQualityIndex)
            verify(page.framerateBox.currentText.indexOf(AppManager.recordingFpsText) === 0,
                   page.framerateBox.currentText + " vs " + AppManager.recordingFpsText)
        }

        function test_switchesAndListsReachTheBackEnd() {
            const dialog = openDialog()
            const autoCheck = UpdateManager.autoCheckOnStartup
            dialog.recordingPage.ensureVisible(dialog.recordingPage.advancedSwitch)
            mouseClick(dialog.recordingPage.advancedSwitch)
            compare(AppManager.advancedQualityEnabled, !saved.advancedQualityEnabled)
            // Off until the operator asks for it; a click reaches the back end, the switch shows it.
            const broadcast = dialog.recordingPage.broadcastWavSwitch
            compare(broadcast.text, "Broadcast WAV (timecode for editors)")
            compare(broadcast.checked, AppManager.broadcastWavEnabled)
            dialog.recordingPage.ensureVisible(broadcast)
            mouseClick(broadcast)
            compare(AppManager.broadcastWavEnabled, !saved.broadcastWavEnabled)
            compare(broadcast.checked, AppManager.broadcastWavEnabled)
            // The default way cameras are recorded, with what each way costs on disk.
            const cameraMode = dialog.recordingPage.cameraModeBox
            dialog.recordingPage.ensureVisible(cameraMode)
            pick(cameraMode, 1)
            compare(AppManager.defaultCameraRecordingMode, "camera")
            verify(findChild(dialog.recordingPage, "cameraModeCostText").text.indexOf("GB per hour") >= 0)
            pick(cameraMode, 0)
            compare(AppManager.defaultCameraRecordingMode, "reencode")

            dialog.currentCategoryIndex = 2
            const audio = dialog.audioPage
            mouseClick(audio.separateCheck)
            compare(AppManager.separateAudioRecordingEnabled, !saved.separateAudioRecordingEnabled)
            compare(audio.separateCheck.checked, AppManager.separateAudioRecordingEnabled)
            const inputs = AppManager.audioInputDevices
            verify(inputs.length > 0)
            pick(audio.inputBox, inputs.length - 1)
            compare(AppManager.masterAudioDevice, inputs[inputs.length - 1])

            dialog.currentCategoryIndex = 3
            const update = dialog.systemPage.updateCard
            dialog.systemPage.ensureVisible(update.autoCheck)
            mouseClick(update.autoCheck)
            compare(UpdateManager.autoCheckOnStartup, !autoCheck)
            compare(update.autoCheck.checked, !autoCheck)
            mouseClick(update.autoCheck)
            compare(UpdateManager.autoCheckOnStartup, autoCheck)
        }

        function test_hotkeyCard() {
            const card = createTemporaryObject(hotkeyComponent, host, { sourceIndex: 2 })
            compare(card.keyLabel.text, AppManager.getSourceKeyName(2))
            compare(card.hintLabel.text, "Click to reassign")
            mouseClick(card.card)
            verify(card.listening)
            verify(AppManager.isCapturingKeybind)
            compare(card.keyLabel.text, "Press Key...")
            compare(card.hintLabel.text, "Waiting for key...")
            compare(card.card.border.width, 2)

            keyClick(Qt.Key_Shift)
            verify(card.listening, "Shift alone keeps listening")
            compare(AppManager.getSourceKey(2), savedKeys[2])
            compare(card.keyLabel.text, "Press Key...")

            keyClick(Qt.Key_F8)
            verify(!card.listening)
            verify(!AppManager.isCapturingKeybind)
            compare(AppManager.getSourceKey(2), Qt.Key_F8)
            compare(card.keyLabel.text, AppManager.getSourceKeyName(2))
            compare(card.keyLabel.text, "F8")

            // A key bound elsewhere (the source dialog) shows at once.
            AppManager.setSourceKey(2, Qt.Key_7)
            compare(card.keyLabel.text, "7")
        }

        function test_hotkeyDotFollowsActiveSource() {
            const card = createTemporaryObject(hotkeyComponent, host, { sourceIndex: 1 })
            AppManager.activeSourceId = 2
            verify(Qt.colorEqual(card.dot.color, Colors.recRed))
            AppManager.activeSourceId = 1
            verify(Qt.colorEqual(card.dot.color, Colors.borderStrong))
        }
    }
}
