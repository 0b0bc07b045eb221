import QtQuick
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// After a start that found takes a crash had left without timelines: which were rebuilt
// ("Take_03 recovered — timelines rebuilt", one line each). Stays until dismissed, so it is
// not missed while the window opens.
Rectangle {
    id: root

    property string text: AppManager.takeRecoveryText

    readonly property alias messageLabel: messageLabel
    readonly property alias closeButton: closeButton

    visible: text !== ""
    implicitHeight: visible ? Math.max(40, messageLabel.implicitHeight + 16) : 0
    color: "#052e16"
    border.width: 1
    border.color: Colors.liveGreen
    radius: 3

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 8
        spacing: 10

        Text {
            text: "↺"
            font: Typography.heading3
            color: Colors.liveGreen
        }

        Text {
            id: messageLabel

            objectName: "takeRecoveredText"
            Layout.fillWidth: true
            text: root.text
            wrapMode: Text.Wrap
            font: Typography.bodyBold
            color: "white"
        }

        DarkButton {
            id: closeButton

            objectName: "takeRecoveredClose"
            implicitWidth: closeLabel.implicitWidth + 20
            implicitHeight: 26
            onClicked: AppManager.dismissTakeRecovery()

            Text {
                id: closeLabel

                anchors.centerIn: parent
                text: StatusTexts.tr(AppManager.currentLanguage, "DISMISS", "ZATVORI")
                font: Typography.smallBold
                color: Colors.textPrimary
            }
        }
    }
}
