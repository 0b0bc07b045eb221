// Level meter arithmetic: amplitude to meter fraction on a -60..0 dB scale, the peak hold
// that runs every 25 ms, and where the parts of a bar are drawn.
.pragma library

var tickMs = 25
// A peak stays put while the hold count is at most this many ticks, then falls.
var holdTicks = 25
// Fall per tick once the hold is over: 0.035 of the 60 dB scale = 2.1 dB every 25 ms.
var fallPerTick = 0.035

function clamp(v, lo, hi) {
    return Math.max(lo, Math.min(hi, v))
}

// Linear amplitude (0..1, louder is clipped to 1) to the lit fraction of the meter.
function fraction(amplitude) {
    if (!(amplitude > 0.001))
        return 0
    var db = 20 * Math.log(Math.min(1, amplitude)) / Math.LN10
    return clamp((db + 60) / 60, 0, 1)
}

// One 25 ms tick of the peak hold of one side: returns the new { peak, holdCount }.
function stepPeak(peak, holdCount, current) {
    if (current >= peak)
        return { peak: current, holdCount: 0 }
    var count = holdCount + 1
    if (count > holdTicks)
        peak = Math.max(current, peak - fallPerTick)
    return { peak: peak, holdCount: count }
}

// Width of each of the two bars of a stereo meter.
function stereoBarWidth(width) {
    return Math.max(4, Math.floor((width - 2) / 2))
}

function isStereo(width) {
    return width >= 14
}

// Height of the lit part of a bar of the given outer height.
function litHeight(barHeight, fraction) {
    return Math.round((barHeight - 2) * fraction)
}

// Rows of the unlit pattern (2 px rows, 1 px apart).
function unlitRows(barHeight) {
    return Math.max(1, Math.ceil((barHeight - 2) / 3))
}

function peakVisible(peak) {
    return peak > 0.02
}

function peakLineY(barHeight, peak) {
    return clamp(Math.round((barHeight - 2) * (1 - peak) - 1), 1, barHeight - 3)
}

function peakColor(peak) {
    if (peak > 0.90)
        return "#FF003C"
    if (peak > 0.70)
        return "#FFD000"
    return "#00FF88"
}

// The dB scale beside a fader: mark i (0..10) stands for -6 * i dB.
var markCount = 11

function markLabel(i) {
    return i === 0 ? "0" : String(-6 * i)
}

function markY(i, contentHeight) {
    return i * contentHeight / 10
}

// Every how many marks a label is drawn so labels (8 px high) never overlap on a short meter:
// 1, 2, 5 or 10.
function labelStep(contentHeight) {
    var steps = [1, 2, 5, 10]
    for (var i = 0; i < steps.length; ++i) {
        if (contentHeight / 10 * steps[i] >= 9)
            return steps[i]
    }
    return 10
}

// Colour of the four loudest marks; null for the others (they use the theme colours).
function markColor(i) {
    return ["#FF003C", "#FF8000", "#FFD000", "#99FF00"][i] || null
}
