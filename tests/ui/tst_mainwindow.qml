import QtQuick
import QtQuick.Window
import QtTest
import Vireon

// The main window: it loads cleanly, its rows have the fixed heights, the splitter keeps the
// mixer within its limits and stores its width, and the resize layer follows maximising.
Item {
    id: host

    Component {
        id: mainComponent
        Main {}
    }

    TestCase {
        id: testCase

        property var window: null

        name: "MainWindow"
        when: windowShown

        // Named as the program names itself, so the width goes to a real settings store.
        function initTestCase() {
            if (Qt.application.organization === "")
                Qt.application.organization = "VireonTests"
            if (Qt.application.domain === "")
                Qt.application.domain = "tests.vireon.invalid"
        }

        function init() {
            failOnWarning(/.*/)
            window = createTemporaryObject(mainComponent, host)
            verify(window)
            window.layoutSettings.audioMixerWidth = 320
            tryVerify(() => window.splitter.width === 8 && window.mixerPanel.width > 0)
        }

        function cleanup() {
            window.layoutSettings.audioMixerWidth = 320
        }

        function dragSplitter(dx) {
            const mouse = window.splitterMouse
            const y = mouse.height / 2
            const x = mouse.width / 2
            mousePress(mouse, x, y)
            mouseMove(mouse, x + dx / 2, y)
            mouseMove(mouse, x + dx, y)
            mouseRelease(mouse, x + dx, y)
        }

        function test_widthPersistsAcrossWindows() {
            verify(window.layoutSettings.category === "Layout", "the width is kept in the Layout group")
            const first = createTemporaryObject(mainComponent, host)
            first.layoutSettings.audioMixerWidth = 210
            // The store writes when its window goes.
            first.destroy()
            wait(0)
            const second = createTemporaryObject(mainComponent, host)
            compare(second.layoutSettings.audioMixerWidth, 210)
            second.layoutSettings.audioMixerWidth = 320
        }

        // Windows without a parent would keep the program running after the main window.
        function test_closingClosesSecondaryWindows() {
            window.headerBar.openHelpWindow()
            window.statusBar.openMonitorWindow()
            const help = window.headerBar.helpWindow
            const monitor = window.statusBar.monitorWindow
            verify(help && help.visible)
            verify(monitor && monitor.visible)
            window.close()
            verify(!help.visible)
            tryVerify(() => !window.statusBar.monitorWindow || !window.statusBar.monitorWindow.visible)
        }

        function test_layout() {
            compare(window.width, 1280)
            compare(window.height, 720)
            compare(window.minimumWidth, 1024)
            compare(window.minimumHeight, 640)
            compare(window.title, "Vireon Studio 2.4.5b")
            compare(window.headerBar.height, 60)
            compare(window.statusBar.height, 32)
            tryCompare(window.statusBar, "y", window.height - 32 - window.headerBar.y)
            compare(window.splitter.width, 8)
        }

        function test_mixerMaxNeverBeyondRowOrStrips() {
            const rowWidth = window.mixerPanel.parent.width
            verify(window.mixerMaxWidth >= 200)
            verify(window.mixerMaxWidth <= Math.max(200, rowWidth - 280))
            verify(window.mixerMaxWidth <= Math.max(200, window.mixerPanel.contentWidth))
        }

        function test_dragLeftStopsAtMax() {
            dragSplitter(-2000)
            compare(window.mixerWidth, window.mixerMaxWidth)
            compare(window.layoutSettings.audioMixerWidth, window.mixerMaxWidth)
            tryCompare(window.mixerPanel, "width", window.mixerMaxWidth)
        }

        function test_dragRightStopsAt200() {
            dragSplitter(2000)
            compare(window.mixerWidth, 200)
            compare(window.layoutSettings.audioMixerWidth, 200)
            tryCompare(window.mixerPanel, "width", 200)
        }

        function test_dragMovesByThePointer() {
            window.layoutSettings.audioMixerWidth = 250
            dragSplitter(-30)
            compare(window.layoutSettings.audioMixerWidth, Math.min(280, window.mixerMaxWidth))
            tryCompare(window.mixerPanel, "width", window.mixerWidth)
        }

        function test_doubleClickToggles() {
            window.layoutSettings.audioMixerWidth = window.mixerMaxWidth
            mouseDoubleClickSequence(window.splitterMouse)
            compare(window.layoutSettings.audioMixerWidth, 200)
            mouseDoubleClickSequence(window.splitterMouse)
            compare(window.layoutSettings.audioMixerWidth, window.mixerMaxWidth)
            // Within 10 px of the maximum counts as at the maximum.
            window.layoutSettings.audioMixerWidth = window.mixerMaxWidth - 10
            mouseDoubleClickSequence(window.splitterMouse)
            compare(window.layoutSettings.audioMixerWidth, 200)
        }

        function test_storedWidthClampedNotLost() {
            window.layoutSettings.audioMixerWidth = 5000
            compare(window.mixerWidth, window.mixerMaxWidth)
            compare(window.layoutSettings.audioMixerWidth, 5000)
            tryCompare(window.mixerPanel, "width", window.mixerMaxWidth)
        }

        function test_resizeLayerHiddenWhileMaximised() {
            verify(window.resizeLayer.visible)
            window.showMaximized()
            // The state change reaches bindings through the platform's event, a moment later.
            tryVerify(() => !window.resizeLayer.visible)
            window.showNormal()
            tryVerify(() => window.resizeLayer.visible)
            compare(window.visibility, Window.Windowed)
            window.showFullScreen()
            tryVerify(() => !window.resizeLayer.visible)
            window.showNormal()
            tryVerify(() => window.resizeLayer.visible)
        }

        function test_resizeLayerAreas() {
            const areas = []
            for (let i = 0; i < window.resizeLayer.children.length; ++i) {
                const child = window.resizeLayer.children[i]
                if (child.cursorShape !== undefined)
                    areas.push(child)
            }
            compare(areas.length, 8)
            let corners = 0
            for (const area of areas) {
                if (area.width === 16 && area.height === 16)
                    ++corners
                else
                    verify(area.width === 7 || area.height === 7, "edge " + area.width + "x" + area.height)
            }
            compare(corners, 4)
        }
    }
}
