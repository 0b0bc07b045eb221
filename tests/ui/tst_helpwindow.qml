import QtQuick
import QtTest
import Vireon
import "qrc:/Vireon/ui/qml/Components/ManualSections.js" as ManualSections

// The help window: how a manual is split into topics and filed under categories, the search
// and category filter, the missing-manual case, the language switch and the window's texts.
Item {
    id: host

    // Stands in for the back end's manual access: one text per language, calls recorded.
    QtObject {
        id: fakeManuals

        property var texts: ({ en: "", sr: "" })
        property var opened: []

        function getManualContent(lang) { return texts[lang] !== undefined ? texts[lang] : "" }
        function manualFilePath(lang) { return "/opt/vireon/GETTING_STARTED_" + String(lang).toUpperCase() + ".md" }
        function openManualFile(lang) { opened = opened.concat([lang]) }
    }

    Component {
        id: helpComponent
        HelpWindow {}
    }

    Component {
        id: headerComponent
        TopHeaderBar { width: 1280; height: 60 }
    }

    readonly property string sampleManual: [
        "# Vireon 2.4.5b - Studio Edition | User Manual",
        "Intro text that belongs to no topic.",
        "",
        "## 1. Quick Start",
        "Press **REC ALL** to record.",
        "### Sub-heading stays inside",
        "Keys 1-4 switch cameras.",
        "",
        "##   Audio Levels   ",
        "Faders and meters.",
        "## 6. Timeline",
        "Import it in your editor.",
        "## Credits",
        "Thanks."
    ].join("\n")

    TestCase {
        name: "HelpWindow"
        when: windowShown

        function init() {
            failOnWarning(/.*/)
            fakeManuals.texts = { en: host.sampleManual, sr: "## 1. Brzi početak\nPritisnite REC ALL." }
            fakeManuals.opened = []
        }

        function cleanup() {
            AppManager.currentLanguage = "EN"
        }

        function openWindow() {
            const window = createTemporaryObject(helpComponent, host, { manualSource: fakeManuals })
            verify(window)
            window.show()
            tryVerify(() => window.visible && window.width > 0)
            return window
        }

        // Simulated keys go to the focus window: make it the help window's search field.
        function focusSearch(window) {
            window.requestActivate()
            tryVerify(() => window.active)
            // The first window of a run takes a moment before its items can hold the focus.
            tryVerify(() => {
                window.searchField.forceActiveFocus()
                return window.searchField.activeFocus
            })
        }

        function sections(text) {
            return ManualSections.splitSections(text)
        }

        function test_splitDropsPreambleAndKeepsSubHeadings() {
            const result = sections(host.sampleManual)
            compare(result.length, 4)
            compare(result.map(s => s.title), ["1. Quick Start", "Audio Levels", "6. Timeline", "Credits"])
            compare(result[0].content, "Press **REC ALL** to record.\n### Sub-heading stays inside\nKeys 1-4 switch cameras.")
            compare(result[3].content, "Thanks.")
            verify(result.every(s => s.content.indexOf("Intro text") < 0))
        }

        function test_splitEdgeCases_data() {
            return [
                { tag: "no section", text: "# Title\n\nJust text.", titles: [] },
                { tag: "empty", text: "", titles: [] },
                { tag: "no blank after hashes", text: "##Tight\ntext", titles: [] },
                { tag: "windows line ends", text: "## One\r\nfirst\r\n## Two\r\nsecond\r\n", titles: ["One", "Two"] },
                { tag: "empty section", text: "## One\n## Two\nbody", titles: ["One", "Two"] },
                { tag: "heading inside text is not at line start", text: "## One\ntext ## not a title", titles: ["One"] }
            ]
        }

        function test_splitEdgeCases(data) {
            compare(sections(data.text).map(s => s.title), data.titles)
        }

        function test_fallbackGivesNoTopics_data() {
            return [{ tag: "EN", language: "EN", file: "GETTING_STARTED_EN.md" },
                    { tag: "SR", language: "SR", file: "GETTING_STARTED_SR.md" }]
        }

        function test_fallbackGivesNoTopics(data) {
            const text = ManualSections.manualText("", data.language)
            verify(text.indexOf(data.file) > 0)
            compare(sections(text).length, 0)
            compare(ManualSections.manualText("## A\nb", data.language), "## A\nb")
        }

        function test_categories_data() {
            return [
                { tag: "leading 1.", title: "1. Anything at all", category: "QUICK START" },
                { tag: "number wins over a later word", title: "2. Audio interfaces", category: "VIDEO & CODECS" },
                { tag: "audio without number, any case", title: "AUDIO Routing Tips", category: "AUDIO & SYNC" },
                { tag: "sync word", title: "Keeping things in Sync", category: "AUDIO & SYNC" },
                { tag: "earlier row's word wins", title: "Resolution and audio", category: "VIDEO & CODECS" },
                { tag: "word of row 3 before number of row 5", title: "5. Benchmark notes", category: "BENCHMARK" },
                { tag: "quick word", title: "Quick tour", category: "QUICK START" },
                { tag: "serbian start", title: "Brzi Početak", category: "QUICK START" },
                { tag: "serbian directing", title: "Režija uživo", category: "MULTICAM & HOTKEYS" },
                { tag: "premiere", title: "Opening in Premiere", category: "XML EXPORT" },
                { tag: "serbian telemetry", title: "Telemetrija", category: "PERFORMANCE" },
                { tag: "serbian questions", title: "Česta pitanja", category: "TROUBLESHOOTING" },
                { tag: "number not at start", title: "Chapter 1. Intro", category: "GENERAL" },
                { tag: "nothing matches", title: "Credits", category: "GENERAL" }
            ]
        }

        function test_categories(data) {
            compare(ManualSections.categoryOf(data.title), data.category)
        }

        function test_filter_data() {
            return [
                { tag: "all", category: "ALL", search: "", titles: ["1. Quick Start", "Audio Levels", "6. Timeline", "Credits"] },
                { tag: "category only", category: "AUDIO & SYNC", search: "", titles: ["Audio Levels"] },
                { tag: "search in content", category: "ALL", search: "editor", titles: ["6. Timeline"] },
                { tag: "xml matches by category", category: "ALL", search: "xml", titles: ["6. Timeline"] },
                { tag: "trimmed and case-blind", category: "ALL", search: "  REC ALL ", titles: ["1. Quick Start"] },
                { tag: "search in title", category: "ALL", search: "credits", titles: ["Credits"] },
                { tag: "category and search", category: "QUICK START", search: "faders", titles: [] },
                { tag: "general category", category: "GENERAL", search: "", titles: ["Credits"] },
                { tag: "no match", category: "ALL", search: "zebra", titles: [] }
            ]
        }

        function test_filter(data) {
            const shown = ManualSections.filterSections(sections(host.sampleManual), data.category, data.search)
            compare(shown.map(s => s.title), data.titles)
        }

        function test_windowFrame() {
            const window = openWindow()
            compare(window.width, 920)
            compare(window.height, 700)
            compare(window.minimumWidth, 780)
            compare(window.minimumHeight, 560)
            compare(window.title, "Vireon - User Manual & Help Guide")
            compare(window.chipList.count, 9)
            compare(window.sourceLabel.text, "Manual source file: /opt/vireon/GETTING_STARTED_EN.md")
        }

        function test_searchAndChipsFilterTheCards() {
            const window = openWindow()
            compare(window.countLabel.text, "4 / 4 Topics")
            compare(window.sectionList.count, 4)
            verify(!window.emptyState.visible)
            verify(!window.clearSearchButton.visible)

            focusSearch(window)
            keyClick("x")
            keyClick("m")
            keyClick("l")
            compare(window.countLabel.text, "1 / 4 Topics")
            compare(window.filteredSections[0].title, "6. Timeline")
            verify(window.clearSearchButton.visible)
            mouseClick(window.clearSearchButton)
            compare(window.searchField.text, "")
            compare(window.countLabel.text, "4 / 4 Topics")

            // The chip "AUDIO & SYNC" is the sixth (after ALL).
            const audioChip = window.chipList.itemAtIndex(5)
            verify(audioChip)
            mouseClick(audioChip)
            compare(window.activeCategory, "AUDIO & SYNC")
            compare(window.countLabel.text, "1 / 4 Topics")
            tryCompare(window.sectionList, "count", 1)
        }

        function test_nothingMatchesShowsMessageAndReset() {
            const window = openWindow()
            window.activeCategory = "QUICK START"
            window.searchField.text = "faders"
            compare(window.countLabel.text, "0 / 4 Topics")
            verify(window.emptyState.visible)
            verify(!window.sectionList.visible)
            verify(!window.missingNotice.visible)
            mouseClick(window.resetButton)
            compare(window.searchField.text, "")
            compare(window.activeCategory, "ALL")
            compare(window.countLabel.text, "4 / 4 Topics")
            verify(!window.emptyState.visible)
        }

        function test_missingManualShowsNoTopics() {
            fakeManuals.texts = { en: "", sr: "" }
            const window = openWindow()
            verify(window.manualMissing)
            compare(window.allSections.length, 0)
            compare(window.countLabel.text, "0 / 0 Topics")
            verify(window.emptyState.visible)
            verify(window.resetButton.visible)
            verify(window.missingNotice.visible)
            compare(window.missingNotice.text, "GETTING_STARTED_EN.md file was not found on disk.")
        }

        function test_languageSwitchReloadsAndTranslates() {
            const window = openWindow()
            compare(window.allSections.length, 4)
            compare(window.closeLabel.text, "CLOSE")
            mouseClick(window.serbianHalf)
            compare(AppManager.currentLanguage, "SR")
            // The Serbian manual replaces the English one; search and category are kept.
            compare(window.allSections.length, 1)
            compare(window.allSections[0].title, "1. Brzi početak")
            compare(window.closeLabel.text, "ZATVORI")
            compare(window.openFileLabel.text, "OTVORI UPUTSTVO (MD)")
            compare(window.sourceLabel.text, "Izvorni fajl uputstva: /opt/vireon/GETTING_STARTED_SR.md")
            verify(window.searchField.placeholderText.indexOf("Pretraži uputstvo") === 0)
            mouseClick(window.englishHalf)
            compare(window.allSections.length, 4)
            verify(window.searchField.placeholderText.indexOf("Search user manual") === 0)
        }

        function test_openManualUsesTheWindowLanguage() {
            AppManager.currentLanguage = "SR"
            const window = openWindow()
            const openButton = window.openFileLabel.parent.parent
            mouseClick(openButton)
            compare(fakeManuals.opened, ["SR"])
        }

        function test_escapeClosesEvenFromTheSearchField() {
            const window = openWindow()
            focusSearch(window)
            keyClick("q")
            compare(window.searchField.text, "q")
            keyClick(Qt.Key_Escape)
            tryCompare(window, "visible", false)
        }

        function test_opensOnTheProgramsManualWithoutWarnings() {
            // The back end's own manual access, whatever this build holds beside the runner.
            const window = createTemporaryObject(helpComponent, host)
            verify(window)
            window.show()
            tryVerify(() => window.visible)
            const content = AppManager.getManualContent("en")
            compare(window.manualMissing, content === "")
            compare(window.emptyState.visible, window.filteredSections.length === 0)
            verify(window.sourceLabel.text.indexOf("GETTING_STARTED_EN.md") > 0)
        }

        function test_headerBarOpensOneWindow() {
            const header = createTemporaryObject(headerComponent, host)
            header.openHelpWindow()
            const window = header.helpWindow
            verify(window)
            compare(window.title, "Vireon - User Manual & Help Guide")
            tryVerify(() => window.visible)
            window.close()
            tryVerify(() => !window.visible)
            if (Qt.platform.pluginName === "offscreen")
                ignoreWarning("This plugin does not support raise()")
            // Closing only hides it: the header shows the same window again.
            header.openHelpWindow()
            verify(header.helpWindow === window)
            tryVerify(() => window.visible)
            window.destroy()
        }
    }
}
