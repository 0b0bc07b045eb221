import QtQuick
import QtTest
import Vireon
import "qrc:/Vireon/ui/qml/Components/MonitorTexts.js" as MonitorTexts

// The performance monitor: log line colours by the kind the back end gives each line, the
// figure cards and state badge for each back-end state and verdict, the log poll that runs
// only while the window is shown, and clearing the log.
Item {
    id: host

    // Stands in for the back end's log access, so the program's real log file is left alone.
    QtObject {
        id: fakeLog

        property var lines: []
        property int reads: 0
        property int clears: 0

        function getRecentLogEntries() { reads += 1; return lines.map(line => ({ text: line, kind: "plain" })) }
        function clearLogFile() { clears += 1; lines = [] }
        function openLogFile() {}
    }

    Component {
        id: monitorComponent
        PerformanceMonitorWindow {}
    }

    Component {
        id: statusComponent
        BottomStatusBar { width: 1280; height: 32 }
    }

    TestCase {
        name: "PerformanceMonitor"
        when: windowShown

        function init() {
            failOnWarning(/.*/)
            fakeLog.lines = ["[ApplicationManager] one", "[ApplicationManager] two"]
            fakeLog.reads = 0
            fakeLog.clears = 0
        }

        function openWindow(properties) {
            const initial = Object.assign({ logSource: fakeLog }, properties || {})
            const window = createTemporaryObject(monitorComponent, host, initial)
            verify(window)
            window.show()
            waitForRendering(window.contentItem)
            return window
        }

        function test_gpuName_data() {
            return [
                { tag: "short", name: "Intel UHD 630", text: "Intel UHD 630" },
                { tag: "exactly 25", name: "ABCDEFGHIJKLMNOPQRSTUVWXY", text: "ABCDEFGHIJKLMNOPQRSTUVWXY" },
                { tag: "26 is cut", name: "ABCDEFGHIJKLMNOPQRSTUVWXYZ", text: "ABCDEFGHIJKLMNOPQRSTUVWXY..." },
                { tag: "empty", name: "", text: "" }
            ]
        }

        function test_gpuName(data) {
            compare(MonitorTexts.shortGpuName(data.name), data.text)
        }

        function test_lineColoursInTheList() {
            const window = openWindow()
            window.logLines = ["started", "stopped", "drops", "lost", "plain"].map(kind => ({ text: kind, kind: kind }))
            const expected = [Colors.liveGreen, Colors.accent, "#f87171", "#f87171", "#94a3b8"]
            tryCompare(window.logView, "count", 5)
            for (let i = 0; i < expected.length; ++i) {
                window.logView.positionViewAtIndex(i, ListView.Contain)
                const line = window.logView.itemAtIndex(i)
                verify(line, "line " + i)
                verify(Qt.colorEqual(line.color, expected[i]), "line " + i + " is " + line.color)
                compare(line.wrapMode, Text.WrapAnywhere)
            }
        }

        function test_stateBadgeAndDot_data() {
            return [
                { tag: "standby", recording: false, arming: false, text: "STANDBY", tone: Colors.liveGreen, pulsing: false },
                { tag: "arming", recording: false, arming: true, text: "SYNC ARMING", tone: Colors.liveGreen, dot: Colors.accent, pulsing: true },
                { tag: "recording", recording: true, arming: false, text: "RECORDING ACTIVE", tone: Colors.recordingRed, pulsing: true },
                { tag: "recording wins", recording: true, arming: true, text: "RECORDING ACTIVE", tone: Colors.recordingRed, pulsing: true }
            ]
        }

        function test_stateBadgeAndDot(data) {
            const window = openWindow({ isRecording: data.recording, isArming: data.arming })
            compare(window.stateBadgeLabel.text, data.text)
            verify(Qt.colorEqual(window.stateBadgeLabel.color, data.tone))
            verify(Qt.colorEqual(window.statusDot.color, data.dot !== undefined ? data.dot : data.tone))
            if (data.recording)
                verify(Qt.colorEqual(window.stateBadge.color, "#450a0a"))
            compare(window.statusDot.pulsing, data.pulsing)
            if (data.pulsing)
                tryVerify(() => window.statusDot.opacity < 0.6, 2000, "the dot pulses")
            else
                compare(window.statusDot.opacity, 1.0)
        }

        function test_dotSettlesWhenTheTakeEnds() {
            const window = openWindow({ isRecording: true })
            tryVerify(() => window.statusDot.opacity < 0.6, 2000)
            window.isRecording = false
            compare(window.statusDot.opacity, 1.0)
            wait(100)
            compare(window.statusDot.opacity, 1.0)
        }

        function test_fpsCard_data() {
            return [
                { tag: "good", fps: 30, level: "good", cameras: 2, text: "30.0", color: Colors.liveGreen },
                { tag: "ok", fps: 24, level: "ok", cameras: 2, text: "24.0", color: Colors.alertAmber },
                { tag: "low", fps: 23.94, level: "low", cameras: 2, text: "23.9", color: "#ef4444" },
                { tag: "no camera", fps: 0, level: "none", cameras: 0, text: "—", color: Colors.textSecondary }
            ]
        }

        function test_fpsCard(data) {
            const window = openWindow({ currentFps: data.fps, fpsLevel: data.level, measuredCameras: data.cameras })
            compare(window.fpsValue.text, data.text)
            verify(Qt.colorEqual(window.fpsValue.color, data.color), "fps colour " + window.fpsValue.color)
        }

        function test_droppedCard() {
            const window = openWindow({ droppedFrames: 0, repeatedFrames: 0, frameSyncLevel: "clean" })
            compare(window.droppedValue.text, "0")
            compare(window.droppedUnit.text, "100% SYNC")
            verify(Qt.colorEqual(window.droppedUnit.color, Colors.liveGreen))
            compare(window.droppedCard.iconLabel.text, "✓")
            // Frame slots without a picture of their own are no "100% SYNC" either.
            window.repeatedFrames = 12
            window.frameSyncLevel = "repeated"
            compare(window.droppedValue.text, "12")
            compare(window.droppedUnit.text, "REPEATED")
            verify(Qt.colorEqual(window.droppedUnit.color, Colors.alertAmber))
            compare(window.droppedCard.iconLabel.text, "⚠")
            window.droppedFrames = 7
            window.frameSyncLevel = "dropped"
            compare(window.droppedValue.text, "7")
            compare(window.droppedUnit.text, "DROPPED")
            verify(Qt.colorEqual(window.droppedUnit.color, "#ef4444"))
            compare(window.droppedCard.iconLabel.text, "⚠")
            verify(Qt.colorEqual(window.droppedCard.iconLabel.color, "#ef4444"))
        }

        function test_figuresAndStrip() {
            const window = openWindow({
                diskWriteSpeedMBs: 12.345, cpuUsage: "CPU: 7%", ramUsage: "RAM: 153.0 MB",
                activeResolutionName: "1920x1080 (1080p FHD)", gpuInfo: "NVIDIA GeForce RTX 4090 Laptop GPU"
            })
            compare(window.diskValue.text, "12.3")
            compare(window.loadValue.text, "CPU: 7%   |   RAM: 153.0 MB")
            compare(window.resolutionLabel.text, "ACTIVE RESOLUTION: 1920x1080 (1080p FHD)")
            compare(window.gpuLabel.text, "GPU: NVIDIA GeForce RTX 4090 L...")
        }

        function test_logIsReadAtCreationAndPolledWhileShown() {
            const window = openWindow()
            const texts = () => window.logLines.map(entry => entry.text)
            compare(texts(), fakeLog.lines)
            // The window reports itself visible at once and tells its bindings a moment later.
            tryVerify(() => window.pollTimer.running)
            compare(window.pollTimer.interval, 1000)

            fakeLog.lines = fakeLog.lines.concat(["RECORDING STARTED"])
            tryVerify(() => texts().length === fakeLog.lines.length && texts()[2] === "RECORDING STARTED", 2500)
            tryVerify(() => window.logView.atYEnd)

            window.hide()
            tryVerify(() => !window.pollTimer.running)
            const readsWhileHidden = fakeLog.reads
            fakeLog.lines = ["new line"]
            wait(1300)
            compare(fakeLog.reads, readsWhileHidden)
            verify(window.logLines[0].text !== "new line")
        }

        function test_longLogScrollsToItsEnd() {
            // Lines of every length, the long ones wrapped over several rows: the newest must
            // show whole, not half below the view's edge.
            const many = []
            for (let i = 0; i < 50; ++i)
                many.push("[ApplicationManager] line " + i + " " + "wrapped words ".repeat((i * 7) % 40))
            fakeLog.lines = many
            const window = openWindow()
            compare(window.logLines.length, 50)
            tryVerify(() => window.logView.contentHeight > window.logView.height)
            tryVerify(() => window.logView.atYEnd)
            const newestShowsWhole = () => {
                const newest = window.logView.itemAtIndex(49)
                return newest && newest.mapToItem(window.logView, 0, newest.height).y <= window.logView.height + 0.5
            }
            tryVerify(newestShowsWhole, 1000, "the newest line shows whole")
            // Back to the start, then dragged to the end as with the scroll bar: the heights of
            // the lines created on the way replace the estimate the end was computed from.
            const view = window.logView
            view.positionViewAtBeginning()
            view.contentY = view.originY + view.contentHeight - view.height
            tryVerify(newestShowsWhole, 1000, "the newest line shows whole after scrolling")
        }

        // A take wins: no benchmark may start while recording, and the button says why.
        function test_benchmarkWaitsForTheTake() {
            const window = openWindow({ isRecording: false })
            verify(window.benchmarkButton.enabled)
            window.isRecording = true
            verify(!window.benchmarkButton.enabled)
        }

        function test_clearEmptiesLogAndList() {
            const window = openWindow()
            compare(window.logLines.length, 2)
            mouseClick(window.clearButton)
            compare(fakeLog.clears, 1)
            compare(window.logLines.length, 0)
            compare(window.logView.count, 0)
        }

        function test_opensOnTheBackEndWithoutWarnings() {
            const window = createTemporaryObject(monitorComponent, host)
            verify(window)
            window.show()
            tryVerify(() => window.visible)
            compare(window.width, 620)
            compare(window.height, 560)
            compare(window.minimumWidth, 500)
            compare(window.minimumHeight, 450)
            compare(window.title, "Studio Performance Monitor & Telemetry")
            verify(window.logLines.length <= 50)
            compare(window.resolutionLabel.text, "ACTIVE RESOLUTION: " + AppManager.activeResolutionName)
        }

        function test_closingDestroysTheWindow() {
            const window = openWindow()
            let gone = false
            window.Component.destruction.connect(() => { gone = true })
            window.close()
            tryVerify(() => gone)
        }

        function test_statusBarMakesANewWindowAfterClose() {
            const bar = createTemporaryObject(statusComponent, host)
            bar.openMonitorWindow()
            const first = bar.monitorWindow
            verify(first)
            compare(first.title, "Studio Performance Monitor & Telemetry")
            tryVerify(() => first.pollTimer.running)
            if (Qt.platform.pluginName === "offscreen")
                ignoreWarning("This plugin does not support raise()")
            bar.openMonitorWindow()
            verify(bar.monitorWindow === first, "an open monitor is only raised")
            first.close()
            // The closed window is gone, not kept hidden with its poll stopped.
            tryVerify(() => bar.monitorWindow === null)
            bar.openMonitorWindow()
            verify(bar.monitorWindow)
            tryVerify(() => bar.monitorWindow.visible)
            bar.monitorWindow.close()
            tryVerify(() => bar.monitorWindow === null)
        }
    }
}
