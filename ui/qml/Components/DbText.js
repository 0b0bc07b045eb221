// The dB text of a mixer volume and the parsing of what the operator types.
// A volume is linear in [0, 1] and maps linearly onto a 60 dB range: 1.0 is 0 dB,
// 0.0 is silence ("-inf").
.pragma library

// Volumes at or below this read as silence; 0.006 already reads -59.6 dB.
var silenceVolume = 0.005

function volumeToDb(volume) {
    return (volume - 1) * 60
}

// "+0.0 dB", "-30.0 dB", "-inf dB".
function displayText(volume) {
    if (volume <= silenceVolume)
        return "-inf dB"
    var db = volumeToDb(volume)
    return (db >= 0 ? "+" : "") + db.toFixed(1) + " dB"
}

// What the edit field starts with: "-inf", or the dB value with one decimal and no "+".
function editText(volume) {
    if (volume <= silenceVolume)
        return "-inf"
    return volumeToDb(volume).toFixed(1)
}

var silenceWords = ["-inf", "inf", "mute", "-infinity"]
var numberPattern = /^-?(\d+\.?\d*|\.\d+)$/

// The volume a typed text stands for, or null when it is not a dB value.
// "-6 dB" gives 0.9, "+3" gives 1.0, "-75" and "MUTE" give 0.0, "abc" gives null.
function parse(text) {
    var s = String(text).trim().toLowerCase().replace("db", "").replace("+", "").trim()
    if (silenceWords.indexOf(s) >= 0)
        return 0.0
    if (!numberPattern.test(s))
        return null
    var db = Number(s)
    if (db <= -60)
        return 0.0
    if (db >= 0)
        return 1.0
    return db / 60 + 1
}
