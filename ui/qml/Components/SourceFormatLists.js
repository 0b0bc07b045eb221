.pragma library
// The resolution, frame-rate and colour-range lists of the source configuration dialog,
// built from a camera's formats ({width, height, fps, formatName}, as getCameraFormats gives
// them), and reading the chosen entries back.

var defaultResolutions = [
    "1920x1080 (1080p FHD)",
    "3840x2160 (4K UHD)",
    "2560x1440 (2K QHD)",
    "1280x720 (720p HD)",
    "640x480 (SD)"
]

var defaultFrameRates = [
    "60.00 fps", "59.94 fps", "50.00 fps", "30.00 fps", "29.97 fps", "25.00 fps", "24.00 fps"
]

// What the back end is handed for each colour-range entry, by position.
var colorRangeValues = ["Default", "Full (0-255 PC)", "Partial (16-235 TV)"]
var colorRangeEntries = ["Default (Auto)", "Full (0-255 PC)", "Partial (16-235 TV)"]

function resolutionLabel(width, height) {
    var size = width + "x" + height
    switch (size) {
    case "3840x2160": return size + " (4K UHD)"
    case "2560x1440": return size + " (2K QHD)"
    case "1920x1080": return size + " (1080p FHD)"
    case "1280x720": return size + " (720p HD)"
    case "640x480": return size + " (SD)"
    }
    return size
}

function hasFormats(formats) {
    return !!formats && formats.length > 0
}

function appendOnce(list, text) {
    if (list.indexOf(text) < 0)
        list.push(text)
}

// Each distinct size once, in the order first met; the common sizes when there are no formats.
function resolutionList(formats) {
    if (!hasFormats(formats))
        return defaultResolutions.slice()
    var list = []
    for (var i = 0; i < formats.length; ++i)
        appendOnce(list, resolutionLabel(formats[i].width, formats[i].height))
    return list
}

// The rates of the formats of that size, each with its format name; when no format has that
// size, every rate without a name; the common rates when there is nothing at all.
function frameRateList(formats, resolutionText) {
    if (!hasFormats(formats))
        return defaultFrameRates.slice()
    var size = parseResolution(resolutionText)
    var list = []
    var i
    for (i = 0; i < formats.length; ++i) {
        var f = formats[i]
        if (Number(f.width) === size.width && Number(f.height) === size.height)
            appendOnce(list, Number(f.fps).toFixed(2) + " fps (" + f.formatName + ")")
    }
    if (list.length === 0) {
        for (i = 0; i < formats.length; ++i)
            appendOnce(list, Number(formats[i].fps).toFixed(2) + " fps")
    }
    return list.length > 0 ? list : defaultFrameRates.slice()
}

// "MJPEG" of "30.00 fps (MJPEG)": the pixel format the entry stands for; empty when it names none.
function parseFormatName(text) {
    var match = /\(([^()]+)\)\s*$/.exec(String(text || ""))
    return match ? match[1] : ""
}

// The camera list's entry: the name, and why the camera cannot be used when it cannot.
function cameraLabel(camera) {
    return camera.unavailable ? camera.name + " \u2014 " + camera.unavailable : camera.name
}

function isCameraUsable(camera) {
    return !!camera && !camera.unavailable
}

// "1280x720 (720p HD)" -> {width: 1280, height: 720}; 1920 x 1080 when the text has no size.
function parseResolution(text) {
    var size = String(text || "").split(" ")[0].split("x")
    var width = parseInt(size[0], 10)
    var height = parseInt(size[1], 10)
    if (size.length !== 2 || !(width > 0) || !(height > 0))
        return { width: 1920, height: 1080 }
    return { width: width, height: height }
}

// The leading number of "29.97 fps (YUY2)"; 30 when there is no positive number.
function parseFrameRate(text) {
    var fps = parseFloat(String(text || ""))
    return fps > 0 ? fps : 30.0
}

// A position that is still valid is kept, else the first entry is taken.
function keptIndex(index, count) {
    return index >= 0 && index < count ? index : 0
}

// The entry of exactly that size (the text up to the first blank), else the first.
function indexOfResolution(list, width, height) {
    var size = width + "x" + height
    for (var i = 0; i < list.length; ++i) {
        if (String(list[i]).split(" ")[0] === size)
            return i
    }
    return 0
}

// The first entry whose rate lies within 0.2 fps of fps (29.97 finds 30.00), else the first.
function indexOfFrameRate(list, fps) {
    for (var i = 0; i < list.length; ++i) {
        if (Math.abs(parseFloat(list[i]) - fps) < 0.2)
            return i
    }
    return 0
}

function colorRangeIndex(rangeText) {
    var text = String(rangeText || "")
    if (text.indexOf("Full") >= 0)
        return 1
    if (text.indexOf("Partial") >= 0)
        return 2
    return 0
}

function colorRangeValue(index) {
    return colorRangeValues[keptIndex(index, colorRangeValues.length)]
}

// The channel name to store: the trimmed text, or "CAM n" when nothing is left.
function channelName(text, channelId) {
    var name = String(text || "").trim()
    return name.length > 0 ? name : "CAM " + channelId
}
