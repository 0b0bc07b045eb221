// The one sample rate of the whole program: every input is read, mixed, monitored, recorded
// and laid out on the timeline at it, so no stage ever resamples another's output.
#pragma once

namespace AudioFormat {

inline constexpr int kSampleRate = 48000;

} // namespace AudioFormat
