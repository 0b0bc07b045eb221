// FFmpeg's own messages go to the program's log, warnings and errors only, tagged
// "[FFmpeg]". Encoders log from their worker threads; the log handler copes with that.
#pragma once

namespace FfmpegLog {

void install();

} // namespace FfmpegLog
