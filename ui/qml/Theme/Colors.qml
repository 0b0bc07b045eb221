pragma Singleton
import QtQuick

// The palette of the whole interface. Panels take their colours from here.
QtObject {
    readonly property color backgroundDark: "#000000"
    readonly property color panelDark: "#07090B"
    readonly property color surfaceDark: "#020304"
    readonly property color borderDark: "#182027"
    readonly property color borderStrong: "#28353D"
    readonly property color textPrimary: "#FFFFFF"
    readonly property color textSecondary: "#B8C2C8"
    readonly property color textMuted: "#6DE7E0"
    readonly property color accent: "#35D5CE"
    readonly property color recRed: "#ED4545"
    readonly property color recordingRed: "#ED4545"
    readonly property color liveGreen: "#34C759"
    readonly property color alertAmber: "#FF9F0A"
    readonly property color audioPeakGreen: "#32D74B"
    readonly property color audioPeakYellow: "#FFD60A"
    readonly property color audioPeakRed: "#FF453A"
    readonly property color borderLight: "#334155"
    readonly property color surfaceLight: "#0F172A"
}
