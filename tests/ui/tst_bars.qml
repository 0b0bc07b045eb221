import QtQuick
import QtTest
import Vireon

// The transport controls and the status bar show each back-end state with the right text and
// colour.
Item {
    id: host

    width: 1280
    height: 200

    Component {
        id: transportComponent
        TransportControls {}
    }

    Component {
        id: statusComponent
        BottomStatusBar { width: 1280; height: 32 }
    }

    Component {
        id: bannerComponent
        RecordingBanner { width: 1000 }
    }

    Component {
        id: noticeComponent
        TakeSavedNotice { width: 1000 }
    }

    TestCase {
        name: "Bars"
        when: windowShown

        function init() {
            failOnWarning(/.*/)
        }

        function test_transportStates_data() {
            return [
                { tag: "idle", arming: false, recording: false, text: "REC ALL", timecode: "01:02:03:04",
                  timecodeColor: Colors.textPrimary, fill: Colors.recRed, width: 120, dot: "#ffffff" },
                { tag: "arming", arming: true, recording: false, text: "SYNC 3s", timecode: "SYNC IN 3s",
                  timecodeColor: "#f59e0b", fill: "#d97706", width: 130, dot: "#fbbf24" },
                { tag: "recording", arming: false, recording: true, text: "STOP REC", timecode: "01:02:03:04",
                  timecodeColor: Colors.recRed, fill: Colors.borderDark, width: 120, dot: "#ffffff" },
                { tag: "arming wins over recording", arming: true, recording: true, text: "SYNC 3s",
                  timecode: "SYNC IN 3s", timecodeColor: "#f59e0b", fill: "#d97706", width: 130, dot: "#fbbf24" }
            ]
        }

        function test_transportStates(data) {
            const transport = createTemporaryObject(transportComponent, host, {
                isArming: data.arming, isRecording: data.recording, countdownSeconds: 3, timecode: "01:02:03:04"
            })
            verify(transport)
            compare(transport.recordLabel.text, data.text)
            compare(transport.timecodeLabel.text, data.timecode)
            verify(Qt.colorEqual(transport.timecodeLabel.color, data.timecodeColor),
                   "timecode colour " + transport.timecodeLabel.color)
            tryVerify(() => Qt.colorEqual(transport.recordButton.color, data.fill), 1000,
                      "button fill " + transport.recordButton.color)
            tryCompare(transport.recordButton, "width", data.width)
            compare(transport.recordButton.height, 36)
        }

        function test_transportFollowsStateChanges() {
            const transport = createTemporaryObject(transportComponent, host, {
                isArming: false, isRecording: false, countdownSeconds: 5, timecode: "00:00:00:00"
            })
            transport.isArming = true
            compare(transport.recordLabel.text, "SYNC 5s")
            transport.countdownSeconds = 4
            compare(transport.recordLabel.text, "SYNC 4s")
            compare(transport.timecodeLabel.text, "SYNC IN 4s")
            transport.isArming = false
            transport.isRecording = true
            compare(transport.recordLabel.text, "STOP REC")
            tryVerify(() => Qt.colorEqual(transport.recordButton.color, Colors.borderDark), 1000)
        }

        function test_fpsDot_data() {
            return [
                // The back end's verdict against the timeline's rate, in its colour.
                { tag: "good green", fps: 30, level: "good", color: Colors.liveGreen },
                { tag: "ok amber", fps: 24, level: "ok", color: Colors.alertAmber },
                { tag: "low red", fps: 0, level: "low", color: "#ef4444" }
            ]
        }

        function test_fpsDot(data) {
            const bar = createTemporaryObject(statusComponent, host, {
                currentFps: data.fps, recordingFpsText: "30", fpsLevel: data.level, measuredCameras: 2
            })
            verify(Qt.colorEqual(bar.fpsDot.color, data.color), "dot " + bar.fpsDot.color)
            compare(bar.fpsLabel.text, "FPS: " + data.fps.toFixed(1) + " (30 fps)")
            // No camera: no reading, in grey, rather than a red 0.0.
            bar.measuredCameras = 0
            bar.fpsLevel = "none"
            compare(bar.fpsLabel.text, "FPS: —")
            verify(Qt.colorEqual(bar.fpsDot.color, Colors.textSecondary))
        }

        function test_diskSpace_data() {
            return [
                { tag: "unknown", free: -1, seconds: -1, level: "unknown", text: "Disk: —", color: Colors.textSecondary },
                { tag: "idle", free: 812e9, seconds: 11520, level: "ok",
                  text: "Disk: 812.0 GB free · 3 h 12 min left", color: Colors.textSecondary },
                { tag: "low", free: 4.2e9, seconds: 840, level: "low",
                  text: "Disk: 4.2 GB free · 14 min left", color: Colors.alertAmber },
                { tag: "critical", free: 650e6, seconds: 45, level: "critical",
                  text: "Disk: 650 MB free · 45 s left", color: "#ef4444" }
            ]
        }

        function test_diskSpace(data) {
            const bar = createTemporaryObject(statusComponent, host, {
                diskFreeBytes: data.free, diskSecondsLeft: data.seconds, diskLevel: data.level
            })
            compare(bar.diskLabel.text, data.text)
            verify(Qt.colorEqual(bar.diskLabel.color, data.color), "disk " + bar.diskLabel.color)
        }

        function test_droppedAndWrite() {
            const bar = createTemporaryObject(statusComponent, host, { droppedFrames: 0, diskWriteSpeedMBs: 0 })
            compare(bar.droppedMark.text, "✓")
            verify(Qt.colorEqual(bar.droppedMark.color, Colors.liveGreen))
            verify(Qt.colorEqual(bar.droppedLabel.color, Colors.textSecondary))
            verify(Qt.colorEqual(bar.writeLabel.color, Colors.textSecondary))
            compare(bar.writeLabel.text, "Write: 0.0 MB/s")

            bar.droppedFrames = 7
            bar.diskWriteSpeedMBs = 41.26
            compare(bar.droppedMark.text, "⚠")
            verify(Qt.colorEqual(bar.droppedMark.color, "#ef4444"))
            compare(bar.droppedLabel.text, "Dropped: 7")
            verify(Qt.colorEqual(bar.droppedLabel.color, "#ef4444"))
            verify(Qt.colorEqual(bar.writeLabel.color, Colors.accent))
            compare(bar.writeLabel.text, "Write: 41.3 MB/s")
        }
    
        // A failure stays on screen, red, until dismissed, and wins over a warning.
        function test_banner() {
            const banner = createTemporaryObject(bannerComponent, host, { errorText: "", warningText: "" })
            verify(!banner.visible)
            compare(banner.implicitHeight, 0)
            banner.warningText = "Disk almost full: about 4 min of recording left"
            verify(banner.visible)
            verify(Qt.colorEqual(banner.border.color, Colors.alertAmber))
            banner.errorText = "The take did not start: the folder /x could not be created"
            compare(banner.messageLabel.text, banner.errorText)
            verify(Qt.colorEqual(banner.border.color, Colors.recRed))
            verify(banner.implicitHeight >= banner.messageLabel.implicitHeight)
        }

        function test_takeSavedNotice() {
            const notice = createTemporaryObject(noticeComponent, host, {
                summary: { name: "Take_03", cameras: 4, wavFiles: 5, timeline: true }, showMs: 200
            })
            verify(!notice.visible)
            notice.show()
            verify(notice.visible)
            compare(notice.messageLabel.text, "Take_03 saved — 4 cameras, 5 WAV files, timeline")
            tryVerify(() => !notice.visible, 2000)
            notice.show()
            mouseClick(notice.closeButton)
            verify(!notice.visible)
        }
    }
}
