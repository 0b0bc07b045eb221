pragma Singleton
import QtQuick

// The fonts of the whole interface. "Segoe UI" and "Consolas" fall back to the system's
// sans-serif and monospace families where they are not installed.
QtObject {
    readonly property string family: "Segoe UI"
    readonly property string monoFamily: "Consolas"

    readonly property font heading1: Qt.font({ family: family, pixelSize: 24, weight: Font.Bold })
    readonly property font heading2: Qt.font({ family: family, pixelSize: 16, weight: Font.DemiBold, letterSpacing: 1.5 })
    readonly property font heading3: Qt.font({ family: family, pixelSize: 14, weight: Font.DemiBold })
    readonly property font body: Qt.font({ family: family, pixelSize: 13, weight: Font.Normal })
    readonly property font bodyBold: Qt.font({ family: family, pixelSize: 13, weight: Font.Bold })
    readonly property font caption: Qt.font({ family: family, pixelSize: 11, weight: Font.Medium })
    readonly property font captionBold: Qt.font({ family: family, pixelSize: 11, weight: Font.Bold })
    readonly property font small: Qt.font({ family: family, pixelSize: 10, weight: Font.Normal })
    readonly property font smallBold: Qt.font({ family: family, pixelSize: 10, weight: Font.Bold })
    readonly property font mono: Qt.font({ family: monoFamily, pixelSize: 12, weight: Font.Medium })
}
