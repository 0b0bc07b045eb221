import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon

// A channel's properties pop-up on the sources page. Its lists keep their positions while the
// window lives; the camera's real format is set in the source configuration dialog.
Popup {
    id: root

    property string channelName: ""

    readonly property alias resolutionBox: resolutionBox
    readonly property alias fpsBox: fpsBox
    readonly property alias colorRangeBox: colorRangeBox
    readonly property alias okButton: okButton

    parent: Overlay.overlay
    anchors.centerIn: parent
    width: 350
    height: 250
    modal: true
    padding: 16
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    background: Rectangle {
        color: Colors.panelDark
        border.width: 1
        border.color: Colors.borderStrong
        radius: 4
    }

    Overlay.modal: Rectangle {
        color: Qt.rgba(0, 0, 0, 0.5)
    }

    // The rows are the popup's children rather than its content item: they carry ids, and a
    // content item with ids cannot be created late.
    ColumnLayout {
        anchors.fill: parent
        spacing: 12

        Text {
            Layout.fillWidth: true
            text: root.channelName + " Properties"
            font: Typography.heading3
            color: Colors.textPrimary
            elide: Text.ElideRight
        }

        GridLayout {
            Layout.fillWidth: true
            columns: 2
            columnSpacing: 12
            rowSpacing: 8

            SettingsCaption { text: "Resolution" }

            DarkComboBox {
                id: resolutionBox

                Layout.fillWidth: true
                popupMinWidth: 200
                model: ["1920x1080 (1080p FHD)", "3840x2160 (4K UHD)", "2560x1440 (2K QHD)",
                        "1280x720 (720p HD)", "640x480 (SD)"]
            }

            SettingsCaption { text: "FPS" }

            DarkComboBox {
                id: fpsBox

                Layout.fillWidth: true
                popupMinWidth: 200
                model: ["60.00 fps", "59.94 fps", "50.00 fps", "30.00 fps", "29.97 fps", "25.00 fps",
                        "24.00 fps", "23.976 fps", "120.00 fps"]
            }

            SettingsCaption { text: "Color Range" }

            DarkComboBox {
                id: colorRangeBox

                Layout.fillWidth: true
                popupMinWidth: 200
                model: ["Default (Auto)", "Full (0-255 PC)", "Partial (16-235 TV)"]
            }
        }

        Item { Layout.fillHeight: true }

        SettingsTextButton {
            id: okButton

            Layout.alignment: Qt.AlignRight
            Layout.preferredWidth: 80
            Layout.preferredHeight: 32
            label: "OK"
            onClicked: root.close()
        }
    }
}
