.pragma library
// Texts and state names of the header, transport and status bars, chosen from back-end values
// and verdicts (the thresholds behind the verdicts are the back end's).

function tr(language, english, serbian) {
    return language === "EN" ? english : serbian
}

// The measured rate against the rate the take records at, as the back end writes it
// ("29.97", "25").
function fpsText(currentFps, recordingFpsText, cameras) {
    if (cameras === 0)
        return "FPS: —"
    return "FPS: " + Number(currentFps).toFixed(1) + " (" + recordingFpsText + " fps)"
}

// A tile's status word and its look, from what its channel does: recorded into its own file
// ("rec"), the programme, waiting for its saved camera, lost, or idle: ready to be recorded,
// or not recorded at all (its STORE box off).
function tileStatus(isRecording, isProgramme, sourceState, isStored, language) {
    if (sourceState === "waiting")
        return { text: tr(language, "WAITING", "ČEKA"), look: "waiting" }
    if (sourceState === "lost" || sourceState === "reconnecting")
        return { text: tr(language, "LOST", "IZGUBLJENA"), look: "lost" }
    if (isRecording)
        return { text: isProgramme ? tr(language, "REC · PROGRAM", "REC · PROGRAM") : "REC", look: "rec" }
    if (isProgramme)
        return { text: "PROGRAM", look: "programme" }
    if (!isStored)
        return { text: tr(language, "NOT RECORDED", "NE SNIMA SE"), look: "off" }
    return { text: tr(language, "READY", "SPREMNA"), look: "ready" }
}

// "812 MB", "1.4 GB": decimal units, as file managers count.
function sizeText(bytes) {
    if (bytes >= 1e9)
        return (bytes / 1e9).toFixed(1) + " GB"
    if (bytes >= 1e6)
        return Math.round(bytes / 1e6) + " MB"
    return Math.round(Math.max(0, bytes) / 1e3) + " KB"
}

// "45 s", "4 min", "3 h 12 min".
function durationText(seconds) {
    if (seconds < 60)
        return Math.max(0, seconds) + " s"
    const minutes = Math.floor(seconds / 60)
    if (minutes < 60)
        return minutes + " min"
    return Math.floor(minutes / 60) + " h " + (minutes % 60) + " min"
}

// The recording disk: "Disk: 812 GB free · 3 h 12 min left"; "Disk: —" when unknown.
function diskText(freeBytes, secondsLeft, language) {
    if (freeBytes < 0)
        return tr(language, "Disk: —", "Disk: —")
    let text = tr(language, "Disk: ", "Disk: ") + sizeText(freeBytes) + tr(language, " free", " slobodno")
    if (secondsLeft >= 0)
        text += " · " + durationText(secondsLeft) + tr(language, " left", " preostalo")
    return text
}

// Serbian counts: 1 (21, 31...) one form, 2–4 (22–24...) another, the rest a third.
function serbianCount(n, one, few, many) {
    const lastTwo = n % 100
    const last = n % 10
    if (last === 1 && lastTwo !== 11)
        return one
    if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14))
        return few
    return many
}

// After a take: "Take_03 saved — 4 cameras, 5 WAV files, timeline", and the channels whose
// track holds silence for a microphone that was lost: "silence on channel 2 (2.3 s)".
function takeSavedText(summary, language) {
    const cameras = summary.cameras || 0
    const wavs = summary.wavFiles || 0
    const silence = summary.audioSilence || {}
    const sr = language === "SR"
    const gaps = Object.keys(silence).sort().map(id => {
        const seconds = Number(silence[id]).toFixed(1)
        return sr ? "tišina na kanalu " + id + " (" + seconds.replace(".", ",") + " s)"
                  : "silence on channel " + id + " (" + seconds + " s)"
    })
    const parts = []
    if (sr) {
        parts.push(cameras + " " + serbianCount(cameras, "kamera", "kamere", "kamera"))
        parts.push(wavs + " WAV " + serbianCount(wavs, "fajl", "fajla", "fajlova"))
        parts.push(summary.timeline ? "timeline" : "bez timeline-a")
        return summary.name + " sačuvan — " + parts.concat(gaps).join(", ")
    }
    parts.push(cameras + (cameras === 1 ? " camera" : " cameras"))
    parts.push(wavs + " WAV " + (wavs === 1 ? "file" : "files"))
    parts.push(summary.timeline ? "timeline" : "no timeline")
    return summary.name + " saved — " + parts.concat(gaps).join(", ")
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
