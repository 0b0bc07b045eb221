// TakeRecorder: one take being recorded, from its first file to its last finalised byte.
// The application manager decides where a take goes and with which settings; this class
// opens nothing on its own but records what it is given: the camera encoders fed by the
// frame pump, the master and channel WAV files written by the take's audio writer thread
// (in parts past 4 GiB), the audio of every mixer tick kept in step with the video clock,
// the failure check, and stop and finalise.
//
// Threads: every call runs on the GUI thread (the manager's start and stop, its 25 ms audio
// tick and its 33 ms recording tick). The encoders' workers and the thread of
// TakeAudioWriter are the only other threads; they are reached through those classes.
//
// Clock: the take runs on an injected clock (the monotonic clock by default), the one the
// audio inputs are brought to and the frame slots count on, so a test records a long take
// in simulated time.
//
// Sequence: open*/addCamera → start() → appendAudio()/pumpFrames() ticks, failure() polled
// → finish(), which returns what was written. Destruction finishes a take still running.
#pragma once

#include "recording/BroadcastWav.h"
#include "recording/FramePump.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class IEncoder;
class TakeAudioWriter;

// One audio track of a take as written: its files in order and the frames each holds.
struct TakeAudioFile
{
    QStringList parts;
    QList<qint64> partFrames;
};

// One camera of a take: frames written, lost in the encoder's queue, frame slots that got no
// new picture (the camera behind or lost), pictures no slot showed, and the camera's
// hand-over latency as the frame pump measured it.
struct TakeCameraFigures
{
    qint64 startFrame = 0; // the take's frame its file begins with: > 0 for a camera that joined
    qint64 frames = 0;
    qint64 dropped = 0;
    qint64 repeated = 0;
    qint64 skipped = 0;
    qint64 latencyNs = 0;
};

// The first write failure of a take: which file, and the writer's own text.
struct TakeFailure
{
    enum class File { None, Camera, MasterAudio, ChannelAudio, OtherAudio };
    File file = File::None;
    int channelId = 0; // of a camera or a channel's audio
    QString error;

    bool isEmpty() const { return file == File::None; }
    // "Camera 2: ...", "Master audio: ...", "Channel 1 audio: ...", "Audio: ...".
    QString text() const;
};

// What a finished take wrote, for the timeline, the log and the interface.
struct TakeReport
{
    qint64 durationNs = 0;
    qint64 framesSent = 0;       // all cameras together
    qint64 droppedFrames = 0;    // lost in the encoders' queues
    qint64 repeatedFrames = 0;   // frame slots without a new picture
    std::map<int, TakeCameraFigures> cameras; // channel id → its camera's figures
    bool hasMasterAudio = false;
    TakeAudioFile masterAudio;
    std::map<int, TakeAudioFile> channelAudio; // channel id → its separate track
    // Channel id → frames of its track that are silence put in for an input that had nothing
    // (lost, or late): the track keeps time with the take. Only channels that had any.
    std::map<int, qint64> channelSilenceFrames;
    QString failure;             // the first write failure, empty when none
    TakeFailure failureDetail;   // the same, by file
};

class TakeRecorder
{
public:
    using Clock = std::function<qint64()>;

    TakeRecorder(FrameRate rate, int sampleRate, Clock clock = {});
    ~TakeRecorder();
    TakeRecorder(const TakeRecorder &) = delete;
    TakeRecorder &operator=(const TakeRecorder &) = delete;

    // --- before start() ---
    // The size of one WAV part (tests reach it without writing 4 GiB).
    void setAudioPartLimitBytes(quint32 bytes);
    // The track's files are Broadcast WAV files when `broadcastInfo` is given (its time
    // reference that of the take's first sample).
    bool openMasterAudio(const QString &path, const std::optional<BroadcastWavInfo> &broadcastInfo = std::nullopt);
    bool openChannelAudio(int channelId, const QString &path,
                          const std::optional<BroadcastWavInfo> &broadcastInfo = std::nullopt);
    // Why the last open*Audio() failed.
    QString lastOpenError() const;
    void addCamera(int channelId, std::shared_ptr<IEncoder> encoder, int width, int height);
    // --- while it runs ---
    // A camera that joins the running take: its file begins with the frame slot that starts
    // next, the take's frame `joiningFrame()`.
    qint64 joiningFrame() const;
    void addJoiningCamera(int channelId, std::shared_ptr<IEncoder> encoder, int width, int height);
    bool hasCamera(int channelId) const { return m_framePump.hasChannel(channelId); }
    bool hasMasterAudio() const { return m_masterFile >= 0; }
    // At least one file is open: a take without any would record nothing.
    bool hasOpenFile() const;
    int cameraCount() const { return m_framePump.channelCount(); }

    // Frame slot 0 and audio frame 0 begin now (on the take's clock).
    void start();
    // ... or at `startNs` of the take's clock: a studio take begins at an instant planned
    // ahead, and the tick that starts it may come after it (a busy machine). The audio files
    // then begin with silence up to now, the frame slots from the instant.
    void start(qint64 startNs);
    qint64 startNs() const { return m_startNs; }
    qint64 nowNs() const;
    // Ends the take after exactly lengthNs: files hold that much audio and video however
    // late the stop comes. 0: until stopped.
    void limitLength(qint64 lengthNs) { m_lengthLimitNs = lengthNs; }
    bool isLengthReached() const;

    // --- the ticks ---
    // The mixer's output of one audio tick (interleaved stereo; channel outputs by id), and
    // how many frames of each channel output are silence the mixer filled in for an input that
    // had nothing. With no audio input at all the take's audio is silence as long as the take.
    void appendAudio(const std::vector<float> &master, const std::map<int, std::vector<float>> &channels,
                     bool hasAudioInputs, const std::map<int, qint64> &filledFrames = {});
    // Fills every frame slot whose picture has arrived or waited long enough (FramePump).
    void pumpFrames(const FramePump::SourceLookup &sourceFor);
    // The first write failure of any file ("Camera 2: ...", "Master audio: ...", "Channel 1
    // audio: ..."): the caller stops the take. Empty while all is well.
    QString failure() const;
    TakeFailure failureDetail() const;

    // --- read-outs ---
    const FramePump &framePump() const { return m_framePump; }
    qint64 audioFramesAppended() const { return m_audioFrames; }
    qint64 bytesWritten() const;
    qint64 droppedFrames() const;
    // The figures of one camera so far (zero for a channel without a camera in the take).
    TakeCameraFigures cameraFigures(int channelId) const;
    // Waits until the audio queued so far is in the files (tests).
    void waitForAudioWrites();

    // Frames of silence a channel's track holds so far for an input that had nothing.
    qint64 channelSilenceFrames(int channelId) const;

    // --- stop ---
    // Fills the last frame slots up to the end, stops every encoder, writes the queued audio
    // and finalises every file; a take of limited length gets silence for audio that had not
    // arrived, so every file holds exactly its length. Idempotent; the report of the first
    // call is kept.
    TakeReport finish(const FramePump::SourceLookup &sourceFor);

private:
    qint64 endNs() const;
    void waitForLastPictures(qint64 totalFrames, const FramePump::SourceLookup &sourceFor);
    void writeAudio(int file, const std::vector<float> &samples);
    // Channel tracks catch up with the master by silence, counted as the input's when it is.
    void padChannelsToMaster(bool countAsSilence);

    const int m_sampleRate;
    Clock m_clock;
    FramePump m_framePump;
    std::unique_ptr<TakeAudioWriter> m_audio;
    int m_masterFile = -1;
    std::map<int, int> m_channelFiles; // channel id → file of the audio writer
    qint64 m_startNs = 0;
    qint64 m_lengthLimitNs = 0;
    qint64 m_audioFrames = 0; // master frames appended (the take's audio length)
    std::map<int, qint64> m_channelSilence; // channel id → frames of silence put in
    bool m_started = false;
    bool m_finished = false;
    TakeReport m_report;
};
