#include "recording/BroadcastWav.h"

#include <QtEndian>

#include <cstring>

namespace BroadcastWav {

namespace {

// Printable ASCII only: letters are decomposed first so "Čačak" keeps "Cacak".
QByteArray ascii(const QString &text)
{
    QByteArray out;
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    for (const QChar c : decomposed) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F)
            out += char(u);
        else if (c.category() != QChar::Mark_NonSpacing && !c.isLowSurrogate())
            out += '?';
    }
    return out;
}

// A fixed-size text field: the text, cut to the field, the rest NUL.
void putText(char *at, int size, const QByteArray &text)
{
    std::memcpy(at, text.constData(), size_t(std::min<qsizetype>(text.size(), size)));
}

} // namespace

QByteArray chunk(const BroadcastWavInfo &info)
{
    // CR LF ends each line of the coding history.
    QByteArray history = ascii(info.codingHistory);
    if (!history.isEmpty() && !history.endsWith("\r\n"))
        history += "\r\n";
    const qsizetype bodySize = fixedBodyBytes + history.size();
    QByteArray bytes(8 + bodySize + (bodySize % 2), '\0');
    char *c = bytes.data();
    std::memcpy(c, "bext", 4);
    qToLittleEndian<quint32>(quint32(bodySize), c + 4);
    char *body = c + 8;
    putText(body + 0, 256, ascii(info.description));
    putText(body + 256, 32, ascii(info.originator));
    // body + 288: OriginatorReference, left empty.
    putText(body + 320, 10, info.origination.date().toString(QStringLiteral("yyyy-MM-dd")).toLatin1());
    putText(body + 330, 8, info.origination.time().toString(QStringLiteral("HH:mm:ss")).toLatin1());
    qToLittleEndian<quint32>(quint32(info.timeReference & 0xFFFFFFFFu), body + 338);
    qToLittleEndian<quint32>(quint32(info.timeReference >> 32), body + 342);
    qToLittleEndian<quint16>(1, body + 346); // version 1: no loudness fields, no UMID given
    // body + 348: UMID (64 bytes) and the reserved 190 bytes stay zero.
    std::memcpy(body + fixedBodyBytes, history.constData(), size_t(history.size()));
    return bytes;
}

QString pcmCodingHistory(int sampleRate, int channels)
{
    const QString mode = channels == 1 ? QStringLiteral("mono")
                         : channels == 2 ? QStringLiteral("stereo")
                                         : QStringLiteral("multitrack");
    return QStringLiteral("A=PCM,F=%1,W=16,M=%2,T=Vireon").arg(sampleRate).arg(mode);
}

} // namespace BroadcastWav
