// The program's channels, numbered 1 to 4: each holds one camera, one audio input and their
// files, and the keys 1-4, the phone's buttons and the timeline's tracks count the same way.
#pragma once

namespace ChannelRange {

inline constexpr int kFirst = 1;
inline constexpr int kLast = 4;

constexpr bool contains(int channelId)
{
    return channelId >= kFirst && channelId <= kLast;
}

} // namespace ChannelRange
