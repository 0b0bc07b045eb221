.pragma library
// The help window's view of a manual: the Markdown text split into its "## " sections, each
// filed under a category by its title, and the filter over them.

// The chips of the help window, in their order; "ALL" shows every section.
var categories = ["ALL", "QUICK START", "VIDEO & CODECS", "BENCHMARK", "MULTICAM & HOTKEYS",
                  "AUDIO & SYNC", "XML EXPORT", "PERFORMANCE", "TROUBLESHOOTING"]

// First matching row wins: a leading number as written, or a word of the lower-case title.
var categoryRules = [
    { category: "QUICK START", number: "1.", words: ["početak", "quick"] },
    { category: "VIDEO & CODECS", number: "2.", words: ["rezolucija", "resolution"] },
    { category: "BENCHMARK", number: "3.", words: ["benchmark"] },
    { category: "MULTICAM & HOTKEYS", number: "4.", words: ["multicam", "switching", "režija"] },
    { category: "AUDIO & SYNC", number: "5.", words: ["audio", "sync"] },
    { category: "XML EXPORT", number: "6.", words: ["xml", "premiere"] },
    { category: "PERFORMANCE", number: "7.", words: ["telemetrija", "telemetry", "performance"] },
    { category: "TROUBLESHOOTING", number: "8.", words: ["troubleshooting", "faq", "pitanja"] }
]

function isEnglish(language) {
    return language === "EN"
}

// What the window shows when the manual file could not be read. It has no "## " section.
function fallbackText(language) {
    if (isEnglish(language))
        return "# Vireon 2.4.5b - Studio Edition | User Manual\n\nGETTING_STARTED_EN.md file was not found on disk."
    return "# Vireon 2.4.5b - Studio Edition | Uputstvo za upotrebu\n\nFajl GETTING_STARTED_SR.md nije pronađen na disku."
}

// The manual's content, or the fallback when it is empty (missing or unreadable file).
function manualText(content, language) {
    return content && content.length > 0 ? content : fallbackText(language)
}

function categoryOf(title) {
    var lower = title.toLowerCase()
    for (var i = 0; i < categoryRules.length; ++i) {
        var rule = categoryRules[i]
        if (title.indexOf(rule.number) === 0)
            return rule.category
        for (var w = 0; w < rule.words.length; ++w) {
            if (lower.indexOf(rule.words[w]) >= 0)
                return rule.category
        }
    }
    return "GENERAL"
}

// [{ title, category, content }] in the order of the text. Lines before the first "## " line
// (the document title) belong to no section.
function splitSections(text) {
    var sections = []
    var current = null
    var lines = String(text).split(/\r?\n/)
    function close() {
        if (current) {
            current.content = current.lines.join("\n").trim()
            sections.push({ title: current.title, category: categoryOf(current.title), content: current.content })
        }
    }
    for (var i = 0; i < lines.length; ++i) {
        var line = lines[i]
        if (line.indexOf("## ") === 0) {
            close()
            current = { title: line.substring(3).trim(), lines: [] }
        } else if (current) {
            current.lines.push(line)
        }
    }
    close()
    return sections
}

function matchesSearch(section, needle) {
    return section.title.toLowerCase().indexOf(needle) >= 0
        || section.content.toLowerCase().indexOf(needle) >= 0
        || section.category.toLowerCase().indexOf(needle) >= 0
}

// The sections of the active category ("ALL": every one) that contain the search text in
// their title, content or category, ignoring case and surrounding blanks.
function filterSections(sections, category, search) {
    var needle = String(search || "").trim().toLowerCase()
    return sections.filter(function (section) {
        if (category !== "ALL" && section.category !== category)
            return false
        return needle.length === 0 || matchesSearch(section, needle)
    })
}

function countText(shown, total) {
    return shown + " / " + total + " Topics"
}
