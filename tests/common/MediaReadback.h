// Reading recorded files back the way an editor would: MP4 through libavformat/libavcodec,
// WAV from its bytes. Tests judge files by this, never by what the writer reports.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <optional>
#include <vector>

// Everything the tests want to know about a file, read back by libavformat and libavcodec.
struct Readback
{
    QString error;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    AVRational timeBase{0, 1};
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    int profile = FF_PROFILE_UNKNOWN;
    AVRational frameRate{0, 1}; // the stream's average rate
    // The settings x264 or x265 wrote into the stream; empty for other encoders.
    QString encoderInfo;
    // One of them: encoderOption("rc") is "cbr", "abr" (VBR), "cqp", "crf".
    QString encoderOption(const QString &name) const;
    QString videoTimecode;
    bool hasTimecodeTrack = false;
    QList<qint64> pts;         // video packets in presentation order
    QList<qint64> keyframePts; // the key frames among them
    QList<qint64> packetBytes; // video packet sizes, in decoding order
    qint64 totalPacketBytes = 0;
    // Decoded (when asked for): picture types in presentation order, errors, the last picture.
    QList<char> pictureTypes;
    int decodeErrors = 0;
    int decodedFrames = 0;
    QByteArray lastLuma;
    int lastLumaStride = 0;
    // Mean luma of every decoded picture, in presentation order.
    QList<double> meanLuma;

    int lumaAt(int x, int y) const
    {
        return uchar(lastLuma.at(qsizetype(y) * lastLumaStride + x));
    }
};

// Opens an MP4 and reads every video packet; with decode, decodes every picture too.
Readback readBack(const QString &path, bool decode = false);

// Top-level MP4 boxes, in file order ("ftyp", "moov", "moof", "mdat", ..., "mfra").
QStringList topLevelBoxes(const QString &path);

// The Broadcast WAV chunk of a WAV file, field by field.
struct BextReadback
{
    QString description;
    QString originator;
    QString originationDate;
    QString originationTime;
    quint64 timeReference = 0;
    int version = 0;
    QString codingHistory;
};

// A 16-bit PCM WAV file as its header says and as its bytes are, read as any WAV reader does:
// chunk by chunk, skipping the ones it does not know.
struct WavReadback
{
    bool headerValid = false; // RIFF/WAVE, PCM "fmt ", "data" last, sizes consistent
    int channels = 0;
    int sampleRate = 0;
    // The rest of the "fmt " chunk, as written.
    quint32 fmtSize = 0;
    int formatTag = 0;
    quint32 byteRate = 0;
    int blockAlign = 0;
    int bitsPerSample = 0;
    quint32 riffSize = 0;
    quint32 dataSize = 0;
    qint64 dataOffset = 0;
    qint64 fileSize = 0;
    QStringList chunks;                // chunk ids in file order
    std::optional<BextReadback> bext;  // when the file has one
    std::vector<qint16> samples;       // the data the header covers, interleaved
    qint64 frames() const { return channels > 0 ? qint64(samples.size()) / channels : 0; }
};
WavReadback readWav(const QString &path);

// A file as an editor's media import sees it through libavformat (what ffprobe shows).
struct MediaProbe
{
    QString error;            // empty when the file opened
    QString formatName;
    double durationSeconds = 0.0;
    int sampleRate = 0;       // of the first audio stream
    QString timecode;         // the video stream's (or the file's) start timecode
    int width = 0;            // of the video stream
    int height = 0;
    QMap<QString, QString> tags; // the file's metadata (a WAV file's bext fields among them)
};
MediaProbe probeMedia(const QString &path);
