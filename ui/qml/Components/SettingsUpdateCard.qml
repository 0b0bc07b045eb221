import QtQuick
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts
import "Tint.js" as Tint

// The update card of the system page: version, the update manager's status, the manifest
// address, the start-up check and a manual check.
Rectangle {
    id: root

    readonly property string language: AppManager.currentLanguage

    readonly property alias statusText: statusText
    readonly property alias serverField: serverField
    readonly property alias autoCheck: autoCheck
    readonly property alias checkButton: checkButton

    implicitHeight: 250
    color: Colors.surfaceDark
    border.width: 1
    border.color: Colors.borderDark
    radius: 4

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 14
        spacing: 10

        RowLayout {
            Layout.fillWidth: true

            Text {
                Layout.fillWidth: true
                text: StatusTexts.tr(root.language, "SOFTWARE UPDATE", "AŽURIRANJE PROGRAMA (SOFTWARE UPDATE)")
                font: Typography.captionBold
                color: Colors.textPrimary
                elide: Text.ElideRight
            }

            Rectangle {
                Layout.preferredWidth: versionText.implicitWidth + 16
                Layout.preferredHeight: versionText.implicitHeight + 6
                radius: 3
                color: Tint.alpha(Colors.accent, 0.15)
                border.width: 1
                border.color: Colors.accent

                Text {
                    id: versionText

                    anchors.centerIn: parent
                    text: "v" + UpdateManager.currentVersion
                    font: Typography.smallBold
                    color: Colors.accent
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 6

            Text {
                text: "Status:"
                font: Typography.caption
                color: Colors.textSecondary
            }

            Text {
                id: statusText

                Layout.fillWidth: true
                text: UpdateManager.statusMessage
                font: Typography.caption
                color: UpdateManager.updateAvailable ? Colors.liveGreen : Colors.textPrimary
                elide: Text.ElideRight
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 6

            Text {
                text: "Update Server URL (version.json):"
                font: Typography.caption
                color: Colors.textSecondary
            }

            SettingsTextField {
                id: serverField

                Layout.fillWidth: true
                implicitHeight: 34
                fillColor: Colors.panelDark
                shownText: UpdateManager.serverUrl
                onCommitted: text => UpdateManager.serverUrl = text
            }
        }

        SettingsCheckBox {
            id: autoCheck

            text: StatusTexts.tr(root.language, "Check automatically on startup", "Proveri pri pokretanju programa")
            shownChecked: UpdateManager.autoCheckOnStartup
            onCommitted: UpdateManager.autoCheckOnStartup = !UpdateManager.autoCheckOnStartup
        }

        SettingsTextButton {
            id: checkButton

            Layout.preferredWidth: 160
            Layout.preferredHeight: 34
            border.color: Colors.accent
            enabled: !UpdateManager.isChecking
            icon: UpdateManager.isChecking ? "⏳" : "🔄"
            label: UpdateManager.isChecking ? StatusTexts.tr(root.language, "CHECKING...", "PROVERAVAM...")
                                            : StatusTexts.tr(root.language, "CHECK NOW", "PROVERI SADA")
            onClicked: UpdateManager.checkForUpdates(false)
        }

        Item { Layout.fillHeight: true }
    }
}
