#include "app/ProcessMemory.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include "platform/windows/ProcessCounters.h"
#endif

qint64 residentSetBytes()
{
#if defined(Q_OS_WIN)
    return ProcessCounters::workingSetBytes();
#elif defined(Q_OS_LINUX)
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
    bool ok = false;
    const qint64 pages = fields.at(1).toLongLong(&ok);
    if (!ok)
        return -1;
    return pages * sysconf(_SC_PAGESIZE);
#else
    return -1;
#endif
}
