.pragma library
// Texts and state names of the header, transport and status bars, chosen from back-end values.

function tr(language, english, serbian) {
    return language === "EN" ? english : serbian
}

// "good" from 50 fps, "ok" from 24 fps, else "low".
function fpsLevel(fps) {
    if (fps >= 50)
        return "good"
    if (fps >= 24)
        return "ok"
    return "low"
}

function fpsText(currentFps, selectedFps) {
    return "FPS: " + Number(currentFps).toFixed(1) + " (" + Number(selectedFps).toFixed(0) + " fps)"
}

function writeText(speedMBs) {
    return "Write: " + Number(speedMBs).toFixed(1) + " MB/s"
}

function droppedText(dropped) {
    return "Dropped: " + dropped
}

function resourceText(cpu, ram) {
    return cpu + "  |  " + ram
}

// "recording", "arming" or "idle"; recording wins over arming.
function sessionState(isRecording, isArming) {
    if (isRecording)
        return "recording"
    if (isArming)
        return "arming"
    return "idle"
}

function sessionText(isRecording, isArming, sessionName) {
    switch (sessionState(isRecording, isArming)) {
    case "recording": return "RECORDING"
    case "arming": return "ARMED"
    default: return sessionName
    }
}

function timecodeText(isArming, countdownSeconds, timecode) {
    return isArming ? "SYNC IN " + countdownSeconds + "s" : timecode
}

function recordButtonText(isArming, isRecording, countdownSeconds) {
    if (isArming)
        return "SYNC " + countdownSeconds + "s"
    return isRecording ? "STOP REC" : "REC ALL"
}

// What a click on the record button does: arming is cancelled before anything else.
function recordAction(isArming, isRecording) {
    if (isArming)
        return "cancelArming"
    return isRecording ? "stopRecording" : "startRecording"
}
