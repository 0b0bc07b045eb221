import QtQuick
import QtTest
import "qrc:/Vireon/ui/qml/Components/OutputWindow.js" as OutputWindow
import "qrc:/Vireon/ui/qml/Components/ScrollMath.js" as ScrollMath

// The program output window's sizes and texts, and the mixer's scroll bar arithmetic.
TestCase {
    name: "OutputWindow"

    function test_windowedGeometry_data() {
        return [
            { tag: "1920x1080", screen: { virtualX: 0, virtualY: 0, width: 1920, height: 1080 },
              geometry: { x: 320, y: 180, width: 1280, height: 720 } },
            { tag: "1366x768", screen: { virtualX: 0, virtualY: 0, width: 1366, height: 768 },
              geometry: { x: 171, y: 96, width: 1025, height: 576 } },
            { tag: "second screen at 1920", screen: { virtualX: 1920, virtualY: 0, width: 2560, height: 1440 },
              geometry: { x: 1920 + 640, y: 360, width: 1280, height: 720 } },
            { tag: "screen left of primary", screen: { virtualX: -1280, virtualY: 100, width: 1280, height: 1024 },
              geometry: { x: -1280 + 160, y: 100 + 152, width: 960, height: 720 } },
            { tag: "small 800x600", screen: { virtualX: 0, virtualY: 0, width: 800, height: 600 },
              geometry: { x: 100, y: 75, width: 600, height: 450 } }
        ]
    }

    function test_windowedGeometry(data) {
        const g = OutputWindow.windowedGeometry(data.screen)
        compare(g.width, data.geometry.width)
        compare(g.height, data.geometry.height)
        compare(g.x, data.geometry.x)
        compare(g.y, data.geometry.y)
    }

    function test_fullscreenGeometry() {
        const g = OutputWindow.fullscreenGeometry({ virtualX: 1920, virtualY: -10, width: 2560, height: 1440 })
        compare([g.x, g.y, g.width, g.height], [1920, -10, 2560, 1440])
    }

    function test_targetScreen_data() {
        return [
            { tag: "no screens", index: 0, count: 0, expected: -1 },
            { tag: "one screen", index: 0, count: 1, expected: 0 },
            { tag: "stored index beyond last", index: 3, count: 2, expected: 1 },
            { tag: "negative", index: -2, count: 2, expected: 0 },
            { tag: "in range", index: 1, count: 3, expected: 1 }
        ]
    }

    function test_targetScreen(data) {
        compare(OutputWindow.targetScreen(data.index, data.count), data.expected)
    }

    function test_texts() {
        compare(OutputWindow.displayName(0), "Display 1 (Primary)")
        compare(OutputWindow.displayName(2), "Display 3")
        compare(OutputWindow.displayNames(2), ["Display 1 (Primary)", "Display 2"])
        compare(OutputWindow.overlayTitle(2, 0, true), "PROGRAM (CH 2)  •  Display 1 (Primary) [FULLSCREEN]")
        compare(OutputWindow.overlayTitle(1, 1, false), "PROGRAM (CH 1)  •  Display 2 [WINDOWED]")
        compare(OutputWindow.windowTitle(3), "Vireon – Program Output (CH 3)")
    }

    // Mixer scroll bar: 5 strips of 120 px, 4 px apart, in a 300 px view with a 200 px track.
    function test_scrollThumb() {
        const content = 5 * 120 + 4 * 4
        const view = 300
        const track = 200
        const thumb = ScrollMath.thumbWidth(track, view, content)
        fuzzyCompare(thumb, track * view / content, 1e-9)
        compare(ScrollMath.thumbWidth(track, 10, content), 30, "never narrower than 30")
        compare(ScrollMath.thumbWidth(track, 900, content), track, "never wider than the track")

        compare(ScrollMath.thumbX(0, content, view, track, thumb), 0)
        fuzzyCompare(ScrollMath.thumbX(content - view, content, view, track, thumb), track - thumb, 1e-9)
        fuzzyCompare(ScrollMath.thumbX(5000, content, view, track, thumb), track - thumb, 1e-9)

        // Dragging the thumb to its end shows the last strip; back to 0 shows the first.
        fuzzyCompare(ScrollMath.contentXForThumb(track - thumb, content, view, track, thumb), content - view, 1e-9)
        compare(ScrollMath.contentXForThumb(-20, content, view, track, thumb), 0)
        // A click in the middle of the track goes half way.
        fuzzyCompare(ScrollMath.contentXForTrackClick(100, track, content, view), (content - view) / 2, 1e-9)
        compare(ScrollMath.contentXForTrackClick(250, track, content, view), content - view)
    }

    function test_scrollSteps() {
        const content = 616
        const view = 300
        compare(ScrollMath.scrolled(0, 100, content, view), 0, "not below 0")
        compare(ScrollMath.scrolled(0, -100, content, view), 100)
        compare(ScrollMath.scrolled(300, -100, content, view), 316, "not beyond the end")
        compare(ScrollMath.scrolled(50, -100, 200, view), 0, "content narrower than the view")
        compare(ScrollMath.wheelDelta(30, -120), -120)
        compare(ScrollMath.wheelDelta(-40, 0), -40)
    }
}
