#include "recording/TakeRecoveryRun.h"

#include "recording/TakeRecovery.h"

#include <QDebug>
#include <QDir>

#if defined(Q_OS_LINUX)
#include <pthread.h>
#endif

bool TakeRecoveryOutcome::isRebuilt() const
{
    if (!error.isEmpty() || writes.isEmpty())
        return false;
    for (const TimelineFileWrite &write : writes) {
        if (!write.error.isEmpty())
            return false;
    }
    return true;
}

TakeRecoveryRun::~TakeRecoveryRun()
{
    stop();
}

void TakeRecoveryRun::stop()
{
    m_stop = true;
    wait();
}

void TakeRecoveryRun::start(const QStringList &takeFolders, QObject *context, Done done)
{
    wait();
    if (takeFolders.isEmpty())
        return;
    m_stop = false;
    m_running = true;
    m_thread = std::thread([this, takeFolders, context, done = std::move(done)] {
#if defined(Q_OS_LINUX)
        pthread_setname_np(pthread_self(), "TakeRecovery");
#endif
        for (const QString &folder : takeFolders) {
            if (m_stop)
                break;
            TakeRecoveryOutcome outcome;
            outcome.takeFolder = folder;
            const TakeRecoveryResult rebuilt = rebuildTakeFromJournal(folder);
            outcome.found = rebuilt.found;
            outcome.error = rebuilt.error;
            if (rebuilt.error.isEmpty())
                writeTimeline(rebuilt.input, &outcome.writes);
            log(outcome);
            QMetaObject::invokeMethod(context, [done, outcome] { done(outcome); }, Qt::QueuedConnection);
        }
        m_running = false;
    });
}

void TakeRecoveryRun::log(const TakeRecoveryOutcome &outcome)
{
    // Logged here, as it happens: a program that ends right after (a --record run) still
    // says what became of the take.
    const QString name = QDir(outcome.takeFolder).dirName();
    for (const QString &line : outcome.found)
        qDebug().noquote() << "[TakeRecovery]" << name << "-" << line;
    if (!outcome.error.isEmpty()) {
        qWarning().noquote() << "[TakeRecovery]" << name << "could not be recovered:" << outcome.error;
        return;
    }
    for (const TimelineFileWrite &write : outcome.writes) {
        if (write.error.isEmpty())
            qDebug() << "[TakeRecovery] Rebuilt timeline:" << write.path;
        else
            qWarning() << "[TakeRecovery] Failed to rebuild timeline:" << write.path << "-" << write.error;
    }
    if (outcome.isRebuilt())
        qDebug().noquote() << "[TakeRecovery]" << name << "recovered \u2014 timelines rebuilt";
}

void TakeRecoveryRun::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
