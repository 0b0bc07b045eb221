#include "capture/PicturePool.h"

PicturePool::PicturePool(size_t maxIdle)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->maxIdle = maxIdle;
}

PicturePool::~PicturePool() = default;

std::shared_ptr<QByteArray> PicturePool::acquire(qsizetype size, Size match)
{
    std::unique_ptr<QByteArray> buffer;
    {
        const std::lock_guard lock(m_shared->mutex);
        auto &idle = m_shared->idle;
        for (auto it = idle.begin(); it != idle.end(); ++it) {
            const bool fits = match == Size::Exact ? (*it)->size() == size : (*it)->capacity() >= size;
            if (fits) {
                buffer = std::move(*it);
                idle.erase(it);
                break;
            }
        }
    }
    if (!buffer) {
        // A compressed picture's buffer gets room for a larger one, so it serves again.
        const qsizetype room = match == Size::Exact ? size : size + size / 2;
        buffer = std::make_unique<QByteArray>(room, Qt::Uninitialized);
        m_shared->allocations.fetch_add(1, std::memory_order_relaxed);
    }
    // Within the capacity: no new allocation.
    buffer->resize(size);
    const std::weak_ptr<Shared> pool = m_shared;
    return std::shared_ptr<QByteArray>(buffer.release(), [pool](QByteArray *released) { release(pool, released); });
}

void PicturePool::clear()
{
    std::vector<std::unique_ptr<QByteArray>> freed;
    const std::lock_guard lock(m_shared->mutex);
    freed.swap(m_shared->idle);
}

void PicturePool::release(const std::weak_ptr<Shared> &pool, QByteArray *buffer)
{
    std::unique_ptr<QByteArray> owned(buffer);
    const std::shared_ptr<Shared> shared = pool.lock();
    if (!shared)
        return; // the camera is gone: free it here
    const std::lock_guard lock(shared->mutex);
    if (shared->idle.size() < shared->maxIdle)
        shared->idle.push_back(std::move(owned));
}
