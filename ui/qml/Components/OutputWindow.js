// Geometry and texts of the program output window.
.pragma library

// The screen index a stored display index refers to: clamped to the screens there are,
// -1 when there are none.
function targetScreen(index, screenCount) {
    if (screenCount <= 0)
        return -1
    return Math.max(0, Math.min(screenCount - 1, Math.floor(index || 0)))
}

// Windowed geometry on a screen { virtualX, virtualY, width, height }: three quarters of the
// screen, at most 1280 x 720, centred.
function windowedGeometry(screen) {
    var w = Math.min(1280, Math.round(0.75 * screen.width))
    var h = Math.min(720, Math.round(0.75 * screen.height))
    return { x: screen.virtualX + Math.round((screen.width - w) / 2),
             y: screen.virtualY + Math.round((screen.height - h) / 2),
             width: w, height: h }
}

function fullscreenGeometry(screen) {
    return { x: screen.virtualX, y: screen.virtualY, width: screen.width, height: screen.height }
}

function displayName(index) {
    return index === 0 ? "Display 1 (Primary)" : "Display " + (index + 1)
}

function displayNames(screenCount) {
    var names = []
    for (var i = 0; i < screenCount; ++i)
        names.push(displayName(i))
    return names
}

function overlayTitle(channel, displayIndex, isFullscreen) {
    return "PROGRAM (CH " + channel + ")  \u2022  " + displayName(displayIndex)
            + (isFullscreen ? " [FULLSCREEN]" : " [WINDOWED]")
}

function windowTitle(channel) {
    return "Vireon \u2013 Program Output (CH " + channel + ")"
}
