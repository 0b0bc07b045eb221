import QtQuick
import QtTest
import "qrc:/Vireon/ui/qml/Components/MeterScale.js" as MeterScale

// Amplitude to meter fraction, the peak hold and where the parts of a bar are drawn.
TestCase {
    name: "MeterScale"

    function test_fraction_data() {
        return [
            { tag: "silence", amplitude: 0, fraction: 0 },
            { tag: "threshold 0.001 is empty", amplitude: 0.001, fraction: 0 },
            { tag: "just above threshold", amplitude: 0.0011, fraction: (20 * Math.log10(0.0011) + 60) / 60 },
            { tag: "-60 dB floor", amplitude: 0.0015, fraction: (20 * Math.log10(0.0015) + 60) / 60 },
            { tag: "half is -6.02 dB", amplitude: 0.5, fraction: (60 - 6.0206) / 60 },
            { tag: "-20 dB", amplitude: 0.1, fraction: 40 / 60 },
            { tag: "full scale", amplitude: 1.0, fraction: 1 },
            { tag: "over full scale is full", amplitude: 1.5, fraction: 1 },
            { tag: "negative", amplitude: -0.5, fraction: 0 },
            { tag: "NaN", amplitude: NaN, fraction: 0 }
        ]
    }

    function test_fraction(data) {
        fuzzyCompare(MeterScale.fraction(data.amplitude), data.fraction, 1e-4)
    }

    function test_halfAmplitudeLightsAboutNinetyPercent() {
        const lit = MeterScale.litHeight(202, MeterScale.fraction(0.5))
        compare(lit, 180)
    }

    // A peak is held for 26 ticks of 25 ms counting the tick that set it, then falls by
    // 0.035 a tick until it meets the current level.
    function test_peakHoldTiming() {
        let state = MeterScale.stepPeak(0, 0, 0.8)
        compare(state.peak, 0.8)
        compare(state.holdCount, 0)
        let ticks = 1
        while (state.peak === 0.8 && ticks < 100) {
            state = MeterScale.stepPeak(state.peak, state.holdCount, 0.1)
            ++ticks
        }
        compare(ticks, 27, "the peak stays for 26 ticks and falls on the 27th")
        fuzzyCompare(state.peak, 0.8 - 0.035, 1e-9)
        compare(MeterScale.tickMs * 26, 650)

        // It falls 0.035 per tick and stops at the current level.
        let falls = 1
        while (state.peak > 0.1) {
            const before = state.peak
            state = MeterScale.stepPeak(state.peak, state.holdCount, 0.1)
            verify(before - state.peak <= 0.035 + 1e-9)
            ++falls
        }
        compare(state.peak, 0.1)
        compare(falls, Math.ceil((0.8 - 0.1) / 0.035))
    }

    function test_louderLevelResetsHold() {
        let state = { peak: 0.5, holdCount: 20 }
        state = MeterScale.stepPeak(state.peak, state.holdCount, 0.6)
        compare(state.peak, 0.6)
        compare(state.holdCount, 0)
        state = MeterScale.stepPeak(state.peak, state.holdCount, 0.6)
        compare(state.holdCount, 0, "an equal level keeps the hold fresh")
    }

    function test_peakNeverBelowCurrent() {
        const state = MeterScale.stepPeak(0.5, 30, 0.49)
        compare(state.peak, 0.49)
    }

    function test_peakLine_data() {
        return [
            { tag: "full", height: 182, peak: 1.0, y: 1, color: "#FF003C" },
            { tag: "empty", height: 182, peak: 0.0, y: 179, color: "#00FF88" },
            { tag: "half", height: 182, peak: 0.5, y: 89, color: "#00FF88" },
            { tag: "above 0.9 is red", height: 182, peak: 0.91, y: 15, color: "#FF003C" },
            { tag: "0.9 is yellow", height: 182, peak: 0.9, y: 17, color: "#FFD000" },
            { tag: "0.7 is green", height: 182, peak: 0.7, y: 53, color: "#00FF88" }
        ]
    }

    function test_peakLine(data) {
        compare(MeterScale.peakLineY(data.height, data.peak), data.y)
        compare(MeterScale.peakColor(data.peak), data.color)
    }

    function test_peakVisibility() {
        verify(!MeterScale.peakVisible(0.02))
        verify(MeterScale.peakVisible(0.021))
    }

    function test_bars() {
        verify(MeterScale.isStereo(14))
        verify(!MeterScale.isStereo(13))
        compare(MeterScale.stereoBarWidth(18), 8)
        compare(MeterScale.stereoBarWidth(6), 4)
        compare(MeterScale.unlitRows(182), 60)
        compare(MeterScale.unlitRows(2), 1)
    }

    // Labels are thinned on short meters so that neighbours (8 px text) never overlap.
    function test_labelStep_data() {
        return [
            { tag: "tall", height: 200, step: 1 },
            { tag: "exactly 9 px apart", height: 90, step: 1 },
            { tag: "short", height: 60, step: 2 },
            { tag: "shorter", height: 30, step: 5 },
            { tag: "tiny", height: 10, step: 10 }
        ]
    }

    function test_labelStep(data) {
        const step = MeterScale.labelStep(data.height)
        compare(step, data.step)
        verify(step === 10 || data.height / 10 * step >= 9)
    }

    function test_scaleMarks() {
        compare(MeterScale.markCount, 11)
        compare(MeterScale.markLabel(0), "0")
        compare(MeterScale.markLabel(1), "-6")
        compare(MeterScale.markLabel(10), "-60")
        compare(MeterScale.markY(10, 200), 200)
        compare(MeterScale.markColor(0), "#FF003C")
        compare(MeterScale.markColor(3), "#99FF00")
        compare(MeterScale.markColor(4), null)
    }
}
