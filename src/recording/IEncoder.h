// IEncoder: one channel's video encoder, writing one video file (MP4, MKV, MOV or TS) per take.
//
// Ownership and callers. Every encoder has one owner, and one thread calls it at a time: the
// owner's. Today there are two:
//   - a take, on the GUI thread: the manager opens one encoder per camera as the take starts
//     and hands it over to the take (TakeRecorder), whose recording tick gives it a frame on
//     every frame slot and reads its state; the take stops and releases it at its end;
//   - the hardware benchmark (EncoderBenchmarkRun): its own thread makes, feeds, stops and
//     destroys one encoder at a time.
// The order is always open() once, writeFrame() and the getters, stop(), destruction. An
// implementation encodes on a worker thread of its own, so writeFrame() never waits for the
// encoder; its getters may be read while that worker runs.
#pragma once

#include "capture/VideoFrame.h"
#include "recording/EncoderConfig.h"
#include "recording/EncoderSetup.h"

#include <QList>

#include <QString>
#include <QtGlobal>

class IEncoder
{
public:
    // Completes the file when stop() was not called.
    virtual ~IEncoder() = default;

    // Creates the file and starts the worker. false (with lastError()) when nothing will be
    // recorded; the encoder is then inert.
    virtual bool open(const EncoderConfig &config) = 0;

    // Queues a frame (the pixels are shared, not copied). Ignored before a successful open()
    // and after stop(). When about two seconds of frames are already waiting, or after a write
    // failure, the frame is dropped and counted instead.
    virtual void writeFrame(const VideoFrame &frame) = 0;

    // Encodes everything queued, flushes the encoder, completes the file. false when the file
    // is incomplete (a write failed, the disk is full) or the encoder never opened. Calling it
    // again returns the same result and does nothing else.
    virtual bool stop() = 0;

    // True for an encoder that must get every picture of its camera in order (a stream whose
    // pictures depend on the ones before, written as it comes); the frame pump then hands each
    // over at the slot it falls in, gaps in frameIndex marking slots the previous picture fills.
    virtual bool needsEveryPicture() const { return false; }
    // The take ends at this frame index: the last picture lasts until then. Only encoders that
    // need every picture care; the others get a frame for every slot.
    virtual void setEndFrame(qint64 frameIndex) { Q_UNUSED(frameIndex); }

    // Changes the target bitrate of a running constant- or variable-bitrate take from the
    // next frame on (a constant-quality take ignores it).
    virtual void setBitrate(int kbps) = 0;

    // The first failure: open, a write, the trailer. Empty when all is well.
    virtual QString lastError() const = 0;
    // A write error or a full disk happened after open(): the file stops growing and the
    // caller should end the take (what was written before stays playable).
    virtual bool hasFailed() const = 0;
    // Frames handed to the encoder since open().
    virtual qint64 framesEncoded() const = 0;
    // Frames lost since open(): queue overflow, unusable pictures, encode or write failures.
    virtual qint64 droppedFrames() const = 0;
    // Bytes that have reached the file.
    virtual qint64 bytesWritten() const = 0;
    // The encoder really in use after any fall-back ("libx264", "hevc_nvenc", ...), empty
    // before a successful open().
    virtual QString encoderName() const = 0;
    // What the file is really written with, for the take's log ("libx264, profile High,
    // CBR 16000 kbps, 29.97 fps (30000/1001), 1280x720, Rec.709 limited"); empty before a
    // successful open(). An encoder that cannot tell says nothing.
    virtual QString appliedSettings() const { return QString(); }
    // The settings it could not honour as asked, with what it does instead.
    virtual QList<EncoderNote> settingNotes() const { return {}; }
};
