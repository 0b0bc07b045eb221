#include "capture/ISource.h"

#include "common/MonotonicClock.h"

void ISource::picturesAfter(quint64 sequence, std::vector<TimedPicture> &out)
{
    out.clear();
    const quint64 delivered = picturesDelivered();
    // A source that does not count its pictures offers its newest one as a new one each time.
    const quint64 newest = delivered > 0 ? delivered : sequence + 1;
    if (newest <= sequence)
        return;
    TimedPicture timed;
    latestFrame(timed.picture);
    timed.takenNs = timed.arrivedNs = monotonicNowNs();
    timed.sequence = newest;
    out.push_back(std::move(timed));
}
