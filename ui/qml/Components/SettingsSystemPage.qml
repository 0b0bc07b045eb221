import QtQuick
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// The SYSTEM page: interface language, the camera hotkeys and software updates.
SettingsScrollPage {
    id: root

    readonly property string language: AppManager.currentLanguage

    readonly property alias englishButton: englishButton
    readonly property alias serbianButton: serbianButton
    readonly property alias hotkeyCards: hotkeyRepeater
    readonly property alias updateCard: updateCard

    Text {
        text: StatusTexts.tr(root.language, "System Settings & Updates", "Podešavanja sistema i ažuriranja")
        font: Typography.body
        color: Colors.textSecondary
    }

    Rectangle {
        width: parent.width
        height: 70
        color: Colors.surfaceDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 4

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 14
            anchors.rightMargin: 14
            spacing: 8

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4

                Text {
                    text: StatusTexts.tr(root.language, "INTERFACE LANGUAGE", "JEZIK INTERFEJSA")
                    font: Typography.captionBold
                    color: Colors.textPrimary
                }

                Text {
                    Layout.fillWidth: true
                    text: StatusTexts.tr(root.language, "Choose between English and Serbian language",
                                         "Izaberite između engleskog i srpskog jezika")
                    font: Typography.caption
                    color: Colors.textSecondary
                    elide: Text.ElideRight
                }
            }

            SettingsTextButton {
                id: englishButton

                objectName: "englishButton"
                readonly property bool chosen: root.language === "EN"

                Layout.preferredWidth: 52
                Layout.preferredHeight: 32
                color: chosen ? Colors.accent : Colors.panelDark
                label: "EN"
                labelColor: chosen ? "black" : Colors.textSecondary
                onClicked: AppManager.currentLanguage = "EN"
            }

            SettingsTextButton {
                id: serbianButton

                objectName: "serbianButton"
                readonly property bool chosen: root.language === "SR"

                Layout.preferredWidth: 52
                Layout.preferredHeight: 32
                color: chosen ? Colors.accent : Colors.panelDark
                label: "SR"
                labelColor: chosen ? "black" : Colors.textSecondary
                onClicked: AppManager.currentLanguage = "SR"
            }
        }
    }

    Rectangle {
        width: parent.width
        height: 160
        color: Colors.surfaceDark
        border.width: 1
        border.color: Colors.borderDark
        radius: 4

        ColumnLayout {
            anchors.fill: parent
            anchors.margins: 14
            spacing: 12

            Text {
                text: "SOURCE HOTKEYS"
                font: Typography.captionBold
                color: Colors.textPrimary
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.fillHeight: true
                spacing: 10

                Repeater {
                    id: hotkeyRepeater

                    model: 4

                    delegate: SettingsHotkeyCard {
                        required property int index

                        sourceIndex: index
                    }
                }

                SettingsHotkeyCard {
                    id: markerHotkey

                    isMarkerKey: true
                }

                Item { Layout.fillWidth: true }
            }
        }
    }

    SettingsUpdateCard {
        id: updateCard

        width: parent.width
        height: 250
    }
}
