import QtQuick
import QtTest
import Vireon

// Key capture for camera hotkeys: what binds, what is ignored, and that the back end's
// capturing flag always ends up cleared.
Item {
    id: host

    width: 200
    height: 100

    KeybindCapture { id: first; sourceIndex: 2 }
    KeybindCapture { id: second; sourceIndex: 3 }
    KeybindCapture { id: marker; isMarkerKey: true }

    TestCase {
        name: "KeybindCapture"
        when: windowShown

        property var savedKeys: []
        property int savedMarkerKey: 0

        function initTestCase() {
            for (let i = 0; i < 4; ++i)
                savedKeys.push(AppManager.getSourceKey(i))
            savedMarkerKey = AppManager.getMarkerKey()
        }

        function cleanup() {
            first.stop()
            second.stop()
            marker.stop()
            for (let i = 0; i < 4; ++i)
                AppManager.setSourceKey(i, savedKeys[i])
            AppManager.setMarkerKey(savedMarkerKey)
        }

        function test_markerKeyIsBoundAndNoCameraKeyChanges() {
            compare(AppManager.getMarkerKey(), Qt.Key_M)
            marker.start()
            keyClick(Qt.Key_F8)
            verify(!marker.listening)
            compare(AppManager.getMarkerKey(), Qt.Key_F8)
            compare(AppManager.getMarkerKeyName(), "F8")
            for (let i = 0; i < 4; ++i)
                compare(AppManager.getSourceKey(i), savedKeys[i])
        }

        function test_keyIsBoundAndListeningEnds() {
            first.start()
            verify(first.listening)
            verify(AppManager.isCapturingKeybind)
            keyClick(Qt.Key_F7)
            verify(!first.listening)
            verify(!AppManager.isCapturingKeybind)
            compare(AppManager.getSourceKey(2), Qt.Key_F7)
        }

        function test_modifiersAloneKeepListening() {
            first.start()
            keyClick(Qt.Key_Shift)
            keyClick(Qt.Key_Control)
            verify(first.listening)
            compare(AppManager.getSourceKey(2), savedKeys[2])
        }

        function test_escapeCancelsWithoutChange() {
            first.start()
            keyClick(Qt.Key_Escape)
            verify(!first.listening)
            verify(!AppManager.isCapturingKeybind)
            compare(AppManager.getSourceKey(2), savedKeys[2])
        }

        function test_secondCardTakesOverAndFlagStaysRaised() {
            first.start()
            second.start()
            verify(!first.listening)
            verify(second.listening)
            verify(AppManager.isCapturingKeybind)
            keyClick(Qt.Key_9)
            compare(AppManager.getSourceKey(3), Qt.Key_9)
            compare(AppManager.getSourceKey(2), savedKeys[2])
            verify(!AppManager.isCapturingKeybind)
        }

        function test_losingFocusEndsListening() {
            first.start()
            host.forceActiveFocus()
            verify(!first.listening)
            verify(!AppManager.isCapturingKeybind)
        }
    }
}
