import QtQuick
import QtQuick.Layouts
import Vireon

// The SOURCES page: one card per channel with its live picture and a properties pop-up.
// A channel's camera itself is chosen in the source configuration dialog.
ColumnLayout {
    id: root

    readonly property alias cards: cardRepeater

    spacing: 10

    Text {
        text: "Manage Video Sources"
        font: Typography.captionBold
        color: Colors.textSecondary
    }

    Column {
        Layout.fillWidth: true
        spacing: 10

        Repeater {
            id: cardRepeater

            model: ChannelsModel

            delegate: Rectangle {
                id: card

                required property int channelId
                required property string channelName

                readonly property alias propertiesButton: propertiesButton
                readonly property alias propertiesPopup: propertiesPopup

                width: parent.width
                height: 100
                color: Colors.surfaceDark
                border.width: 1
                border.color: Colors.borderDark
                radius: 4

                RowLayout {
                    anchors.fill: parent
                    anchors.margins: 10
                    spacing: 15

                    Rectangle {
                        Layout.preferredWidth: 142
                        Layout.preferredHeight: 80
                        color: "black"
                        radius: 2
                        clip: true

                        VideoStreamItem {
                            anchors.fill: parent
                            channelIndex: card.channelId
                        }
                    }

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 4

                        Text {
                            Layout.fillWidth: true
                            text: card.channelName
                            font: Typography.captionBold
                            color: Colors.textPrimary
                            elide: Text.ElideRight
                        }

                        Text {
                            text: "Assigned ID: " + card.channelId
                            font: Typography.caption
                            color: Colors.textSecondary
                        }
                    }

                    SettingsTextButton {
                        id: propertiesButton

                        Layout.preferredWidth: 100
                        Layout.preferredHeight: 36
                        label: "PROPERTIES"
                        onClicked: propertiesPopup.open()
                    }
                }

                SettingsSourcePopup {
                    id: propertiesPopup

                    channelName: card.channelName
                }
            }
        }
    }

    Item { Layout.fillHeight: true }
}
