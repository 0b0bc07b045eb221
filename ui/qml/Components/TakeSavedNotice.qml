import QtQuick
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// After STOP REC: where the take went ("Take_03 saved — 4 cameras, 5 WAV files, timeline"),
// with OPEN FOLDER, for ten seconds or until dismissed.
Rectangle {
    id: root

    property var summary: AppManager.lastTakeSummary
    property int showMs: 10000
    property bool shown: false

    readonly property alias messageLabel: messageLabel
    readonly property alias openButton: openButton
    readonly property alias closeButton: closeButton

    function show() {
        shown = true
        hideTimer.restart()
    }

    function hide() {
        shown = false
        hideTimer.stop()
    }

    visible: shown && summary && summary.name !== undefined
    implicitHeight: visible ? 40 : 0
    color: "#052e16"
    border.width: 1
    border.color: Colors.liveGreen
    radius: 3

    Connections {
        target: AppManager
        function onLastTakeSummaryChanged() { root.show() }
    }

    Timer {
        id: hideTimer

        interval: root.showMs
        onTriggered: root.shown = false
    }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 8
        spacing: 10

        Text {
            text: "✓"
            font: Typography.heading3
            color: Colors.liveGreen
        }

        Text {
            id: messageLabel

            objectName: "takeSavedText"
            Layout.fillWidth: true
            text: root.summary ? StatusTexts.takeSavedText(root.summary, AppManager.currentLanguage) : ""
            elide: Text.ElideRight
            font: Typography.bodyBold
            color: "white"
        }

        DarkButton {
            id: openButton

            objectName: "openTakeFolder"
            implicitWidth: openLabel.implicitWidth + 20
            implicitHeight: 26
            onClicked: AppManager.openLastTakeFolder()

            Text {
                id: openLabel

                anchors.centerIn: parent
                text: StatusTexts.tr(AppManager.currentLanguage, "OPEN FOLDER", "OTVORI FOLDER")
                font: Typography.smallBold
                color: Colors.textPrimary
            }
        }

        DarkButton {
            id: closeButton

            objectName: "takeSavedClose"
            implicitWidth: 26
            implicitHeight: 26
            onClicked: root.hide()

            Text {
                anchors.centerIn: parent
                text: "✕"
                font: Typography.smallBold
                color: Colors.textPrimary
            }
        }
    }
}
