// Where the monitoring grid places its tiles and add-source slots for 0..4 active channels.
.pragma library

var margin = 4
var spacing = 4

// The channel shown in position k: the k-th active id, or channel k + 1 when the list of
// active ids is shorter (it may lag the count for a moment).
function channelAt(ids, k) {
    return (ids && k < ids.length) ? ids[k] : k + 1
}

function clampCount(n) {
    return Math.max(0, Math.min(4, Math.floor(n || 0)))
}

// The cells for n active channels in a grid of width x height: a list of
// { kind: "tile" | "add" | "addCompact", channel, x, y, width, height }.
// Zero channels give no cells (the grid shows its empty-state card instead).
function layout(n, ids, width, height) {
    n = clampCount(n)
    var cells = []
    if (n === 0)
        return cells
    var w = Math.max(0, width - 2 * margin)
    var h = Math.max(0, height - 2 * margin)
    var half = (w - spacing) / 2
    var rowH = n === 1 ? h : (h - spacing) / 2
    var top = margin
    var bottom = margin + rowH + spacing

    function cell(kind, k, x, y, cw) {
        return { kind: kind, channel: kind === "tile" ? channelAt(ids, k) : 0,
                 x: x, y: y, width: Math.max(0, cw), height: Math.max(0, rowH) }
    }

    cells.push(cell("tile", 0, margin, top, half))
    if (n === 1) {
        cells.push(cell("add", -1, margin + half + spacing, top, half))
        return cells
    }
    cells.push(cell("tile", 1, margin + half + spacing, top, half))
    if (n === 2) {
        cells.push(cell("add", -1, margin, bottom, w))
    } else if (n === 3) {
        // An empty quarter, the third tile at half width in the middle, a compact slot.
        var quarter = (w - half - 2 * spacing) / 2
        cells.push(cell("tile", 2, margin + quarter + spacing, bottom, half))
        cells.push(cell("addCompact", -1, margin + quarter + spacing + half + spacing, bottom, quarter))
    } else {
        cells.push(cell("tile", 2, margin, bottom, half))
        cells.push(cell("tile", 3, margin + half + spacing, bottom, half))
    }
    return cells
}
