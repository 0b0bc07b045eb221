.pragma library
// Layout arithmetic of the main window: the audio mixer's width beside the main preview.

var mixerMinWidth = 200
// The main preview keeps at least this much of the bottom row.
var previewReserve = 280
// A double-click collapses the mixer when it is this close to its widest.
var collapseTolerance = 10

// The widest the mixer may be: never wider than its strips nor than the row less the preview's
// share, and never narrower than its minimum.
function mixerMaxWidth(rowWidth, contentWidth) {
    return Math.max(mixerMinWidth, Math.min(rowWidth - previewReserve, contentWidth))
}

function clampMixerWidth(width, maxWidth) {
    return Math.max(mixerMinWidth, Math.min(width, maxWidth))
}

// The mixer's preferred width from the stored one; a width saved on a wider window is clamped
// here, the stored value itself is left alone.
function preferredMixerWidth(storedWidth, maxWidth) {
    return clampMixerWidth(storedWidth, maxWidth)
}

// Dragging to the left (a negative movement) widens the mixer.
function draggedMixerWidth(startWidth, startX, currentX, maxWidth) {
    return clampMixerWidth(startWidth - (currentX - startX), maxWidth)
}

function doubleClickedMixerWidth(currentWidth, maxWidth) {
    return currentWidth >= maxWidth - collapseTolerance ? mixerMinWidth : maxWidth
}
