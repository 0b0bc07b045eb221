#include "recording/FileSync.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

bool syncFileToDisk(int handle, QString *error)
{
#if defined(Q_OS_LINUX)
    const int result = ::fdatasync(handle);
#elif defined(Q_OS_UNIX)
    const int result = ::fsync(handle);
#elif defined(Q_OS_WIN)
    const int result = ::_commit(handle);
#else
    const int result = 0;
#endif
    // EINVAL: the file cannot be synced at all, not a lost write.
    if (result == 0 || errno == EINVAL)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
