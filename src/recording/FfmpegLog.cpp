#include "recording/FfmpegLog.h"

#include <QDebug>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>

namespace {

void forward(void *avClass, int level, const char *format, va_list args)
{
    if (level > av_log_get_level())
        return;
    char line[1024];
    int printPrefix = 1;
    av_log_format_line2(avClass, level, format, args, line, sizeof line, &printPrefix);
    const QString text = QString::fromUtf8(line).trimmed();
    if (text.isEmpty())
        return;
    if (level <= AV_LOG_ERROR)
        qWarning().noquote() << "[FFmpeg] error:" << text;
    else
        qWarning().noquote() << "[FFmpeg]" << text;
}

} // namespace

namespace FfmpegLog {

void install()
{
    av_log_set_level(AV_LOG_WARNING);
    av_log_set_callback(forward);
}

} // namespace FfmpegLog
