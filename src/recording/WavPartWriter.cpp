#include "recording/WavPartWriter.h"

#include <QDebug>

#include <algorithm>

QString WavPartWriter::partPath(const QString &firstPath, int part)
{
    if (part <= 1)
        return firstPath;
    const QString suffix = QStringLiteral("_%1").arg(part, 3, 10, QLatin1Char('0'));
    const qsizetype slash = firstPath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = firstPath.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        return firstPath + suffix;
    return firstPath.left(dot) + suffix + firstPath.mid(dot);
}

bool WavPartWriter::open(const QString &firstPath, int sampleRate, int channels)
{
    close();
    m_firstPath = firstPath;
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_partPaths.clear();
    m_closedPartFrames.clear();
    m_error.clear();
    return openPart(1);
}

bool WavPartWriter::openPart(int part)
{
    const QString path = partPath(m_firstPath, part);
    m_file.setDataSizeLimitBytes(m_partLimitBytes);
    // The owner refreshes headers by the wall clock; a part never syncs on its own.
    m_file.setHeaderRefreshSeconds(0);
    if (m_broadcastInfo) {
        BroadcastWavInfo info = *m_broadcastInfo;
        for (qint64 frames : std::as_const(m_closedPartFrames))
            info.timeReference += quint64(frames);
        if (part > 1)
            info.description += QStringLiteral(" (part %1)").arg(part);
        m_file.setBroadcastInfo(info);
    } else {
        m_file.setBroadcastInfo(std::nullopt);
    }
    if (!m_file.open(path, m_sampleRate, m_channels)) {
        noteError();
        return false;
    }
    m_partPaths.append(path);
    if (part > 1)
        qDebug() << "[WavPartWriter] Continuing in part" << part << ":" << path;
    return true;
}

void WavPartWriter::write(const float *samples, qsizetype count)
{
    // Whole frames only, so a part boundary never splits a frame.
    while (count > 0 && m_file.isOpen() && !hasError()) {
        const qint64 fit = WavFormat::samplesThatFit(m_file.samplesWritten(), count, m_file.dataLimitBytes());
        const qint64 wholeFrames = fit - fit % std::max(1, m_channels);
        if (wholeFrames > 0) {
            m_file.writeSamples(samples, qsizetype(wholeFrames));
            if (m_file.hasError()) {
                noteError();
                return;
            }
            samples += wholeFrames;
            count -= qsizetype(wholeFrames);
        }
        if (count == 0)
            return;
        // Full: finalise this part and go on in the next.
        m_closedPartFrames.append(m_file.framesWritten());
        m_file.close();
        if (m_file.hasError()) {
            noteError();
            return;
        }
        if (!openPart(int(m_partPaths.size()) + 1))
            return;
    }
}

void WavPartWriter::refreshHeader()
{
    if (m_file.isOpen() && !hasError() && !m_file.refreshHeader())
        noteError();
}

void WavPartWriter::close()
{
    if (!m_file.isOpen())
        return;
    const qint64 frames = m_file.framesWritten();
    m_file.close();
    m_closedPartFrames.append(frames);
    if (m_file.hasError())
        noteError();
}

QList<qint64> WavPartWriter::partFrames() const
{
    QList<qint64> frames = m_closedPartFrames;
    if (m_file.isOpen())
        frames.append(m_file.framesWritten());
    return frames;
}

qint64 WavPartWriter::framesWritten() const
{
    qint64 total = 0;
    for (qint64 frames : partFrames())
        total += frames;
    return total;
}

void WavPartWriter::noteError()
{
    if (m_error.isEmpty())
        m_error = m_file.errorString();
}
