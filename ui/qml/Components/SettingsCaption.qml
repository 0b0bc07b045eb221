import QtQuick
import Vireon

// The caption above a control of the settings window.
Text {
    font: Typography.captionBold
    color: Colors.textSecondary
    elide: Text.ElideRight
}
