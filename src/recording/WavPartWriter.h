// WavPartWriter: one audio track of a take, written as WAV files that each stay within the
// format's 4 GiB: when a file is full the track goes on in a next file beside it
// ("Master_Audio_Output.wav", then "Master_Audio_Output_002.wav", ...), each a complete WAV
// of its own. A part ends on a whole frame and the next begins with the frame after it, so
// the parts laid end to end hold the track without a gap or an overlap. With Broadcast WAV
// information every part carries a `bext` chunk whose time reference is that of its own
// first sample, so an editor places each part where it belongs.
//
// One thread at a time (the take's audio writer thread; open() on the thread that starts the
// take). Format and single-file work is WavWriter's; this class only chooses when and where
// a next part begins.
#pragma once

#include "recording/WavWriter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

class WavPartWriter
{
public:
    // The path of part `part` (1-based) of a track whose first file is `firstPath`: the first
    // part is firstPath itself, later ones carry "_002", "_003", ... before the extension.
    static QString partPath(const QString &firstPath, int part);

    // Before open(): every part gets a `bext` chunk with this information, its time reference
    // advanced by the frames of the parts before it (std::nullopt: plain WAV files).
    void setBroadcastInfo(std::optional<BroadcastWavInfo> info) { m_broadcastInfo = std::move(info); }

    // Opens the first part. False (with errorString()) when it cannot be created.
    bool open(const QString &firstPath, int sampleRate, int channels);
    // Appends interleaved samples, beginning a next part whenever the current one is full.
    void write(const float *samples, qsizetype count);
    // Rewrites the current part's header and syncs it (the crash promise).
    void refreshHeader();
    // Finalises the current part. Does nothing when closed.
    void close();

    bool isOpen() const { return m_file.isOpen(); }
    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    // Every part begun so far, in order, and the frames each holds.
    QStringList partPaths() const { return m_partPaths; }
    QList<qint64> partFrames() const;
    qint64 framesWritten() const;

    // The data size of one part (tests reach the limit without writing 4 GiB); applied to the
    // parts opened after the call.
    void setPartSizeLimitBytes(quint32 bytes) { m_partLimitBytes = bytes; }

private:
    bool openPart(int part);
    void noteError();

    WavWriter m_file;
    QString m_firstPath;
    int m_sampleRate = 0;
    int m_channels = 0;
    QStringList m_partPaths;
    QList<qint64> m_closedPartFrames; // frames of every part before the current one
    quint32 m_partLimitBytes = std::numeric_limits<quint32>::max();
    std::optional<BroadcastWavInfo> m_broadcastInfo; // of the first part
    QString m_error;
};
