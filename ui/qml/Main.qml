import QtQuick
import QtQuick.Window
import Vireon

// The main window. Frameless: the header bar moves it and the edge layer resizes it.
Window {
    id: root

    width: 1280
    height: 720
    minimumWidth: 1024
    minimumHeight: 640
    visible: true
    flags: Qt.FramelessWindowHint | Qt.Window
    title: "Vireon Studio 2.4.5b"
    color: Colors.backgroundDark
}
