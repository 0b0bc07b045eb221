#include "recording/TakeFormat.h"

#include "recording/RecordingChoices.h"

#include <algorithm>
#include <cmath>

namespace TakeFormat {

FrameRate frameRateFor(const RecordingSettings &settings, const QList<double> &cameraRates)
{
    const QList<RecordingChoices::FrameRateEntry> &rates = RecordingChoices::frameRates();
    const int index = RecordingChoices::validIndex(settings.framerateIndex, int(rates.size()),
                                                   RecordingChoices::kDefaultFrameRateIndex);
    const RecordingChoices::FrameRateEntry &entry = rates.at(index);
    if (!entry.isAuto)
        return entry.rate;
    double fastest = 0.0;
    for (const double fps : cameraRates) {
        if (std::isfinite(fps) && fps > fastest)
            fastest = fps;
    }
    return fastest > 0.0 ? frameRateFraction(fastest) : rates.at(RecordingChoices::kDefaultFrameRateIndex).rate;
}

QSize masterSize(const RecordingSettings &settings)
{
    const QList<RecordingChoices::Resolution> &sizes = RecordingChoices::resolutions();
    return sizes.at(RecordingChoices::validIndex(settings.resolutionIndex, int(sizes.size()), 2)).size;
}

QSize recordedSize(QSize camera, QSize master)
{
    if (camera.width() < 1 || camera.height() < 1)
        camera = master;
    const double scale = std::min({1.0, double(master.width()) / camera.width(), double(master.height()) / camera.height()});
    const int width = int(std::lround(camera.width() * scale));
    const int height = int(std::lround(camera.height() * scale));
    return QSize(std::max(2, width & ~1), std::max(2, height & ~1));
}

EncoderConfig encoderConfigFor(const RecordingSettings &settings, QSize cameraSize, FrameRate rate)
{
    EncoderConfig config;
    const QSize size = recordedSize(cameraSize, masterSize(settings));
    config.width = size.width();
    config.height = size.height();
    config.frameRate = rate;

    const QList<RecordingChoices::QualityPreset> &presets = RecordingChoices::qualityPresets();
    const RecordingChoices::QualityPreset &preset = presets.at(RecordingChoices::validIndex(settings.qualityIndex, int(presets.size()), 2));
    config.effort = preset.effort;

    if (!settings.advancedQuality) {
        // The defaults of the grid, at the preset's bitrate.
        const RecordingSettings defaults;
        config.rateControl = preset.isLossless ? EncoderConfig::kLossless : EncoderConfig::kConstantBitrate;
        config.targetBitrateKbps = preset.isLossless ? defaults.targetBitrateKbps : preset.bitrateKbps;
        config.maxBitrateKbps = config.targetBitrateKbps;
        config.keyframeIntervalSeconds = defaults.keyframeIntervalSeconds;
        config.bFrames = defaults.bFrames;
        config.profile = defaults.encoderProfile;
        config.lookahead = defaults.lookahead;
        config.colorSpace = defaults.colorSpace;
        config.fullRange = defaults.isFullRange();
        return config;
    }

    const int mode = int(RecordingChoices::rateControlModes().indexOf(settings.rateControlMode));
    config.rateControl = mode == 1 ? EncoderConfig::kVariableBitrate
                         : mode == 2 ? EncoderConfig::kConstantQuality
                                     : EncoderConfig::kConstantBitrate;
    config.targetBitrateKbps = std::max(1, settings.targetBitrateKbps);
    config.maxBitrateKbps = std::max(1, settings.maxBitrateKbps);
    config.quality = settings.cqpLevel();
    config.keyframeIntervalSeconds = std::max(1, settings.keyframeIntervalSeconds);
    config.bFrames = std::max(0, settings.bFrames);
    config.profile = settings.encoderProfile;
    config.lookahead = settings.lookahead;
    config.colorSpace = settings.colorSpace;
    config.fullRange = settings.isFullRange();
    return config;
}

} // namespace TakeFormat
