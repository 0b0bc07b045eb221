import QtQuick
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// The phone remote control: the server's state, its address as a QR code and as text (with
// the access key while it is required), the access key switch and a new key, and the buttons
// to refresh the address and to start or stop the server; beside it the studio of linked
// recorders (StudioLinkPanel). A dimmed layer over the main window; a click beside the card
// closes it.
Rectangle {
    id: root

    readonly property bool isRunning: RemoteServer.isRunning
    readonly property string serverUrl: RemoteServer.serverUrl
    // True for two seconds after the address was copied.
    readonly property bool copied: copiedTimer.running

    readonly property alias closeButton: closeButton
    readonly property alias copyButton: copyButton
    readonly property alias refreshButton: refreshButton
    readonly property alias serverButton: serverButton
    readonly property alias newKeyButton: newKeyButton
    readonly property alias requireKeySwitch: requireKeySwitch
    readonly property alias qrImage: qrImage
    readonly property alias studioPanel: studioPanel

    function tr(english, serbian) {
        return StatusTexts.tr(AppManager.currentLanguage, english, serbian)
    }

    function openDialog() {
        if (!RemoteServer.isRunning)
            RemoteServer.startServer()
        RemoteServer.refreshNetworkInfo()
        visible = true
    }

    function closeDialog() {
        visible = false
    }

    function copyLink() {
        if (serverUrl === "")
            return
        // QML has no clipboard of its own; a hidden text editor copies through the system's.
        clipboardHelper.text = serverUrl
        clipboardHelper.selectAll()
        clipboardHelper.copy()
        clipboardHelper.text = ""
        copiedTimer.restart()
    }

    anchors.fill: parent
    visible: false
    color: Qt.rgba(0, 0, 0, 0.72)

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.closeDialog()
        onWheel: wheel => wheel.accepted = true
    }

    Timer {
        id: copiedTimer

        interval: 2000
    }

    TextEdit {
        id: clipboardHelper

        visible: false
    }

    Rectangle {
        id: card

        anchors.centerIn: parent
        width: 900
        height: Math.max(RemoteServer.requireAccessKey ? 550 : 590, studioPanel.implicitHeight + 90)
        color: Colors.surfaceDark
        border.color: Colors.borderDark
        radius: 8
        clip: true

        MouseArea { anchors.fill: parent }

        Rectangle {
            id: header

            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: 1
            height: 48
            radius: 8
            color: Colors.panelDark

            // Square lower corners: the body continues below the header.
            Rectangle {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                height: parent.radius
                color: parent.color
            }

            Rectangle {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                height: 1
                color: Colors.borderDark
            }

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 16
                anchors.rightMargin: 12
                spacing: 10

                Text {
                    text: "📱"
                    font.pixelSize: 18
                }

                Text {
                    Layout.fillWidth: true
                    text: root.tr("REMOTE CONTROL (MOBILE WEB APP)", "DALJINSKA KONTROLA (MOBILNI WEB APP)")
                    font: Typography.bodyBold
                    color: Colors.textPrimary
                    elide: Text.ElideRight
                }

                DarkButton {
                    id: closeButton

                    Layout.preferredWidth: 28
                    Layout.preferredHeight: 28
                    onClicked: root.closeDialog()

                    Text {
                        anchors.centerIn: parent
                        text: "✕"
                        font.pixelSize: 13
                        color: Colors.textSecondary
                    }
                }
            }
        }

        Rectangle {
            id: divider

            anchors.top: header.bottom
            anchors.bottom: parent.bottom
            anchors.topMargin: 16
            anchors.bottomMargin: 20
            x: 440
            width: 1
            color: Colors.borderDark
        }

        StudioLinkPanel {
            id: studioPanel

            anchors.top: header.bottom
            anchors.left: divider.right
            anchors.right: parent.right
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            anchors.topMargin: 16
        }

        ColumnLayout {
            anchors.top: header.bottom
            anchors.left: parent.left
            anchors.right: divider.left
            anchors.bottom: parent.bottom
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            anchors.topMargin: 16
            anchors.bottomMargin: 20
            spacing: 14

            Row {
                Layout.alignment: Qt.AlignHCenter
                spacing: 8

                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: 10
                    height: 10
                    radius: 5
                    color: root.isRunning ? Colors.liveGreen : Colors.textMuted
                }

                Text {
                    objectName: "statusText"
                    text: root.isRunning
                          ? root.tr("SERVER ONLINE", "SERVER AKTIVAN") + " • "
                            + root.tr("Clients: ", "Povezano uređaja: ") + RemoteServer.clientCount
                          : root.tr("SERVER OFFLINE", "SERVER ISKLJUČEN")
                    font: Typography.captionBold
                    color: root.isRunning ? Colors.liveGreen : Colors.textMuted
                }
            }

            Rectangle {
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 210
                Layout.preferredHeight: 210
                radius: 8
                color: "white"
                border.width: 2
                border.color: Colors.accent

                Image {
                    id: qrImage

                    anchors.fill: parent
                    anchors.margins: 10
                    visible: root.isRunning && root.serverUrl !== ""
                    source: visible ? RemoteServer.qrCodeDataUrl : ""
                    fillMode: Image.PreserveAspectFit
                    // Nearest-neighbour scaling keeps the modules' edges sharp for the camera.
                    smooth: false
                    mipmap: false
                }

                Column {
                    objectName: "stoppedNote"
                    anchors.centerIn: parent
                    spacing: 6
                    visible: !root.isRunning

                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: "⏸"
                        font.pixelSize: 32
                        color: "black"
                    }

                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: root.tr("Server is stopped", "Server je zaustavljen")
                        font: Typography.caption
                        color: "#333333"
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                // The link with its key takes two lines.
                Layout.preferredHeight: Math.max(38, addressText.implicitHeight + 14)
                radius: 4
                color: Colors.panelDark
                border.color: Colors.borderDark

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 12
                    anchors.rightMargin: 5
                    spacing: 8

                    Text {
                        id: addressText

                        objectName: "addressText"
                        Layout.fillWidth: true
                        text: root.serverUrl !== "" ? root.serverUrl : "http://---.---.---.---:8080/"
                        font.family: "Consolas, Segoe UI"
                        font.pixelSize: 13
                        color: root.serverUrl !== "" ? Colors.accent : Colors.textSecondary
                        wrapMode: Text.WrapAnywhere
                        maximumLineCount: 2
                        elide: Text.ElideRight
                    }

                    DarkButton {
                        id: copyButton

                        Layout.preferredWidth: 100
                        Layout.preferredHeight: 28
                        onClicked: root.copyLink()

                        Text {
                            objectName: "copyText"
                            anchors.centerIn: parent
                            text: root.copied ? root.tr("COPIED!", "KOPIRANO!") : root.tr("COPY LINK", "KOPIRAJ")
                            font: Typography.captionBold
                            color: root.copied ? Colors.liveGreen : Colors.textPrimary
                        }
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                SettingsSwitch {
                    id: requireKeySwitch

                    Layout.fillWidth: true
                    text: root.tr("Require access key", "Zahtevaj pristupni ključ")
                    font: Typography.captionBold
                    shownChecked: RemoteServer.requireAccessKey
                    onCommitted: checked => RemoteServer.requireAccessKey = checked
                }

                DarkButton {
                    id: newKeyButton

                    Layout.preferredWidth: 100
                    Layout.preferredHeight: 28
                    enabled: RemoteServer.requireAccessKey
                    opacity: enabled ? 1.0 : 0.4
                    onClicked: RemoteServer.newAccessKey()

                    Text {
                        objectName: "newKeyText"
                        anchors.centerIn: parent
                        text: root.tr("NEW KEY", "NOVI KLJUČ")
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }
                }
            }

            Text {
                objectName: "openWarning"
                Layout.fillWidth: true
                visible: !RemoteServer.requireAccessKey
                text: root.tr("⚠ No access key: anyone on this network can watch the cameras and control Vireon. Only on a network you trust.",
                              "⚠ Bez pristupnog ključa: svako na ovoj mreži može da gleda kamere i upravlja Vireon-om. Samo na mreži kojoj verujete.")
                font: Typography.caption
                color: Colors.alertAmber
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
            }

            Text {
                Layout.fillWidth: true
                text: root.tr("Scan this QR code with your phone camera or enter the URL in a mobile browser. (Phone must be on the same Wi-Fi / Local Network).",
                              "Skenirajte QR kod kamerom telefona ili ukucajte URL u mobilni pretraživač. (Telefon i računar moraju biti na istoj Wi-Fi mreži).")
                font: Typography.caption
                color: Colors.textSecondary
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
            }

            Item { Layout.fillHeight: true }

            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                DarkButton {
                    id: refreshButton

                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 34
                    onClicked: RemoteServer.refreshNetworkInfo()

                    Text {
                        anchors.centerIn: parent
                        text: root.tr("🔄 REFRESH NETWORK", "🔄 OSVEŽI MREŽU")
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }
                }

                DarkButton {
                    id: serverButton

                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.preferredHeight: 34
                    border.color: root.isRunning ? Colors.recRed : Colors.accent
                    onClicked: RemoteServer.toggleServer()

                    Text {
                        objectName: "serverButtonText"
                        anchors.centerIn: parent
                        text: root.isRunning ? root.tr("STOP SERVER", "ZAUSTAVI SERVER")
                                             : root.tr("START SERVER", "POKRENI SERVER")
                        font: Typography.captionBold
                        color: root.isRunning ? Colors.recRed : Colors.accent
                    }
                }
            }
        }
    }
}
