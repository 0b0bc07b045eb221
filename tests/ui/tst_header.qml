import QtQuick
import QtTest
import Vireon

// The header bar: the add-source button follows the number of channels with video, and the
// session status shows the session name while idle.
Item {
    id: host

    width: 1280
    height: 60

    Component {
        id: headerComponent
        TopHeaderBar { width: 1280; height: 60 }
    }

    SignalSpy {
        id: addSpy
        signalName: "addSourceRequested"
    }

    TestCase {
        name: "Header"
        when: windowShown

        function init() {
            failOnWarning(/.*/)
        }

        function setActiveChannels(ids) {
            for (let id = 1; id <= 4; ++id)
                ChannelsModel.setHasActiveVideo(id, ids.indexOf(id) >= 0)
        }

        function cleanup() {
            setActiveChannels([])
        }

        function test_addSourceHiddenWithFourChannels() {
            const header = createTemporaryObject(headerComponent, host)
            setActiveChannels([1, 2, 3, 4])
            compare(ChannelsModel.activeVideoCount, 4)
            verify(!header.addSourceButton.visible)
        }

        function test_addSourceOpensTheFreeChannel_data() {
            return [
                { tag: "channel 4 free", active: [1, 2, 3], free: 4 },
                { tag: "channel 2 free", active: [1, 3, 4], free: 2 },
                { tag: "none active", active: [], free: 1 }
            ]
        }

        function test_addSourceOpensTheFreeChannel(data) {
            const header = createTemporaryObject(headerComponent, host)
            addSpy.target = header
            addSpy.clear()
            setActiveChannels(data.active)
            compare(ChannelsModel.activeVideoCount, data.active.length)
            verify(header.addSourceButton.visible)
            mouseClick(header.addSourceButton)
            compare(addSpy.count, 1)
            compare(addSpy.signalArguments[0][0], data.free)
        }

        function test_addSourceReappearsWhenAChannelGoes() {
            const header = createTemporaryObject(headerComponent, host)
            setActiveChannels([1, 2, 3, 4])
            verify(!header.addSourceButton.visible)
            ChannelsModel.setHasActiveVideo(2, false)
            verify(header.addSourceButton.visible)
        }

        function test_sessionNameWhileIdle() {
            const header = createTemporaryObject(headerComponent, host)
            compare(header.sessionLabel.text, AppManager.activeSessionName)
            verify(Qt.colorEqual(header.sessionLabel.color, Colors.textMuted))
        }
    }
}
