// Broadcast WAV (EBU Tech 3285, version 1): the `bext` chunk that tells an editor where a
// WAV file sits in time. Its TimeReference counts the samples from midnight to the file's
// first sample, so an editor lines the file up with video that carries the same timecode.
// Pure: the chunk's bytes from a plain record; the WAV writer places it before the samples.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

struct BroadcastWavInfo
{
    QString description;    // free text, at most 256 ASCII characters are kept
    QString originator = QStringLiteral("Vireon");
    QDateTime origination;  // local date and time of the recording's start
    quint64 timeReference = 0; // samples since midnight at the file's first sample
    QString codingHistory;  // e.g. "A=PCM,F=48000,W=16,M=stereo,T=Vireon"; may be empty
};

namespace BroadcastWav {

// Bytes of the fixed part of the chunk body (before the coding history).
inline constexpr int fixedBodyBytes = 602;

// The whole chunk: "bext", its size, the body, padded to an even length. Text fields are
// ASCII as the format asks: accented letters lose their accents, anything else becomes "?".
QByteArray chunk(const BroadcastWavInfo &info);

// The coding history line of 16-bit PCM written by this program (EBU R98).
QString pcmCodingHistory(int sampleRate, int channels);

} // namespace BroadcastWav
