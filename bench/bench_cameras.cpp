// bench_cameras: 1080p30 MJPEG webcams with camera-like content, recorded by the program and by
// the ffmpeg command line with the same settings, in the same run.
//
//   bench_cameras [--seconds S] [--max-cameras N] [--distinct N] [--quantiser Q] [--keep DIR]
//                 [--program-only]
//
// The pictures: N distinct 1920x1080 frames of a drifting landscape with sensor noise
// (sim/NaturalScene), encoded once as MJPEG as a webcam would, then cycled, so making them
// costs nothing while measuring.
//
// 1. MJPEG decode + RGBA alone: CPU per frame of the program's converter against
//    `ffmpeg -c:v mjpeg -i frames.mjpeg -pix_fmt rgba -f null -` on the same frames.
// 2. The program: 1, 2, ... N simulated webcams (the real V4L2 code against simulated devices
//    at the kernel boundary) recorded for S seconds with libx264 at 16 Mbit/s through the whole
//    capture -> decode -> frame pump -> encoder path; frames per MP4, dropped and repeated
//    frames, CPU per recorded frame. It stops at the first camera count that loses a frame.
// 3. The command line: the same number of parallel ffmpeg processes, each decoding and encoding
//    S seconds of the same frames with the same settings; it keeps real time when all finish
//    within S seconds. CPU per frame from the children's own usage.
// The ceiling of each side (cameras at 1080p30 with no frame dropped or repeated) and the CPU
// ratio at the highest count both ran are printed side by side.
#include "app/ApplicationManager.h"
#include "capture/CameraPictureConverter.h"
#include "capture/PicturePool.h"
#include "capture/V4l2Kernel.h"
#include "common/MonotonicClock.h"
#include "common/FfmpegPtr.h"

#include "NaturalScene.h"
#include "SimulatedV4l2Kernel.h"
#include "SimulatedWebcam.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr int Fps = 30;
constexpr int TargetKbps = 16000; // the recording default

struct Options
{
    int seconds = 60;
    int maxCameras = 4;
    int distinct = 60;
    int quantiser = 3; // JPEG quantiser like a webcam's 1080p MJPEG: about 200 KB per frame
    QString keepDir;
    bool programOnly = false; // for profiling: no command line, no decode comparison
};

struct Run
{
    int cameras = 0;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    qint64 frames = 0;   // recorded, over all files
    qint64 dropped = 0;
    qint64 repeated = 0;
    bool complete = false; // every file has its frames, nothing dropped or repeated
    qint64 pageFaults = 0; // minor faults of the program during the take: fresh picture memory
    QString detail;
};

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

qint64 processPageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Video packets in a file, read back by libavformat.
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

// Starts every command at once and waits for all; CPU time is the children's own (wait4).
// False when one could not run or failed.
bool runChildren(const std::vector<std::vector<QByteArray>> &commands, double *cpuSeconds, double *wallSeconds)
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
    for (pid_t pid : children) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        *cpuSeconds += seconds(usage.ru_utime) + seconds(usage.ru_stime);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    *wallSeconds = double(monotonicNowNs() - startNs) / 1e9;
    return ok;
}

std::vector<QByteArray> prepareFrames(const Options &options, const QDir &dir)
{
    std::printf("Rendering %d distinct %dx%d pictures of a landscape with sensor noise...\n", options.distinct,
                Width, Height);
    std::fflush(stdout);
    const std::vector<RgbPicture> scene = renderNaturalScene(Width, Height, options.distinct);
    std::vector<QByteArray> jpegs;
    QFile file(dir.filePath(QStringLiteral("frames.mjpeg")));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    qint64 bytes = 0;
    for (const RgbPicture &picture : scene) {
        jpegs.push_back(encodeSimulatedPicture(picture, V4L2_PIX_FMT_MJPEG, 0, options.quantiser));
        file.write(jpegs.back());
        bytes += jpegs.back().size();
    }
    std::printf("  MJPEG at quantiser %d: %.0f KB per frame on average (%.1f Mbit/s at 30 fps)\n\n",
                options.quantiser, double(bytes) / double(jpegs.size()) / 1024.0,
                double(bytes) / double(jpegs.size()) * 8.0 * Fps / 1e6);
    return jpegs;
}

// MJPEG decode into the camera's own YUV: the program's converter on this thread against the
// command line decoding the same frames.
void compareDecoding(const std::vector<QByteArray> &jpegs, const QDir &dir)
{
    const int loops = std::max(1, 300 / int(jpegs.size()));
    CaptureGeometry geometry;
    geometry.width = Width;
    geometry.height = Height;
    geometry.pixelFormat = CapturePixelFormat::Mjpeg;
    PicturePool pool(4);
    CameraPictureConverter converter(geometry, pool);
    Picture picture;
    converter.convert(reinterpret_cast<const uchar *>(jpegs[0].constData()), jpegs[0].size(), false, false,
                      &picture); // the decoder opens outside the clock
    int converted = 0;
    const double before = threadCpuSeconds();
    for (int loop = 0; loop < loops; ++loop) {
        for (const QByteArray &jpeg : jpegs)
            converted += converter.convert(reinterpret_cast<const uchar *>(jpeg.constData()), jpeg.size(), false, false,
                                           &picture);
    }
    const double ours = (threadCpuSeconds() - before) / converted * 1000.0;

    const QByteArray frames = QFile::encodeName(dir.filePath(QStringLiteral("frames.mjpeg")));
    double cpu = 0, wall = 0;
    const bool ran = runChildren({{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-stream_loop",
                                   QByteArray::number(loops - 1), "-framerate", "30", "-c:v", "mjpeg", "-i", frames,
                                   "-f", "null", "-"}},
                                 &cpu, &wall);
    const double cli = cpu / double(jpegs.size() * size_t(loops)) * 1000.0;
    std::printf("MJPEG 1080p decode (to its own %s), %d frames:\n", pixelFormatName(picture.format()), converted);
    std::printf("  program (CameraPictureConverter)          %6.2f ms CPU per frame\n", ours);
    std::printf("  ffmpeg -c:v mjpeg -i ... -f null -        %6.2f ms CPU per frame%s\n", cli, ran ? "" : " (FAILED)");
    std::printf("  ratio %.2f\n\n", ours / cli);
}

Run recordWithProgram(int cameras, const Options &options, const std::shared_ptr<SimulatedPictures> &pictures,
                      const QDir &dir)
{
    Run run;
    run.cameras = cameras;
    auto kernel = std::make_shared<SimulatedV4l2Kernel>();
    installV4l2Kernel(kernel);
    {
        ApplicationManager manager;
        manager.setRecordingPath(dir.filePath(QStringLiteral("program")));
        manager.setActiveSessionName(QStringLiteral("Cameras_%1").arg(cameras));
        for (int n = 1; n <= cameras; ++n) {
            SimulatedCameraSpec spec = simulatedWebcam(n);
            spec.pictures = pictures;
            const int sim = kernel->addCamera(spec);
            manager.setCameraForChannel(n, kernel->deviceKey(sim), Width, Height, float(Fps),
                                        QStringLiteral("Default"), QStringLiteral("MJPEG"));
        }
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit); // the cameras settle
        loop.exec();

        QObject::connect(&manager, &ApplicationManager::takeFinished, &loop, &QEventLoop::quit);
        const double cpuBefore = processCpuSeconds();
        const qint64 faultsBefore = processPageFaults();
        const qint64 startNs = monotonicNowNs();
        manager.startRecording();
        manager.limitTakeLength(qint64(options.seconds) * 1000);
        if (manager.isRecording())
            loop.exec();
        run.wallSeconds = double(monotonicNowNs() - startNs) / 1e9;
        run.cpuSeconds = processCpuSeconds() - cpuBefore;
        run.pageFaults = processPageFaults() - faultsBefore;

        const qint64 expected = qint64(options.seconds) * Fps;
        run.complete = true;
        for (int n = 1; n <= cameras; ++n) {
            const QVariantMap health = manager.getCameraHealthForChannel(n);
            const qint64 packets = countVideoPackets(QDir(manager.currentTakeFolder()).filePath(QStringLiteral("Camera_0%1.mp4").arg(n)));
            const qint64 dropped = health.value(QStringLiteral("droppedFrames")).toLongLong();
            const qint64 repeated = health.value(QStringLiteral("repeatedFrames")).toLongLong();
            run.frames += std::max<qint64>(0, packets);
            run.dropped += dropped;
            run.repeated += repeated;
            run.complete = run.complete && std::abs(packets - expected) <= 1 && dropped == 0 && repeated == 0;
            run.detail += QStringLiteral(" %1").arg(packets);
        }
        run.detail += QStringLiteral(", %1 page faults per frame").arg(run.pageFaults / std::max<qint64>(1, run.frames));
    }
    installV4l2Kernel(nullptr);
    return run;
}

Run recordWithCommandLine(int streams, const Options &options, const QDir &dir)
{
    Run run;
    run.cameras = streams;
    const QByteArray frames = QFile::encodeName(dir.filePath(QStringLiteral("frames.mjpeg")));
    const QByteArray count = QByteArray::number(options.seconds * Fps);
    const QByteArray bitrate = QByteArray::number(TargetKbps) + "k";
    std::vector<std::vector<QByteArray>> commands;
    for (int n = 1; n <= streams; ++n) {
        const QByteArray out = QFile::encodeName(dir.filePath(QStringLiteral("cli_%1_of_%2.mp4").arg(n).arg(streams)));
        // The settings of the program's libx264 encoder and its MP4 files (FfmpegVideoCodec).
        commands.push_back({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-stream_loop", "-1",
                            "-framerate", "30", "-c:v", "mjpeg", "-i", frames, "-frames:v", count,
                            "-vf", "scale=out_color_matrix=bt709:out_range=tv", "-c:v", "libx264",
                            "-preset", "ultrafast", "-threads", "1", "-b:v", bitrate, "-maxrate", bitrate,
                            "-bufsize", bitrate, "-g", "60", "-bf", "2", "-pix_fmt", "yuv420p",
                            "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709",
                            "-color_range", "tv", "-movflags", "frag_keyframe+empty_moov+delay_moov+default_base_moof",
                            "-frag_duration", "2000000", out});
    }
    const bool ran = runChildren(commands, &run.cpuSeconds, &run.wallSeconds);
    for (int n = 1; n <= streams; ++n)
        run.frames += std::max<qint64>(0, countVideoPackets(dir.filePath(QStringLiteral("cli_%1_of_%2.mp4").arg(n).arg(streams))));
    // Real time: every stream's seconds of pictures done within as many seconds.
    run.complete = ran && run.frames == qint64(streams) * options.seconds * Fps && run.wallSeconds <= options.seconds;
    run.detail = QStringLiteral("%1 s wall for %2 s").arg(run.wallSeconds, 0, 'f', 1).arg(options.seconds);
    return run;
}

void printRun(const char *who, const Run &run)
{
    std::printf("  %-8s %d camera(s): %6lld frames, %4lld dropped, %4lld repeated, %6.2f ms CPU per frame, %3.0f%% of "
                "the machine  [%s]%s\n",
                who, run.cameras, static_cast<long long>(run.frames), static_cast<long long>(run.dropped),
                static_cast<long long>(run.repeated), run.frames > 0 ? 1000.0 * run.cpuSeconds / double(run.frames) : 0.0,
                100.0 * run.cpuSeconds / run.wallSeconds / std::max(1, QThread::idealThreadCount()),
                qPrintable(run.detail.trimmed()), run.complete ? "" : "  <- not real time");
    std::fflush(stdout);
}

Options parseOptions(const QStringList &arguments)
{
    Options options;
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        const QString &name = arguments[i];
        const QString value = arguments[i + 1];
        if (name == QLatin1String("--seconds"))
            options.seconds = std::max(2, value.toInt());
        else if (name == QLatin1String("--max-cameras"))
            options.maxCameras = std::clamp(value.toInt(), 1, 4);
        else if (name == QLatin1String("--distinct"))
            options.distinct = std::max(2, value.toInt());
        else if (name == QLatin1String("--quantiser"))
            options.quantiser = std::clamp(value.toInt(), 2, 31);
        else if (name == QLatin1String("--keep"))
            options.keepDir = value;
    }
    options.programOnly = arguments.contains(QLatin1String("--program-only"));
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("SDL_AUDIODRIVER", "dummy");
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type >= QtWarningMsg && !message.contains(QLatin1String("libx264")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    av_log_set_level(AV_LOG_ERROR);
    std::signal(SIGPIPE, SIG_IGN);
    SDL_Init(SDL_INIT_AUDIO);
    const Options options = parseOptions(app.arguments());

    QTemporaryDir temporary;
    const QDir dir(options.keepDir.isEmpty() ? temporary.path() : options.keepDir);
    QDir().mkpath(dir.path());
    const std::vector<QByteArray> jpegs = prepareFrames(options, dir);
    if (jpegs.empty())
        return 1;
    if (!options.programOnly)
        compareDecoding(jpegs, dir);

    std::printf("Recording %d s per run, 1920x1080 MJPEG at 30 fps in, libx264 ultrafast 16 Mbit/s out (%d cores):\n",
                options.seconds, QThread::idealThreadCount());
    const auto pictures = std::make_shared<CycledPictures>(jpegs);
    int programCeiling = 0, cliCeiling = 0;
    Run compareProgram, compareCli; // the highest count the program recorded completely
    for (int cameras = 1; cameras <= options.maxCameras; ++cameras) {
        const Run program = recordWithProgram(cameras, options, pictures, dir);
        printRun("program", program);
        const Run cli = options.programOnly ? Run{} : recordWithCommandLine(cameras, options, dir);
        if (!options.programOnly) {
            printRun("ffmpeg", cli);
            // Frames the program dropped were still decoded: per recorded frame it then pays
            // for more than it keeps, so only a complete run compares like with like.
            std::printf("  CPU per frame, program / command line: %.2f%s\n",
                        (program.cpuSeconds / double(std::max<qint64>(1, program.frames)))
                            / (cli.cpuSeconds / double(std::max<qint64>(1, cli.frames))),
                        program.complete ? "" : " (program run not complete)");
        }
        if (program.complete || compareProgram.cameras == 0) {
            compareProgram = program;
            compareCli = cli;
        }
        if (program.complete && programCeiling == cameras - 1)
            programCeiling = cameras;
        if (cli.complete && cliCeiling == cameras - 1)
            cliCeiling = cameras;
        if (!program.complete && !cli.complete)
            break; // more cameras will not do better on either side
    }
    std::printf("\nCeiling (1080p30 cameras, nothing dropped or repeated): program %d, ffmpeg command line %d\n",
                programCeiling, cliCeiling);
    if (compareProgram.frames > 0 && compareCli.frames > 0)
        std::printf("CPU per frame at %d camera(s): program / command line = %.2f (target <= 1.15)\n",
                    compareProgram.cameras, (compareProgram.cpuSeconds / double(compareProgram.frames))
                                                / (compareCli.cpuSeconds / double(compareCli.frames)));
    SDL_Quit();
    return 0;
}
