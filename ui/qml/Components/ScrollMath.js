// The mixer's horizontal scroll bar: thumb size and place, and content x from the thumb,
// a track click or a wheel step.
.pragma library

function clamp(v, lo, hi) {
    return Math.max(lo, Math.min(hi, v))
}

function maxContentX(contentWidth, viewWidth) {
    return Math.max(0, contentWidth - viewWidth)
}

function thumbWidth(trackWidth, viewWidth, contentWidth) {
    var ratio = Math.min(1, viewWidth / Math.max(1, contentWidth))
    return Math.max(30, trackWidth * ratio)
}

function thumbX(contentX, contentWidth, viewWidth, trackWidth, thumbW) {
    var maxX = Math.max(1, contentWidth - viewWidth)
    var maxThumb = Math.max(0, trackWidth - thumbW)
    return clamp(contentX / maxX * maxThumb, 0, maxThumb)
}

function contentXForThumb(thumbPos, contentWidth, viewWidth, trackWidth, thumbW) {
    var maxThumb = Math.max(0, trackWidth - thumbW)
    if (maxThumb <= 0)
        return 0
    return clamp(thumbPos, 0, maxThumb) / maxThumb * Math.max(1, contentWidth - viewWidth)
}

function contentXForTrackClick(clickX, trackWidth, contentWidth, viewWidth) {
    var maxX = maxContentX(contentWidth, viewWidth)
    return clamp(clickX / Math.max(1, trackWidth) * maxX, 0, maxX)
}

// Moves content x by -delta (a wheel delta or a step), within the content.
function scrolled(contentX, delta, contentWidth, viewWidth) {
    return clamp(contentX - delta, 0, maxContentX(contentWidth, viewWidth))
}

// The wheel movement: the vertical delta, or the horizontal one when there is none.
function wheelDelta(dx, dy) {
    return dy !== 0 ? dy : dx
}
