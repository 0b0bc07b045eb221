import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import Vireon
import "ManualSections.js" as ManualSections
import "StatusTexts.js" as StatusTexts

// The user manual: the Markdown file of the current language, one card per "## " section,
// with a search field and category chips. Created once by the header bar and re-shown.
Window {
    id: root

    readonly property string language: AppManager.currentLanguage
    property var allSections: []
    property var filteredSections: []
    property string activeCategory: "ALL"
    // True when the manual file could not be read and the fallback text is shown.
    property bool manualMissing: false
    // Where the manual comes from: the back end, or a stand-in under test.
    property var manualSource: AppManager

    readonly property alias searchField: searchField
    readonly property alias clearSearchButton: clearSearchButton
    readonly property alias countLabel: countLabel
    readonly property alias chipList: chipList
    readonly property alias sectionList: sectionList
    readonly property alias emptyState: emptyState
    readonly property alias resetButton: resetButton
    readonly property alias missingNotice: missingNotice
    readonly property alias sourceLabel: sourceLabel
    readonly property alias openFileLabel: openFileLabel
    readonly property alias closeLabel: closeLabel
    readonly property alias englishHalf: englishHalf
    readonly property alias serbianHalf: serbianHalf

    function tr(english, serbian) {
        return StatusTexts.tr(root.language, english, serbian)
    }

    // Takes the text of a manual; an empty one stands for a file that could not be read.
    function loadManual(content) {
        root.manualMissing = !content || content.length === 0
        root.allSections = ManualSections.splitSections(ManualSections.manualText(content, root.language))
        root.applyFilter()
    }

    function reloadManual() {
        root.loadManual(root.manualSource.getManualContent(root.language.toLowerCase()))
    }

    function applyFilter() {
        root.filteredSections = ManualSections.filterSections(root.allSections, root.activeCategory, searchField.text)
    }

    function resetSearch() {
        searchField.text = ""
        root.activeCategory = "ALL"
    }

    width: 920
    height: 700
    minimumWidth: 780
    minimumHeight: 560
    flags: Qt.FramelessWindowHint | Qt.Window
    title: "Vireon - User Manual & Help Guide"
    color: Colors.backgroundDark

    onLanguageChanged: root.reloadManual()
    onManualSourceChanged: root.reloadManual()
    onActiveCategoryChanged: root.applyFilter()
    Component.onCompleted: root.reloadManual()

    // One half of the language pill.
    component LanguageHalf: Rectangle {
        id: half

        property string code
        property bool current: false

        width: 40
        height: 24
        radius: 12
        color: current ? Colors.accent : (halfMouse.containsMouse ? Colors.borderDark : "transparent")

        Text {
            anchors.centerIn: parent
            text: half.code
            font: Typography.captionBold
            color: half.current ? "black" : Colors.textSecondary
        }

        MouseArea {
            id: halfMouse

            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: AppManager.currentLanguage = half.code
        }
    }

    Shortcut {
        sequence: "Escape"
        context: Qt.WindowShortcut
        onActivated: root.close()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 1
        spacing: 0

        // Header: pressing its background moves the window.
        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 52
            color: Colors.panelDark

            MouseArea {
                anchors.fill: parent
                onPressed: root.startSystemMove()
            }

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 16
                anchors.rightMargin: 10
                spacing: 12

                Rectangle {
                    Layout.preferredWidth: 30
                    Layout.preferredHeight: 30
                    radius: 4
                    color: Qt.rgba(Colors.accent.r, Colors.accent.g, Colors.accent.b, 0.15)
                    border.width: 1
                    border.color: Colors.accent

                    Text {
                        anchors.centerIn: parent
                        text: "?"
                        font.pixelSize: 15
                        font.bold: true
                        color: Colors.accent
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2

                    Text {
                        Layout.fillWidth: true
                        text: "VIREON 2.4.5b  |  USER MANUAL & HELP GUIDE"
                        font: Typography.heading3
                        color: Colors.textPrimary
                        elide: Text.ElideRight
                    }
                    Text {
                        Layout.fillWidth: true
                        text: "Interactive documentation, quick start, codecs, audio sync & troubleshooting"
                        font: Typography.small
                        color: Colors.textMuted
                        elide: Text.ElideRight
                    }
                }

                // Language pill: each half sets the interface language.
                Rectangle {
                    Layout.preferredWidth: 84
                    Layout.preferredHeight: 28
                    radius: 14
                    color: Colors.surfaceDark
                    border.width: 1
                    border.color: Colors.borderDark
                    clip: true

                    Row {
                        anchors.fill: parent
                        anchors.margins: 2

                        LanguageHalf { id: englishHalf; code: "EN"; current: root.language === englishHalf.code }
                        LanguageHalf { id: serbianHalf; code: "SR"; current: root.language === serbianHalf.code }
                    }
                }

                DarkButton {
                    Layout.preferredWidth: 36
                    Layout.preferredHeight: 32
                    onClicked: root.close()

                    Text {
                        anchors.centerIn: parent
                        text: "✕"
                        font.pixelSize: 14
                        color: Colors.textPrimary
                    }
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 1
            color: Colors.borderDark
        }

        // Search field with its clear button and the count of shown sections.
        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.topMargin: 12
            spacing: 12

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 36
                radius: 4
                color: Colors.surfaceDark
                border.width: searchField.activeFocus ? 1.5 : 1
                border.color: searchField.activeFocus ? Colors.accent : Colors.borderDark

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 10
                    anchors.rightMargin: 4
                    spacing: 6

                    Text {
                        text: "🔍"
                        font.pixelSize: 13
                        color: Colors.textSecondary
                    }

                    TextField {
                        id: searchField

                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        leftPadding: 2
                        rightPadding: 2
                        verticalAlignment: TextInput.AlignVCenter
                        font: Typography.body
                        color: Colors.textPrimary
                        selectionColor: Colors.accent
                        selectedTextColor: "black"
                        placeholderText: root.tr("Search user manual (e.g. camera, audio delay, 4K, hotkeys, benchmark, dropped frames)...",
                                                 "Pretraži uputstvo (npr. kamera, audio delay, 4K, prečice, benchmark, ispušteni frejmovi)...")
                        placeholderTextColor: Colors.textSecondary
                        background: null
                        onTextChanged: root.applyFilter()
                    }

                    DarkButton {
                        id: clearSearchButton

                        Layout.preferredWidth: 28
                        Layout.preferredHeight: 28
                        visible: searchField.text.length > 0
                        border.width: 0
                        onClicked: searchField.text = ""

                        Text {
                            anchors.centerIn: parent
                            text: "✕"
                            font.pixelSize: 12
                            color: Colors.textSecondary
                        }
                    }
                }
            }

            Text {
                id: countLabel

                text: ManualSections.countText(root.filteredSections.length, root.allSections.length)
                font: Typography.captionBold
                color: Colors.accent
            }
        }

        // Category chips; they scroll sideways when the window is narrow.
        ListView {
            id: chipList

            Layout.fillWidth: true
            Layout.preferredHeight: 26
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.topMargin: 10
            orientation: ListView.Horizontal
            spacing: 4
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: ManualSections.categories

            delegate: Rectangle {
                id: chip

                required property string modelData
                // The list makes its chips in this window's context; the linter of Qt 6.4 cannot
                // follow a delegate's ids to its document.
                readonly property bool active: root.activeCategory === modelData // qmllint disable unqualified

                width: chipLabel.implicitWidth + 12
                height: 26
                radius: 13
                color: active ? Colors.accent : Colors.surfaceDark
                border.width: 1
                border.color: active ? Colors.accent : (chipMouse.containsMouse ? Colors.borderLight : Colors.borderDark)

                Text {
                    id: chipLabel

                    anchors.centerIn: parent
                    text: chip.modelData
                    font: Typography.smallBold
                    color: chip.active ? "black" : Colors.textSecondary
                }

                MouseArea {
                    id: chipMouse

                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: root.activeCategory = chip.modelData // qmllint disable unqualified
                }
            }
        }

        // The shown sections, or the message when none match.
        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.topMargin: 12

            ListView {
                id: sectionList

                anchors.fill: parent
                anchors.leftMargin: 16
                anchors.rightMargin: 16
                spacing: 12
                clip: true
                boundsBehavior: Flickable.StopAtBounds
                model: root.filteredSections
                visible: count > 0

                ScrollBar.vertical: ScrollBar {
                    policy: ScrollBar.AsNeeded
                    contentItem: Rectangle {
                        implicitWidth: 6
                        radius: 3
                        color: Colors.borderLight
                    }
                }

                footer: Item { width: 1; height: 12 }

                delegate: Rectangle {
                    id: card

                    required property var modelData

                    width: ListView.view.width - 10
                    height: cardColumn.implicitHeight + 32
                    radius: 6
                    color: Colors.panelDark
                    border.width: 1
                    border.color: Colors.borderDark

                    ColumnLayout {
                        id: cardColumn

                        anchors.left: parent.left
                        anchors.right: parent.right
                        anchors.top: parent.top
                        anchors.margins: 16
                        spacing: 10

                        Rectangle {
                            Layout.preferredWidth: badgeLabel.implicitWidth + 14
                            Layout.preferredHeight: 20
                            radius: 3
                            color: Qt.rgba(Colors.accent.r, Colors.accent.g, Colors.accent.b, 0.15)
                            border.width: 1
                            border.color: Colors.accent

                            Text {
                                id: badgeLabel

                                anchors.centerIn: parent
                                text: card.modelData.category
                                font: Typography.smallBold
                                color: Colors.accent
                            }
                        }

                        Text {
                            Layout.fillWidth: true
                            text: card.modelData.title
                            font: Typography.heading2
                            color: Colors.textPrimary
                            wrapMode: Text.Wrap
                        }

                        Rectangle {
                            Layout.fillWidth: true
                            Layout.preferredHeight: 1
                            color: Colors.borderDark
                        }

                        Text {
                            Layout.fillWidth: true
                            text: card.modelData.content
                            textFormat: Text.MarkdownText
                            font: Typography.body
                            color: Colors.textSecondary
                            linkColor: Colors.accent
                            wrapMode: Text.Wrap
                            lineHeight: 1.15
                            onLinkActivated: (link) => Qt.openUrlExternally(link)
                        }
                    }
                }
            }

            Column {
                id: emptyState

                anchors.centerIn: parent
                width: Math.min(parent.width - 40, 560)
                spacing: 10
                visible: root.filteredSections.length === 0

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "🔎"
                    font.pixelSize: 34
                    color: Colors.textSecondary
                }
                Text {
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: "No topics match your search query."
                    font: Typography.heading3
                    color: Colors.textPrimary
                    wrapMode: Text.Wrap
                }
                Text {
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: "Try searching for keywords like 'camera', 'audio', 'delay', 'benchmark', 'hotkeys', or 'xml'."
                    font: Typography.body
                    color: Colors.textSecondary
                    wrapMode: Text.Wrap
                }
                // Without a manual no search can help: say which file is missing.
                Text {
                    id: missingNotice

                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    visible: root.manualMissing
                    text: ManualSections.fallbackText(root.language).split("\n").pop()
                    font: Typography.captionBold
                    color: Colors.alertAmber
                    wrapMode: Text.Wrap
                }
                Item { width: 1; height: 4 }
                DarkButton {
                    id: resetButton

                    anchors.horizontalCenter: parent.horizontalCenter
                    width: 140
                    height: 34
                    onClicked: root.resetSearch()

                    Text {
                        anchors.centerIn: parent
                        text: "RESET SEARCH"
                        font: Typography.captionBold
                        color: Colors.accent
                    }
                }
            }
        }

        // Footer: where the manual comes from, open it, close.
        Rectangle {
            Layout.fillWidth: true
            Layout.preferredHeight: 56
            color: Colors.panelDark

            Rectangle {
                anchors.top: parent.top
                width: parent.width
                height: 1
                color: Colors.borderDark
            }

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 16
                anchors.rightMargin: 16
                spacing: 10

                Text {
                    id: sourceLabel

                    Layout.fillWidth: true
                    text: root.tr("Manual source file: ", "Izvorni fajl uputstva: ") + root.manualSource.manualFilePath(root.language)
                    font: Typography.small
                    color: Colors.textSecondary
                    elide: Text.ElideMiddle
                }

                DarkButton {
                    Layout.preferredWidth: 230
                    Layout.preferredHeight: 36
                    onClicked: root.manualSource.openManualFile(root.language)

                    Row {
                        anchors.centerIn: parent
                        spacing: 8
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: "📄"
                            font.pixelSize: 13
                            color: Colors.textPrimary
                        }
                        Text {
                            id: openFileLabel

                            anchors.verticalCenter: parent.verticalCenter
                            text: root.tr("OPEN MANUAL FILE (MD)", "OTVORI UPUTSTVO (MD)")
                            font: Typography.captionBold
                            color: Colors.textPrimary
                        }
                    }
                }

                DarkButton {
                    Layout.preferredWidth: 100
                    Layout.preferredHeight: 36
                    onClicked: root.close()

                    Text {
                        id: closeLabel

                        anchors.centerIn: parent
                        text: root.tr("CLOSE", "ZATVORI")
                        font: Typography.captionBold
                        color: Colors.textPrimary
                    }
                }
            }
        }
    }

    // 1 px frame above the content.
    Rectangle {
        anchors.fill: parent
        color: "transparent"
        border.width: 1
        border.color: Colors.borderDark
        z: 1000
    }
}
