import QtQuick
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// The strip under the header that tells the operator what went wrong with a take (red: it
// could not start, or it ended on a failure) or what is about to (amber: the disk runs out;
// a linked recorder not reached, lost or stopped, its clock off). It stays until dismissed: a
// failure read only in the log is a failure nobody saw. The studio's lines go by themselves
// once what they say is over.
Rectangle {
    id: root

    // Bound here so each look can be shown with chosen texts.
    property string errorText: AppManager.recordingErrorText
    property string warningText: AppManager.recordingWarningText
    property string studioText: AppManager.studio.problemText
    readonly property bool isError: errorText !== ""
    readonly property string shownText: isError ? errorText
                                                : warningText + (warningText !== "" && studioText !== "" ? "\n" : "") + studioText

    readonly property alias messageLabel: messageLabel
    readonly property alias dismissButton: dismissButton

    visible: shownText !== ""
    implicitHeight: visible ? Math.max(40, messageLabel.implicitHeight + 16) : 0
    color: isError ? "#7f1d1d" : "#78350f"
    border.width: 1
    border.color: isError ? Colors.recRed : Colors.alertAmber
    radius: 3

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 8
        spacing: 10

        Text {
            text: "⚠"
            font: Typography.heading3
            color: "white"
        }

        Text {
            id: messageLabel

            objectName: "bannerText"
            Layout.fillWidth: true
            text: root.shownText
            wrapMode: Text.Wrap
            maximumLineCount: 4
            elide: Text.ElideRight
            font: Typography.body
            color: "white"
        }

        DarkButton {
            id: dismissButton

            objectName: "bannerDismiss"
            visible: root.isError || root.warningText !== ""
            implicitWidth: dismissLabel.implicitWidth + 20
            implicitHeight: 26
            onClicked: root.isError ? AppManager.dismissRecordingError() : AppManager.dismissRecordingWarning()

            Text {
                id: dismissLabel

                anchors.centerIn: parent
                text: StatusTexts.tr(AppManager.currentLanguage, "DISMISS", "ZATVORI")
                font: Typography.smallBold
                color: Colors.textPrimary
            }
        }
    }
}
