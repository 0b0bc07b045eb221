// bench_cameras: 1080p30 MJPEG webcams with camera-like content, recorded by the program and
// by the ffmpeg command line with the same settings, in the same run; the targets
// printed beside what was measured.
//
//   bench_cameras [--seconds S] [--max-cameras N] [--distinct N] [--quantiser Q] [--keep DIR]
//                 [--preview WxH] [--only decode,threads,reencode,stream,cli,phase]
//
// The pictures: N distinct 1920x1080 frames of a drifting landscape with sensor noise
// (sim/NaturalScene), encoded once as MJPEG as a webcam would, then cycled. The simulated
// webcams stamp each buffer at the start of its frame period and hand it over at its end, as
// UVC cameras do. Every take runs the real V4L2 code against them (SimulatedV4l2Kernel).
//
// 1. decode    MJPEG decoding to the camera's own 4:2:2 (the program's decoder against
//              `ffmpeg -c:v mjpeg -i ... -f null -`), reduced decoding for previews, and
//              decoding threads: one decoder per camera against two taking turns.
// 2. threads   libx264 alone on 1..N streams of decoded pictures at 30 fps: one thread, two
//              frame threads, two slice threads per stream (what softwareThreadingFor picks).
// 3. reencode  the program re-encoding 1..N cameras (libx264 ultrafast 16 Mbit/s, MP4);
// 4. cli       the same number of parallel `ffmpeg ... -threads 1` transcodes of the frames;
// 5. stream    the program recording the cameras' own MJPEG (MOV) with a live preview per
//              camera at the preview size (a monitoring-grid tile);
// 6. phase     one camera re-encoded at phases across a frame: repeated slots.
// Each take: frames, dropped, repeated, CPU per frame, share of one core, peak resident
// memory and resident memory every 10 s.
#include "CameraBench.h"

#include "capture/CameraPictureConverter.h"
#include "capture/PictureDecoder.h"
#include "capture/PicturePool.h"
#include "common/MonotonicClock.h"
#include "recording/FfmpegVideoCodec.h"

#include "NaturalScene.h"

#include <QGuiApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <SDL.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

using namespace bench;

namespace {

struct Options
{
    int seconds = 60;
    int maxCameras = 4;
    int distinct = 60;
    int quantiser = 3; // like a webcam's 1080p MJPEG: about 200 KB per frame
    int previewWidth = 480;
    int previewHeight = 270;
    QString keepDir;
    QStringList only;
    bool runs(const char *part) const { return only.isEmpty() || only.contains(QLatin1String(part)); }
};

int cores()
{
    return std::max(1, QThread::idealThreadCount());
}

double perFrameMs(double cpuSeconds, qint64 frames)
{
    return frames > 0 ? 1000.0 * cpuSeconds / double(frames) : 0.0;
}

void printTake(const char *who, const TakeResult &run)
{
    std::printf("  %-8s %d camera(s): %6lld frames, %4lld dropped, %4lld repeated, %4lld skipped, %6.2f ms CPU per "
                "frame, %4.0f%% of one core, hand-over %3.0f ms, peak %s%s\n",
                who, run.cameras, static_cast<long long>(run.frames), static_cast<long long>(run.dropped),
                static_cast<long long>(run.repeated), static_cast<long long>(run.skipped),
                perFrameMs(run.cpuSeconds, run.frames), 100.0 * run.cpuSeconds / std::max(0.001, run.wallSeconds),
                run.latencyMs, qPrintable(megabytes(run.peakBytes)), run.complete ? "" : "  <- not complete");
    QString memory;
    for (const auto &[second, bytes] : run.residentOverTime)
        memory += QStringLiteral(" %1s:%2").arg(second).arg(qPrintable(megabytes(bytes)));
    if (!memory.isEmpty())
        std::printf("           resident:%s\n", qPrintable(memory));
    std::fflush(stdout);
}

// --- 1. decoding ---

void benchDecoding(const std::vector<QByteArray> &jpegs, const QDir &dir, const Options &options)
{
    const int loops = std::max(1, 300 / int(jpegs.size()));
    const auto measure = [&](int lowres) {
        PictureDecoder decoder(PixelFormat::Mjpeg, lowres);
        decoder.decode(reinterpret_cast<const uchar *>(jpegs[0].constData()), jpegs[0].size());
        int decoded = 0;
        const double before = threadCpuSeconds();
        for (int loop = 0; loop < loops; ++loop) {
            for (const QByteArray &jpeg : jpegs)
                decoded += decoder.decode(reinterpret_cast<const uchar *>(jpeg.constData()), jpeg.size()).isComplete();
        }
        return perFrameMs(threadCpuSeconds() - before, decoded);
    };
    const double full = measure(0);
    const QByteArray frames = QFile::encodeName(dir.filePath(QStringLiteral("frames.mjpeg")));
    double cpu = 0, wall = 0;
    const bool ran = runChildren({{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-stream_loop",
                                   QByteArray::number(loops - 1), "-framerate", "30", "-c:v", "mjpeg", "-i", frames,
                                   "-f", "null", "-"}},
                                 &cpu, &wall);
    const double cli = cpu / double(jpegs.size() * size_t(loops)) * 1000.0;
    std::printf("MJPEG 1080p decoding into the camera's own 4:2:2:\n");
    std::printf("  program %6.2f ms CPU per frame, ffmpeg -c:v mjpeg -f null %6.2f ms%s: ratio %.2f\n", full, cli,
                ran ? "" : " (FAILED)", full / cli);
    std::printf("  for previews: 1/2 size %.2f ms, 1/4 %.2f ms, 1/8 %.2f ms per frame\n", measure(1), measure(2),
                measure(3));

    // Decoding threads: libavcodec's MJPEG decoder has none of its own (frame or slice), so
    // the only threads are ours: one decoder per camera on its capture thread, or two taking
    // turns on a camera's pictures.
    std::printf("  decoding threads, %d cameras' worth of pictures decoded as fast as possible (%d cores):\n",
                options.maxCameras, cores());
    for (int cameras = 1; cameras <= options.maxCameras; ++cameras) {
        for (int perCamera : {1, 2}) {
            std::atomic<int> decoded{0};
            const int each = int(jpegs.size()) * 2 / perCamera;
            const double cpuBefore = processCpuSeconds();
            const qint64 startNs = monotonicNowNs();
            std::vector<std::thread> threads;
            for (int t = 0; t < cameras * perCamera; ++t) {
                threads.emplace_back([&, t] {
                    PictureDecoder decoder(PixelFormat::Mjpeg);
                    for (int i = 0; i < each; ++i) {
                        const QByteArray &jpeg = jpegs[size_t((i * perCamera + t % perCamera) % int(jpegs.size()))];
                        decoded += decoder.decode(reinterpret_cast<const uchar *>(jpeg.constData()), jpeg.size()).isComplete();
                    }
                });
            }
            for (std::thread &thread : threads)
                thread.join();
            const double wallSeconds = double(monotonicNowNs() - startNs) / 1e9;
            const double cpuSeconds = processCpuSeconds() - cpuBefore;
            std::printf("    %d camera(s), %d decoder(s) each: %6.2f ms CPU per frame, %5.0f fps per camera\n", cameras,
                        perCamera, perFrameMs(cpuSeconds, decoded), double(decoded) / wallSeconds / cameras);
        }
    }
    std::printf("\n");
    std::fflush(stdout);
}

// --- 2. encoder threads ---

void benchEncoderThreads(const Options &options)
{
    // Decoded pictures as the encoder gets them: the webcam's 4:2:2 made 4:2:0 once.
    const std::vector<RgbPicture> scene = renderNaturalScene(kWidth, kHeight, 30, 7);
    std::vector<Picture> pictures;
    for (const RgbPicture &rgb : scene) {
        QByteArray rgba(qsizetype(kWidth) * kHeight * 4, Qt::Uninitialized);
        for (qsizetype i = 0, j = 0; i < rgb.pixels.size(); i += 3, j += 4) {
            rgba[j] = rgb.pixels[i];
            rgba[j + 1] = rgb.pixels[i + 1];
            rgba[j + 2] = rgb.pixels[i + 2];
            rgba[j + 3] = char(255);
        }
        pictures.push_back(Picture::fromBytes(rgba, PixelFormat::Rgba, kWidth, kHeight));
    }
    const int seconds = std::min(options.seconds, 20);
    std::printf("libx264 ultrafast 16 Mbit/s, 1..%d streams at 30 fps for %d s each (%d cores); chosen: %s\n",
                options.maxCameras, seconds, cores(), "softwareThreadingFor");
    const struct
    {
        const char *name;
        SoftwareThreading threading;
    } modes[] = {{"one thread", {1, false}}, {"2 frame threads", {2, false}}, {"2 slice threads", {2, true}}};
    for (int streams = 1; streams <= options.maxCameras; ++streams) {
        const SoftwareThreading chosen = softwareThreadingFor(streams, cores());
        for (const auto &mode : modes) {
            std::vector<std::unique_ptr<FfmpegVideoCodec>> codecs;
            for (int s = 0; s < streams; ++s) {
                EncoderConfig config;
                config.width = kWidth;
                config.height = kHeight;
                config.targetBitrateKbps = kTargetKbps;
                config.softwareThreading = mode.threading;
                QString error;
                codecs.push_back(std::make_unique<FfmpegVideoCodec>());
                codecs.back()->open(QStringLiteral("libx264"), config, QSize(kWidth, kHeight), false, &error);
            }
            // One worker per stream, each paced at 30 fps as the frame pump paces them.
            std::atomic<qint64> late{0};
            std::atomic<qint64> frames{0};
            const double cpuBefore = processCpuSeconds();
            const qint64 startNs = monotonicNowNs();
            std::vector<std::thread> workers;
            for (int s = 0; s < streams; ++s) {
                workers.emplace_back([&, s] {
                    PacketPtr packet(av_packet_alloc());
                    for (int i = 0; i < seconds * kFps; ++i) {
                        const qint64 dueNs = startNs + qint64(i) * 1'000'000'000 / kFps;
                        while (monotonicNowNs() < dueNs)
                            std::this_thread::sleep_for(std::chrono::milliseconds(1));
                        codecs[size_t(s)]->sendPicture(VideoFrame{pictures[size_t((i + 7 * s) % 30)], kWidth, kHeight, i});
                        while (codecs[size_t(s)]->receivePacket(packet.get()) >= 0)
                            av_packet_unref(packet.get());
                        ++frames;
                        if (monotonicNowNs() - dueNs > 2'000'000'000)
                            ++late; // more than the encoder queue's two seconds behind
                    }
                });
            }
            for (std::thread &worker : workers)
                worker.join();
            const double wall = double(monotonicNowNs() - startNs) / 1e9;
            const double cpu = processCpuSeconds() - cpuBefore;
            std::printf("  %d stream(s), %-15s %6.2f ms CPU per frame, %5.1f s for %d s%s%s\n", streams, mode.name,
                        perFrameMs(cpu, frames), wall, seconds, late > 0 ? "  <- falls behind" : "",
                        mode.threading == chosen ? "  (chosen)" : "");
            std::fflush(stdout);
        }
    }
    std::printf("\n");
}

// --- 4. the command line ---

TakeResult transcodeWithCommandLine(int streams, const Options &options, const QDir &dir)
{
    TakeResult run;
    run.cameras = streams;
    const QByteArray frames = QFile::encodeName(dir.filePath(QStringLiteral("frames.mjpeg")));
    const QByteArray count = QByteArray::number(options.seconds * kFps);
    const QByteArray bitrate = QByteArray::number(kTargetKbps) + "k";
    std::vector<std::vector<QByteArray>> commands;
    for (int n = 1; n <= streams; ++n) {
        const QByteArray out = QFile::encodeName(dir.filePath(QStringLiteral("cli_%1_of_%2.mp4").arg(n).arg(streams)));
        // The settings of the program's libx264 encoder and its MP4 files (FfmpegVideoCodec),
        // the frames read as fast as they decode (unpaced), one thread per stream.
        commands.push_back({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-stream_loop", "-1",
                            "-framerate", "30", "-c:v", "mjpeg", "-i", frames, "-frames:v", count,
                            "-vf", "scale=out_color_matrix=bt709:out_range=tv", "-c:v", "libx264",
                            "-preset", "ultrafast", "-threads", "1", "-b:v", bitrate, "-maxrate", bitrate,
                            "-bufsize", bitrate, "-g", "60", "-bf", "2", "-pix_fmt", "yuv420p",
                            "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709",
                            "-color_range", "tv", "-movflags", "frag_keyframe+empty_moov+delay_moov+default_base_moof",
                            "-frag_duration", "2000000", out});
    }
    const bool ran = runChildren(commands, &run.cpuSeconds, &run.wallSeconds, &run.peakBytes);
    for (int n = 1; n <= streams; ++n)
        run.frames += std::max<qint64>(0, countVideoPackets(dir.filePath(QStringLiteral("cli_%1_of_%2.mp4").arg(n).arg(streams))));
    // Real time: every stream's seconds of pictures done within as many seconds.
    run.complete = ran && run.frames == qint64(streams) * options.seconds * kFps && run.wallSeconds <= options.seconds;
    run.detail = QStringLiteral("%1 s wall for %2 s").arg(run.wallSeconds, 0, 'f', 1).arg(options.seconds);
    return run;
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
        else if (name == QLatin1String("--only"))
            options.only = value.split(QLatin1Char(','));
        else if (name == QLatin1String("--preview")) {
            const QStringList size = value.split(QLatin1Char('x'));
            options.previewWidth = size.value(0).toInt();
            options.previewHeight = size.value(1).toInt();
        }
    }
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    tuneAllocatorLikeTheProgram();
    qputenv("SDL_AUDIODRIVER", "dummy");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the live video items are Qt Quick items
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
    std::printf("bench_cameras: %d s per take, 1920x1080 MJPEG 30 fps webcams (handed over a frame after their "
                "time stamps), %d cores\n", options.seconds, cores());
    std::printf("Rendering %d pictures of a landscape with sensor noise...\n", options.distinct);
    std::fflush(stdout);
    const std::vector<QByteArray> jpegs = naturalSceneMjpeg(options.distinct, options.quantiser,
                                                            dir.filePath(QStringLiteral("frames.mjpeg")));
    if (jpegs.empty())
        return 1;
    qint64 jpegBytes = 0;
    for (const QByteArray &jpeg : jpegs)
        jpegBytes += jpeg.size();
    std::printf("  MJPEG at quantiser %d: %.0f KB per picture (%.1f Mbit/s)\n\n", options.quantiser,
                double(jpegBytes) / double(jpegs.size()) / 1024.0, double(jpegBytes) / double(jpegs.size()) * 8 * kFps / 1e6);
    const auto pictures = std::make_shared<CycledPictures>(jpegs);

    if (options.runs("decode"))
        benchDecoding(jpegs, dir, options);
    if (options.runs("threads"))
        benchEncoderThreads(options);

    TakeSetup setup;
    setup.seconds = options.seconds;
    setup.pictures = pictures;
    setup.folder = dir.filePath(QStringLiteral("program"));

    int reencodeCeiling = 0, streamCeiling = 0, cliCeiling = 0;
    TakeResult reencodeAtCli, cliAtCeiling, streamAtFour;
    std::vector<TakeResult> reencodeRuns, cliRuns;
    if (options.runs("reencode") || options.runs("cli")) {
        std::printf("Re-encoding (libx264 ultrafast 16 Mbit/s, MP4) against the command line:\n");
        for (int cameras = 1; cameras <= options.maxCameras; ++cameras) {
            TakeResult program, cli;
            if (options.runs("reencode")) {
                setup.cameras = cameras;
                setup.mode = QStringLiteral("reencode");
                setup.previewWidth = 0;
                program = recordTake(setup);
                printTake("program", program);
                if (program.complete && reencodeCeiling == cameras - 1)
                    reencodeCeiling = cameras;
            }
            if (options.runs("cli")) {
                cli = transcodeWithCommandLine(cameras, options, dir);
                printTake("ffmpeg", cli);
                if (cli.complete && cliCeiling == cameras - 1)
                    cliCeiling = cameras;
            }
            if (program.frames > 0 && cli.frames > 0) {
                std::printf("  CPU per frame, program / command line: %.2f%s\n",
                            perFrameMs(program.cpuSeconds, program.frames) / perFrameMs(cli.cpuSeconds, cli.frames),
                            program.complete && cli.complete ? "" : " (a side not complete)");
                if (program.complete && cli.complete) {
                    reencodeAtCli = program;
                    cliAtCeiling = cli;
                }
            }
            if (!program.complete && !cli.complete)
                break; // more cameras will not do better on either side
        }
        std::printf("\n");
    }

    if (options.runs("stream")) {
        std::printf("The cameras' own MJPEG (MOV), a %dx%d live preview per camera:\n", options.previewWidth,
                    options.previewHeight);
        for (int cameras = 1; cameras <= options.maxCameras; ++cameras) {
            setup.cameras = cameras;
            setup.mode = QStringLiteral("camera");
            setup.previewWidth = options.previewWidth;
            setup.previewHeight = options.previewHeight;
            const TakeResult program = recordTake(setup);
            printTake("stream", program);
            if (program.complete && streamCeiling == cameras - 1)
                streamCeiling = cameras;
            if (cameras == 4)
                streamAtFour = program;
        }
        std::printf("\n");
    }

    int worstPhaseRepeats = -1;
    if (options.runs("phase")) {
        std::printf("One camera re-encoded, its pictures at phases across a frame against the slots:\n");
        for (double phase : {0.0, 0.25, 0.5, 0.75, 0.95}) {
            setup.cameras = 1;
            setup.mode = QStringLiteral("reencode");
            setup.previewWidth = 0;
            setup.phase = phase;
            const TakeResult program = recordTake(setup);
            std::printf("  phase %.2f frame: %lld repeated, %lld skipped, %lld dropped, hand-over %.0f ms\n", phase,
                        static_cast<long long>(program.repeated), static_cast<long long>(program.skipped),
                        static_cast<long long>(program.dropped), program.latencyMs);
            std::fflush(stdout);
            worstPhaseRepeats = std::max(worstPhaseRepeats, int(program.repeated));
        }
        setup.phase = -1;
        std::printf("\n");
    }

    std::printf("Targets (this machine: %d cores) against what was measured:\n", cores());
    if (options.runs("reencode") && options.runs("cli")) {
        std::printf("  re-encoding ceiling >= command line's          program %d, command line %d\n", reencodeCeiling,
                    cliCeiling);
        if (reencodeAtCli.frames > 0)
            std::printf("  CPU per frame <= 0.9 x command line's          %.2f at %d camera(s) (%.2f ms against %.2f ms)\n",
                        perFrameMs(reencodeAtCli.cpuSeconds, reencodeAtCli.frames) / perFrameMs(cliAtCeiling.cpuSeconds, cliAtCeiling.frames),
                        reencodeAtCli.cameras, perFrameMs(reencodeAtCli.cpuSeconds, reencodeAtCli.frames),
                        perFrameMs(cliAtCeiling.cpuSeconds, cliAtCeiling.frames));
        else
            std::printf("  CPU per frame <= 0.9 x command line's          no camera count both recorded completely\n");
        std::printf("  peak memory                                    program %s, command line %s (largest process)\n",
                    qPrintable(megabytes(reencodeAtCli.peakBytes)), qPrintable(megabytes(cliAtCeiling.peakBytes)));
    }
    if (options.runs("stream") && streamAtFour.frames > 0)
        std::printf("  camera stream: 4 cameras + previews complete,  ceiling %d; 4 cameras: %lld dropped, %lld repeated, "
                    "%.0f%% of one core (target < 60%%)\n",
                    streamCeiling, static_cast<long long>(streamAtFour.dropped),
                    static_cast<long long>(streamAtFour.repeated),
                    100.0 * streamAtFour.cpuSeconds / std::max(0.001, streamAtFour.wallSeconds));
    else if (options.runs("stream"))
        std::printf("  camera stream: 4 cameras + previews complete,  ceiling %d; 4 cameras not run (--max-cameras %d)\n",
                    streamCeiling, options.maxCameras);
    if (options.runs("phase"))
        std::printf("  one camera, any phase: 0 repeated slots        worst %d in %d s\n", worstPhaseRepeats, options.seconds);
    SDL_Quit();
    return 0;
}
