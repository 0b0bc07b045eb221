// CPU time per 1080p frame of FfmpegEncoder against the ffmpeg command line encoding the same
// frames with the same settings, measured in the same run so the ratio means the same on any
// machine. Both start from RGBA pictures and include the colour conversion, the encoder's
// start-up and writing a fragmented MP4; the command line also reads its frames from a pipe.
//
//   bench_encoder [frames] [--content pattern|busy] [--keep DIR] [--encoder-only]
//   bench_encoder --channels N [--seconds S] [--content pattern|busy]
//
// The second form runs N encoders at once in real time (a frame per channel every 1/30 s, as
// the recorder's frame pump does) and reports the CPU they take together and any dropped
// frame: whether four 1080p30 channels fit this machine.
//
// "pattern" is the built-in camera's picture (what a take from the virtual devices encodes),
// "busy" adds fine texture to it, closer to a real camera's noise. The pictures are prepared
// before the clock starts and shared by both sides.
#include "capture/FrameConversion.h"
#include "capture/TestPatternRenderer.h"
#include "recording/FfmpegEncoder.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr double Fps = 30.0;
constexpr int DistinctPictures = 30;
constexpr int TargetKbps = 16000; // the recording default
constexpr int KeyframeSeconds = 2;
constexpr int BFrames = 2;

double cpuSeconds(const rusage &usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

std::vector<QByteArray> preparePictures(bool busy)
{
    TestPatternRenderer renderer(1, Width, Height);
    std::vector<uchar> bgr(size_t(renderer.frameBytes()));
    std::vector<QByteArray> pictures;
    quint32 seed = 12345;
    for (int i = 0; i < DistinctPictures; ++i) {
        renderer.render(bgr.data(), i, qint64(i) * 33'333'333, false);
        QByteArray rgba(qsizetype(Width) * Height * 4, Qt::Uninitialized);
        convertBgr24ToRgba(bgr.data(), renderer.frameBytes(), Width * 3, Width, Height, true, false,
                           reinterpret_cast<uchar *>(rgba.data()));
        if (busy) {
            auto *p = reinterpret_cast<uchar *>(rgba.data());
            for (qsizetype j = 0; j < rgba.size(); j += 4) {
                seed = seed * 1664525u + 1013904223u;
                const int grain = int(seed >> 28) - 8; // ±8 levels of sensor-like noise
                for (int c = 0; c < 3; ++c)
                    p[j + c] = uchar(std::clamp(int(p[j + c]) + grain, 0, 255));
            }
        }
        pictures.push_back(rgba);
    }
    return pictures;
}

struct Result
{
    double cpuSeconds = 0;
    double wallSeconds = 0;
    qint64 frames = 0;
    qint64 dropped = 0;
    qint64 bytes = 0;
    bool ok = false;
};

Result runEncoder(const std::vector<QByteArray> &pictures, int frames, const QString &path)
{
    Result result;
    QElapsedTimer wall;
    const double cpuBefore = processCpuSeconds();
    wall.start();
    FfmpegEncoder encoder;
    EncoderConfig config;
    config.outputPath = path;
    config.width = Width;
    config.height = Height;
    config.frameRate = frameRateFraction(Fps);
    config.targetBitrateKbps = TargetKbps;
    config.keyframeIntervalSeconds = KeyframeSeconds;
    config.bFrames = BFrames;
    config.startTimecode = QStringLiteral("00:00:00:00");
    if (!encoder.open(config)) {
        std::fprintf(stderr, "open failed: %s\n", qPrintable(encoder.lastError()));
        return result;
    }
    for (int i = 0; i < frames; ++i) {
        VideoFrame frame;
        frame.pixels = pictures[size_t(i % DistinctPictures)];
        frame.width = Width;
        frame.height = Height;
        frame.frameIndex = i;
        // Waiting costs no CPU; keep well inside the queue so nothing is dropped.
        while (i - encoder.framesEncoded() >= 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        encoder.writeFrame(frame);
    }
    result.ok = encoder.stop();
    result.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    result.cpuSeconds = processCpuSeconds() - cpuBefore;
    result.frames = encoder.framesEncoded();
    result.dropped = encoder.droppedFrames();
    result.bytes = encoder.bytesWritten();
    return result;
}

// Runs the ffmpeg command line with `threads` ("auto" for its default), feeding it the same
// pictures through a pipe; the CPU time is the child's own, from wait4().
Result runCommandLine(const std::vector<QByteArray> &pictures, int frames, const QString &path,
                      const char *threads)
{
    Result result;
    const QByteArray bitrate = QByteArray::number(TargetKbps) + "k";
    const QByteArray size = QByteArray::number(Width) + "x" + QByteArray::number(Height);
    const QByteArray gop = QByteArray::number(int(KeyframeSeconds * Fps));
    const QByteArray bf = QByteArray::number(BFrames);
    const QByteArray out = path.toLocal8Bit();
    std::vector<const char *> args = {
        "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgba", "-s", size.constData(), "-r", "30", "-i", "-",
        "-vf", "scale=out_color_matrix=bt709:out_range=tv",
        "-c:v", "libx264", "-preset", "ultrafast", "-threads", threads,
        "-b:v", bitrate.constData(), "-maxrate", bitrate.constData(), "-bufsize", bitrate.constData(),
        "-g", gop.constData(), "-bf", bf.constData(), "-pix_fmt", "yuv420p",
        "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709", "-color_range", "tv",
        "-timecode", "00:00:00:00",
        "-movflags", "frag_keyframe+empty_moov+delay_moov+default_base_moof", "-frag_duration", "2000000",
        out.constData(), nullptr};

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return result;
    QElapsedTimer wall;
    wall.start();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[0], STDIN_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execvp("ffmpeg", const_cast<char *const *>(args.data()));
        _exit(127);
    }
    close(pipeFds[0]);
    if (pid < 0) {
        close(pipeFds[1]);
        return result;
    }
    bool writeOk = true;
    for (int i = 0; i < frames && writeOk; ++i) {
        const QByteArray &picture = pictures[size_t(i % DistinctPictures)];
        qsizetype offset = 0;
        while (offset < picture.size()) {
            const ssize_t n = write(pipeFds[1], picture.constData() + offset, size_t(picture.size() - offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                writeOk = false;
                break;
            }
            offset += n;
        }
    }
    close(pipeFds[1]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    result.cpuSeconds = cpuSeconds(usage);
    result.ok = writeOk && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    result.frames = frames;
    result.bytes = QFileInfo(path).size();
    return result;
}

// N encoders fed in real time from one pacing thread, like the recorder's frame pump.
int runRealtime(const std::vector<QByteArray> &pictures, int channels, int seconds, const QDir &dir)
{
    std::vector<std::unique_ptr<FfmpegEncoder>> encoders;
    for (int c = 0; c < channels; ++c) {
        auto encoder = std::make_unique<FfmpegEncoder>();
        EncoderConfig config;
        config.outputPath = dir.filePath(QStringLiteral("channel_%1.mp4").arg(c + 1));
        config.width = Width;
        config.height = Height;
        config.frameRate = frameRateFraction(Fps);
        config.targetBitrateKbps = TargetKbps;
        config.keyframeIntervalSeconds = KeyframeSeconds;
        config.bFrames = BFrames;
        if (!encoder->open(config)) {
            std::fprintf(stderr, "open failed: %s\n", qPrintable(encoder->lastError()));
            return 1;
        }
        encoders.push_back(std::move(encoder));
    }
    const int frames = int(seconds * Fps);
    const double cpuBefore = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        std::this_thread::sleep_until(start + std::chrono::nanoseconds(qint64(i * 1e9 / Fps)));
        for (int c = 0; c < channels; ++c) {
            VideoFrame frame;
            frame.pixels = pictures[size_t((i + 7 * c) % DistinctPictures)];
            frame.width = Width;
            frame.height = Height;
            frame.frameIndex = i;
            encoders[size_t(c)]->writeFrame(frame);
        }
    }
    qint64 encoded = 0;
    qint64 dropped = 0;
    bool ok = true;
    for (auto &encoder : encoders) {
        ok = encoder->stop() && ok;
        encoded += encoder->framesEncoded();
        dropped += encoder->droppedFrames();
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = processCpuSeconds() - cpuBefore;
    std::printf("%d channels x %d frames in real time: %lld encoded, %lld dropped%s\n", channels, frames,
                static_cast<long long>(encoded), static_cast<long long>(dropped), ok ? "" : ", FAILED");
    std::printf("  %.2f ms CPU per frame, %.0f%% of one core over %.1f s (%u cores here)\n",
                1000.0 * cpu / double(encoded), 100.0 * cpu / wall, wall, std::thread::hardware_concurrency());
    return ok && dropped == 0 ? 0 : 1;
}

void printResult(const char *label, const Result &r, int frames)
{
    std::printf("  %-34s %7.2f ms CPU/frame  %6.1f fps  %6.2f MB  %s\n", label,
                1000.0 * r.cpuSeconds / frames, frames / r.wallSeconds, double(r.bytes) / 1e6,
                r.ok ? "" : "FAILED");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR); // libx264's statistics are not the figures wanted here
    std::signal(SIGPIPE, SIG_IGN); // a command line that dies must not take the benchmark along
    int frames = 300;
    bool busy = false;
    QString keepDir;
    bool encoderOnly = false;
    int channels = 0;
    int seconds = 20;
    const QStringList arguments = app.arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--content") && i + 1 < arguments.size())
            busy = arguments[++i] == QLatin1String("busy");
        else if (arguments[i] == QLatin1String("--channels") && i + 1 < arguments.size())
            channels = arguments[++i].toInt();
        else if (arguments[i] == QLatin1String("--seconds") && i + 1 < arguments.size())
            seconds = std::max(1, arguments[++i].toInt());
        else if (arguments[i] == QLatin1String("--encoder-only"))
            encoderOnly = true;
        else if (arguments[i] == QLatin1String("--keep") && i + 1 < arguments.size())
            keepDir = arguments[++i];
        else
            frames = std::max(1, arguments[i].toInt());
    }
    QTemporaryDir temporary;
    const QDir dir(keepDir.isEmpty() ? temporary.path() : keepDir);

    std::printf("Preparing %d distinct %dx%d pictures (%s)...\n", DistinctPictures, Width, Height,
                busy ? "test pattern with sensor-like noise" : "built-in test pattern");
    const std::vector<QByteArray> pictures = preparePictures(busy);
    if (channels > 0)
        return runRealtime(pictures, channels, seconds, dir);

    std::printf("%d frames, libx264 ultrafast, %d kbit/s CBR, GOP %d, %d B-frames, fragmented MP4\n",
                frames, TargetKbps, int(KeyframeSeconds * Fps), BFrames);
    const Result ours = runEncoder(pictures, frames, dir.filePath(QStringLiteral("encoder.mp4")));
    if (encoderOnly) {
        printResult("FfmpegEncoder", ours, frames);
        return ours.ok ? 0 : 1;
    }
    const Result cliSame = runCommandLine(pictures, frames, dir.filePath(QStringLiteral("cli_threads1.mp4")), "1");
    const Result cliAuto = runCommandLine(pictures, frames, dir.filePath(QStringLiteral("cli_auto.mp4")), "0");
    printResult("FfmpegEncoder", ours, frames);
    printResult("ffmpeg CLI, same settings (1 thread)", cliSame, frames);
    printResult("ffmpeg CLI, default threads", cliAuto, frames);
    if (ours.dropped > 0)
        std::printf("  FfmpegEncoder dropped %lld frames\n", static_cast<long long>(ours.dropped));
    std::printf("Ratio FfmpegEncoder / CLI same settings: %.2f (target <= 1.15)\n", ours.cpuSeconds / cliSame.cpuSeconds);
    std::printf("Ratio FfmpegEncoder / CLI default threads: %.2f\n", ours.cpuSeconds / cliAuto.cpuSeconds);
    std::printf("Four 1080p30 channels would need %.0f%% of one core for encoding\n",
                4.0 * 30.0 * 100.0 * ours.cpuSeconds / frames);
    return ours.ok && cliSame.ok && cliAuto.ok ? 0 : 1;
}
