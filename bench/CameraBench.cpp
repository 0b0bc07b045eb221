#include "CameraBench.h"

#include "app/ApplicationManager.h"
#include "capture/V4l2Kernel.h"
#include "common/FfmpegPtr.h"
#include "common/MemoryTuning.h"
#include "common/MonotonicClock.h"
#include "models/VideoStreamItem.h"

#include "NaturalScene.h"
#include "SimulatedV4l2Kernel.h"
#include "SimulatedWebcam.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <ctime>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace {

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

qint64 statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

qint64 residentBytes()
{
    return statusKilobytes("VmRSS:") * 1024;
}

qint64 peakResidentBytes()
{
    return statusKilobytes("VmHWM:") * 1024;
}

void resetPeakResidentBytes()
{
    // Writing 5 to clear_refs resets the peak resident size (Linux 4.0 and later).
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

void tuneAllocatorLikeTheProgram()
{
    tunePictureMemory();
}

QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(double(bytes) / 1e6, 0, 'f', 0);
}

qint64 countVideoPackets(const QString &path)
{
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return -1;
    qint64 packets = 0;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        PacketPtr packet(av_packet_alloc());
        while (stream >= 0 && av_read_frame(format, packet.get()) >= 0) {
            if (packet->stream_index == stream)
                ++packets;
            av_packet_unref(packet.get());
        }
    }
    avformat_close_input(&format);
    return packets;
}

bool runChildren(const std::vector<std::vector<QByteArray>> &commands, double *cpuSeconds, double *wallSeconds,
                 qint64 *peakChildBytes)
{
    const qint64 startNs = monotonicNowNs();
    std::vector<pid_t> children;
    for (const auto &command : commands) {
        std::vector<char *> argv;
        for (const QByteArray &argument : command)
            argv.push_back(const_cast<char *>(argument.constData()));
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[0], argv.data());
            _exit(127);
        }
        if (pid > 0)
            children.push_back(pid);
    }
    bool ok = children.size() == commands.size();
    *cpuSeconds = 0;
    qint64 peak = 0;
    for (pid_t pid : children) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        *cpuSeconds += seconds(usage.ru_utime) + seconds(usage.ru_stime);
        peak = std::max<qint64>(peak, qint64(usage.ru_maxrss) * 1024);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    *wallSeconds = double(monotonicNowNs() - startNs) / 1e9;
    if (peakChildBytes)
        *peakChildBytes = peak;
    return ok;
}

std::vector<QByteArray> naturalSceneMjpeg(int count, int quantiser, const QString &file)
{
    const std::vector<RgbPicture> scene = renderNaturalScene(kWidth, kHeight, count);
    std::vector<QByteArray> jpegs;
    QFile out(file);
    const bool isWritten = out.open(QIODevice::WriteOnly);
    for (const RgbPicture &picture : scene) {
        jpegs.push_back(encodeSimulatedPicture(picture, V4L2_PIX_FMT_MJPEG, 0, quantiser));
        if (isWritten)
            out.write(jpegs.back());
    }
    return jpegs;
}

TakeResult recordTake(const TakeSetup &setup)
{
    TakeResult result;
    result.cameras = setup.cameras;
    auto kernel = std::make_shared<SimulatedV4l2Kernel>();
    installV4l2Kernel(kernel);
    {
        ApplicationManager manager;
        manager.setRecordingPath(setup.folder);
        manager.setActiveSessionName(QStringLiteral("Cameras_%1_%2").arg(setup.cameras).arg(setup.mode));
        manager.setDefaultCameraRecordingMode(setup.mode);
        std::vector<int> cameras;
        for (int n = 1; n <= setup.cameras; ++n) {
            SimulatedCameraSpec spec = simulatedWebcam(n);
            spec.pictures = setup.pictures;
            spec.deliveryDelayNs = setup.handOverNs;
            cameras.push_back(kernel->addCamera(spec));
            manager.setCameraForChannel(n, kernel->deviceKey(cameras.back()), kWidth, kHeight, float(kFps),
                                        QStringLiteral("Default"), QStringLiteral("MJPEG"));
        }
        // The monitoring grid's live items, one per channel, polling as the interface does.
        VideoStreamItem::setSourceLookup([&manager](int id) { return manager.sourceForChannel(id); });
        std::vector<std::unique_ptr<VideoStreamItem>> previews;
        for (int n = 1; setup.previewWidth > 0 && n <= setup.cameras; ++n) {
            previews.push_back(std::make_unique<VideoStreamItem>());
            previews.back()->setSize(QSizeF(setup.previewWidth, setup.previewHeight));
            previews.back()->setChannelIndex(n);
        }
        wait(1500); // the cameras settle, their rates and stream sizes are measured

        if (setup.phase >= 0 && !cameras.empty()) {
            // Start when the first camera's pictures lie `phase` frames into a slot.
            const qint64 frameNs = 1'000'000'000 / kFps;
            const qint64 into = (monotonicNowNs() - kernel->streamStartNs(cameras.front())) % frameNs;
            const qint64 wanted = qint64((1.0 - setup.phase) * double(frameNs)) % frameNs;
            const qint64 waitNs = (wanted - into + 2 * frameNs) % frameNs;
            const qint64 untilNs = monotonicNowNs() + waitNs;
            while (monotonicNowNs() < untilNs) {
            }
        }

        QEventLoop loop;
        QObject::connect(&manager, &ApplicationManager::takeFinished, &loop, &QEventLoop::quit);
        QTimer memory;
        const qint64 startNs = monotonicNowNs();
        QObject::connect(&memory, &QTimer::timeout, [&] {
            result.residentOverTime.append({int((monotonicNowNs() - startNs) / 1'000'000'000), residentBytes()});
        });
        memory.start(setup.memorySampleSeconds * 1000);
        resetPeakResidentBytes();
        const double cpuBefore = processCpuSeconds();
        manager.startRecording();
        manager.limitTakeLength(qint64(setup.seconds) * 1000);
        if (manager.isRecording())
            loop.exec();
        result.wallSeconds = double(monotonicNowNs() - startNs) / 1e9;
        result.cpuSeconds = processCpuSeconds() - cpuBefore;
        result.peakBytes = peakResidentBytes();
        memory.stop();
        previews.clear();
        VideoStreamItem::setSourceLookup({});

        const qint64 expected = qint64(setup.seconds) * kFps;
        result.complete = true;
        const QStringList files = QDir(manager.currentTakeFolder()).entryList({QStringLiteral("Camera_*")}, QDir::Files, QDir::Name);
        for (int n = 1; n <= setup.cameras; ++n) {
            const QVariantMap health = manager.getCameraHealthForChannel(n);
            const QString file = files.value(n - 1);
            const qint64 packets = countVideoPackets(QDir(manager.currentTakeFolder()).filePath(file));
            const qint64 dropped = health.value(QStringLiteral("droppedFrames")).toLongLong();
            const qint64 repeated = health.value(QStringLiteral("repeatedFrames")).toLongLong();
            result.frames += std::max<qint64>(0, packets);
            result.dropped += dropped;
            result.repeated += repeated;
            result.skipped += health.value(QStringLiteral("skippedPictures")).toLongLong();
            result.latencyMs = std::max(result.latencyMs, health.value(QStringLiteral("latencyMs")).toDouble());
            result.complete = result.complete && std::abs(packets - expected) <= 1 && dropped == 0 && repeated == 0;
            result.detail += QStringLiteral(" %1:%2").arg(file).arg(packets);
        }
    }
    installV4l2Kernel(nullptr);
    return result;
}

} // namespace bench
