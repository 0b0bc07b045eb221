.pragma library
// Texts and line kinds of the performance monitor window.

// Long adapter names would push the resolution off the strip.
function shortGpuName(name) {
    var text = String(name)
    return text.length > 25 ? text.substring(0, 25) + "..." : text
}

function stateBadgeText(isRecording, isArming) {
    if (isRecording)
        return "RECORDING ACTIVE"
    return isArming ? "SYNC ARMING" : "STANDBY"
}

function firstInstalled(wanted, installed, fallback) {
    for (var i = 0; i < wanted.length; ++i) {
        if (installed.indexOf(wanted[i]) >= 0)
            return wanted[i]
    }
    return fallback
}

function loadText(cpu, ram) {
    return cpu + "   |   " + ram
}

// The log lists ({text, kind} each) only change when the log did; keeping the list lets the
// reader scroll back.
function sameEntries(a, b) {
    if (!a || !b || a.length !== b.length)
        return false
    for (var i = 0; i < a.length; ++i) {
        if (a[i].text !== b[i].text || a[i].kind !== b[i].kind)
            return false
    }
    return true
}
