#include "app/EncoderBenchmark.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

namespace {

struct Candidate
{
    const char *label;
    int width;
    int height;
    double fps;
    int resolutionIndex;
    int framerateIndex; // settings window list
    int qualityIndex;
};

// Best first. 1080p is what the cameras and the timeline deliver, so a lower frame rate is
// given up before resolution.
constexpr std::array<Candidate, 5> kCandidates = {{
    {"1080p60", 1920, 1080, 60.0, 2, 8, 2},
    {"1080p30", 1920, 1080, 30.0, 2, 4, 2},
    {"720p60", 1280, 720, 60.0, 3, 8, 1},
    {"720p30", 1280, 720, 30.0, 3, 4, 1},
    {"480p30", 640, 480, 30.0, 4, 4, 0},
}};

bool isUsable(const EncoderMeasurement &m)
{
    return m.succeeded && m.frames > 0 && m.width > 0 && m.height > 0 && m.wallMs >= 0.0
        && m.cpuMs >= 0.0 && m.encoderIndex >= 0;
}

struct Load
{
    double cpu = 0.0;    // share of all threads
    double device = 0.0; // share of the engine's time; 0 for software encoders
};

Load loadOf(const EncoderMeasurement &m, const Candidate &c, const BenchmarkPlan &plan)
{
    const double scale = double(c.width) * c.height / (double(m.width) * m.height);
    const double framesPerSecond = std::max(1, plan.channels) * c.fps * scale;
    Load load;
    load.cpu = framesPerSecond * (m.cpuMs / m.frames) / 1000.0 / std::max(1, plan.threads);
    if (m.isHardware)
        load.device = framesPerSecond * (m.wallMs / m.frames) / 1000.0;
    return load;
}

bool fits(const Load &load, const BenchmarkPlan &plan)
{
    return load.cpu <= plan.cpuShare && load.device <= plan.deviceShare;
}

// Ordering among encoders that fit: hardware first (it leaves the CPU to capture), H.264
// before HEVC (editors decode it more cheaply), then the lower CPU load, then list order.
auto preferenceKey(const EncoderMeasurement &m, const Load &load)
{
    return std::make_tuple(m.isHardware ? 0 : 1, m.codec == QLatin1String("hevc") ? 1 : 0,
                           load.cpu, m.encoderIndex);
}

int percent(double share)
{
    return int(std::lround(share * 100.0));
}

QString channelsText(int channels)
{
    return channels == 1 ? QStringLiteral("1 channel") : QStringLiteral("%1 channels").arg(channels);
}

// "72% CPU", or "9% CPU, 40% engine" for a hardware encoder.
QString loadText(const EncoderMeasurement &m, const Load &load)
{
    QString text = QStringLiteral("%1% CPU").arg(percent(load.cpu));
    if (m.isHardware)
        text += QStringLiteral(", %1% engine").arg(percent(load.device));
    return text;
}

QString measurementLine(const EncoderMeasurement &m)
{
    if (!isUsable(m)) {
        const QString reason = m.errorText.isEmpty() ? QStringLiteral("no frames encoded") : m.errorText;
        return QStringLiteral("%1: failed (%2)").arg(m.name, reason);
    }
    return QStringLiteral("%1: %2 ms CPU, %3 ms per %4x%5 frame")
        .arg(m.name)
        .arg(m.cpuMs / m.frames, 0, 'f', 1)
        .arg(m.wallMs / m.frames, 0, 'f', 1)
        .arg(m.width)
        .arg(m.height);
}

void applyCandidate(BenchmarkRecommendation &rec, const Candidate &c, const EncoderMeasurement &m,
                    const Load &load)
{
    rec.resolutionIndex = c.resolutionIndex;
    rec.framerateIndex = c.framerateIndex;
    rec.qualityIndex = c.qualityIndex;
    rec.encoderIndex = m.encoderIndex;
    rec.cpuLoad = load.cpu;
    rec.deviceLoad = load.device;
}

} // namespace

BenchmarkRecommendation recommendSettings(const QList<EncoderMeasurement> &measurements,
                                          const BenchmarkPlan &plan)
{
    BenchmarkRecommendation rec;
    QStringList lines;
    const int channels = std::max(1, plan.channels);

    QList<const EncoderMeasurement *> usable;
    for (const EncoderMeasurement &m : measurements) {
        if (isUsable(m))
            usable.append(&m);
    }

    if (usable.isEmpty()) {
        lines.append(QStringLiteral("Benchmark failed: no encoder could encode test frames"));
    } else {
        rec.hasMeasurement = true;
        for (const Candidate &candidate : kCandidates) {
            const EncoderMeasurement *best = nullptr;
            Load bestLoad;
            for (const EncoderMeasurement *m : usable) {
                const Load load = loadOf(*m, candidate, plan);
                if (!fits(load, plan))
                    continue;
                if (best == nullptr || preferenceKey(*m, load) < preferenceKey(*best, bestLoad)) {
                    best = m;
                    bestLoad = load;
                }
            }
            if (best != nullptr) {
                rec.isSustainable = true;
                applyCandidate(rec, candidate, *best, bestLoad);
                lines.append(QStringLiteral("Hardware baseline optimal for %1 %2 (%3, %4)")
                                 .arg(QLatin1String(candidate.label), best->name,
                                      channelsText(channels), loadText(*best, bestLoad)));
                break;
            }
        }
        if (!rec.isSustainable) {
            // Nothing fits: the smallest settings with the encoder that comes closest.
            const Candidate &smallest = kCandidates.back();
            const EncoderMeasurement *best = nullptr;
            Load bestLoad;
            double bestExcess = 0.0;
            for (const EncoderMeasurement *m : usable) {
                const Load load = loadOf(*m, smallest, plan);
                const double excess = std::max(load.cpu / std::max(plan.cpuShare, 1e-6),
                                               load.device / std::max(plan.deviceShare, 1e-6));
                if (best == nullptr || excess < bestExcess) {
                    best = m;
                    bestLoad = load;
                    bestExcess = excess;
                }
            }
            applyCandidate(rec, smallest, *best, bestLoad);
            lines.append(QStringLiteral("Hardware below baseline: %1 %2 (%3, needs %4)")
                             .arg(QLatin1String(smallest.label), best->name, channelsText(channels),
                                  loadText(*best, bestLoad)));
        }
    }

    for (const EncoderMeasurement &m : measurements)
        lines.append(measurementLine(m));
    rec.summary = lines.join(QLatin1Char('\n'));
    return rec;
}
