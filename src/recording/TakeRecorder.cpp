#include "recording/TakeRecorder.h"

#include "common/MonotonicClock.h"
#include "recording/IEncoder.h"
#include "recording/TakeAudioWriter.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <limits>

namespace {

constexpr int kAudioChannels = 2;
constexpr qint64 kNsPerSecond = 1000000000;

} // namespace

TakeRecorder::TakeRecorder(FrameRate rate, int sampleRate, Clock clock)
    : m_sampleRate(sampleRate)
    , m_clock(clock ? std::move(clock) : Clock(monotonicNowNs))
    , m_framePump(rate)
    , m_audio(std::make_unique<TakeAudioWriter>(sampleRate, kAudioChannels))
{
}

TakeRecorder::~TakeRecorder()
{
    if (m_started)
        finish([](int) { return std::shared_ptr<ISource>(); });
}

void TakeRecorder::setAudioPartLimitBytes(quint32 bytes)
{
    m_audio->setPartSizeLimitBytes(bytes);
}

bool TakeRecorder::openMasterAudio(const QString &path, const std::optional<BroadcastWavInfo> &broadcastInfo)
{
    m_masterFile = m_audio->addFile(path, broadcastInfo);
    return m_masterFile >= 0;
}

bool TakeRecorder::openChannelAudio(int channelId, const QString &path,
                                    const std::optional<BroadcastWavInfo> &broadcastInfo)
{
    const int file = m_audio->addFile(path, broadcastInfo);
    if (file < 0)
        return false;
    m_channelFiles[channelId] = file;
    return true;
}

QString TakeRecorder::lastOpenError() const
{
    return m_audio->openError();
}

void TakeRecorder::addCamera(int channelId, std::shared_ptr<IEncoder> encoder, int width, int height)
{
    m_framePump.addChannel(channelId, std::move(encoder), width, height);
}

qint64 TakeRecorder::joiningFrame() const
{
    if (!m_started)
        return 0;
    // The slot that begins after now: every picture it holds is taken after the camera joined.
    return m_framePump.slotsStartedBy(m_clock() - m_startNs);
}

void TakeRecorder::addJoiningCamera(int channelId, std::shared_ptr<IEncoder> encoder, int width, int height)
{
    if (m_finished)
        return;
    m_framePump.addChannel(channelId, std::move(encoder), width, height, joiningFrame());
}

bool TakeRecorder::hasOpenFile() const
{
    return m_audio->fileCount() > 0 || !m_framePump.isEmpty();
}

void TakeRecorder::start()
{
    start(m_clock());
}

void TakeRecorder::start(qint64 startNs)
{
    if (m_started)
        return;
    m_startNs = startNs;
    m_framePump.setStartTime(m_startNs);
    m_audio->start();
    m_started = true;
    // Started after its instant: the inputs' sound begins now, so the time before it is
    // silence and every file stays in step with the video from its first frame.
    const qint64 lateFrames = std::max<qint64>(0, (m_clock() - m_startNs) * m_sampleRate / kNsPerSecond);
    if (lateFrames > 0) {
        const std::vector<float> silence(size_t(lateFrames) * kAudioChannels, 0.0f);
        writeAudio(m_masterFile, silence);
        for (const auto &[channelId, file] : m_channelFiles)
            writeAudio(file, silence);
        m_audioFrames = lateFrames;
    }
}

qint64 TakeRecorder::nowNs() const
{
    return m_clock();
}

bool TakeRecorder::isLengthReached() const
{
    return m_started && m_lengthLimitNs > 0 && m_clock() - m_startNs >= m_lengthLimitNs;
}

qint64 TakeRecorder::endNs() const
{
    const qint64 now = m_clock();
    return m_lengthLimitNs > 0 ? std::min(now, m_startNs + m_lengthLimitNs) : now;
}

void TakeRecorder::writeAudio(int file, const std::vector<float> &samples)
{
    if (file >= 0 && !samples.empty())
        m_audio->append(file, samples.data(), qsizetype(samples.size()));
}

void TakeRecorder::appendAudio(const std::vector<float> &master,
                               const std::map<int, std::vector<float>> &channels, bool hasAudioInputs,
                               const std::map<int, qint64> &filledFrames)
{
    if (!m_started || m_finished)
        return;

    // The inputs, brought to the take's clock, give the audio its length. Without any input
    // the take's audio is silence as long as the take, so the files keep step with the video.
    qint64 frames = qint64(master.size()) / kAudioChannels;
    const bool silent = master.empty() && !hasAudioInputs;
    if (silent) {
        const qint64 due = (endNs() - m_startNs) * m_sampleRate / kNsPerSecond;
        frames = std::max<qint64>(0, due - m_audioFrames);
    }
    // A take of limited length keeps exactly its length of audio.
    if (m_lengthLimitNs > 0) {
        const qint64 room = m_lengthLimitNs * m_sampleRate / kNsPerSecond - m_audioFrames;
        frames = std::clamp<qint64>(frames, 0, std::max<qint64>(0, room));
    }
    const size_t samples = size_t(frames) * kAudioChannels;

    if (silent) {
        writeAudio(m_masterFile, std::vector<float>(samples, 0.0f));
    } else if (samples == master.size()) {
        writeAudio(m_masterFile, master);
    } else {
        writeAudio(m_masterFile, std::vector<float>(master.begin(), master.begin() + qsizetype(samples)));
    }
    m_audioFrames += frames;

    for (const auto &[channelId, file] : m_channelFiles) {
        auto output = channels.find(channelId);
        if (output != channels.end()) {
            const size_t take = std::min(output->second.size(), samples);
            if (take == output->second.size())
                writeAudio(file, output->second);
            else
                writeAudio(file, std::vector<float>(output->second.begin(), output->second.begin() + qsizetype(take)));
            if (auto filled = filledFrames.find(channelId); filled != filledFrames.end() && filled->second > 0)
                m_channelSilence[channelId] += filled->second;
        }
    }
    padChannelsToMaster(true);
}

void TakeRecorder::padChannelsToMaster(bool countAsSilence)
{
    // A channel whose input stopped keeps time with silence.
    for (const auto &[channelId, file] : m_channelFiles) {
        const qint64 missing = m_audioFrames - m_audio->framesAppended(file);
        if (missing <= 0)
            continue;
        writeAudio(file, std::vector<float>(size_t(missing) * kAudioChannels, 0.0f));
        if (countAsSilence)
            m_channelSilence[channelId] += missing;
    }
}

qint64 TakeRecorder::channelSilenceFrames(int channelId) const
{
    const auto it = m_channelSilence.find(channelId);
    return it == m_channelSilence.end() ? 0 : it->second;
}

void TakeRecorder::pumpFrames(const FramePump::SourceLookup &sourceFor)
{
    if (!m_started || m_finished)
        return;
    const qint64 limit = m_lengthLimitNs > 0 ? m_framePump.slotsCovering(m_lengthLimitNs)
                                             : std::numeric_limits<qint64>::max();
    m_framePump.pump(m_clock(), limit, sourceFor);
}

QString TakeFailure::text() const
{
    switch (file) {
    case File::Camera: return QStringLiteral("Camera %1: %2").arg(channelId).arg(error);
    case File::MasterAudio: return QStringLiteral("Master audio: %1").arg(error);
    case File::ChannelAudio: return QStringLiteral("Channel %1 audio: %2").arg(channelId).arg(error);
    case File::OtherAudio: return QStringLiteral("Audio: %1").arg(error);
    case File::None: break;
    }
    return QString();
}

QString TakeRecorder::failure() const
{
    return failureDetail().text();
}

TakeFailure TakeRecorder::failureDetail() const
{
    TakeFailure failure;
    m_framePump.forEachEncoder([&](int channelId, const IEncoder &encoder) {
        if (failure.isEmpty() && encoder.hasFailed())
            failure = TakeFailure{TakeFailure::File::Camera, channelId, encoder.lastError()};
    });
    if (!failure.isEmpty() || !m_audio->hasFailed())
        return failure;
    int file = -1;
    const QString error = m_audio->failure(&file);
    if (file == m_masterFile)
        return TakeFailure{TakeFailure::File::MasterAudio, 0, error};
    for (const auto &[channelId, channelFile] : m_channelFiles) {
        if (channelFile == file)
            return TakeFailure{TakeFailure::File::ChannelAudio, channelId, error};
    }
    return TakeFailure{TakeFailure::File::OtherAudio, 0, error};
}

qint64 TakeRecorder::bytesWritten() const
{
    qint64 bytes = m_audio->bytesWritten();
    m_framePump.forEachEncoder([&](int, const IEncoder &encoder) { bytes += encoder.bytesWritten(); });
    return bytes;
}

qint64 TakeRecorder::droppedFrames() const
{
    qint64 dropped = 0;
    m_framePump.forEachEncoder([&](int, const IEncoder &encoder) { dropped += encoder.droppedFrames(); });
    return dropped;
}

TakeCameraFigures TakeRecorder::cameraFigures(int channelId) const
{
    TakeCameraFigures figures;
    m_framePump.forEachEncoder([&](int id, const IEncoder &encoder) {
        if (id != channelId)
            return;
        figures.startFrame = m_framePump.firstSlot(id);
        figures.frames = m_framePump.framesSent(id);
        figures.dropped = encoder.droppedFrames();
        figures.repeated = m_framePump.repeatedFrames(id);
        figures.skipped = m_framePump.skippedPictures(id);
        figures.latencyNs = m_framePump.latencyNs(id);
    });
    return figures;
}

void TakeRecorder::waitForAudioWrites()
{
    m_audio->waitUntilWritten();
}

void TakeRecorder::waitForLastPictures(qint64 totalFrames, const FramePump::SourceLookup &sourceFor)
{
    if (totalFrames < 1)
        return;
    const qint64 closingNs = std::min(m_framePump.closingTimeNs(totalFrames - 1), m_clock() + CameraTiming::MaxWaitNs);
    QElapsedTimer waited;
    waited.start();
    qint64 previousNs = m_clock();
    while (!m_framePump.hasSent(totalFrames) && m_clock() < closingNs) {
        m_framePump.pump(m_clock(), totalFrames, sourceFor);
        QThread::msleep(2);
        // A take on a clock that does not move by itself (a test's) has nothing to wait for.
        if (m_clock() == previousNs && waited.elapsed() > 20)
            break;
        previousNs = m_clock();
    }
}

TakeReport TakeRecorder::finish(const FramePump::SourceLookup &sourceFor)
{
    if (m_finished || !m_started)
        return m_report;
    const qint64 end = endNs();
    // Video ends where audio ends: every slot up to the end gets its frame, the last ones the
    // pictures still on their way from the cameras.
    const qint64 totalFrames = m_framePump.slotsCovering(end - m_startNs);
    waitForLastPictures(totalFrames, sourceFor);
    m_framePump.fill(totalFrames, sourceFor);
    if (m_lengthLimitNs > 0) {
        // The last milliseconds that had not arrived from the inputs by the stop: silence, so
        // every file is exactly as long as the take. (Not counted as an input's silence.)
        const qint64 missing = (end - m_startNs) * m_sampleRate / kNsPerSecond - m_audioFrames;
        if (missing > 0) {
            writeAudio(m_masterFile, std::vector<float>(size_t(missing) * kAudioChannels, 0.0f));
            m_audioFrames += missing;
            padChannelsToMaster(false);
        }
    }
    m_finished = true;

    m_report.durationNs = end - m_startNs;
    m_report.framesSent = m_framePump.totalFramesSent();
    m_framePump.forEachEncoder([this](int channelId, IEncoder &encoder) {
        if (!encoder.stop())
            qWarning() << "[TakeRecorder] Video file of channel" << channelId << "is incomplete:" << encoder.lastError();
    });
    m_report.droppedFrames = droppedFrames();
    m_report.repeatedFrames = m_framePump.totalRepeatedFrames();
    m_framePump.forEachEncoder([this](int channelId, const IEncoder &) {
        m_report.cameras[channelId] = cameraFigures(channelId);
    });
    const TakeFailure videoFailure = failureDetail();
    m_framePump.clear();

    m_audio->finish();
    m_report.hasMasterAudio = m_masterFile >= 0;
    if (m_masterFile >= 0)
        m_report.masterAudio = TakeAudioFile{m_audio->partPaths(m_masterFile), m_audio->partFrames(m_masterFile)};
    for (const auto &[channelId, file] : m_channelFiles)
        m_report.channelAudio[channelId] = TakeAudioFile{m_audio->partPaths(file), m_audio->partFrames(file)};
    for (const auto &[channelId, frames] : m_channelSilence) {
        if (frames > 0)
            m_report.channelSilenceFrames[channelId] = frames;
    }
    m_report.failureDetail = videoFailure.isEmpty() ? failureDetail() : videoFailure;
    m_report.failure = m_report.failureDetail.text();
    return m_report;
}
