import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "Tint.js" as Tint

// Offers a newer version: shown exactly while the update manager has one, with its changelog,
// the download progress and the buttons to download, install or put it off, in the interface
// language. Where the update is a Debian package (Linux) the program cannot install it: once it
// is verified, the dialog shows the command that does and the button shows the package.
Rectangle {
    id: root

    // The update manager this dialog follows; the program's own unless a test gives another
    // object with the same properties (so no narrower type than var).
    property var updater: UpdateManager

    readonly property bool isDownloading: updater.isDownloading
    readonly property bool isReady: updater.updateReadyToInstall
    readonly property bool installsItself: updater.installsItself !== false
    readonly property string installCommand: updater.installCommand || ""

    readonly property alias closeButton: closeButton
    readonly property alias laterButton: laterButton
    readonly property alias primaryButton: primaryButton
    readonly property alias progressBox: progressBox

    // Putting the update off never leaves a download running behind the closed dialog.
    function dismiss() {
        if (updater.isDownloading)
            updater.cancelDownload()
        updater.dismissUpdate()
    }

    function tr(english, serbian) {
        return AppManager.currentLanguage === "EN" ? english : serbian
    }

    function primaryAction() {
        if (isReady)
            updater.installAndRestart()
        else if (!isDownloading)
            updater.startDownload()
    }

    anchors.fill: parent
    visible: updater.updateAvailable
    color: Qt.rgba(0, 0, 0, 0.75)

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: wheel => wheel.accepted = true
    }

    Rectangle {
        id: card

        anchors.centerIn: parent
        width: 520
        height: Math.min(620, root.height - 40)
        color: Colors.panelDark
        border.color: Colors.accent
        radius: 6

        MouseArea { anchors.fill: parent }

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 24
            spacing: 16

            RowLayout {
                Layout.fillWidth: true
                spacing: 14

                Rectangle {
                    Layout.preferredWidth: 38
                    Layout.preferredHeight: 38
                    Layout.alignment: Qt.AlignTop
                    radius: 19
                    color: Tint.alpha(Colors.accent, 0.15)
                    border.color: Colors.accent

                    Text {
                        anchors.centerIn: parent
                        text: "▲"
                        font.pixelSize: 16
                        color: Colors.accent
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 4

                    Text {
                        Layout.fillWidth: true
                        text: root.tr("A NEW VERSION IS AVAILABLE", "DOSTUPNA JE NOVA VERZIJA")
                        font: Typography.heading2
                        color: Colors.textPrimary
                        elide: Text.ElideRight
                    }

                    Text {
                        objectName: "versionTitle"
                        Layout.fillWidth: true
                        text: "Vireon Studio " + root.updater.latestVersion
                              + (root.updater.releaseDate !== "" ? " (" + root.updater.releaseDate + ")" : "")
                        font: Typography.bodyBold
                        color: Colors.accent
                        elide: Text.ElideRight
                    }
                }

                DarkButton {
                    id: closeButton

                    Layout.preferredWidth: 32
                    Layout.preferredHeight: 32
                    Layout.alignment: Qt.AlignTop
                    onClicked: root.dismiss()

                    Text {
                        anchors.centerIn: parent
                        text: "✕"
                        font.pixelSize: 14
                        color: Colors.textSecondary
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 46
                radius: 4
                color: Colors.surfaceDark
                border.color: Colors.borderDark

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 14
                    anchors.rightMargin: 14
                    spacing: 12

                    Text {
                        text: root.tr("Current version: ", "Trenutna verzija: ") + root.updater.currentVersion
                        font: Typography.body
                        color: Colors.textSecondary
                    }

                    Text {
                        text: "→"
                        font.pixelSize: 16
                        color: Colors.textMuted
                    }

                    Rectangle {
                        Layout.preferredWidth: badgeText.implicitWidth + 16
                        Layout.preferredHeight: 24
                        radius: 3
                        color: Tint.alpha(Colors.accent, 0.15)
                        border.color: Colors.accent

                        Text {
                            id: badgeText

                            anchors.centerIn: parent
                            text: root.tr("New: v", "Nova: v") + root.updater.latestVersion
                            font: Typography.captionBold
                            color: Colors.accent
                        }
                    }

                    Item { Layout.fillWidth: true }
                }
            }

            Text {
                text: root.tr("WHAT'S NEW IN THIS VERSION:", "ŠTA JE NOVO U OVOJ VERZIJI:")
                font: Typography.captionBold
                color: Colors.textSecondary
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumHeight: 60
                radius: 4
                color: Colors.surfaceDark
                border.color: Colors.borderDark

                ScrollView {
                    id: changelogScroll

                    anchors.fill: parent
                    anchors.margins: 1
                    clip: true
                    contentWidth: availableWidth

                    Text {
                        objectName: "changelogText"
                        width: changelogScroll.availableWidth
                        padding: 12
                        text: root.updater.changelog !== "" ? root.updater.changelog
                                                            : root.tr("No description for this version.", "Nema opisa za ovu verziju.")
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        font: Typography.body
                        color: root.updater.changelog !== "" ? Colors.textPrimary : Colors.textSecondary
                    }
                }
            }

            ColumnLayout {
                id: progressBox

                Layout.fillWidth: true
                spacing: 6
                visible: root.isDownloading || root.isReady

                RowLayout {
                    Layout.fillWidth: true

                    Text {
                        objectName: "progressTitle"
                        Layout.fillWidth: true
                        text: root.isReady ? root.tr("Download complete!", "Preuzimanje završeno!")
                                           : root.tr("Downloading...", "Preuzimanje u toku...")
                        font: Typography.captionBold
                        color: root.isReady ? Colors.liveGreen : Colors.textPrimary
                    }

                    Text {
                        text: root.updater.downloadProgressText
                        font: Typography.caption
                        color: Colors.textSecondary
                    }
                }

                Rectangle {
                    id: progressTrack

                    Layout.fillWidth: true
                    Layout.preferredHeight: 8
                    radius: 4
                    color: Colors.surfaceDark
                    border.color: Colors.borderDark

                    Rectangle {
                        objectName: "progressFill"
                        width: Math.max(4, progressTrack.width * Math.min(1, Math.max(0, root.updater.downloadProgress)))
                        height: parent.height
                        radius: 4
                        color: root.isReady ? Colors.liveGreen : Colors.accent
                    }
                }

                // A verified Debian package: how to install it, selectable to copy.
                Text {
                    Layout.fillWidth: true
                    visible: root.isReady && root.installCommand !== ""
                    text: root.tr("Install it in a terminal:", "Instalirajte ga u terminalu:")
                    font: Typography.caption
                    color: Colors.textSecondary
                }

                TextEdit {
                    objectName: "installCommandText"
                    Layout.fillWidth: true
                    visible: root.isReady && root.installCommand !== ""
                    text: root.installCommand
                    readOnly: true
                    selectByMouse: true
                    wrapMode: TextEdit.WrapAnywhere
                    font.family: "Consolas, DejaVu Sans Mono, monospace"
                    font.pixelSize: 12
                    color: Colors.textPrimary
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 12

                DarkButton {
                    id: laterButton

                    Layout.preferredWidth: 130
                    Layout.preferredHeight: 38
                    visible: !root.isReady
                    onClicked: root.dismiss()

                    Text {
                        anchors.centerIn: parent
                        text: root.isDownloading ? root.tr("CANCEL", "OTKAŽI") : root.tr("LATER", "KASNIJE")
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }
                }

                DarkButton {
                    id: primaryButton

                    readonly property string label: root.isReady
                                                    ? (root.installsItself ? root.tr("INSTALL AND RESTART", "INSTALIRAJ I RESTARTUJ")
                                                                           : root.tr("SHOW PACKAGE", "PRIKAŽI PAKET"))
                                                    : root.isDownloading ? root.tr("DOWNLOADING...", "PREUZIMA SE...")
                                                    : root.installsItself ? root.tr("DOWNLOAD AND UPDATE NOW", "PREUZMI I AŽURIRAJ SADA")
                                                    : root.tr("DOWNLOAD PACKAGE", "PREUZMI PAKET")

                    Layout.fillWidth: true
                    Layout.preferredHeight: 38
                    color: root.isReady ? (down ? Qt.darker(Colors.liveGreen, 1.2) : Colors.liveGreen)
                         : root.isDownloading ? Colors.surfaceDark
                         : (down ? Qt.darker(Colors.accent, 1.2) : Colors.accent)
                    border.color: root.isReady ? Colors.liveGreen : Colors.accent
                    onClicked: root.primaryAction()

                    Text {
                        anchors.centerIn: parent
                        text: primaryButton.label
                        font: Typography.captionBold
                        color: root.isDownloading && !root.isReady ? Colors.accent : "black"
                    }
                }
            }
        }
    }
}
