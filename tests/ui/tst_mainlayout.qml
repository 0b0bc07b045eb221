import QtQuick
import QtTest
import "qrc:/Vireon/ui/qml/Components/MainLayout.js" as MainLayout
import "qrc:/Vireon/ui/qml/Components/StatusTexts.js" as StatusTexts

// The pure arithmetic and texts behind the main window's bars and splitter.
TestCase {
    name: "MainLayout"

    function test_mixerMaxWidth_data() {
        return [
            { tag: "strips narrower than the row", row: 1260, content: 420, expected: 420 },
            { tag: "row leaves the preview 280", row: 700, content: 900, expected: 420 },
            { tag: "never below 200 on a narrow row", row: 400, content: 900, expected: 200 },
            { tag: "never below 200 with few strips", row: 1260, content: 120, expected: 200 },
            { tag: "exactly at the reserve", row: 480, content: 480, expected: 200 }
        ]
    }

    function test_mixerMaxWidth(data) {
        compare(MainLayout.mixerMaxWidth(data.row, data.content), data.expected)
    }

    function test_preferredWidthKeepsStoredValueWithinLimits_data() {
        return [
            { tag: "default fits", stored: 320, max: 420, expected: 320 },
            { tag: "saved on a wider window", stored: 900, max: 420, expected: 420 },
            { tag: "below the minimum", stored: 50, max: 420, expected: 200 }
        ]
    }

    function test_preferredWidthKeepsStoredValueWithinLimits(data) {
        compare(MainLayout.preferredMixerWidth(data.stored, data.max), data.expected)
    }

    function test_drag_data() {
        return [
            { tag: "left widens", start: 300, from: 500, to: 450, expected: 350 },
            { tag: "right narrows", start: 300, from: 500, to: 560, expected: 240 },
            { tag: "far left stops at max", start: 300, from: 500, to: -2000, expected: 420 },
            { tag: "far right stops at 200", start: 300, from: 500, to: 3000, expected: 200 },
            { tag: "no movement", start: 300, from: 500, to: 500, expected: 300 }
        ]
    }

    function test_drag(data) {
        compare(MainLayout.draggedMixerWidth(data.start, data.from, data.to, 420), data.expected)
    }

    function test_doubleClick_data() {
        return [
            { tag: "at max collapses", current: 420, expected: 200 },
            { tag: "within 10 of max collapses", current: 410, expected: 200 },
            { tag: "11 short of max expands", current: 409, expected: 420 },
            { tag: "at min expands", current: 200, expected: 420 }
        ]
    }

    function test_doubleClick(data) {
        compare(MainLayout.doubleClickedMixerWidth(data.current, 420), data.expected)
    }

    function test_takeTexts() {
        const take = { name: "Take_03", cameras: 4, wavFiles: 5, timeline: true }
        compare(StatusTexts.takeSavedText(take, "EN"), "Take_03 saved — 4 cameras, 5 WAV files, timeline")
        compare(StatusTexts.takeSavedText(take, "SR"), "Take_03 sačuvan — 4 kamere, 5 WAV fajlova, timeline")
        compare(StatusTexts.takeSavedText({ name: "Take_04", cameras: 1, wavFiles: 1, timeline: false }, "EN"),
                "Take_04 saved — 1 camera, 1 WAV file, no timeline")
        // A microphone lost during the take: its channel's silence is named.
        const gap = { name: "Take_05", cameras: 0, wavFiles: 3, timeline: true, audioSilence: { "2": 2.26 } }
        compare(StatusTexts.takeSavedText(gap, "EN"), "Take_05 saved — 0 cameras, 3 WAV files, timeline, silence on channel 2 (2.3 s)")
        compare(StatusTexts.takeSavedText(gap, "SR"), "Take_05 sačuvan — 0 kamera, 3 WAV fajla, timeline, tišina na kanalu 2 (2,3 s)")
    }

    function test_tileStatus_data() {
        return [
            { tag: "recorded", args: [true, false, "live", true], text: "REC", look: "rec" },
            { tag: "recorded programme", args: [true, true, "live", true], text: "REC · PROGRAM", look: "rec" },
            { tag: "programme, not recording", args: [false, true, "live", true], text: "PROGRAM", look: "programme" },
            { tag: "idle, will be recorded", args: [false, false, "live", true], text: "READY", look: "ready" },
            { tag: "idle, not recorded", args: [false, false, "live", false], text: "NOT RECORDED", look: "off" },
            { tag: "lost during a take", args: [true, true, "lost", true], text: "LOST", look: "lost" },
            { tag: "waiting for its camera", args: [false, false, "waiting", true], text: "WAITING", look: "waiting" }
        ]
    }

    function test_tileStatus(data) {
        const status = StatusTexts.tileStatus(data.args[0], data.args[1], data.args[2], data.args[3], "EN")
        compare(status.text, data.text)
        compare(status.look, data.look)
    }

    function test_statusTexts() {
        compare(StatusTexts.fpsText(29.97, "30"), "FPS: 30.0 (30 fps)")
        compare(StatusTexts.fpsText(59.94, "59.94"), "FPS: 59.9 (59.94 fps)", "the rate recorded, not rounded")
        compare(StatusTexts.writeText(0), "Write: 0.0 MB/s")
        compare(StatusTexts.writeText(12.345), "Write: 12.3 MB/s")
        compare(StatusTexts.droppedText(3), "Dropped: 3")
        compare(StatusTexts.resourceText("CPU: 12%", "RAM: 300 MB"), "CPU: 12%  |  RAM: 300 MB")
    }

    function test_transport_data() {
        return [
            { tag: "idle", arming: false, recording: false, button: "REC ALL", timecode: "00:00:00:00",
              action: "startRecording", session: "Session 1" },
            { tag: "arming", arming: true, recording: false, button: "SYNC 3s", timecode: "SYNC IN 3s",
              action: "cancelArming", session: "ARMED" },
            { tag: "recording", arming: false, recording: true, button: "STOP REC", timecode: "00:00:00:00",
              action: "stopRecording", session: "RECORDING" }
        ]
    }

    function test_transport(data) {
        compare(StatusTexts.recordButtonText(data.arming, data.recording, 3), data.button)
        compare(StatusTexts.timecodeText(data.arming, 3, "00:00:00:00"), data.timecode)
        compare(StatusTexts.recordAction(data.arming, data.recording), data.action)
        compare(StatusTexts.sessionText(data.recording, data.arming, "Session 1"), data.session)
    }

    function test_language() {
        compare(StatusTexts.tr("EN", "Remote", "Daljinska"), "Remote")
        compare(StatusTexts.tr("SR", "Remote", "Daljinska"), "Daljinska")
    }
}
