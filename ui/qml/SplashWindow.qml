import QtQuick
import QtQuick.Window
import Vireon

// Shown while the back end starts; the start-up code closes it once the main window loads.
Window {
    id: root

    width: 600
    height: 340
    visible: true
    flags: Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint | Qt.SplashScreen
    color: Colors.backgroundDark
    title: "Vireon"

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#111418" }
            GradientStop { position: 1.0; color: Colors.backgroundDark }
        }
    }

    Column {
        anchors.centerIn: parent
        spacing: 20

        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 5

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Vireon"
                color: Colors.textPrimary
                font.family: "Segoe UI"
                font.pixelSize: 42
                font.bold: true
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "2.4.5b"
                color: Colors.accent
                font.pixelSize: 14
                font.bold: true
                font.letterSpacing: 2
            }
        }

        Item { width: 1; height: 30 }

        Column {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12

            Rectangle {
                id: progressTrack
                width: 300
                height: 4
                radius: 2
                color: Colors.surfaceDark
                clip: true

                Rectangle {
                    width: 60
                    height: parent.height
                    radius: 2
                    color: Colors.accent

                    NumberAnimation on x {
                        from: -60
                        to: 300
                        duration: 1500
                        easing.type: Easing.InOutQuad
                        loops: Animation.Infinite
                    }
                }
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: AppManager.splashStatusText
                color: Colors.textSecondary
                font.family: "Segoe UI"
                font.pixelSize: 12
            }
        }
    }

    // A 1 px accent frame above everything.
    Rectangle {
        anchors.fill: parent
        color: "transparent"
        border.width: 1
        border.color: Colors.accent
        z: 1000
    }
}
