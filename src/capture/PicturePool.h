// PicturePool: the picture buffers of one camera, reused instead of allocated per picture.
// A fresh 1080p picture is 3 to 4 MB whose pages fault in while it is first written, and
// allocations of that size sit right at the allocator's thresholds (memory that grows in
// steps over a long take); a reused one is already mapped.
//
// acquire() hands out a buffer that nobody else holds, as a std::shared_ptr whose deleter
// returns it here: ownership is the pointer's own count, so a buffer comes back exactly when
// its last holder (history, frame pump, encoder queue, preview) lets go, however long any of
// them keeps it. Threads: acquire() runs on the device thread; the release may run on any
// thread (an encoder's worker drops its last frame), and both meet under the pool's mutex,
// which also orders a reader's last read of the bytes before the next write into them. The
// pool may be destroyed while buffers are out: they are then freed by their last holder.
#pragma once

#include <QByteArray>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class PicturePool
{
public:
    // At most maxIdle released buffers wait for reuse; more are freed (after a size change,
    // or when the readers held unusually many at once).
    explicit PicturePool(size_t maxIdle);
    ~PicturePool();

    PicturePool(const PicturePool &) = delete;
    PicturePool &operator=(const PicturePool &) = delete;

    // Exact: buffers of one size (raw pictures). AtLeast: any idle buffer large enough, cut to
    // the size asked (compressed pictures, each of its own length).
    enum class Size { Exact, AtLeast };
    // A writable buffer of `size` bytes (contents undefined), held only by the caller.
    std::shared_ptr<QByteArray> acquire(qsizetype size, Size match = Size::Exact);
    // Frees the idle buffers (a new picture size makes them useless).
    void clear();
    // Buffers allocated because none of the right size was idle, since construction.
    quint64 allocations() const { return m_shared->allocations.load(std::memory_order_relaxed); }

private:
    struct Shared
    {
        std::mutex mutex;
        std::vector<std::unique_ptr<QByteArray>> idle; // Guarded by mutex.
        size_t maxIdle = 0;
        std::atomic<quint64> allocations{0};
    };
    static void release(const std::weak_ptr<Shared> &pool, QByteArray *buffer);

    std::shared_ptr<Shared> m_shared;
};
