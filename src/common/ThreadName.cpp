#include "common/ThreadName.h"

#include <QByteArray>

#ifdef Q_OS_LINUX
#include <pthread.h>
#endif

namespace {

constexpr qsizetype kMaxNameBytes = 15;

} // namespace

void nameCurrentThread(const QString &name)
{
#ifdef Q_OS_LINUX
    QByteArray bytes = name.toUtf8();
    if (bytes.size() > kMaxNameBytes) {
        qsizetype end = kMaxNameBytes;
        // Back to the first byte of the character the cut would split (continuation bytes
        // are 10xxxxxx).
        while (end > 0 && (uchar(bytes.at(end)) & 0xC0) == 0x80)
            --end;
        bytes.truncate(end);
    }
    pthread_setname_np(pthread_self(), bytes.constData());
#else
    Q_UNUSED(name);
#endif
}
