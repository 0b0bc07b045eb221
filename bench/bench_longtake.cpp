// bench_longtake: the program's resident memory through a long take, sampled from outside.
//
//   bench_longtake [--minutes M] [--binary PATH] [--reference] [--keep DIR]
//
// Runs `vireon --headless --demo --record M*60` (the four built-in cameras and the test tone,
// re-encoded) and reads its resident size from /proc every 10 s. The target: after the first
// minute the resident size stays within 50 MB of what it was then. With --reference a second
// take follows with the allocator left as glibc has it (GLIBC_TUNABLES set: the program then
// keeps its hands off), so the same run shows what the tuning changes.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

qint64 residentBytesOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

struct Take
{
    QList<std::pair<int, qint64>> samples; // seconds into the run, resident bytes
    qint64 peak = 0;
    int exitCode = -1;
};

Take runTake(const QString &binary, int minutes, const QString &folder, bool keepAllocator)
{
    Take take;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    if (keepAllocator)
        environment.insert(QStringLiteral("GLIBC_TUNABLES"), QStringLiteral("glibc.malloc.check=0"));
    else
        environment.remove(QStringLiteral("GLIBC_TUNABLES"));
    program.setProcessEnvironment(environment);
    // The program's log goes to a file beside the take, not over the figures.
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QDir(folder).filePath(QStringLiteral("program_log.txt")), QIODevice::Append);
    program.start(binary, {QStringLiteral("--headless"), QStringLiteral("--demo"), QStringLiteral("--record"),
                           QString::number(minutes * 60), QStringLiteral("--output"), folder,
                           // A port of its own, away from a program running beside it.
                           QStringLiteral("--port"), QString::number(20000 + QCoreApplication::applicationPid() % 20000)});
    if (!program.waitForStarted())
        return take;
    QElapsedTimer clock;
    clock.start();
    qint64 nextSampleMs = 0;
    while (!program.waitForFinished(500)) {
        if (clock.elapsed() >= nextSampleMs) {
            const qint64 bytes = residentBytesOf(program.processId());
            if (bytes > 0) {
                take.samples.append({int(clock.elapsed() / 1000), bytes});
                take.peak = std::max(take.peak, bytes);
            }
            nextSampleMs += 10'000;
        }
    }
    take.exitCode = program.exitCode();
    return take;
}

void report(const char *who, const Take &take)
{
    std::printf("%s (exit %d):\n ", who, take.exitCode);
    qint64 afterMinute = -1, largestAfter = 0;
    for (const auto &[second, bytes] : take.samples) {
        std::printf(" %ds:%.0fMB", second, double(bytes) / 1e6);
        if (second >= 60 && afterMinute < 0)
            afterMinute = bytes;
        if (second >= 60)
            largestAfter = std::max(largestAfter, bytes);
    }
    std::printf("\n  peak %.0f MB", double(take.peak) / 1e6);
    if (afterMinute > 0)
        std::printf("; after the first minute %.0f MB, at most %.0f MB later: %+.0f MB (target within 50 MB)",
                    double(afterMinute) / 1e6, double(largestAfter) / 1e6, double(largestAfter - afterMinute) / 1e6);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const auto value = [&](const char *name, const QString &fallback) {
        const int index = arguments.indexOf(QLatin1String(name));
        return index >= 0 && index + 1 < arguments.size() ? arguments[index + 1] : fallback;
    };
    const int minutes = std::max(1, value("--minutes", QStringLiteral("60")).toInt());
    const QString binary = value("--binary", QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../vireon")));
    QTemporaryDir temporary;
    const QString folder = value("--keep", temporary.path());
    std::printf("bench_longtake: %d-minute take of the four built-in cameras with %s, resident size every 10 s\n",
                minutes, qPrintable(binary));
    std::fflush(stdout);
    report("program", runTake(binary, minutes, folder, false));
    if (arguments.contains(QLatin1String("--reference")))
        report("reference: the allocator as glibc has it", runTake(binary, minutes, folder, true));
    return 0;
}
