import QtQuick
import QtTest
import Vireon

// The remote control dialog against the real server (on a free port, not the program's 8080):
// its texts while running and stopped, the QR code, the access key (new key, switched off),
// copying the address and closing.
Item {
    id: host

    width: 1280
    height: 720

    Component { id: dialogComponent; RemoteControlDialog {} }

    TextEdit { id: pasteTarget; visible: false }

    TestCase {
        id: testCase

        name: "RemoteDialog"
        when: windowShown

        function init() {
            AppManager.currentLanguage = "EN"
            RemoteServer.startServer(0)
            verify(RemoteServer.isRunning)
            failOnWarning(/.*/)
        }

        function cleanup() {
            RemoteServer.requireAccessKey = true
            if (RemoteServer.isRunning)
                RemoteServer.stopServer()
            AppManager.currentLanguage = "EN"
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
            return null
        }

        function openDialog() {
            const dialog = createTemporaryObject(dialogComponent, host)
            verify(dialog)
            dialog.openDialog()
            verify(dialog.visible)
            return dialog
        }

        function test_runningServer() {
            const port = RemoteServer.port
            const dialog = openDialog()
            compare(RemoteServer.port, port, "a running server is not restarted")
            compare(findByName(dialog, "statusText").text, "SERVER ONLINE • Clients: 0")
            verify(RemoteServer.serverUrl.indexOf(":" + port + "/") > 0)
            compare(findByName(dialog, "addressText").text, RemoteServer.serverUrl)
            verify(dialog.qrImage.visible)
            compare(String(dialog.qrImage.source), RemoteServer.qrCodeDataUrl)
            verify(!dialog.qrImage.smooth)
            tryCompare(dialog.qrImage, "status", Image.Ready)
            verify(!findByName(dialog, "stoppedNote").visible)
            compare(findByName(dialog, "serverButtonText").text, "STOP SERVER")
        }

        function test_accessKey() {
            const dialog = openDialog()
            const address = findByName(dialog, "addressText")
            const key = RemoteServer.accessKey
            verify(/^[0-9a-f]{32}$/.test(key), key)
            compare(address.text, "http://" + RemoteServer.localIp + ":" + RemoteServer.port + "/?key=" + key)
            verify(dialog.requireKeySwitch.checked)
            verify(!findByName(dialog, "openWarning").visible)
            compare(findByName(dialog, "newKeyText").text, "NEW KEY")

            // A new key: a new address and QR code for the phones to scan.
            const qrBefore = RemoteServer.qrCodeDataUrl
            mouseClick(dialog.newKeyButton)
            verify(RemoteServer.accessKey !== key)
            compare(address.text, "http://" + RemoteServer.localIp + ":" + RemoteServer.port + "/?key=" + RemoteServer.accessKey)
            verify(String(dialog.qrImage.source) !== qrBefore)
            compare(String(dialog.qrImage.source), RemoteServer.qrCodeDataUrl)

            // Switched off: the plain address, a warning, and no new key to make.
            ignoreWarning(/Access key switched off/)
            mouseClick(dialog.requireKeySwitch)
            verify(!RemoteServer.requireAccessKey)
            compare(address.text, "http://" + RemoteServer.localIp + ":" + RemoteServer.port + "/")
            const warning = findByName(dialog, "openWarning")
            verify(warning.visible)
            verify(warning.text.indexOf("anyone on this network") >= 0, warning.text)
            const keyNow = RemoteServer.accessKey
            mouseClick(dialog.newKeyButton)
            compare(RemoteServer.accessKey, keyNow, "no new key while it is not required")

            mouseClick(dialog.requireKeySwitch)
            verify(RemoteServer.requireAccessKey)
            verify(!warning.visible)
            compare(address.text, "http://" + RemoteServer.localIp + ":" + RemoteServer.port + "/?key=" + keyNow)
        }

        function test_stopAndStartFromTheDialog() {
            const dialog = openDialog()
            mouseClick(dialog.serverButton)
            verify(!RemoteServer.isRunning)
            compare(findByName(dialog, "statusText").text, "SERVER OFFLINE")
            verify(findByName(dialog, "stoppedNote").visible)
            verify(!dialog.qrImage.visible)
            compare(findByName(dialog, "serverButtonText").text, "START SERVER")

            mouseClick(dialog.serverButton)
            verify(RemoteServer.isRunning)
            compare(findByName(dialog, "serverButtonText").text, "STOP SERVER")
            verify(dialog.qrImage.visible)
        }

        function test_copyLink() {
            const dialog = openDialog()
            const label = findByName(dialog, "copyText")
            compare(label.text, "COPY LINK")
            mouseClick(dialog.copyButton)
            compare(label.text, "COPIED!")
            compare(label.color, Colors.liveGreen)
            pasteTarget.text = ""
            pasteTarget.paste()
            compare(pasteTarget.text, RemoteServer.serverUrl)
            wait(1500)
            compare(label.text, "COPIED!", "still confirmed before two seconds")
            tryCompare(label, "text", "COPY LINK", 1500)
        }

        function test_clicksCloseOnlyBesideTheCard() {
            const dialog = openDialog()
            mouseClick(dialog, dialog.width / 2, dialog.height / 2)
            verify(dialog.visible, "a click on the card keeps it open")
            mouseClick(dialog, 20, 20)
            verify(!dialog.visible)
            dialog.openDialog()
            mouseClick(dialog.closeButton)
            verify(!dialog.visible)
            verify(RemoteServer.isRunning, "closing leaves the server running")
        }

        function test_serbianTexts() {
            AppManager.currentLanguage = "SR"
            const dialog = openDialog()
            compare(findByName(dialog, "statusText").text, "SERVER AKTIVAN • Povezano uređaja: 0")
            compare(findByName(dialog, "serverButtonText").text, "ZAUSTAVI SERVER")
            compare(findByName(dialog, "copyText").text, "KOPIRAJ")
            compare(findByName(dialog, "newKeyText").text, "NOVI KLJUČ")
            compare(dialog.requireKeySwitch.text, "Zahtevaj pristupni ključ")
            RemoteServer.stopServer()
            compare(findByName(dialog, "statusText").text, "SERVER ISKLJUČEN")
            compare(findByName(dialog, "serverButtonText").text, "POKRENI SERVER")
        }
    }
}
