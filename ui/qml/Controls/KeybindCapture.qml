import QtQuick
import Vireon

// Listens for the one key that will switch to a camera (or, for the marker card, drop a
// marker). A key card puts this item inside
// itself and calls start() on a click; the item then holds the keyboard focus. While it
// listens AppManager.isCapturingKeybind is true, so the key is bound rather than acted on.
// Escape ends listening without a change; modifier keys alone are ignored; any other key is
// bound to the source and ends listening, as does losing the focus.
Item {
    id: root

    // Source index 0..3 (camera 1..4).
    property int sourceIndex: 0
    // Binds the marker key instead of a camera's.
    property bool isMarkerKey: false
    readonly property bool listening: d.listening

    signal keyAssigned(int key)

    function start() {
        d.listening = true
        // Taking the focus ends any other card's listening first, which clears the flag;
        // so the flag is raised after the focus has moved here.
        root.forceActiveFocus()
        AppManager.isCapturingKeybind = true
    }

    function stop() {
        if (!d.listening)
            return
        d.listening = false
        AppManager.isCapturingKeybind = false
        root.focus = false
    }

    QtObject {
        id: d

        property bool listening: false
    }

    onActiveFocusChanged: {
        if (!activeFocus)
            stop()
    }

    Keys.onPressed: event => {
        if (!d.listening)
            return
        event.accepted = true
        switch (event.key) {
        case Qt.Key_Escape:
            stop()
            return
        case Qt.Key_Shift:
        case Qt.Key_Control:
        case Qt.Key_Alt:
        case Qt.Key_Meta:
            return
        }
        if (root.isMarkerKey)
            AppManager.setMarkerKey(event.key)
        else
            AppManager.setSourceKey(root.sourceIndex, event.key)
        stop()
        root.keyAssigned(event.key)
    }

    Component.onDestruction: stop()
}
