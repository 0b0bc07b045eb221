import QtQuick
import QtTest
import Vireon

// The update dialog: shown exactly while an update is on offer, and what its buttons show and do
// before, during and after the download, in both languages, for an installer and for a Debian
// package. The real update manager reads a manifest handed over as a data: address and
// downloads from the local remote-control server, so nothing leaves the machine; the
// ready-to-install state comes from a stand-in manager.
Item {
    id: host

    width: 1280
    height: 720

    Component { id: dialogComponent; UpdateDialog {} }

    Component {
        id: standInComponent

        QtObject {
            property bool updateAvailable: true
            property bool isDownloading: false
            property bool updateReadyToInstall: false
            property string latestVersion: "3.0.0"
            property string releaseDate: ""
            property string changelog: ""
            property string currentVersion: "2.4.5b"
            property real downloadProgress: 0
            property string downloadProgressText: "0%"
            property bool installsItself: true
            property string installCommand: ""
            property var calls: []

            function startDownload() { calls.push("startDownload") }
            function cancelDownload() { calls.push("cancelDownload"); isDownloading = false }
            function dismissUpdate() { calls.push("dismissUpdate"); updateAvailable = false }
            function installAndRestart() { calls.push("installAndRestart") }
        }
    }

    TestCase {
        id: testCase

        name: "UpdateDialog"
        when: windowShown

        property string savedServerUrl: ""
        property string savedLanguage: ""

        function initTestCase() {
            savedServerUrl = UpdateManager.serverUrl
            savedLanguage = AppManager.currentLanguage
        }

        function init() {
            failOnWarning(/.*/)
            AppManager.currentLanguage = "SR"
        }

        function cleanup() {
            UpdateManager.cancelDownload()
            UpdateManager.dismissUpdate()
            UpdateManager.serverUrl = savedServerUrl
            AppManager.currentLanguage = savedLanguage
            if (RemoteServer.isRunning)
                RemoteServer.stopServer()
        }

        function findByName(item, name) {
            if (!item)
                return null
            if (item.objectName === name)
                return item
            const kids = item.children || []
            for (let i = 0; i < kids.length; ++i) {
                const found = findByName(kids[i], name)
                if (found)
                    return found
            }
            if (item.contentItem && item.contentItem !== item)
                return findByName(item.contentItem, name)
            return null
        }

        function buttonText(button) {
            for (let i = 0; i < button.children.length; ++i) {
                if (button.children[i].text !== undefined)
                    return button.children[i].text
            }
            return undefined
        }

        // A stand-in manager owned by the dialog, so it goes no sooner than the dialog.
        function standIn(dialog, properties) {
            const updater = standInComponent.createObject(dialog, properties)
            dialog.updater = updater
            return updater
        }

        // Makes the real manager find `manifest` on its next check, with its link as the
        // Debian package's too (what a Linux system fetches).
        function offer(manifest) {
            manifest.downloadUrl_deb = manifest.downloadUrl
            UpdateManager.serverUrl = "data:application/json;base64," + Qt.btoa(JSON.stringify(manifest))
            UpdateManager.checkForUpdates(true)
            tryVerify(() => !UpdateManager.isChecking, 5000)
        }

        function test_shownExactlyWhileAnUpdateIsOffered() {
            const dialog = createTemporaryObject(dialogComponent, host)
            verify(!UpdateManager.updateAvailable)
            verify(!dialog.visible)

            offer({ version: "99.1.0", releaseDate: "2031-05-01", changelog: "Faster\nSafer",
                    downloadUrl: "https://example.invalid/setup" })
            verify(UpdateManager.updateAvailable)
            verify(dialog.visible)
            compare(findByName(dialog, "versionTitle").text, "Vireon Studio 99.1.0 (2031-05-01)")
            compare(findByName(dialog, "changelogText").text, "Faster\nSafer")
            verify(!dialog.progressBox.visible)
            compare(buttonText(dialog.laterButton), "KASNIJE")
            compare(buttonText(dialog.primaryButton),
                    UpdateManager.installsItself ? "PREUZMI I AŽURIRAJ SADA" : "PREUZMI PAKET")
            compare(UpdateManager.statusMessage, "Dostupna je nova verzija: v99.1.0")

            // The dialog and the manager's texts follow the interface language at once.
            AppManager.currentLanguage = "EN"
            compare(buttonText(dialog.laterButton), "LATER")
            compare(UpdateManager.statusMessage, "A new version is available: v99.1.0")

            mouseClick(dialog.laterButton)
            verify(!UpdateManager.updateAvailable)
            verify(!dialog.visible)

            offer({ version: "1.0.0", downloadUrl: "https://example.invalid/setup" })
            verify(!dialog.visible, "an older version is not offered")
        }

        function test_emptyChangelogAndDate() {
            const dialog = createTemporaryObject(dialogComponent, host)
            offer({ version: "99.2.0", downloadUrl: "https://example.invalid/setup" })
            verify(dialog.visible)
            compare(findByName(dialog, "versionTitle").text, "Vireon Studio 99.2.0")
            compare(findByName(dialog, "changelogText").text, "Nema opisa za ovu verziju.")
            mouseClick(dialog.closeButton)
            verify(!dialog.visible)
        }

        function test_dismissingDuringADownloadCancelsIt_data() {
            return [{ tag: "later button" }, { tag: "close button" }]
        }

        function test_dismissingDuringADownloadCancelsIt(data) {
            // The preview stream never ends, so the download stays under way.
            RemoteServer.startServer(0)
            verify(RemoteServer.isRunning)
            const dialog = createTemporaryObject(dialogComponent, host)
            offer({ version: "99.3.0", downloadUrl: "http://127.0.0.1:" + RemoteServer.port + "/stream.mjpg" })
            mouseClick(dialog.primaryButton)
            verify(UpdateManager.isDownloading)
            verify(dialog.progressBox.visible)
            compare(findByName(dialog, "progressTitle").text, "Preuzimanje u toku...")
            compare(buttonText(dialog.primaryButton), "PREUZIMA SE...")
            compare(buttonText(dialog.laterButton), "OTKAŽI")
            mouseClick(dialog.primaryButton)
            verify(UpdateManager.isDownloading, "the busy button does nothing")

            mouseClick(data.tag === "close button" ? dialog.closeButton : dialog.laterButton)
            verify(!UpdateManager.isDownloading)
            verify(!UpdateManager.updateAvailable)
            verify(!dialog.visible)
        }

        function test_readyToInstall() {
            const dialog = createTemporaryObject(dialogComponent, host)
            const updater = standIn(dialog, {})
            verify(dialog.visible)
            const fill = findByName(dialog, "progressFill")

            updater.isDownloading = true
            compare(fill.width, 4, "an empty bar still shows its start")
            compare(fill.color, Colors.accent)
            updater.downloadProgress = 0.5
            fuzzyCompare(fill.width, fill.parent.width / 2, 0.5)

            updater.isDownloading = false
            updater.updateReadyToInstall = true
            updater.downloadProgress = 1
            updater.downloadProgressText = "100%"
            verify(dialog.progressBox.visible)
            compare(findByName(dialog, "progressTitle").text, "Preuzimanje završeno!")
            compare(fill.width, fill.parent.width)
            compare(fill.color, Colors.liveGreen)
            verify(!dialog.laterButton.visible)
            compare(buttonText(dialog.primaryButton), "INSTALIRAJ I RESTARTUJ")
            compare(dialog.primaryButton.color, Colors.liveGreen)
            mouseClick(dialog.primaryButton)
            compare(updater.calls, ["installAndRestart"])
        }

        // A Debian package: the program cannot install it, so once verified the dialog shows the
        // command that does and its button shows the package.
        function test_debianPackageReady() {
            const dialog = createTemporaryObject(dialogComponent, host)
            const updater = standIn(dialog, { installsItself: false })
            compare(buttonText(dialog.primaryButton), "PREUZMI PAKET")
            const command = findByName(dialog, "installCommandText")
            verify(!command.visible)

            updater.updateReadyToInstall = true
            updater.installCommand = "sudo apt install /home/ana/.cache/Vireon/Vireon/update/Vireon_Update.deb"
            verify(command.visible)
            compare(command.text, updater.installCommand)
            compare(buttonText(dialog.primaryButton), "PRIKAŽI PAKET")
            AppManager.currentLanguage = "EN"
            compare(buttonText(dialog.primaryButton), "SHOW PACKAGE")
            mouseClick(dialog.primaryButton)
            compare(updater.calls, ["installAndRestart"])
        }

        function test_dismissOrder() {
            const dialog = createTemporaryObject(dialogComponent, host)
            const updater = standIn(dialog, { isDownloading: true })
            mouseClick(dialog.closeButton)
            compare(updater.calls, ["cancelDownload", "dismissUpdate"])
            verify(!dialog.visible)

            updater.updateAvailable = true
            updater.calls = []
            mouseClick(dialog.laterButton)
            compare(updater.calls, ["dismissUpdate"], "nothing to cancel")
        }
    }

    Component { id: mainComponent; Main {} }

    // The three overlays inside the main window, opened as the panels open them.
    TestCase {
        name: "MainWindowOverlays"
        when: windowShown

        function cleanup() {
            UpdateManager.dismissUpdate()
            UpdateManager.serverUrl = testCase.savedServerUrl
            if (RemoteServer.isRunning)
                RemoteServer.stopServer()
        }

        function test_eachOverlayOpensWithoutWarnings() {
            failOnWarning(/.*/)
            // Already running on a free port, so opening the dialog does not take 8080.
            RemoteServer.startServer(0)
            const window = createTemporaryObject(mainComponent, host)
            verify(window)
            const update = window.updateOverlay
            verify(!update.visible)
            compare(update.z, 200)

            window.sourceConfigOverlay.openForChannel(2, false)
            const source = window.sourceConfigOverlay.dialog
            verify(source && source.visible)
            tryCompare(source, "width", window.width)
            source.hide()
            window.sourceConfigOverlay.openForChannel(1, true)
            verify(source.visible && source.isEditMode)
            source.hide()

            window.remoteControlOverlay.openDialog()
            const remote = window.remoteControlOverlay.dialog
            verify(remote && remote.visible)
            tryCompare(remote, "height", window.height)
            remote.closeDialog()

            testCase.offer({ version: "99.4.0", downloadUrl: "https://example.invalid/setup" })
            verify(update.visible)
            verify(update.z > window.remoteControlOverlay.z && window.remoteControlOverlay.z > window.sourceConfigOverlay.z)
            wait(50)
        }
    }
}
