#include "recording/Timecode.h"

#include <QRegularExpression>

#include <cmath>

namespace Timecode {

namespace {

constexpr double fallbackFrameRate = 30.0;

} // namespace

double usableFrameRate(double fps)
{
    if (!std::isfinite(fps) || fps < 0.5 || fps > 1000.0)
        return fallbackFrameRate;
    return fps;
}

int timebase(double fps)
{
    return int(std::lround(usableFrameRate(fps)));
}

bool isNtscRate(double fps)
{
    static constexpr struct { double ntsc; double whole; } rates[] = {
        {23.976, 24.0}, {29.97, 30.0}, {59.94, 60.0}};
    const double rate = usableFrameRate(fps);
    for (const auto &r : rates) {
        const double offset = std::abs(rate - r.ntsc);
        if (offset < 0.05 && offset < std::abs(rate - r.whole))
            return true;
    }
    return false;
}

bool isDropFrame(const QString &text)
{
    return text.contains(QLatin1Char(';'));
}

std::optional<qint64> frameCount(const QString &text, int timebase, bool ntsc)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d{2}):(\d{2}):(\d{2})([:;])(\d{2,3})$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch() || timebase <= 0)
        return std::nullopt;
    const qint64 hours = match.captured(1).toLongLong();
    const qint64 minutes = match.captured(2).toLongLong();
    const qint64 seconds = match.captured(3).toLongLong();
    const qint64 frames = match.captured(5).toLongLong();
    if (hours > 23 || minutes > 59 || seconds > 59 || frames >= timebase)
        return std::nullopt;
    const qint64 nominal = ((hours * 60 + minutes) * 60 + seconds) * timebase + frames;
    if (match.captured(4) == QLatin1String(":"))
        return nominal;

    // Drop-frame: the first labels of every minute but each tenth are skipped (two at 29.97,
    // four at 59.94), so the labels keep up with the clock.
    if (!ntsc || (timebase != 30 && timebase != 60))
        return std::nullopt;
    const qint64 dropped = timebase / 15;
    if (seconds == 0 && minutes % 10 != 0 && frames < dropped)
        return std::nullopt; // a label that does not exist
    const qint64 totalMinutes = hours * 60 + minutes;
    return nominal - dropped * (totalMinutes - totalMinutes / 10);
}

std::optional<qint64> samplesSinceMidnight(const QString &text, double fps, int sampleRate)
{
    const bool ntsc = isNtscRate(fps);
    const int base = timebase(fps);
    const std::optional<qint64> frames = frameCount(text, base, ntsc);
    if (!frames || sampleRate <= 0)
        return std::nullopt;
    // Exact rational rate: base frames per second, or base × 1000/1001 for NTSC.
    const qint64 numerator = ntsc ? qint64(base) * 1000 : base;
    const qint64 denominator = ntsc ? 1001 : 1;
    return (*frames * sampleRate * denominator + numerator / 2) / numerator;
}

QString text(qint64 frames, int timebase, bool dropFrame)
{
    if (timebase <= 0)
        timebase = 30;
    dropFrame = dropFrame && (timebase == 30 || timebase == 60);
    const qint64 dropped = dropFrame ? timebase / 15 : 0;
    const qint64 perMinute = qint64(timebase) * 60 - dropped;
    const qint64 perTenMinutes = qint64(timebase) * 600 - dropped * 9;
    const qint64 perDay = perTenMinutes * 6 * 24;
    qint64 n = ((frames % perDay) + perDay) % perDay;
    if (dropFrame) {
        // Put back the labels skipped before this frame: `dropped` at the start of every minute
        // but each tenth.
        const qint64 tens = n / perTenMinutes;
        const qint64 rest = n % perTenMinutes;
        n += dropped * 9 * tens;
        if (rest > dropped)
            n += dropped * ((rest - dropped) / perMinute);
    }
    const qint64 seconds = n / timebase;
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("%1:%2:%3%4%5")
        .arg(two(seconds / 3600), two(seconds / 60 % 60), two(seconds % 60),
             dropFrame ? QStringLiteral(";") : QStringLiteral(":"), two(n % timebase));
}

QString startTimecode(const QTime &timeOfDay, FrameRate rate)
{
    const qint64 second = timeOfDay.isValid() ? timeOfDay.msecsSinceStartOfDay() / 1000 : 0;
    if (!rate.hasDropFrameTimecode())
        return text(second * rate.timebase(), rate.timebase(), false);
    return text(rate.framesIn(second * 1'000'000'000), rate.timebase(), true);
}

} // namespace Timecode
