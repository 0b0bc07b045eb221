// RecordingEncoder: an IEncoder for tests that keeps every frame it is handed (the pixels are
// shared, not copied), so a test sees exactly what a recording sent to a camera's file.
#pragma once

#include "recording/IEncoder.h"

#include <vector>

class RecordingEncoder : public IEncoder
{
public:
    bool open(const EncoderConfig &) override { return true; }
    void writeFrame(const VideoFrame &frame) override { frames.push_back(frame); }
    bool stop() override { return true; }
    void setBitrate(int) override {}
    QString lastError() const override { return {}; }
    bool hasFailed() const override { return false; }
    qint64 framesEncoded() const override { return qint64(frames.size()); }
    qint64 droppedFrames() const override { return 0; }
    qint64 bytesWritten() const override { return 0; }
    QString encoderName() const override { return QStringLiteral("test"); }
    bool needsEveryPicture() const override { return isEveryPicture; }
    void setEndFrame(qint64 frameIndex) override { endFrame = frameIndex; }

    std::vector<VideoFrame> frames;
    bool isEveryPicture = false; // stands in for a camera's own H.264 stream
    qint64 endFrame = -1;
};
