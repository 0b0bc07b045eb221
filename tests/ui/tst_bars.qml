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
                { tag: "60 green", fps: 60, color: Colors.liveGreen },
                { tag: "50 green", fps: 50, color: Colors.liveGreen },
                { tag: "24 accent", fps: 24, color: Colors.accent },
                { tag: "23.9 red", fps: 23.9, color: "#ef4444" },
                { tag: "0 red", fps: 0, color: "#ef4444" }
            ]
        }

        function test_fpsDot(data) {
            const bar = createTemporaryObject(statusComponent, host, { currentFps: data.fps, selectedGlobalFps: 30 })
            verify(Qt.colorEqual(bar.fpsDot.color, data.color), "dot " + bar.fpsDot.color)
            compare(bar.fpsLabel.text, "FPS: " + data.fps.toFixed(1) + " (30 fps)")
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
    }
}
