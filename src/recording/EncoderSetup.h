// EncoderSetup: how one EncoderConfig is told to one FFmpeg encoder family, and what that
// family cannot do as asked (with what it does instead). Pure functions; FfmpegVideoCodec
// applies the result to its codec context, the take's set-up shows the notes in the settings
// window and the log before a take starts. Any thread may call them.
//
// Per family (effort 0 / 1 / 2 / 3, from the quality preset):
//   libx264, libx265  preset ultrafast at every effort: four cameras must encode in real time
//                     on the processor, so quality comes from the bitrate. CBR/VBR with the
//                     rate control buffer (VBV), CQP as the fixed quantiser qp, lossless as
//                     qp 0 (x264, High 4:4:4 Predictive profile) or lossless=1 (x265).
//   NVENC             preset p1 / p2 / p4 / p5; rc cbr, vbr or constqp; lossless tuning.
//   QuickSync         preset veryfast / faster / fast / medium; CQP as a fixed quantiser.
//   VAAPI             rc_mode CBR, VBR or CQP; the driver's own speed setting.
//   AMF, Media Foundation (Windows) their rate control modes; their own presets.
// Profiles: H.264 Baseline (no B-frames), Main, High; HEVC has one 8-bit 4:2:0 profile, Main.
// Look-ahead: about two thirds of a second (20 frames) where the encoder has one.
#pragma once

#include "recording/EncoderConfig.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

enum class EncoderFamily { X264, X265, Nvenc, Vaapi, Qsv, Amf, MediaFoundation, Other };

EncoderFamily encoderFamilyOf(const QString &encoderName);

// A setting the encoder does not honour as asked: which, and what is used instead, in the
// interface's two languages.
struct EncoderNote
{
    QString en;
    QString sr;
    friend bool operator==(const EncoderNote &, const EncoderNote &) = default;
};

// How a colour space name is written into the stream and which matrix converts RGB into it.
struct ColorDescription
{
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_MPEG;
    // libswscale's SWS_CS_* coefficients for RGB → YUV.
    int swsColorspace = 0;
    // Short words for the log: "Rec.709 limited".
    QString text;
};

// "Rec.601" → SMPTE 170M (BT.601 matrix); "Rec.709" and "Rec.709 (SDR Standard)" → BT.709;
// "Rec.2020" and "Rec.2020 (HDR)" → BT.2020 (10-bit transfer, non-constant luminance matrix);
// "sRGB" → BT.709 primaries and matrix with the sRGB transfer; limited range, or full range
// with `fullRange`. Anything else leaves the description unset and converts with BT.601 into
// limited range, which is what decoders assume for an unlabelled stream.
ColorDescription colorDescriptionFor(const QString &colorSpace, bool fullRange = false);

struct EncoderSetup
{
    // Codec context fields.
    qint64 bitRate = 0;
    qint64 maxRate = 0;
    int bufferSize = 0;
    int gopSize = 1;
    int maxBFrames = 0;
    bool fixedQuantiser = false; // AV_CODEC_FLAG_QSCALE with globalQuality
    int globalQuality = 0;
    ColorDescription color;
    // The encoder's private options, in the order they are set.
    QList<QPair<QByteArray, QByteArray>> options;

    // What was set, for the take's log: "profile High, CBR 16000 kbps".
    QString profileText;     // "High", "Main", "High 4:4:4 Predictive", "the encoder's own"
    QString rateControlText; // "CBR 16000 kbps", "VBR 16000 kbps, peak 24000 kbps", "CQP 20", "lossless"
    QList<EncoderNote> notes;

    // The value set for a private option, empty when it is not set.
    QByteArray option(const QByteArray &key) const;
};

EncoderSetup encoderSetupFor(const QString &encoderName, const EncoderConfig &config);
