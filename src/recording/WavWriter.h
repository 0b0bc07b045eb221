// WavWriter: one 16-bit PCM WAV file written from interleaved float samples.
// The format and one file only: a take's audio files use it through WavPartWriter, which
// continues a full file in a next part, on the take's audio writer thread. One thread at a
// time; no threads or locks of its own.
//
// A take must survive a crash or a power cut: the header's size fields are rewritten and the
// file is synced to disk after every two seconds of audio (counted in samples), or whenever
// the owner calls refreshHeader() (the take's writer thread does so by the wall clock), so an
// abandoned file plays up to its last refresh. The size fields are unsigned
// 32-bit; a file whose data reaches that limit (less the header, which is bigger with a
// Broadcast WAV `bext` chunk) stops growing (logged once, isFull()) rather than wrapping its
// header into nonsense.
//
// Failures become state instead of disappearing: a failed open, write, header refresh or close
// sets hasError() and errorString() and is logged once; later samples are refused and counted
// in droppedSamples(). The caller decides what to do (the manager stops the take).
#pragma once

#include "recording/BroadcastWav.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <limits>
#include <optional>
#include <vector>

namespace WavFormat {

inline constexpr int headerBytes = 44; // the canonical header, without other chunks
inline constexpr int bytesPerSample = 2; // 16-bit PCM

// Largest data size, in whole frames, that a header of `headerSize` bytes can describe: the
// RIFF size at offset 4 holds everything after offset 8 (header and data) in 32 unsigned bits.
quint32 maxDataBytes(int channels, qint64 headerSize = headerBytes);

// How many of `requested` samples may still be appended after `samplesWritten` without the
// data passing `limitBytes`. Never negative.
qint64 samplesThatFit(qint64 samplesWritten, qint64 requested, quint32 limitBytes);

// The header for `dataBytes` of samples: "RIFF", "fmt " with PCM, then `chunksBeforeData`
// (whole chunks, even-sized, such as "bext"), then "data". 44 bytes without other chunks.
QByteArray header(int sampleRate, int channels, quint32 dataBytes, const QByteArray &chunksBeforeData = {});

} // namespace WavFormat

class WavWriter
{
public:
    WavWriter() = default;
    ~WavWriter(); // closes (finalises the header) when still open
    WavWriter(const WavWriter &) = delete;
    WavWriter &operator=(const WavWriter &) = delete;

    // Creates or truncates `path` and writes a header for zero samples. A writer that is still
    // open finalises its current file first, so a writer can be reused for a new file.
    bool open(const QString &path, int sampleRate, int channels);

    // Appends interleaved samples (converted as AudioFormat::toPcm16). Ignored while closed;
    // refused (and counted as dropped) after an error or once the file is full.
    void writeSamples(const float *samples, qsizetype count);
    void writeSamples(const std::vector<float> &samples)
    {
        writeSamples(samples.data(), qsizetype(samples.size()));
    }

    // Broadcast WAV: the next files opened carry a `bext` chunk with this information before
    // their samples; none with std::nullopt (the plain 44-byte header, the default).
    void setBroadcastInfo(std::optional<BroadcastWavInfo> info) { m_broadcastInfo = std::move(info); }

    // Rewrites the header with the final sizes, syncs and closes. Does nothing when closed.
    void close();

    bool isOpen() const { return m_isOpen; }
    QString path() const { return m_path; }
    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }

    // 16-bit samples (all channels together) in the file since open().
    qint64 samplesWritten() const { return m_samplesWritten; }
    qint64 framesWritten() const { return m_channels > 0 ? m_samplesWritten / m_channels : 0; }
    // Samples handed to writeSamples() since open() that did not reach the file.
    qint64 droppedSamples() const { return m_droppedSamples; }

    // The first failure since open() (open, write, header refresh, sync or close).
    bool hasError() const { return m_hasError; }
    QString errorString() const { return m_errorString; }

    // The data reached the size limit; the file is complete and valid but no longer grows.
    bool isFull() const { return m_isFull; }

    // Lowers the data size at which the file stops growing (applied at the next open; the
    // format's own limit always holds). Lets tests reach the limit without writing 4 GiB.
    void setDataSizeLimitBytes(quint32 bytes) { m_requestedLimitBytes = bytes; }
    // The data size at which the open file stops growing.
    quint32 dataLimitBytes() const { return m_dataLimitBytes; }

    // Seconds of audio between automatic header refreshes (applied at the next open); 0 leaves
    // the refresh to the caller (a writer thread that refreshes by the wall clock).
    void setHeaderRefreshSeconds(int seconds) { m_headerRefreshSeconds = seconds; }
    // Rewrites the header for the samples written so far and syncs the file to disk.
    bool refreshHeader();

private:
    qint64 writeAll(const char *data, qint64 size);
    bool syncToDisk();
    void fail(const QString &what);

    QFile m_file;
    QString m_path;
    int m_sampleRate = 0;
    int m_channels = 0;
    bool m_isOpen = false;
    bool m_hasError = false;
    bool m_isFull = false;
    QString m_errorString;
    qint64 m_samplesWritten = 0;
    qint64 m_samplesSinceRefresh = 0;
    qint64 m_refreshIntervalSamples = 0;
    qint64 m_droppedSamples = 0;
    quint32 m_requestedLimitBytes = std::numeric_limits<quint32>::max();
    quint32 m_dataLimitBytes = 0;
    int m_headerRefreshSeconds = 2;
    std::optional<BroadcastWavInfo> m_broadcastInfo;
    QByteArray m_chunksBeforeData; // of the open file, rewritten with every header
    QByteArray m_pcm; // reused conversion buffer, one level tick at a time
};
