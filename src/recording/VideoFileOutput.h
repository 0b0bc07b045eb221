// VideoFileOutput: one camera's video file (MP4, MOV, Matroska or MPEG-TS) with its one video
// stream, written so a crash or a power cut leaves it playable up to its last seconds:
//   MP4, MOV  fragmented (an empty index up front, then self-contained fragments of at most
//             two seconds, starting at key frames where the stream has few of them); a
//             timecode (tmcd) track.
//   Matroska  clusters of at most two seconds; the timecode as the track's TIMECODE tag.
//   MPEG-TS   streamable by nature, every frame reaches the file as it is written; no
//             timecode (the muxer has no place for it; the take's timeline still has it).
// Every piece reaches the operating system as soon as it is complete and is synced to the
// disk at least every two seconds of video. A write that fails (a full disk) cuts the file
// back to its last whole piece and leaves it refusing further writes.
//
// Follows the order of FFmpeg's mux example: create() makes the muxer and the stream, the
// caller fills the stream's parameters (from an encoder, or the camera's own stream),
// openFile() creates the file, writeHeader() writes its header (for a camera's H.264 stream
// once its first key frame has told the parameter sets), writePacket() for each packet,
// finish() writes the trailer and closes. Not thread-safe: FfmpegEncoder calls it from its open() and then from
// its worker only.
#pragma once

#include "common/FfmpegPtr.h"
#include "recording/EncoderConfig.h"

#include <QString>

class VideoFileOutput
{
public:
    VideoFileOutput() = default;
    ~VideoFileOutput();
    VideoFileOutput(const VideoFileOutput &) = delete;
    VideoFileOutput &operator=(const VideoFileOutput &) = delete;

    // The muxer for config's path and container with one video stream. False with *error.
    bool create(const EncoderConfig &config, QString *error);
    AVStream *stream() const { return m_stream; }
    // The container wants the codec's parameter sets out of band (MP4, MOV, Matroska).
    bool needsGlobalHeader() const;

    // How the stream is cut into crash-safe pieces. A stream of key frames only (the camera's
    // MJPEG) gets fragments by time, and is synced by time too, not at every key frame.
    enum class Stream { Predicted, KeyFramesOnly };
    // Sets the start timecode and creates the file. False with *error.
    bool openFile(const EncoderConfig &config, Stream stream, QString *error);
    // Writes the header (a file whose header cannot be written is removed). False with *error.
    bool writeHeader(QString *error);
    bool isOpen() const { return m_isOpen; }

    // Writes one packet whose times are in `timeBase`. False with *error after a write or
    // sync failure; the file then keeps its last whole piece.
    bool writePacket(AVPacket *packet, AVRational timeBase, QString *error);
    // Writes the trailer, syncs and closes. False with *error when the file is incomplete.
    bool finish(QString *error);

    // Bytes of the file after its last complete write: header and whole pieces.
    qint64 goodBytes() const { return m_goodBytes; }

private:
    // After every write: counts what reached the file and syncs it when due.
    bool syncIfGrown(qint64 mediaTimeUs, bool isFinal, QString *error);
    void cutBackAfterFailure();

    OutputContextPtr m_format;
    AVStream *m_stream = nullptr; // owned by m_format
    QString m_path;
    RecordingContainer m_container = RecordingContainer::Mp4;
    Stream m_streamKind = Stream::Predicted;
    bool m_isOpen = false;
    // A second descriptor of the file, to push what was written to the disk (FFmpeg's own I/O
    // does not sync, and syncing applies to the file, whichever descriptor wrote it) and to cut
    // a half-written fragment off after a failed write.
    int m_fileDescriptor = -1;
    qint64 m_goodBytes = 0;
    // MP4, MOV and Matroska files of a predicted stream grow by whole fragments or clusters, at
    // most one per two seconds: each is synced as it arrives. MPEG-TS and key-frame-only
    // streams grow with every frame: syncing each would cost a disk flush per frame, so they
    // are synced once two seconds of video have been written since the last sync.
    bool m_syncsOnGrowth = true;
    qint64 m_syncedBytes = 0;
    qint64 m_lastSyncMediaUs = 0;
    bool m_hasSynced = false;
};
