import QtQuick
import QtQuick.Controls
import QtQuick.Window
import QtTest
import Vireon

// The layout audit: at the smallest and the default size of each window, in English and
// Serbian, with each of its pop-ups and dialogs opened in turn, no visible control lies outside
// its window, no text is shrunk below 9 px to fit, and no text runs past its own box. The main
// window also keeps pictures one can monitor by in its grid of four cameras, and readable
// meters in its mixer.
Item {
    id: host

    Component {
        id: mainComponent
        Main {}
    }

    Component {
        id: settingsComponent
        SettingsDialog {}
    }

    Component {
        id: monitorComponent
        PerformanceMonitorWindow {}
    }

    Component {
        id: helpComponent
        HelpWindow {}
    }

    Component {
        id: outputComponent
        PreviewOutput {}
    }

    TestCase {
        name: "WindowLayout"
        when: windowShown

        readonly property var languages: ["EN", "SR"]

        function isShown(item) {
            for (let it = item; it; it = it.parent) {
                if (!it.visible || it.opacity <= 0.01)
                    return false
            }
            return true
        }

        // The part of `item` the operator can see: cut by every clipping ancestor.
        function visibleRect(item) {
            let r = item.mapToItem(null, 0, 0, item.width, item.height)
            for (let it = item.parent; it; it = it.parent) {
                if (!it.clip)
                    continue
                const c = it.mapToItem(null, 0, 0, it.width, it.height)
                const x1 = Math.max(r.x, c.x), y1 = Math.max(r.y, c.y)
                const x2 = Math.min(r.x + r.width, c.x + c.width), y2 = Math.min(r.y + r.height, c.y + c.height)
                r = Qt.rect(x1, y1, Math.max(0, x2 - x1), Math.max(0, y2 - y1))
            }
            return r
        }

        // The nearest framed ancestor: a rectangle with a border or a fill, or a control.
        function boxOf(item) {
            for (let it = item.parent; it; it = it.parent) {
                if (it instanceof Control || (it instanceof Rectangle && it.width > 0
                        && (it.border.width > 0 || it.color.a > 0)))
                    return it
            }
            return null
        }

        // Inside something that scrolls: what is cut off can be scrolled into view.
        function scrolls(item) {
            for (let it = item.parent; it; it = it.parent) {
                if (it instanceof Flickable)
                    return true
            }
            return false
        }

        function isControl(item) {
            return item instanceof MouseArea || item instanceof Control || item instanceof TextInput
                || item instanceof TextEdit
        }

        // The item and, for one without a name or text, the nearest named ancestor.
        function describe(item) {
            const nameOf = it => it.objectName !== "" ? it.objectName : String(it).split("(")[0]
            let text = nameOf(item)
            if (item.text !== undefined && typeof item.text === "string")
                return text + " \"" + item.text + "\""
            for (let it = item.parent; it; it = it.parent) {
                if (it.objectName !== "")
                    return text + " in " + it.objectName
            }
            return text
        }

        // Every fault under `root` in a window of width × height, each named.
        function layoutFaults(root, width, height, where) {
            const faults = []
            const visit = item => {
                if (!isShown(item))
                    return
                if (item.width > 0 && item.height > 0) {
                    const full = item.mapToItem(null, 0, 0, item.width, item.height)
                    const seen = visibleRect(item)
                    // A control the clipping hides entirely (scrolled away) is not on screen.
                    const onScreen = seen.width > 0 && seen.height > 0
                    // Cut by a frame that does not scroll: part of the control cannot be reached.
                    if (isControl(item) && onScreen && (seen.width < full.width - 1 || seen.height < full.height - 1)
                            && !scrolls(item))
                        faults.push(where + ": " + describe(item) + " is cut off (" + Math.round(seen.width) + "×"
                                    + Math.round(seen.height) + " of " + Math.round(full.width) + "×"
                                    + Math.round(full.height) + ")")
                    if (isControl(item) && onScreen
                            && (seen.x < -1 || seen.y < -1 || seen.x + seen.width > width + 1
                                || seen.y + seen.height > height + 1))
                        faults.push(where + ": " + describe(item) + " lies outside the window at "
                                    + Math.round(full.x) + "," + Math.round(full.y) + " " + Math.round(full.width)
                                    + "×" + Math.round(full.height))
                    if (item instanceof Text && onScreen && item.text !== "") {
                        if (item.fontSizeMode !== Text.FixedSize && item.fontInfo.pixelSize < 9)
                            faults.push(where + ": " + describe(item) + " shrunk to " + item.fontInfo.pixelSize + " px")
                        const cut = item.elide !== Text.ElideNone || item.wrapMode !== Text.NoWrap
                        if (!cut && item.contentWidth > item.width - item.leftPadding - item.rightPadding + 1)
                            faults.push(where + ": " + describe(item) + " runs past its box ("
                                        + Math.round(item.contentWidth) + " of " + Math.round(item.width) + " px)")
                        // Drawn past the box (the nearest framed item) that holds it: over a
                        // neighbour or cut off.
                        const box = boxOf(item)
                        if (box) {
                            const b = box.mapToItem(null, 0, 0, box.width, box.height)
                            const inner = item.width - item.leftPadding - item.rightPadding
                            const drawn = cut ? Math.min(item.contentWidth, inner) : item.contentWidth
                            const offset = item.leftPadding
                                         + (item.horizontalAlignment === Text.AlignHCenter ? (inner - drawn) / 2
                                            : item.horizontalAlignment === Text.AlignRight ? inner - drawn : 0)
                            const t = item.mapToItem(null, offset, 0, drawn, item.height)
                                if (t.x < b.x - 2 || t.x + t.width > b.x + b.width + 2)
                                faults.push(where + ": " + describe(item) + " runs past its box "
                                            + Math.round(t.x) + "–" + Math.round(t.x + t.width) + " of "
                                            + Math.round(b.x) + "–" + Math.round(b.x + b.width))
                            // Nor over a framed neighbour (a button beside it).
                            const siblings = item.parent.children
                            for (let i = 0; i < siblings.length; ++i) {
                                const other = siblings[i]
                                if (other === item || !other.visible || !(other instanceof Rectangle || other instanceof Control))
                                    continue
                                if (other.width <= 8 && other.height <= 8)
                                    continue // a status dot set on the symbol on purpose
                                const o = other.mapToItem(null, 0, 0, other.width, other.height)
                                const behind = o.x <= t.x + 1 && o.x + o.width >= t.x + t.width - 1
                                               && o.y <= t.y + 1 && o.y + o.height >= t.y + t.height - 1
                                if (!behind && t.x < o.x + o.width - 1 && o.x < t.x + t.width - 1
                                        && t.y < o.y + o.height - 1 && o.y < t.y + t.height - 1)
                                    faults.push(where + ": " + describe(item) + " runs into " + describe(other))
                            }
                        }
                    }
                }
                for (let i = 0; i < item.children.length; ++i)
                    visit(item.children[i])
            }
            visit(root)
            return faults
        }

        function openMain(width, height, language) {
            AppManager.currentLanguage = language
            const window = createTemporaryObject(mainComponent, host)
            verify(window)
            window.width = width
            window.height = height
            window.layoutSettings.audioMixerWidth = 320
            tryVerify(() => window.mixerPanel.width > 0 && window.contentItem.width === width)
            wait(50)
            return window
        }

        function check(window, where) {
            wait(50)
            const faults = layoutFaults(window.contentItem, window.width, window.height, where)
            verify(faults.length === 0, faults.join("\n"))
        }

        function sizes(window) {
            return [{ name: "minimum", width: window.minimumWidth, height: window.minimumHeight },
                    { name: "default", width: 1280, height: 720 }]
        }

        function test_mainWindow() {
            const all = []
            // Four cameras in the grid: the window's fullest look.
            for (let id = 1; id <= 4; ++id)
                ChannelsModel.setHasActiveVideo(id, true)
            // The least picture height of a tile (at 1280×720 the grid's half gives about 110 px,
            // a 1366×768 laptop about 120), and of a meter.
            const sizes = [{ name: "minimum", width: 1024, height: 640, picture: 85 },
                           { name: "default", width: 1280, height: 720, picture: 105 },
                           { name: "laptop", width: 1366, height: 768, picture: 115 }]
            for (const language of languages) {
                for (const size of sizes) {
                    const window = openMain(size.width, size.height, language)
                    const where = language + " " + size.name
                    all.push(...layoutFaults(window.contentItem, window.width, window.height, where))
                    const pictures = findAll(window.contentItem, o => o instanceof VideoStreamItem)
                    if (pictures.length !== 5)
                        all.push(where + ": " + pictures.length + " pictures, not four tiles and the preview")
                    for (const picture of pictures) {
                        if (picture.height < size.picture)
                            all.push(where + ": a picture is " + Math.round(picture.height) + " px high")
                    }
                    // The mixer at its narrowest and dragged fully open.
                    for (const mixerWidth of [200, 5000]) {
                        window.layoutSettings.audioMixerWidth = mixerWidth
                        wait(50)
                        all.push(...layoutFaults(window.contentItem, window.width, window.height,
                                                 where + " mixer " + Math.round(window.mixerPanel.width) + " px"))
                    }
                    window.layoutSettings.audioMixerWidth = 5000
                    wait(50)
                    // Each pop-up of the mixer in turn: a strip's settings, each drop-down list.
                    const popups = findAll(window.contentItem, o => o instanceof Popup && !(o instanceof ToolTip))
                    for (const combo of findAll(window.mixerPanel, o => o instanceof ComboBox))
                        popups.push(combo.popup)
                    verify(popups.length >= 8, "pop-ups found: " + popups.length)
                    for (const popup of popups) {
                        popup.open()
                        tryVerify(() => popup.opened)
                        all.push(...layoutFaults(window.contentItem, window.width, window.height,
                                                 where + " " + (popup.objectName || "list") + " open"))
                        popup.close()
                        tryVerify(() => !popup.visible)
                    }
                    if (size.name === "default" && !window.mixerPanel.isOverflowing === false)
                        all.push(where + ": the mixer dragged fully open still scrolls")
                    // Every meter stays readable (60 dB over at least 56 px), at its full 140 px
                    // area where the mixer has the room.
                    const meters = findAll(window.mixerPanel, o => o.objectName === "meter")
                    verify(meters.length >= 5, "meters found: " + meters.length)
                    for (const meter of meters) {
                        if (meter.height < 56)
                            all.push(where + ": a meter is " + Math.round(meter.height) + " px high")
                    }
                    window.destroy()
                    wait(0)
                }
            }
            for (let id = 1; id <= 4; ++id)
                ChannelsModel.setHasActiveVideo(id, false)
            if (all.length > 0)
                console.log("Layout faults:\n" + all.join("\n"))
            verify(all.length === 0, all.length + " faults, listed above")
        }

        // Every object under `item` that `predicate` accepts, pop-ups (which are no items) too.
        // Another window at its smallest and its default size, in both languages, with each of
        // its pages (`pages` sets one and names it) in turn.
        function windowFaults(component, name, pages) {
            const all = []
            for (const language of languages) {
                AppManager.currentLanguage = language
                const window = createTemporaryObject(component, host)
                verify(window, name)
                const defaultWidth = window.width, defaultHeight = window.height
                window.visible = true
                const sizes = [{ name: "default", width: defaultWidth, height: defaultHeight }]
                if (window.minimumWidth > 0 && window.minimumHeight > 0)
                    sizes.push({ name: "minimum", width: window.minimumWidth, height: window.minimumHeight })
                for (const size of sizes) {
                    window.width = size.width
                    window.height = size.height
                    tryVerify(() => window.contentItem.width === size.width && window.contentItem.height === size.height)
                    for (let page = 0; page < Math.max(1, pages ? pages.count : 1); ++page) {
                        const pageName = pages ? pages.show(window, page) : ""
                        wait(50)
                        all.push(...layoutFaults(window.contentItem, window.width, window.height,
                                                 name + " " + language + " " + size.name + pageName))
                    }
                }
                window.destroy()
                wait(0)
            }
            return all
        }

        function test_otherWindows() {
            let all = []
            all = all.concat(windowFaults(settingsComponent, "settings", {
                count: 4, show: (window, page) => { window.currentCategoryIndex = page; return " page " + page }
            }))
            all = all.concat(windowFaults(monitorComponent, "monitor"))
            all = all.concat(windowFaults(helpComponent, "help"))
            all = all.concat(windowFaults(outputComponent, "output", {
                count: 2, show: (window, mode) => { window.isFullscreenMode = mode === 0; return mode === 0 ? " full" : " windowed" }
            }))
            if (all.length > 0)
                console.log("Layout faults:\n" + all.join("\n"))
            verify(all.length === 0, all.length + " faults, listed above")
        }

        // The main window's own dialogs, over it at both sizes and in both languages.
        function test_mainWindowDialogs() {
            const all = []
            for (const language of languages) {
                for (const size of [{ name: "minimum", width: 1024, height: 640 }, { name: "default", width: 1280, height: 720 }]) {
                    const window = openMain(size.width, size.height, language)
                    const where = language + " " + size.name
                    window.sourceConfigOverlay.openForChannel(1, false)
                    wait(100)
                    all.push(...layoutFaults(window.contentItem, window.width, window.height, where + " source dialog"))
                    window.sourceConfigOverlay.dialog.visible = false
                    window.remoteControlOverlay.openDialog()
                    wait(100)
                    all.push(...layoutFaults(window.contentItem, window.width, window.height, where + " remote dialog"))
                    window.destroy()
                    wait(0)
                }
            }
            if (all.length > 0)
                console.log("Layout faults:\n" + all.join("\n"))
            verify(all.length === 0, all.length + " faults, listed above")
        }

        function findAll(item, predicate) {
            let found = []
            if (predicate(item))
                found.push(item)
            const below = item.data !== undefined ? item.data : []
            for (let i = 0; i < below.length; ++i)
                found = found.concat(findAll(below[i], predicate))
            return found
        }
    }
}
