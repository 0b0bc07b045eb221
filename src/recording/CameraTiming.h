// CameraTiming: what the frame pump has learnt about one camera's pictures while a take runs.
//
// Hand-over latency: from a picture's own time stamp to the moment readers can have it
// (transfer, decoding). A UVC camera stamps a picture at the start of its frame period and
// hands it over at the end, then it is decoded: about a frame and a bit, more on a busy
// machine. A frame slot waits for the camera's picture for the largest latency of the last
// couple of seconds plus a margin (a fixed part and a quarter of that latency, for a machine
// whose load makes the latency scatter), and never longer than MaxWaitNs.
//
// Phase: a camera that runs at the timeline's rate takes its pictures at a steady place in
// every frame slot. The slot's sampling instant (a slot shows the newest picture taken before
// it) is kept half a camera frame away from that place, so the small jitter of real cameras'
// time stamps never moves a picture into the neighbouring slot; each slot shows the picture
// taken nearest to its start, within half a frame either way. Where the camera runs at
// another rate there is no such place and the instant is the middle of the slot (the nearest
// picture again). The instant stays within the slot, so a slot never shows a picture taken
// after it; a camera slightly slower or faster than the timeline gets its one repeated or
// skipped slot when its phase has moved a whole frame, not at every jitter.
//
// Plain arithmetic on the GUI thread (the frame pump's); no clock of its own.
#pragma once

#include <QtGlobal>

#include <array>

class CameraTiming
{
public:
    // The longest a slot waits for its picture: a quarter of the two seconds an encoder's
    // queue holds, so a late slot never costs the encoder its room.
    static constexpr qint64 MaxWaitNs = 500'000'000;
    // Added to the measured latency: the scatter of one picture's latency around the others'
    // (and a quarter of the latency itself).
    static constexpr qint64 MarginNs = 8'000'000;

    explicit CameraTiming(double slotNs = 1e9 / 30.0);

    // One picture: taken and handed over at these times; originNs is slot 0's start.
    void note(qint64 takenNs, qint64 arrivedNs, qint64 originNs);

    // The largest latency among the recent pictures (0 before the first).
    qint64 latencyNs() const;
    // How long after its sampling instant a slot waits for the camera's picture.
    qint64 waitNs() const;
    // Where a slot's sampling instant lies after the slot's start: between -slot/4 and the
    // slot's length (its middle while the camera is not phase-locked).
    double sampleOffsetNs() const { return m_isLocked ? m_offsetNs : m_slotNs / 2; }
    bool isPhaseLocked() const { return m_isLocked; }

private:
    static constexpr int kHistory = 64; // about two seconds of pictures
    static constexpr int kPicturesToLock = 8;

    void followPhase(double phaseNs);
    // Whether the camera runs at the slots' rate, judged by its time between pictures over the
    // recent ones: robust to their jitter and to a picture lost now and then.
    enum class RateMatch { Unknown, Same, Different };
    RateMatch rateMatch() const;

    double m_slotNs;
    std::array<qint64, kHistory> m_latencies{};
    std::array<qint64, kHistory> m_takenTimes{};
    int m_count = 0;
    int m_next = 0;
    double m_phaseNs = 0;      // smoothed place of the pictures within a slot
    int m_phaseSamples = 0;
    double m_offsetNs = 0;     // the sampling instant's place, unwrapped within [-slot/4, slot)
    bool m_isLocked = false;
    bool m_hasJudged = false;  // the rate has been found the slots' or another
};
