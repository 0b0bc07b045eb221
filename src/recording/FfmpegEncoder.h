// FfmpegEncoder: IEncoder on FFmpeg. One channel's video as H.264 or HEVC in an MP4, MOV,
// Matroska or MPEG-TS file (libx264/libx265, or nvenc/vaapi/qsv where they open), or the
// camera's own MJPEG or H.264 stream written as it comes (EncoderConfig::cameraStream,
// CameraStreamPackets), one worker thread per file.
//
// Threads. open(), writeFrame(), stop(), setBitrate() and the state getters run on the
// owner's thread (the GUI thread for a take, the benchmark's own; see IEncoder). open() sets
// up the encoder and writes the file header, then starts the worker ("enc " + file name);
// from then on only the worker touches FFmpeg and the file. writeFrame()
// moves a frame (its pixels are shared, not copied) into a bounded queue under m_queueMutex and
// wakes the worker; the worker takes one frame out under the same lock and converts, encodes
// and writes it outside it. stop() sets the quit flag, wakes the worker and joins it; before
// exiting the worker encodes everything queued, flushes the encoder and completes the file.
// State for the owner (counters, hasFailed) is atomic; lastError() has a lock of its own, never
// held together with the queue lock.
//
// Files survive a crash, whatever the container (VideoFileOutput): fragments or clusters of
// at most two seconds, synced to the disk as they are written.
#pragma once

#include "recording/IEncoder.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

struct AVPacket;

class FfmpegEncoder : public IEncoder
{
public:
    FfmpegEncoder();
    ~FfmpegEncoder() override;
    FfmpegEncoder(const FfmpegEncoder &) = delete;
    FfmpegEncoder &operator=(const FfmpegEncoder &) = delete;

    bool open(const EncoderConfig &config) override;
    void writeFrame(const VideoFrame &frame) override;
    bool stop() override;
    void setBitrate(int kbps) override;

    QString lastError() const override;
    bool hasFailed() const override { return m_hasFailed.load(); }
    qint64 framesEncoded() const override { return m_framesEncoded.load(); }
    qint64 droppedFrames() const override { return m_droppedFrames.load(); }
    qint64 bytesWritten() const override { return m_bytesWritten.load(); }
    QString encoderName() const override { return m_encoderName; }
    bool needsEveryPicture() const override { return m_needsEveryPicture; }
    void setEndFrame(qint64 frameIndex) override { m_endFrame.store(frameIndex); }
    QString appliedSettings() const override { return m_appliedSettings; }
    QList<EncoderNote> settingNotes() const override { return m_settingNotes; }

    // Opens `encoderName` for a small picture and encodes one frame with it: true only when
    // that works on this machine (the driver, the device and the library are all there).
    // Takes a fraction of a second; any thread may call it.
    static bool isEncoderUsable(const QString &encoderName);

    // Frames that may wait for the worker: about two seconds at `fps`, at least 2.
    static int queueCapacityFor(double fps);

private:
    struct Output;

    void run();
    void encodeFrame(const VideoFrame &frame);
    void writeCameraPicture(const VideoFrame &frame);
    bool writePendingPackets();
    bool writePacket(AVPacket *packet);
    bool completeFile();
    void recordFailure(const QString &message);
    void setLastError(const QString &message);
    void dropFrame(bool &reported, const char *reason, qint64 frameIndex);

    // FFmpeg objects of the open file. Created by open(), then worker only until the worker
    // exits; released by stop().
    std::unique_ptr<Output> m_output;
    std::thread m_worker;

    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<VideoFrame> m_queue; // Guarded by m_queueMutex.
    bool m_stopRequested = false;   // Guarded by m_queueMutex.
    // The newest frame offered, when a full queue refused it (Guarded by m_queueMutex): stop()
    // still encodes it, so a file whose last frames were dropped lasts as long as the take
    // and an editor finds no gap at its end.
    std::optional<VideoFrame> m_refusedLastFrame;
    int m_queueCapacity = 2;        // Set by open() before the worker starts.

    mutable std::mutex m_errorMutex;
    QString m_lastError; // Guarded by m_errorMutex.

    std::atomic<bool> m_hasFailed{false};
    std::atomic<qint64> m_framesEncoded{0};
    std::atomic<qint64> m_droppedFrames{0};
    std::atomic<qint64> m_bytesWritten{0};
    std::atomic<int> m_requestedBitrateKbps{0}; // 0: no change pending
    std::atomic<qint64> m_endFrame{0};          // the take's end, for the last H.264 picture

    // Owner's thread only.
    QString m_encoderName;
    QString m_appliedSettings;
    QList<EncoderNote> m_settingNotes;
    QString m_path;
    bool m_isOpen = false;
    bool m_isStopped = false;
    bool m_needsEveryPicture = false;
    bool m_isOverflowReported = false;

    // Worker only.
    bool m_fileCompleted = false;
    qint64 m_lastFrameIndex = -1;
    bool m_isBadPictureReported = false;
    bool m_isOrderReported = false;
    bool m_isEncodeErrorReported = false;
};
