import QtQuick
import QtTest
import "qrc:/Vireon/ui/qml/Components/DbText.js" as DbText

// The dB readout of a fader and the parsing of what the operator types into it.
TestCase {
    name: "DbText"

    function test_displayText_data() {
        return [
            { tag: "unity", volume: 1.0, text: "+0.0 dB" },
            { tag: "half", volume: 0.5, text: "-30.0 dB" },
            { tag: "quarter", volume: 0.25, text: "-45.0 dB" },
            { tag: "silence threshold", volume: 0.005, text: "-inf dB" },
            { tag: "just above silence", volume: 0.006, text: "-59.6 dB" },
            { tag: "zero", volume: 0.0, text: "-inf dB" },
            { tag: "negative", volume: -0.2, text: "-inf dB" },
            { tag: "-6 dB", volume: 0.9, text: "-6.0 dB" }
        ]
    }

    function test_displayText(data) {
        compare(DbText.displayText(data.volume), data.text)
    }

    function test_editText_data() {
        return [
            { tag: "unity has no sign", volume: 1.0, text: "0.0" },
            { tag: "half", volume: 0.5, text: "-30.0" },
            { tag: "silence", volume: 0.005, text: "-inf" },
            { tag: "just above silence", volume: 0.006, text: "-59.6" }
        ]
    }

    function test_editText(data) {
        compare(DbText.editText(data.volume), data.text)
    }

    function test_parse_data() {
        return [
            { tag: "-6 dB", text: "-6 dB", volume: 0.9 },
            { tag: "+3 is clipped to unity", text: "+3", volume: 1.0 },
            { tag: "-75 is silence", text: "-75", volume: 0.0 },
            { tag: "exactly -60", text: "-60", volume: 0.0 },
            { tag: "zero", text: "0", volume: 1.0 },
            { tag: "MUTE", text: "MUTE", volume: 0.0 },
            { tag: "-inf", text: "-inf", volume: 0.0 },
            { tag: "inf", text: "inf", volume: 0.0 },
            { tag: "-infinity", text: "  -Infinity ", volume: 0.0 },
            { tag: "-inf dB", text: "-inf dB", volume: 0.0 },
            { tag: "upper-case DB and spaces", text: "  -30DB  ", volume: 0.5 },
            { tag: "decimal", text: "-45.0", volume: 0.25 },
            { tag: "leading dot", text: "-.6", volume: 0.99 },
            { tag: "plus and dB", text: "+0.0 dB", volume: 1.0 },
            { tag: "abc", text: "abc", volume: null },
            { tag: "empty", text: "", volume: null },
            { tag: "only dB", text: "dB", volume: null },
            { tag: "trailing garbage", text: "-6x", volume: null },
            { tag: "two numbers", text: "-6 -3", volume: null },
            { tag: "hex is not a dB value", text: "0x10", volume: null }
        ]
    }

    function test_parse(data) {
        const volume = DbText.parse(data.text)
        if (data.volume === null)
            compare(volume, null)
        else
            fuzzyCompare(volume, data.volume, 1e-9)
    }

    // What is shown and then typed back unchanged gives (nearly) the same volume.
    function test_roundTrip() {
        for (let v = 0.01; v <= 1.0; v += 0.0137) {
            const back = DbText.parse(DbText.editText(v))
            verify(Math.abs(back - v) <= 0.05 / 60 + 1e-9, "volume " + v + " came back as " + back)
        }
    }
}
