// The settings window's presentation helpers: list positions and folder URLs. The lists,
// defaults and typed-number rules are the back end's.
.pragma library

// Position of text in entries, else fallbackIndex.
function indexOfText(entries, text, fallbackIndex) {
    var index = entries.indexOf(text)
    return index < 0 ? fallbackIndex : index
}

// A stored list position within a list of count entries: past the end shows the last entry,
// below zero the first.
function clampIndex(index, count) {
    if (count <= 0)
        return -1
    return Math.max(0, Math.min(index, count - 1))
}

function isWindowsDrivePath(path) {
    return /^[A-Za-z]:([\/\\]|$)/.test(path)
}

function decodeOr(text) {
    try {
        return decodeURIComponent(text)
    } catch (error) {
        // A stray "%" that is no escape: the text is already plain.
        return text
    }
}

// The local path of a folder URL from the folder picker, unescaped:
//   "file:///C:/My%20Takes" -> "C:/My Takes", "file:///home/a%20b" -> "/home/a b",
//   "file://server/share" -> "//server/share". Text that is no file URL is returned as it is.
function folderUrlToPath(url) {
    var text = String(url)
    if (text.indexOf("file://") !== 0)
        return text
    var rest = text.substring(7)
    if (rest.charAt(0) !== "/")
        return "//" + decodeOr(rest) // a network share
    if (isWindowsDrivePath(rest.substring(1)))
        return decodeOr(rest.substring(1))
    return decodeOr(rest)
}

// The file URL of a local path, each part escaped, so spaces, "#" and "%" in folder names
// open the folder they name.
function pathToFileUrl(path) {
    var text = String(path).replace(/\\/g, "/")
    if (text === "")
        return ""
    var parts = text.split("/")
    for (var i = 0; i < parts.length; ++i) {
        if (i === 0 && isWindowsDrivePath(parts[i]))
            continue
        parts[i] = encodeURIComponent(parts[i])
    }
    var encoded = parts.join("/")
    if (text.indexOf("//") === 0)
        return "file:" + encoded // "//server/share" -> "file://server/share"
    if (text.charAt(0) === "/")
        return "file://" + encoded
    return "file:///" + encoded
}
