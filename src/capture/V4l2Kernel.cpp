#include "capture/V4l2Kernel.h"

#include <QDir>
#include <QFileInfo>

#include <libv4l2.h>

#include <cerrno>
#include <mutex>

namespace {

class SystemV4l2Kernel : public V4l2Kernel
{
public:
    QStringList videoNodes() const override
    {
        QStringList nodes;
        const QStringList names = QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System);
        for (const QString &name : names)
            nodes.append(QStringLiteral("/dev/") + name);
        return nodes;
    }

    QMap<QString, QString> byIdLinks() const override
    {
        QMap<QString, QString> links;
        const QDir byId(QStringLiteral("/dev/v4l/by-id"));
        const QFileInfoList entries = byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            const QString target = entry.canonicalFilePath();
            if (!target.isEmpty())
                links.insert(entry.absoluteFilePath(), target);
        }
        return links;
    }

    QString resolveNode(const QString &key) const override { return QFileInfo(key).canonicalFilePath(); }

    int open(const char *path, int flags) override { return v4l2_open(path, flags); }
    int close(int fd) override { return v4l2_close(fd); }
    int ioctl(int fd, unsigned long request, void *argument) override { return v4l2_ioctl(fd, request, argument); }
    void *mmap(void *address, size_t length, int protection, int flags, int fd, off_t offset) override
    {
        return v4l2_mmap(address, length, protection, flags, fd, int64_t(offset));
    }
    int munmap(void *address, size_t length) override { return v4l2_munmap(address, length); }
    int poll(pollfd *fds, nfds_t count, int timeoutMs) override { return ::poll(fds, count, timeoutMs); }
};

std::mutex kernelMutex;
std::shared_ptr<V4l2Kernel> installedKernel; // Guarded by kernelMutex.

} // namespace

int V4l2Kernel::ioctlRetrying(int fd, unsigned long request, void *argument)
{
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result;
}

std::shared_ptr<V4l2Kernel> currentV4l2Kernel()
{
    std::lock_guard lock(kernelMutex);
    if (!installedKernel)
        installedKernel = std::make_shared<SystemV4l2Kernel>();
    return installedKernel;
}

void installV4l2Kernel(std::shared_ptr<V4l2Kernel> kernel)
{
    std::lock_guard lock(kernelMutex);
    installedKernel = std::move(kernel);
}
