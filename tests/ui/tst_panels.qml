import QtQuick
import QtTest
import Vireon

// The monitoring panels and the audio mixer, created with the real back end: each creates
// without a QML warning and follows the back end's state.
Item {
    id: host

    width: 1280
    height: 720

    Component { id: gridComponent; IsoMonitorGrid { width: 1008; height: 408 } }
    Component { id: tileComponent; SourceWindow { width: 480; height: 270 } }
    Component { id: cardComponent; AddSourceCard { width: 300; height: 200 } }
    Component { id: previewComponent; MainPreviewPanel { width: 640; height: 360 } }
    Component { id: outputComponent; PreviewOutput {} }
    Component { id: mixerComponent; AudioMixerPanel { width: 320; height: 520 } }
    Component { id: meterComponent; AudioVuMeter { width: 18; height: 182 } }
    Component { id: dbBoxComponent; DbInputBox {} }
    Component { id: spyComponent; SignalSpy {} }

    TestCase {
        id: testCase

        name: "Panels"
        when: windowShown

        function resetBackEnd() {
            for (let id = 1; id <= 4; ++id) {
                ChannelsModel.setHasActiveVideo(id, false)
                ChannelsModel.setIsoEnabled(id, false)
                ChannelsModel.setStorageEnabled(id, false)
                AppManager.setChannelAudioMute(id, false)
                AppManager.setChannelAudioSolo(id, false)
                AppManager.setChannelSeparateAudioEnabled(id, false)
                AppManager.setChannelAudioVolume(id, 1.0)
            }
            AppManager.activeSourceId = 1
            AppManager.liveMonitoringEnabled = false
        }

        function init() {
            resetBackEnd()
            failOnWarning(/.*/)
        }

        function spyOn(target, signalName) {
            return createTemporaryObject(spyComponent, testCase, { target: target, signalName: signalName })
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
            if (item.contentItem && item.contentItem !== item)
                return findByName(item.contentItem, name)
            return null
        }

        function findAllByName(item, name, out) {
            out = out || []
            if (!item)
                return out
            if (item.objectName === name)
                out.push(item)
            const kids = item.children || []
            for (let i = 0; i < kids.length; ++i)
                findAllByName(kids[i], name, out)
            return out
        }

        function gridItems(grid) {
            const items = []
            for (let i = 0; i < grid.children.length; ++i) {
                const c = grid.children[i]
                if (c.item !== undefined && c.item !== null)
                    items.push(c.item)
            }
            return items
        }

        function setActiveChannels(ids) {
            for (const id of ids)
                ChannelsModel.setHasActiveVideo(id, true)
        }

        // --- monitoring grid ---

        function test_gridLayouts_data() {
            return [
                { tag: "0", ids: [], tiles: [], slots: 0, empty: true },
                { tag: "1", ids: [2], tiles: [2], slots: 1, empty: false },
                { tag: "2", ids: [1, 3], tiles: [1, 3], slots: 1, empty: false },
                { tag: "3", ids: [1, 2, 4], tiles: [1, 2, 4], slots: 1, empty: false },
                { tag: "4", ids: [1, 2, 3, 4], tiles: [1, 2, 3, 4], slots: 0, empty: false }
            ]
        }

        function test_gridLayouts(data) {
            setActiveChannels(data.ids)
            const grid = createTemporaryObject(gridComponent, host)
            verify(grid)
            compare(findByName(grid, "emptyCard").visible, data.empty)
            const items = gridItems(grid)
            const tiles = items.filter(i => i.channelIndex !== undefined).map(i => i.channelIndex)
            compare(tiles, data.tiles)
            compare(items.length - tiles.length, data.slots)
            if (data.ids.length === 3) {
                const third = items.find(i => i.channelIndex === 4)
                compare(third.parent.x + third.width / 2, grid.width / 2, "third tile centred")
                verify(items.find(i => i.compact === true), "compact slot")
            }
        }

        function test_gridFollowsModel() {
            const grid = createTemporaryObject(gridComponent, host)
            verify(findByName(grid, "emptyCard").visible)
            ChannelsModel.setHasActiveVideo(3, true)
            verify(!findByName(grid, "emptyCard").visible)
            compare(gridItems(grid).length, 2)
            compare(gridItems(grid)[0].channelIndex, 3)
            ChannelsModel.setHasActiveVideo(1, true)
            compare(gridItems(grid).length, 3)
            compare(gridItems(grid)[0].channelIndex, 1)
        }

        function test_gridForwardsAddSource() {
            setActiveChannels([1])
            const grid = createTemporaryObject(gridComponent, host)
            const spy = spyOn(grid, "openSourceConfig")
            const slot = gridItems(grid).find(i => i.compact !== undefined)
            mouseClick(slot)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], ChannelsModel.firstInactiveChannelId)
            compare(spy.signalArguments[0][0], 2)
            compare(spy.signalArguments[0][1], false)
        }

        function test_emptyCardOpensFirstFreeChannel() {
            const grid = createTemporaryObject(gridComponent, host)
            const spy = spyOn(grid, "openSourceConfig")
            const card = findByName(grid, "emptyCard")
            mouseClick(card, card.width / 2, card.height - 20 - 19)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], 1)
            compare(spy.signalArguments[0][1], false)
        }

        // --- tiles ---

        function test_removeActiveCamera_data() {
            return [
                { tag: "active, others left", active: [2, 4], programme: 4, remove: 4, expected: 2 },
                { tag: "active, none left", active: [3], programme: 3, remove: 3, expected: 1 },
                { tag: "not the active one", active: [1, 3], programme: 3, remove: 1, expected: 3 }
            ]
        }

        function test_removeActiveCamera(data) {
            setActiveChannels(data.active)
            AppManager.activeSourceId = data.programme
            const tile = createTemporaryObject(tileComponent, host, { channelIndex: data.remove })
            compare(tile.isActiveOutput, data.programme === data.remove)
            mouseClick(findByName(tile, "removeButton"))
            verify(!ChannelsModel.hasActiveVideo(data.remove))
            compare(AppManager.activeSourceId, data.expected)
        }

        function test_removeActiveCameraFromGrid() {
            setActiveChannels([1, 2])
            AppManager.activeSourceId = 2
            const grid = createTemporaryObject(gridComponent, host)
            const tile = gridItems(grid).find(i => i.channelIndex === 2)
            mouseClick(findByName(tile, "removeButton"))
            compare(AppManager.activeSourceId, 1)
            compare(gridItems(grid).map(i => i.channelIndex).filter(c => c !== undefined), [1])
        }

        function test_tileFollowsModel() {
            ChannelsModel.setChannelName(2, "Wide")
            AppManager.setChannelCameraRecorded(2, false)
            const tile = createTemporaryObject(tileComponent, host, { channelIndex: 2 })
            compare(tile.channelName, "Wide")
            compare(findByName(tile, "statusText").text, "NOT RECORDED")
            verify(!findByName(tile, "storeBox").checked)
            // STORE: the camera is recorded into its own file; the box shows what the back end holds.
            mouseClick(findByName(tile, "storeBox"))
            verify(AppManager.isChannelCameraRecorded(2))
            verify(findByName(tile, "storeBox").checked)
            compare(findByName(tile, "statusText").text, "READY")
            AppManager.activeSourceId = 2
            compare(findByName(tile, "statusText").text, "PROGRAM")
            verify(findByName(tile, "programBadge").visible)
            verify(Qt.colorEqual(tile.border.color, Colors.recRed))

            // ISO: the channel's audio on a track of its own, as the mixer's ISO REC sets it.
            const separate = AppManager.isChannelSeparateAudioEnabled(2)
            mouseClick(findByName(tile, "isoBox"))
            compare(AppManager.isChannelSeparateAudioEnabled(2), !separate)
            compare(findByName(tile, "isoBox").checked, !separate)
            mouseClick(findByName(tile, "isoBox"))
            compare(AppManager.isChannelSeparateAudioEnabled(2), separate)
            compare(findByName(tile, "isoBox").checked, separate)
            ChannelsModel.setChannelName(2, "Source 2")
        }

        function test_tileClickSelectsProgramme() {
            setActiveChannels([1, 3])
            const tile = createTemporaryObject(tileComponent, host, { channelIndex: 3 })
            verify(!tile.isActiveOutput)
            mouseClick(tile, tile.width / 2, tile.height / 2)
            compare(AppManager.activeSourceId, 3)
            verify(tile.isActiveOutput)
        }

        function test_tileKeyPillUsesChannelMinusOne() {
            const tile = createTemporaryObject(tileComponent, host, { channelIndex: 2 })
            compare(tile.keyName, AppManager.getSourceKeyName(1))
            compare(findByName(tile, "keyPill").visible, tile.keyName !== "")
            AppManager.setSourceKey(1, 0)
            compare(tile.keyName, "")
            verify(!findByName(tile, "keyPill").visible)
            AppManager.setSourceKey(1, Qt.Key_2)
            compare(tile.keyName, AppManager.getSourceKeyName(1))
            verify(tile.keyName !== "")
        }

        function test_tileGearOpensEditMode() {
            const tile = createTemporaryObject(tileComponent, host, { channelIndex: 4 })
            const spy = spyOn(tile, "openSourceConfig")
            mouseClick(findByName(tile, "configButton"))
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], 4)
            compare(spy.signalArguments[0][1], true)
        }

        function test_addSourceCard() {
            setActiveChannels([1, 2])
            const card = createTemporaryObject(cardComponent, host, { compact: true })
            const spy = spyOn(card, "openSourceConfig")
            mouseClick(card)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], 3)
            compare(spy.signalArguments[0][1], false)
        }

        // --- main preview and output window ---

        function test_armingOverlay_data() {
            return [
                { tag: "3", seconds: 3, text: "3", lit: 1 },
                { tag: "2", seconds: 2, text: "2", lit: 2 },
                { tag: "1", seconds: 1, text: "1", lit: 3 },
                { tag: "0", seconds: 0, text: "SYNC", lit: 3 }
            ]
        }

        function test_armingOverlay(data) {
            const panel = createTemporaryObject(previewComponent, host,
                                                { isArming: true, countdownSeconds: data.seconds })
            verify(findByName(panel, "armingOverlay").visible)
            verify(findByName(panel, "syncBadge").visible)
            verify(!findByName(panel, "liveBadge").visible)
            compare(findByName(panel, "countdownText").text, data.text)
            const bars = findByName(panel, "stepBars")
            let lit = 0
            for (let i = 0; i < bars.count; ++i)
                lit += bars.itemAt(i).isLit ? 1 : 0
            compare(lit, data.lit)
        }

        function test_previewIdle() {
            const panel = createTemporaryObject(previewComponent, host)
            verify(!findByName(panel, "armingOverlay").visible)
            verify(!findByName(panel, "liveBadge").visible)
            panel.isRecording = true
            verify(findByName(panel, "liveBadge").visible)
            // One screen offscreen: no display selector.
            compare(findByName(panel, "displaySelector").visible, Qt.application.screens.length > 1)
        }

        function test_outputButtonAndEscape() {
            setActiveChannels([1, 2])
            AppManager.activeSourceId = 2
            const panel = createTemporaryObject(previewComponent, host)
            const button = findByName(panel, "outputButton")
            compare(findByName(panel, "outputButtonText").text, "OUTPUT")
            // The offscreen platform cannot raise windows and says so.
            ignoreWarning(/does not support raise/)
            mouseClick(button)
            const output = panel.outputWindow
            verify(output)
            tryVerify(() => output.visible)
            tryCompare(findByName(panel, "outputButtonText"), "text", "HIDE OUTPUT")
            compare(output.channelIndex, 2)
            verify(output.isFullscreenMode)

            // The output follows the programme.
            AppManager.activeSourceId = 1
            compare(output.channelIndex, 1)

            // Escape in full-screen gives a window sized for the screen, a second one closes it.
            ignoreWarning(/does not support raise/)
            output.handleEscape()
            verify(!output.isFullscreenMode)
            const screen = Qt.application.screens[0]
            compare(output.width, Math.min(1280, Math.round(0.75 * screen.width)))
            compare(output.height, Math.min(720, Math.round(0.75 * screen.height)))
            verify(output.visible)
            output.handleEscape()
            tryVerify(() => !output.visible)
            tryCompare(findByName(panel, "outputButtonText"), "text", "OUTPUT")

            // The same window comes back on the next press.
            ignoreWarning(/does not support raise/)
            mouseClick(button)
            compare(panel.outputWindow, output)
            tryVerify(() => output.visible)
            mouseClick(button)
            tryVerify(() => !output.visible)
        }

        function test_outputWindowTexts() {
            const output = createTemporaryObject(outputComponent, null, { channelIndex: 3, isFullscreenMode: false })
            compare(output.title, "Vireon – Program Output (CH 3)")
            compare(output.flags & ~Qt.Window, 0)
            verify(output.overlayVisible)
            output.repositionToScreen(7)
            compare(output.displayIndex, 7)
            compare(output.targetScreenIndex(7), Qt.application.screens.length - 1)
            compare(findByName(output.contentItem, "overlayTitle").text,
                    "PROGRAM (CH 3)  •  Display 8 [WINDOWED]")
            ignoreWarning(/does not support raise/)
            output.openOutput(0)
            tryVerify(() => output.visible)
            ignoreWarning(/does not support raise/)
            output.toggleFullscreen()
            verify(output.isFullscreenMode)
            output.closeOutput()
            tryVerify(() => !output.visible)
        }

        // --- audio mixer ---

        function channelStrips(mixer) {
            return findAllByName(mixer, "channelBadge").map(b => b.parent.parent)
        }

        function test_mixerOverflow() {
            const mixer = createTemporaryObject(mixerComponent, host)
            compare(mixer.stripCount, 5)
            // The strips and the frame: 4 px margin and 6 px padding on each side.
            tryCompare(mixer, "contentWidth", 5 * 120 + 4 * 4 + 20)
            verify(mixer.isOverflowing)
            compare(findByName(mixer, "bottomText").text, "Scroll ◀ ▶ for all channels")
            verify(findByName(mixer, "scrollBar").visible)
            // At the width the window allows when dragged fully open, every strip is in view.
            mixer.width = mixer.contentWidth
            verify(!mixer.isOverflowing)
            compare(findByName(mixer, "bottomText").text, "5 Channels • All visible")
            verify(!findByName(mixer, "scrollBar").visible)
        }

        function test_mixerScrolls() {
            const mixer = createTemporaryObject(mixerComponent, host)
            tryVerify(() => mixer.isOverflowing)
            const view = findByName(mixer, "stripsView")
            mixer.scrollBy(-100)
            compare(view.contentX, 100)
            mixer.scrollBy(-10000)
            compare(view.contentX, view.contentWidth - view.width)
            mixer.scrollBy(10000)
            compare(view.contentX, 0)
            mouseWheel(view, view.width / 2, 40, 0, -120)
            compare(view.contentX, 120)
        }

        function test_stripFollowsBackEnd() {
            const mixer = createTemporaryObject(mixerComponent, host, { width: 700 })
            waitForRendering(mixer)
            const strip = channelStrips(mixer)[0]
            compare(strip.channelId, 1)
            verify(!strip.isMuted)
            const badgeText = findByName(strip, "badgeText")
            compare(badgeText.text, ChannelsModel.getChannelName(1).toUpperCase())

            mouseClick(findByName(strip, "muteButton"))
            verify(AppManager.isChannelAudioMuted(1))
            verify(strip.isMuted)
            compare(badgeText.text, "MUTED")
            const meter = findByName(strip, "meter")
            compare(meter.level, 0)
            compare(meter.levelRight, 0)

            AppManager.setChannelAudioMute(1, false)
            AppManager.setChannelAudioSolo(1, true)
            compare(badgeText.text, "SOLO")
            mouseClick(findByName(strip, "soloButton"))
            verify(!AppManager.isChannelAudioSolo(1))

            mouseClick(findByName(strip, "separateButton"))
            verify(AppManager.isChannelSeparateAudioEnabled(1))
            verify(strip.isSeparate)

            // A volume set elsewhere moves the fader.
            AppManager.setChannelAudioVolume(1, 0.5)
            fuzzyCompare(findByName(strip, "fader").value, 0.5, 1e-6)
        }

        // Trim and low cut reach the back end and follow it; REMOVE INPUT takes the microphone
        // off, and the selector then says "None".
        function test_stripTrimLowCutAndRemoval() {
            const mixer = createTemporaryObject(mixerComponent, host, { width: 700 })
            const strip = channelStrips(mixer)[2]
            AppManager.setAudioInputForChannel(3, "Test Interface \u2014 In 3")
            compare(strip.audioState, "live")
            compare(strip.inputLabel, "Test Interface \u2014 In 3")
            const popup = strip.settingsPopup
            popup.open()
            tryVerify(() => popup.opened)

            const slider = findByName(popup.contentItem, "trimSlider")
            for (let step = 0; step < 12; ++step) // as the arrow keys move it, 0.5 dB a step
                slider.increase()
            slider.moved()
            fuzzyCompare(AppManager.getChannelGainTrim(3), 6, 1e-6)
            compare(findByName(popup.contentItem, "trimValue").text, "+6.0 dB")
            AppManager.setChannelGainTrim(3, -30) // held to the control's range
            compare(slider.value, -20)

            const lowCut = findByName(popup.contentItem, "lowCutSwitch")
            mouseClick(lowCut)
            verify(AppManager.isChannelLowCutEnabled(3))
            AppManager.setChannelLowCutEnabled(3, false)
            verify(!lowCut.checked)

            mouseClick(findByName(popup.contentItem, "removeInputButton"))
            compare(AppManager.getChannelAudioInput(3), "None")
            compare(strip.audioState, "none")
            compare(findByName(strip, "inputSelector").displayText, "None")
            // Trim and low cut are the channel's: kept for its next input.
            compare(AppManager.getChannelGainTrim(3), -20)
            AppManager.setChannelGainTrim(3, 0)
            popup.close()
        }

        function test_stripInputSelector() {
            const mixer = createTemporaryObject(mixerComponent, host, { width: 700 })
            const strip = channelStrips(mixer)[1]
            const selector = findByName(strip, "inputSelector")
            const devices = AppManager.audioInputDevices
            verify(devices.length > 0)
            strip.inputName = "A device that is gone"
            compare(selector.currentIndex, 0)
            strip.inputName = devices[devices.length - 1]
            compare(selector.currentIndex, devices.length - 1)
        }

        // The toggle asks the back end and shows what it then reports: without a sound output
        // (as here, where no audio device is open) monitoring stays off.
        function test_monitoringToggle() {
            ignoreWarning(/Failed to open monitoring output/)
            const mixer = createTemporaryObject(mixerComponent, host)
            waitForRendering(mixer)
            const toggle = findByName(mixer, "monitorToggle")
            mouseClick(toggle)
            const on = AppManager.liveMonitoringEnabled
            compare(toggle.children[0].text, on ? "MONITOR ON" : "MUTED")
            if (on) {
                mouseClick(toggle)
                verify(!AppManager.liveMonitoringEnabled)
            }
            compare(toggle.children[0].text, "MUTED")
        }

        // --- dB readout ---

        function test_dbBoxTyping_data() {
            return [
                { tag: "-6 dB", text: "-6 dB", emitted: 0.9 },
                { tag: "+3", text: "+3", emitted: 1.0 },
                { tag: "-75", text: "-75", emitted: 0.0 },
                { tag: "MUTE", text: "MUTE", emitted: 0.0 },
                { tag: "abc", text: "abc", emitted: null }
            ]
        }

        function test_dbBoxTyping(data) {
            const box = createTemporaryObject(dbBoxComponent, host, { volumeValue: 0.5 })
            const spy = spyOn(box, "volumeSet")
            mouseClick(box)
            tryVerify(() => box.isEditing)
            const field = findByName(box, "editField")
            compare(field.text, "-30.0")
            compare(field.selectedText, "-30.0")
            field.text = data.text
            keyClick(Qt.Key_Return)
            verify(!box.isEditing)
            if (data.emitted === null) {
                compare(spy.count, 0)
            } else {
                compare(spy.count, 1)
                fuzzyCompare(spy.signalArguments[0][0], data.emitted, 1e-9)
            }
        }

        function test_dbBoxEscapeAndDoubleClick() {
            const box = createTemporaryObject(dbBoxComponent, host, { volumeValue: 0.25, isMuted: true })
            const spy = spyOn(box, "volumeSet")
            compare(findByName(box, "displayText").text, "-45.0 dB")
            verify(Qt.colorEqual(findByName(box, "displayText").color, Colors.recRed))
            box.startEditing()
            findByName(box, "editField").text = "-6"
            keyClick(Qt.Key_Escape)
            verify(!box.isEditing)
            compare(spy.count, 0)

            mouseDoubleClickSequence(box)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], 1.0)
            wait(Qt.styleHints.mouseDoubleClickInterval + 50)
            verify(!box.isEditing, "a double-click does not open the editor")
        }

        function test_dbBoxAppliesOnFocusLoss() {
            const box = createTemporaryObject(dbBoxComponent, host, { volumeValue: 1.0 })
            const spy = spyOn(box, "volumeSet")
            box.startEditing()
            findByName(box, "editField").text = "-30"
            host.forceActiveFocus()
            verify(!box.isEditing)
            compare(spy.count, 1)
            fuzzyCompare(spy.signalArguments[0][0], 0.5, 1e-9)
        }

        // --- level meter ---

        function test_meterLightsAndHoldsPeak() {
            const meter = createTemporaryObject(meterComponent, host, { level: 0.5 })
            verify(meter.isStereo)
            const lit = findAllByName(meter, "litPart")
            compare(lit.length, 2)
            compare(lit[0].height, 162, "about 90 % of the 180 px inside the border")
            tryVerify(() => Math.abs(meter.peakL - meter.fractionL) < 1e-9, 500)
            const peak = meter.peakL
            meter.level = 0
            compare(lit[0].height, 0)
            wait(400)
            compare(meter.peakL, peak, "still held after 0.4 s")
            tryVerify(() => meter.peakL < peak, 1000, "falls after the hold")
            tryVerify(() => meter.peakL === 0, 1500, "down to the current level")
        }

        function test_monoMeter() {
            const meter = createTemporaryObject(meterComponent, host, { width: 10, level: 1.0, levelRight: 0 })
            verify(!meter.isStereo)
            const lit = findAllByName(meter, "litPart")
            compare(lit.length, 1)
            compare(lit[0].height, 180)
        }
    }
}
