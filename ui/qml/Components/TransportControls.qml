import QtQuick
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// The timecode and the record button of the header bar.
RowLayout {
    id: root

    // Back-end state, bound here so the look of each state can be shown without a take.
    property bool isRecording: AppManager.isRecording
    property bool isArming: AppManager.isArming
    property int countdownSeconds: AppManager.countdownSeconds
    property string timecode: AppManager.timecode

    readonly property alias timecodeLabel: timecodeLabel
    readonly property alias recordButton: recordButton
    readonly property alias recordLabel: recordLabel

    function triggerRecordAction() {
        switch (StatusTexts.recordAction(root.isArming, root.isRecording)) {
        case "cancelArming": AppManager.cancelArming(); break
        case "stopRecording": AppManager.stopRecording(); break
        default: AppManager.startRecording(); break
        }
    }

    spacing: 12

    Text {
        id: timecodeLabel

        Layout.rightMargin: 20
        Layout.alignment: Qt.AlignVCenter
        text: StatusTexts.timecodeText(root.isArming, root.countdownSeconds, root.timecode)
        font: Typography.mono
        color: root.isArming ? "#f59e0b" : root.isRecording ? Colors.recRed : Colors.textPrimary
    }

    Rectangle {
        id: recordButton

        objectName: "recordButton"
        Layout.preferredWidth: root.isArming ? 130 : 120
        Layout.preferredHeight: 36
        Layout.alignment: Qt.AlignVCenter
        radius: 18
        color: root.isArming ? (recordMouse.containsMouse ? "#f59e0b" : "#d97706")
             : root.isRecording ? (recordMouse.containsMouse ? Qt.lighter(Colors.borderDark, 1.2) : Colors.borderDark)
             : (recordMouse.containsMouse ? Qt.lighter(Colors.recRed, 1.1) : Colors.recRed)

        Behavior on Layout.preferredWidth { NumberAnimation { duration: 100 } }
        Behavior on color { ColorAnimation { duration: 150 } }

        Row {
            anchors.centerIn: parent
            spacing: 8

            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 10
                height: 10
                radius: 5
                color: root.isArming ? "#fbbf24" : "white"
            }

            Text {
                id: recordLabel

                anchors.verticalCenter: parent.verticalCenter
                text: StatusTexts.recordButtonText(root.isArming, root.isRecording, root.countdownSeconds)
                font: Typography.bodyBold
                color: "white"
            }
        }

        MouseArea {
            id: recordMouse

            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: root.triggerRecordAction()
        }
    }
}
