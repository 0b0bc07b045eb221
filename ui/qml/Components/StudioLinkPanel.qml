pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Vireon
import "StatusTexts.js" as StatusTexts

// The studio of linked recorders in the remote-control dialog: this machine's name and
// clock, the followers it leads (each with its link, clock offset and camera numbers), the
// leader it follows, adding a follower or following a leader by address and key, the
// followers' cameras as programme sources, and collecting their files. Everything it shows
// and decides comes from AppManager.studio.
ColumnLayout {
    id: root

    readonly property var studio: AppManager.studio
    // Why the last ADD or FOLLOW was refused; empty when it went through.
    property string linkError: ""

    readonly property alias addressField: addressField
    readonly property alias keyField: keyField
    readonly property alias addButton: addButton
    readonly property alias followButton: followButton
    readonly property alias collectButton: collectButton

    function tr(english, serbian) {
        return StatusTexts.tr(AppManager.currentLanguage, english, serbian)
    }

    function stateColor(state) {
        if (state === "linked")
            return Colors.liveGreen
        if (state === "lost")
            return Colors.recRed
        if (state === "refused")
            return Colors.alertAmber
        return Colors.textSecondary
    }

    function offsetColor(level) {
        if (level === "error")
            return Colors.recRed
        if (level === "warning")
            return Colors.alertAmber
        return Colors.textSecondary
    }

    function addFollower() {
        linkError = studio.addFollower(addressField.text, keyField.text)
        if (linkError === "") {
            addressField.text = ""
            keyField.text = ""
        }
    }

    function followLeader() {
        linkError = studio.followLeader(addressField.text, keyField.text)
        if (linkError === "") {
            addressField.text = ""
            keyField.text = ""
        }
    }

    spacing: 10

    Text {
        text: root.tr("STUDIO (LINKED RECORDERS)", "STUDIO (POVEZANI SNIMAČI)")
        font: Typography.captionBold
        color: Colors.accent
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8

        Text {
            text: root.tr("This machine:", "Ovaj računar:")
            font: Typography.caption
            color: Colors.textSecondary
        }

        SettingsTextField {
            id: nameField

            objectName: "machineNameField"
            Layout.fillWidth: true
            implicitHeight: 30
            shownText: root.studio.machineName
            onCommitted: text => root.studio.machineName = text
        }
    }

    Text {
        objectName: "ownClockText"
        Layout.fillWidth: true
        text: root.studio.ownClockText
        font: Typography.caption
        color: Colors.textSecondary
        elide: Text.ElideRight
    }

    Text {
        objectName: "leaderText"
        Layout.fillWidth: true
        visible: root.studio.isLed
        text: root.studio.leaderText
        font: Typography.captionBold
        color: root.stateColor(root.studio.leaderState)
        wrapMode: Text.WordWrap
    }

    Repeater {
        model: root.studio.followers

        delegate: RowLayout {
            id: followerRow

            required property var modelData

            Layout.fillWidth: true
            spacing: 8

            Text {
                Layout.preferredWidth: 150
                text: followerRow.modelData.name + "  " + followerRow.modelData.cameras
                font: Typography.captionBold
                color: Colors.textPrimary
                elide: Text.ElideRight
            }

            Text {
                Layout.preferredWidth: 80
                text: followerRow.modelData.stateText
                font: Typography.caption
                color: root.stateColor(followerRow.modelData.state)
                elide: Text.ElideRight
            }

            Text {
                objectName: "offsetText"
                Layout.fillWidth: true
                text: followerRow.modelData.offsetText
                font: Typography.caption
                color: root.offsetColor(followerRow.modelData.offsetLevel)
                elide: Text.ElideRight
            }

            DarkButton {
                Layout.preferredWidth: 24
                Layout.preferredHeight: 24
                onClicked: root.studio.removeFollower(followerRow.modelData.address)

                Text {
                    anchors.centerIn: parent
                    text: "✕"
                    font.pixelSize: 11
                    color: Colors.textSecondary
                }
            }
        }
    }

    TextField {
        id: addressField

        Layout.fillWidth: true
        implicitHeight: 30
        placeholderText: root.tr("Address or scanned link (192.168.1.21:8080)", "Adresa ili skeniran link (192.168.1.21:8080)")
        font: Typography.caption
        color: Colors.textPrimary
        placeholderTextColor: Colors.textMuted
        selectByMouse: true
        background: Rectangle {
            radius: 4
            color: Colors.panelDark
            border.color: addressField.activeFocus ? Colors.accent : Colors.borderDark
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8

        TextField {
            id: keyField

            Layout.fillWidth: true
            implicitHeight: 30
            placeholderText: root.tr("Its access key", "Njegov pristupni ključ")
            font: Typography.caption
            color: Colors.textPrimary
            placeholderTextColor: Colors.textMuted
            selectByMouse: true
            background: Rectangle {
                radius: 4
                color: Colors.panelDark
                border.color: keyField.activeFocus ? Colors.accent : Colors.borderDark
            }
        }

        DarkButton {
            id: addButton

            Layout.preferredWidth: 104
            Layout.preferredHeight: 30
            enabled: !root.studio.isFollowing && addressField.text !== ""
            opacity: enabled ? 1.0 : 0.4
            onClicked: root.addFollower()

            Text {
                anchors.centerIn: parent
                text: root.tr("ADD FOLLOWER", "DODAJ PRATIOCA")
                font: Typography.captionBold
                color: Colors.textPrimary
            }
        }

        DarkButton {
            id: followButton

            Layout.preferredWidth: 104
            Layout.preferredHeight: 30
            enabled: root.studio.isFollowing || (!root.studio.isLeading && addressField.text !== "")
            opacity: enabled ? 1.0 : 0.4
            onClicked: root.studio.isFollowing ? root.studio.stopFollowing() : root.followLeader()

            Text {
                objectName: "followButtonText"
                anchors.centerIn: parent
                text: root.studio.isFollowing ? root.tr("STOP FOLLOWING", "NE PRATI VIŠE")
                                              : root.tr("FOLLOW LEADER", "PRATI VOĐU")
                font: Typography.captionBold
                color: Colors.textPrimary
            }
        }
    }

    Text {
        objectName: "linkError"
        Layout.fillWidth: true
        visible: root.linkError !== ""
        text: root.linkError
        font: Typography.caption
        color: Colors.alertAmber
        wrapMode: Text.WordWrap
    }

    Flow {
        objectName: "followerSources"
        Layout.fillWidth: true
        spacing: 6
        visible: root.studio.isLeading

        Repeater {
            model: root.studio.followerSources

            delegate: DarkButton {
                id: sourceButton

                required property var modelData

                width: sourceText.implicitWidth + 16
                height: 26
                border.color: AppManager.activeSourceId === sourceButton.modelData.id ? Colors.accent : Colors.borderDark
                onClicked: AppManager.activeSourceId = sourceButton.modelData.id

                Text {
                    id: sourceText

                    anchors.centerIn: parent
                    text: sourceButton.modelData.id + " " + sourceButton.modelData.name
                    font: Typography.caption
                    color: Colors.textPrimary
                }
            }
        }
    }

    Text {
        objectName: "problemText"
        Layout.fillWidth: true
        visible: text !== ""
        text: root.studio.problemText
        font: Typography.captionBold
        color: Colors.alertAmber
        wrapMode: Text.WordWrap
    }

    RowLayout {
        Layout.fillWidth: true
        visible: root.studio.isLeading
        spacing: 8

        SettingsSwitch {
            Layout.fillWidth: true
            text: root.tr("Collect after every take", "Prikupi posle svakog snimka")
            font: Typography.caption
            shownChecked: root.studio.collectAfterEveryTake
            onCommitted: checked => root.studio.collectAfterEveryTake = checked
        }

        DarkButton {
            id: collectButton

            Layout.preferredWidth: 120
            Layout.preferredHeight: 28
            enabled: root.studio.canCollect
            opacity: enabled ? 1.0 : 0.4
            onClicked: root.studio.collectFiles()

            Text {
                anchors.centerIn: parent
                text: root.tr("COLLECT FILES", "PRIKUPI FAJLOVE")
                font: Typography.captionBold
                color: Colors.textPrimary
            }
        }
    }

    Rectangle {
        Layout.fillWidth: true
        Layout.preferredHeight: 4
        visible: root.studio.isCollecting
        radius: 2
        color: Colors.borderDark

        Rectangle {
            width: parent.width * root.studio.collectProgress
            height: parent.height
            radius: 2
            color: Colors.accent
        }
    }

    Text {
        objectName: "collectText"
        Layout.fillWidth: true
        visible: text !== ""
        text: root.studio.collectText
        font: Typography.caption
        color: Colors.textSecondary
        wrapMode: Text.WordWrap
    }
}
