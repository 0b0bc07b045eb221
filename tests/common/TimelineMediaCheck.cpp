#include "TimelineMediaCheck.h"

#include "MediaReadback.h"

#include <QByteArray>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

std::optional<qint64> labelledFrame(const QString &text, int timebase)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d\d):(\d\d):(\d\d)([:;])(\d\d\d?)$)"));
    const auto m = pattern.match(text);
    if (!m.hasMatch() || timebase <= 0)
        return std::nullopt;
    const int h = m.captured(1).toInt(), mi = m.captured(2).toInt(), s = m.captured(3).toInt(), f = m.captured(5).toInt();
    if (h > 23 || mi > 59 || s > 59 || f >= timebase)
        return std::nullopt;
    qint64 frame = ((qint64(h) * 60 + mi) * 60 + s) * timebase + f;
    if (m.captured(4) == QLatin1String(";")) {
        const int drop = timebase == 30 ? 2 : timebase == 60 ? 4 : -1;
        if (drop < 0)
            return std::nullopt;
        frame -= qint64(drop) * (qint64(h) * 54 + mi - mi / 10);
    }
    return frame;
}

QString localPathOfEncodedUrl(const QString &url, QString *fault)
{
    static const QRegularExpression shape(QStringLiteral(R"(^file://([A-Za-z0-9.\-]*)(/[A-Za-z0-9\-._~/:%]*)$)"));
    const auto m = shape.match(url);
    if (!m.hasMatch()) {
        *fault = QStringLiteral("\"%1\" is no percent-encoded file URL").arg(url);
        return {};
    }
    const QByteArray decoded = QByteArray::fromPercentEncoding(m.captured(2).toLatin1());
    QString path = QString::fromUtf8(decoded);
    if (path.toUtf8() != decoded) {
        *fault = QStringLiteral("\"%1\" does not decode to UTF-8").arg(url);
        return {};
    }
    const QString host = m.captured(1);
    if (!host.isEmpty() && host != QLatin1String("localhost"))
        return QLatin1String("//") + host + path;
    static const QRegularExpression drive(QStringLiteral("^/[A-Za-z]:/"));
    if (drive.match(path).hasMatch())
        path.remove(0, 1);
    return path;
}

QStringList checkFileClaims(const QList<TimelineFileClaim> &claims, double fps, int timebase)
{
    QStringList faults;
    if (fps <= 0)
        return {QStringLiteral("no frame rate")};
    const double frame = 1.0 / fps;
    for (const TimelineFileClaim &claim : claims) {
        const MediaProbe probe = probeMedia(claim.path);
        if (!probe.error.isEmpty()) {
            faults.append(QStringLiteral("%1 (%2): %3").arg(claim.id, claim.path, probe.error));
            continue;
        }
        // A video file (a crashed take's among them) lasts to the end of its last picture, and
        // no longer than its demuxer says.
        double onDisk = probe.durationSeconds;
        if (claim.isVideo) {
            const Readback video = readBack(claim.path);
            const double pictures = video.pts.isEmpty() ? 0.0
                : double(*std::max_element(video.pts.begin(), video.pts.end()) - *std::min_element(video.pts.begin(), video.pts.end()))
                        * av_q2d(video.timeBase) + frame;
            onDisk = probe.durationSeconds > 0 ? std::min(pictures, probe.durationSeconds) : pictures;
        }
        const double claimed = double(claim.durationFrames) * frame;
        if (std::abs(onDisk - claimed) > frame + 0.001)
            faults.append(QStringLiteral("%1: %2 s on disk, %3 s in the timeline").arg(claim.id).arg(onDisk).arg(claimed));
        if (double(claim.usedFrames) * frame > onDisk + 0.001)
            faults.append(QStringLiteral("%1: a clip reaches %2 s into a file of %3 s")
                              .arg(claim.id).arg(double(claim.usedFrames) * frame).arg(onDisk));
        if (claim.isVideo) {
            // An editor scales a picture into the frame by the size the timeline gives it.
            if (claim.width > 0 && (claim.width != probe.width || claim.height != probe.height))
                faults.append(QStringLiteral("%1: %2x%3 on disk, %4x%5 in the timeline")
                                  .arg(claim.id).arg(probe.width).arg(probe.height).arg(claim.width).arg(claim.height));
            if (!probe.timecode.isEmpty() && labelledFrame(probe.timecode, timebase) != claim.startFrame)
                faults.append(QStringLiteral("%1: timecode %2 on disk, frame %3 in the timeline")
                                  .arg(claim.id, probe.timecode).arg(claim.startFrame.value_or(-1)));
            continue;
        }
        // A WAV file starts where its time reference says, or at zero without one.
        const QString reference = probe.tags.value(QStringLiteral("time_reference"));
        const double byFile = reference.isEmpty() || probe.sampleRate <= 0 ? 0.0 : reference.toDouble() / probe.sampleRate * fps;
        if (std::abs(byFile - double(claim.startFrame.value_or(0))) > 1.0)
            faults.append(QStringLiteral("%1: starts at frame %2 by its file, %3 in the timeline")
                              .arg(claim.id).arg(byFile, 0, 'f', 1).arg(claim.startFrame.value_or(0)));
    }
    return faults;
}
