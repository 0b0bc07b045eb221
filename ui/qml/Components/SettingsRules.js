// The settings window's rules that do not depend on any item: typed numbers, list positions
// and folder URLs.
.pragma library

// Rate control modes, in list order.
var rateControlModes = ["CBR", "VBR", "CQP"]
var encoderProfiles = ["Baseline", "Main", "High"]
var colorSpaces = ["Rec.601", "Rec.709", "Rec.2020"]
var colorRanges = ["Limited (16-235)", "Full (0-255)"]

// The highest quantiser a CQP level can take; a stored bitrate above it is not a level.
var cqpMaxLevel = 51

// The typed text as a whole number, or fallback when it is not a positive number ("0", "abc"
// and "" all give the fallback).
function positiveIntOr(text, fallback) {
    var value = parseInt(String(text).trim(), 10)
    return isNaN(value) || value <= 0 ? fallback : value
}

// What a typed target field means: a CQP level in CQP mode, else a bitrate in kbps.
function targetFromText(text, mode) {
    return positiveIntOr(text, mode === "CQP" ? 20 : 16000)
}

// What the target field shows: in CQP mode a bitrate is no level, so it reads as 20.
function targetText(kbps, mode) {
    if (mode === "CQP")
        return String(kbps < cqpMaxLevel ? kbps : 20)
    return String(kbps)
}

function maxBitrateFromText(text) {
    return positiveIntOr(text, 24000)
}

function keyframeIntervalFromText(text) {
    return positiveIntOr(text, 2)
}

function bFramesFromText(text) {
    return positiveIntOr(text, 2)
}

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

// Container list entries; available(index) tells which ones the recorder can write.
var formatNames = [
    "MP4 (.mp4 - Universal MPEG-4)",
    "MKV (.mkv - Safe Matroska Container)",
    "MOV (.mov - Apple QuickTime Format)",
    "TS (.ts - Broadcast Transport Stream)",
    "AVI (.avi - Legacy Audio Video Interleave)"
]

function formatEntries(available) {
    var entries = []
    for (var i = 0; i < formatNames.length; ++i)
        entries.push({ name: formatNames[i], supported: available(i) })
    return entries
}

// The position the format list shows for a stored one: an unavailable or unknown container
// shows the first entry, which is what gets recorded then.
function formatPosition(stored, entries) {
    if (stored < 0 || stored >= entries.length || entries[stored].supported === false)
        return 0
    return stored
}

// The list positions a benchmark recommendation moves the four recording lists to.
function recommendedPositions(recommendation, encoderCount) {
    return {
        resolutionIndex: recommendation.resolutionIndex,
        framerateIndex: recommendation.framerateIndex,
        encoderIndex: Math.max(0, Math.min(recommendation.encoderIndex, encoderCount - 1)),
        qualityIndex: recommendation.qualityIndex
    }
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
