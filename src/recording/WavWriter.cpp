#include "recording/WavWriter.h"

#include "common/AudioFormat.h"
#include "recording/FileSync.h"

#include <QDebug>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace WavFormat {

namespace {

void putTag(char *at, const char (&tag)[5])
{
    std::memcpy(at, tag, 4);
}

} // namespace

quint32 maxDataBytes(int channels, qint64 headerSize)
{
    // The RIFF size counts from offset 8 ("WAVE" onwards): the header less 8, and the data.
    const quint64 blockAlign = quint64(std::max(channels, 1)) * bytesPerSample;
    const quint64 overhead = quint64(std::max<qint64>(headerSize, headerBytes) - 8);
    const quint64 limit = std::numeric_limits<quint32>::max() - overhead;
    return quint32(limit / blockAlign * blockAlign);
}

qint64 samplesThatFit(qint64 samplesWritten, qint64 requested, quint32 limitBytes)
{
    const qint64 room = qint64(limitBytes) / bytesPerSample - samplesWritten;
    return std::clamp<qint64>(room, 0, std::max<qint64>(requested, 0));
}

QByteArray header(int sampleRate, int channels, quint32 dataBytes, const QByteArray &chunksBeforeData)
{
    const qsizetype size = headerBytes + chunksBeforeData.size();
    dataBytes = std::min(dataBytes, maxDataBytes(channels, size));
    QByteArray bytes(size, '\0');
    char *h = bytes.data();
    putTag(h + 0, "RIFF");
    qToLittleEndian<quint32>(quint32(size - 8 + dataBytes), h + 4);
    putTag(h + 8, "WAVE");
    putTag(h + 12, "fmt ");
    qToLittleEndian<quint32>(16, h + 16);
    qToLittleEndian<quint16>(1, h + 20); // PCM
    qToLittleEndian<quint16>(quint16(channels), h + 22);
    qToLittleEndian<quint32>(quint32(sampleRate), h + 24);
    qToLittleEndian<quint32>(quint32(quint64(sampleRate) * channels * bytesPerSample), h + 28);
    qToLittleEndian<quint16>(quint16(channels * bytesPerSample), h + 32);
    qToLittleEndian<quint16>(16, h + 34);
    std::memcpy(h + 36, chunksBeforeData.constData(), size_t(chunksBeforeData.size()));
    putTag(h + size - 8, "data");
    qToLittleEndian<quint32>(dataBytes, h + size - 4);
    return bytes;
}

} // namespace WavFormat

namespace {

// Block align is 16 bits and the byte rate 32 bits in the header.
bool isDescribableFormat(int sampleRate, int channels)
{
    return sampleRate > 0 && channels > 0
        && channels * WavFormat::bytesPerSample <= std::numeric_limits<quint16>::max()
        && quint64(sampleRate) * quint64(channels) * WavFormat::bytesPerSample
               <= std::numeric_limits<quint32>::max();
}

} // namespace

WavWriter::~WavWriter()
{
    close();
}

bool WavWriter::open(const QString &path, int sampleRate, int channels)
{
    if (m_isOpen) {
        qDebug() << "[WavWriter] Finalising" << m_path << "before opening" << path;
        close();
    }

    m_path = path;
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_samplesWritten = 0;
    m_samplesSinceRefresh = 0;
    m_droppedSamples = 0;
    m_hasError = false;
    m_isFull = false;
    m_errorString.clear();

    if (!isDescribableFormat(sampleRate, channels)) {
        fail(QStringLiteral("Unsupported format: %1 Hz, %2 channels").arg(sampleRate).arg(channels));
        return false;
    }

    // Unbuffered: every write reaches the operating system at once, so a write error is seen
    // by the call that caused it and a crash of this process loses nothing already appended.
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        fail(QStringLiteral("Cannot open file: %1").arg(m_file.errorString()));
        return false;
    }

    m_chunksBeforeData = m_broadcastInfo ? BroadcastWav::chunk(*m_broadcastInfo) : QByteArray();
    const QByteArray placeholder = WavFormat::header(sampleRate, channels, 0, m_chunksBeforeData);
    if (writeAll(placeholder.constData(), placeholder.size()) != placeholder.size()) {
        fail(QStringLiteral("Cannot write header: %1").arg(m_file.errorString()));
        m_file.close();
        // A truncated header is not a WAV file; leave nothing behind (but never unlink a
        // device node or the target of a link).
        const QFileInfo info(path);
        if (info.isFile() && !info.isSymLink())
            QFile::remove(path);
        return false;
    }

    const quint32 blockAlign = quint32(channels * WavFormat::bytesPerSample);
    // The 4 GiB rule counts the header: a bigger one leaves a little less room for samples.
    const quint32 limit = std::min(m_requestedLimitBytes, WavFormat::maxDataBytes(channels, placeholder.size()));
    m_dataLimitBytes = limit / blockAlign * blockAlign;
    m_refreshIntervalSamples = qint64(m_headerRefreshSeconds) * sampleRate * channels;
    m_isOpen = true;
    qDebug() << "[WavWriter] Opened" << path << "at" << sampleRate << "Hz," << channels << "channels";
    return true;
}

void WavWriter::writeSamples(const float *samples, qsizetype count)
{
    if (!m_isOpen || samples == nullptr || count <= 0)
        return;
    if (m_hasError || m_isFull) {
        m_droppedSamples += count;
        return;
    }

    const qint64 accepted = WavFormat::samplesThatFit(m_samplesWritten, count, m_dataLimitBytes);
    m_pcm.resize(accepted * WavFormat::bytesPerSample);
    char *out = m_pcm.data();
    for (qint64 i = 0; i < accepted; ++i)
        qToLittleEndian<qint16>(AudioFormat::toPcm16(samples[i]), out + i * WavFormat::bytesPerSample);

    const qint64 written = writeAll(m_pcm.constData(), m_pcm.size());
    // Only whole samples count; the header must never describe half a sample.
    const qint64 samplesLanded = written / WavFormat::bytesPerSample;
    m_samplesWritten += samplesLanded;
    m_samplesSinceRefresh += samplesLanded;

    if (written != m_pcm.size()) {
        m_droppedSamples += count - samplesLanded;
        fail(QStringLiteral("Write failed after %1 samples: %2")
                 .arg(m_samplesWritten)
                 .arg(m_file.errorString()));
        return;
    }

    if (accepted < count) {
        m_droppedSamples += count - accepted;
        m_isFull = true;
        qWarning() << "[WavWriter] Size limit of" << m_dataLimitBytes << "data bytes reached in"
                   << m_path << "- the file stops growing; later samples are dropped.";
        refreshHeader();
        return;
    }

    if (m_refreshIntervalSamples > 0 && m_samplesSinceRefresh >= m_refreshIntervalSamples)
        refreshHeader();
}

void WavWriter::close()
{
    if (!m_isOpen)
        return;
    m_isOpen = false;

    // Even after a write error the header is worth fixing: it then describes exactly the
    // samples that did reach the file.
    refreshHeader();
    m_file.unsetError();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        fail(QStringLiteral("Cannot close file: %1").arg(m_file.errorString()));

    const double seconds = m_sampleRate > 0 ? double(framesWritten()) / m_sampleRate : 0.0;
    qDebug() << "[WavWriter] Closed" << m_path << "-" << framesWritten() << "frames," << seconds
             << "s," << m_droppedSamples << "samples dropped";
}

qint64 WavWriter::writeAll(const char *data, qint64 size)
{
    // QFile returns a short count when the disk fills mid-write; asking again for the rest
    // turns that into -1 with the system's own error text.
    qint64 done = 0;
    while (done < size) {
        const qint64 n = m_file.write(data + done, size - done);
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

bool WavWriter::refreshHeader()
{
    if (!m_file.isOpen())
        return false;
    const qint64 end = m_file.pos();
    const auto dataBytes = quint32(m_samplesWritten * WavFormat::bytesPerSample);
    const QByteArray bytes = WavFormat::header(m_sampleRate, m_channels, dataBytes, m_chunksBeforeData);
    if (!m_file.seek(0) || writeAll(bytes.constData(), bytes.size()) != bytes.size()
        || !m_file.seek(end)) {
        fail(QStringLiteral("Cannot update header: %1").arg(m_file.errorString()));
        return false;
    }
    m_samplesSinceRefresh = 0;
    return syncToDisk();
}

bool WavWriter::syncToDisk()
{
    // Without this a power cut can keep the new header but not the samples it describes (or
    // neither): the page cache holds both until the system decides to write them.
    QString error;
    if (syncFileToDisk(m_file.handle(), &error))
        return true;
    fail(QStringLiteral("Cannot sync to disk: %1").arg(error));
    return false;
}

void WavWriter::fail(const QString &what)
{
    qWarning() << "[WavWriter]" << qPrintable(what) << "-" << m_path;
    if (m_hasError)
        return; // keep the first failure: it is the cause, later ones are consequences
    m_hasError = true;
    m_errorString = what;
}
