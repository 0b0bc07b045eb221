// A theme colour at a given opacity ("accent at 15 %").
.pragma library

function alpha(color, opacity) {
    return Qt.rgba(color.r, color.g, color.b, opacity)
}
