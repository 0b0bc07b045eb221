#include "recording/EncoderSetup.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>

namespace {

// Frames of look-ahead when it is on: two thirds of a second at 30 fps, the depth x264's
// "faster" preset uses; deeper costs memory (a picture each) and latency for little gain.
constexpr int kLookaheadFrames = 20;

// H.264/HEVC quantisers run from 0 to 51.
constexpr int kMaxQuantiser = 51;

struct Setter
{
    EncoderSetup &setup;
    void operator()(const char *key, const QByteArray &value) { setup.options.append({QByteArray(key), value}); }
    void operator()(const char *key, int value) { (*this)(key, QByteArray::number(value)); }
    void operator()(const char *key, const char *value) { (*this)(key, QByteArray(value)); }
};

void note(EncoderSetup &setup, const QString &en, const QString &sr)
{
    setup.notes.append(EncoderNote{en, sr});
}

QString familyName(EncoderFamily family, bool hevc)
{
    switch (family) {
    case EncoderFamily::X264: return QStringLiteral("x264");
    case EncoderFamily::X265: return QStringLiteral("x265");
    case EncoderFamily::Nvenc: return QStringLiteral("NVENC");
    case EncoderFamily::Vaapi: return QStringLiteral("VAAPI");
    case EncoderFamily::Qsv: return QStringLiteral("QuickSync");
    case EncoderFamily::Amf: return QStringLiteral("AMF");
    case EncoderFamily::MediaFoundation: return QStringLiteral("Media Foundation");
    case EncoderFamily::Other: break;
    }
    return hevc ? QStringLiteral("HEVC") : QStringLiteral("H.264");
}

bool isHevcName(const QString &name)
{
    return name == QLatin1String("libx265") || name.startsWith(QLatin1String("hevc_"));
}

// The profile asked for, as this family names it. B-frames are cleared for Baseline.
void setProfile(EncoderSetup &setup, EncoderFamily family, bool hevc, const EncoderConfig &config)
{
    Setter set{setup};
    const QString wanted = config.profile;
    if (wanted.isEmpty()) {
        setup.profileText = QStringLiteral("the encoder's own");
        return;
    }
    if (config.rateControl == EncoderConfig::kLossless && family == EncoderFamily::X264) {
        // libx264 refuses lossless in every 8-bit 4:2:0 profile but this one.
        set("profile", "high444");
        setup.profileText = QStringLiteral("High 4:4:4 Predictive");
        note(setup, QStringLiteral("Lossless needs the High 4:4:4 Predictive profile: used instead of %1").arg(wanted),
             QStringLiteral("Lossless zahteva profil High 4:4:4 Predictive: koristi se umesto %1").arg(wanted));
        return;
    }
    if (hevc) {
        if (family == EncoderFamily::X265 || family == EncoderFamily::Nvenc || family == EncoderFamily::Qsv
            || family == EncoderFamily::Vaapi)
            set("profile", "main");
        setup.profileText = QStringLiteral("Main");
        if (wanted != QLatin1String("Main"))
            note(setup, QStringLiteral("HEVC has no %1 profile: Main is used").arg(wanted),
                 QStringLiteral("HEVC nema profil %1: koristi se Main").arg(wanted));
        return;
    }
    const bool baseline = wanted == QLatin1String("Baseline");
    const QByteArray name = wanted.toLower().toLatin1();
    switch (family) {
    case EncoderFamily::X264:
        set("profile", name);
        // x264 declares the least profile its tools need, and its fastest preset leaves the
        // 8x8 transform off (Main): with the transform on (no measurable cost) the stream is
        // High, as asked.
        if (wanted == QLatin1String("High"))
            set("x264-params", "8x8dct=1");
        setup.profileText = wanted;
        break;
    case EncoderFamily::Nvenc:
    case EncoderFamily::Qsv:
        set("profile", name);
        setup.profileText = wanted;
        break;
    case EncoderFamily::Vaapi:
    case EncoderFamily::Amf:
        set("profile", baseline ? QByteArray("constrained_baseline") : name);
        setup.profileText = baseline ? QStringLiteral("Constrained Baseline") : wanted;
        if (baseline)
            note(setup, QStringLiteral("%1 offers Constrained Baseline: used instead of Baseline").arg(familyName(family, hevc)),
                 QStringLiteral("%1 nudi Constrained Baseline: koristi se umesto Baseline").arg(familyName(family, hevc)));
        break;
    case EncoderFamily::MediaFoundation:
    case EncoderFamily::Other:
        setup.profileText = QStringLiteral("the encoder's own");
        note(setup, QStringLiteral("%1 chooses its own profile: %2 is not applied").arg(familyName(family, hevc), wanted),
             QStringLiteral("%1 sam bira profil: %2 se ne primenjuje").arg(familyName(family, hevc), wanted));
        return;
    }
    if (baseline && setup.maxBFrames > 0) {
        note(setup, QStringLiteral("Baseline has no B-frames: 0 used instead of %1").arg(setup.maxBFrames),
             QStringLiteral("Baseline nema B-frejmove: koristi se 0 umesto %1").arg(setup.maxBFrames));
        setup.maxBFrames = 0;
    }
}

void setRateControl(EncoderSetup &setup, EncoderFamily family, bool hevc, const EncoderConfig &config)
{
    Setter set{setup};
    const int target = std::max(1, config.targetBitrateKbps);
    const qint64 targetBps = qint64(target) * 1000;
    // A peak below the target cannot be met; the target wins.
    const int peak = std::max(config.maxBitrateKbps, target);
    const qint64 peakBps = qint64(peak) * 1000;
    const int quantiser = std::clamp(config.quality, 1, kMaxQuantiser);

    switch (std::clamp(config.rateControl, 0, 3)) {
    case EncoderConfig::kConstantBitrate: // the peak is the target, one second of buffer (VBV)
        setup.bitRate = targetBps;
        setup.maxRate = targetBps;
        setup.bufferSize = int(std::min<qint64>(targetBps, INT_MAX));
        setup.rateControlText = QStringLiteral("CBR %1 kbps").arg(target);
        if (family == EncoderFamily::Nvenc || family == EncoderFamily::Amf)
            set("rc", "cbr");
        else if (family == EncoderFamily::Vaapi)
            set("rc_mode", "CBR");
        else if (family == EncoderFamily::MediaFoundation)
            set("rate_control", "cbr");
        break;
    case EncoderConfig::kVariableBitrate: // peak-constrained: two seconds at the peak (VBV)
        setup.bitRate = targetBps;
        setup.maxRate = peakBps;
        setup.bufferSize = int(std::min<qint64>(2 * peakBps, INT_MAX));
        setup.rateControlText = QStringLiteral("VBR %1 kbps, peak %2 kbps").arg(target).arg(peak);
        if (family == EncoderFamily::Nvenc)
            set("rc", "vbr");
        else if (family == EncoderFamily::Amf)
            set("rc", "vbr_peak");
        else if (family == EncoderFamily::Vaapi)
            set("rc_mode", "VBR");
        else if (family == EncoderFamily::MediaFoundation)
            set("rate_control", "pc_vbr");
        break;
    case EncoderConfig::kConstantQuality:
        setup.rateControlText = QStringLiteral("CQP %1").arg(quantiser);
        switch (family) {
        case EncoderFamily::X264:
            set("qp", quantiser);
            break;
        case EncoderFamily::X265:
            set("qp", quantiser);
            break;
        case EncoderFamily::Nvenc:
            set("rc", "constqp");
            set("qp", quantiser);
            break;
        case EncoderFamily::Qsv:
            setup.fixedQuantiser = true;
            setup.globalQuality = quantiser;
            break;
        case EncoderFamily::Vaapi:
            set("rc_mode", "CQP");
            set("qp", quantiser);
            break;
        case EncoderFamily::Amf:
            set("rc", "cqp");
            set("qp_i", quantiser);
            set("qp_p", quantiser);
            set("qp_b", quantiser);
            break;
        case EncoderFamily::MediaFoundation:
            // Media Foundation's quality runs from 0 (worst) to 100; quantiser 1..51 maps onto it.
            set("rate_control", "quality");
            set("quality", std::clamp(100 - quantiser * 100 / kMaxQuantiser, 0, 100));
            break;
        case EncoderFamily::Other:
            setup.globalQuality = quantiser;
            break;
        }
        break;
    default: // lossless
        switch (family) {
        case EncoderFamily::X264:
            set("qp", 0);
            setup.rateControlText = QStringLiteral("lossless (qp 0)");
            break;
        case EncoderFamily::X265:
            setup.rateControlText = QStringLiteral("lossless");
            break; // x265-params lossless=1, with the other x265 parameters
        case EncoderFamily::Nvenc:
            set("tune", "lossless");
            set("rc", "constqp");
            set("qp", 0);
            setup.rateControlText = QStringLiteral("lossless");
            break;
        default: {
            // QuickSync, VAAPI, AMF and Media Foundation have no lossless mode: the finest
            // fixed quantiser comes closest.
            EncoderConfig finest = config;
            finest.rateControl = EncoderConfig::kConstantQuality;
            finest.quality = 1;
            setRateControl(setup, family, hevc, finest);
            note(setup, QStringLiteral("%1 cannot encode losslessly: CQP 1 is used instead").arg(familyName(family, hevc)),
                 QStringLiteral("%1 ne može da kodira bez gubitaka: koristi se CQP 1").arg(familyName(family, hevc)));
            break;
        }
        }
        break;
    }
}

void setLookahead(EncoderSetup &setup, EncoderFamily family, bool hevc, const EncoderConfig &config,
                  QList<QByteArray> &x265Params)
{
    Setter set{setup};
    const auto notOffered = [&](const QString &en, const QString &sr) {
        note(setup, en, sr);
    };
    switch (family) {
    case EncoderFamily::X264:
        set("rc-lookahead", config.lookahead ? kLookaheadFrames : 0);
        break;
    case EncoderFamily::X265:
        // x265 looks ahead at least one frame past its B-frames.
        x265Params.append("rc-lookahead=" + QByteArray::number(config.lookahead ? kLookaheadFrames : setup.maxBFrames + 1));
        break;
    case EncoderFamily::Nvenc:
        if (config.lookahead)
            set("rc-lookahead", kLookaheadFrames);
        break;
    case EncoderFamily::Qsv:
        if (!config.lookahead)
            break;
        if (!hevc && config.rateControl == EncoderConfig::kVariableBitrate) {
            set("look_ahead", 1);
            set("look_ahead_depth", kLookaheadFrames);
        } else {
            notOffered(QStringLiteral("QuickSync looks ahead only for H.264 in VBR: Lookahead is off"),
                       QStringLiteral("QuickSync gleda unapred samo za H.264 u VBR režimu: Lookahead je isključen"));
        }
        break;
    case EncoderFamily::Vaapi:
    case EncoderFamily::Amf:
    case EncoderFamily::MediaFoundation:
    case EncoderFamily::Other:
        if (config.lookahead)
            notOffered(QStringLiteral("%1 has no look-ahead: Lookahead is off").arg(familyName(family, hevc)),
                       QStringLiteral("%1 ne gleda unapred: Lookahead je isključen").arg(familyName(family, hevc)));
        break;
    }
}

void setEffort(EncoderSetup &setup, EncoderFamily family, const EncoderConfig &config)
{
    Setter set{setup};
    const int effort = std::clamp(config.effort, 0, 3);
    switch (family) {
    case EncoderFamily::X264:
    case EncoderFamily::X265:
        set("preset", "ultrafast");
        break;
    case EncoderFamily::Nvenc: {
        static const char *const presets[] = {"p1", "p2", "p4", "p5"};
        set("preset", presets[effort]);
        break;
    }
    case EncoderFamily::Qsv: {
        static const char *const presets[] = {"veryfast", "faster", "fast", "medium"};
        set("preset", presets[effort]);
        break;
    }
    default:
        break;
    }
}

} // namespace

EncoderFamily encoderFamilyOf(const QString &name)
{
    if (name == QLatin1String("libx264"))
        return EncoderFamily::X264;
    if (name == QLatin1String("libx265"))
        return EncoderFamily::X265;
    if (name.endsWith(QLatin1String("_nvenc")))
        return EncoderFamily::Nvenc;
    if (name.endsWith(QLatin1String("_vaapi")))
        return EncoderFamily::Vaapi;
    if (name.endsWith(QLatin1String("_qsv")))
        return EncoderFamily::Qsv;
    if (name.endsWith(QLatin1String("_amf")))
        return EncoderFamily::Amf;
    if (name.endsWith(QLatin1String("_mf")))
        return EncoderFamily::MediaFoundation;
    return EncoderFamily::Other;
}

ColorDescription colorDescriptionFor(const QString &colorSpace, bool fullRange)
{
    ColorDescription d;
    const AVColorRange range = fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    const QString rangeText = fullRange ? QStringLiteral("full") : QStringLiteral("limited");
    if (colorSpace == QLatin1String("Rec.709") || colorSpace == QLatin1String("Rec.709 (SDR Standard)")) {
        d = {AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709, range, SWS_CS_ITU709, QStringLiteral("Rec.709")};
    } else if (colorSpace == QLatin1String("Rec.2020") || colorSpace == QLatin1String("Rec.2020 (HDR)")) {
        d = {AVCOL_PRI_BT2020, AVCOL_TRC_BT2020_10, AVCOL_SPC_BT2020_NCL, range, SWS_CS_BT2020, QStringLiteral("Rec.2020")};
    } else if (colorSpace == QLatin1String("Rec.601")) {
        d = {AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M, AVCOL_SPC_SMPTE170M, range, SWS_CS_ITU601, QStringLiteral("Rec.601")};
    } else if (colorSpace == QLatin1String("sRGB")) {
        d = {AVCOL_PRI_BT709, AVCOL_TRC_IEC61966_2_1, AVCOL_SPC_BT709, range, SWS_CS_ITU709, QStringLiteral("sRGB")};
    } else {
        // Read as BT.601 limited, like every unlabelled stream.
        d = {AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED,
             SWS_CS_ITU601, QStringLiteral("unlabelled")};
        return d;
    }
    d.text += QLatin1Char(' ') + rangeText;
    return d;
}

QByteArray EncoderSetup::option(const QByteArray &key) const
{
    for (const auto &[name, value] : options) {
        if (name == key)
            return value;
    }
    return QByteArray();
}

EncoderSetup encoderSetupFor(const QString &encoderName, const EncoderConfig &config)
{
    EncoderSetup setup;
    const EncoderFamily family = encoderFamilyOf(encoderName);
    const bool hevc = isHevcName(encoderName);
    setup.gopSize = gopLengthFrames(config.keyframeIntervalSeconds, config.frameRate.toDouble());
    setup.maxBFrames = std::clamp(config.bFrames, 0, 16);
    setup.color = colorDescriptionFor(config.colorSpace, config.fullRange);
    if (family == EncoderFamily::MediaFoundation && setup.color.primaries != AVCOL_PRI_UNSPECIFIED)
        note(setup, QStringLiteral("Media Foundation does not label colour: the files carry no colour tags"),
             QStringLiteral("Media Foundation ne označava boje: fajlovi nemaju oznake boja"));

    QList<QByteArray> x265Params;
    setEffort(setup, family, config);
    setRateControl(setup, family, hevc, config);
    setProfile(setup, family, hevc, config);
    setLookahead(setup, family, hevc, config, x265Params);
    if (family == EncoderFamily::X265) {
        if (config.rateControl == EncoderConfig::kLossless)
            x265Params.prepend("lossless=1");
        else if (config.rateControl == EncoderConfig::kConstantBitrate)
            x265Params.prepend("strict-cbr=1");
        x265Params.prepend("log-level=error");
        Setter{setup}("x265-params", x265Params.join(':'));
    }
    // Offered as a hardware encoder: never let Media Foundation settle for its software one.
    if (family == EncoderFamily::MediaFoundation)
        Setter{setup}("hw_encoding", 1);
    return setup;
}
