// The takes a crash or a power cut left without timelines: found at start by their cut
// journals, rebuilt from the journal and the files as they are on disk (TakeRecoveryRun, on a
// thread of its own, which logs what it found) and announced to the operator.
#include "app/ApplicationManager.h"

#include "recording/TakeRecovery.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>

void ApplicationManager::recoverInterruptedTakes()
{
    // Found here, before a take can start: a take being recorded has a journal and no
    // timelines too.
    const QStringList takes = takesNeedingRecovery(recordingPath());
    for (const QString &take : takes)
        qWarning() << "[ApplicationManager] Take without timelines found:" << take << "- rebuilding them from its cut journal.";
    m_recovery.start(takes, this, [this](const TakeRecoveryOutcome &outcome) { announceRecoveredTake(outcome); });
}

void ApplicationManager::waitForTakeRecovery()
{
    m_recovery.wait();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void ApplicationManager::announceRecoveredTake(const TakeRecoveryOutcome &outcome)
{
    // The run has logged what it found; the operator is told of every take rebuilt.
    if (!outcome.isRebuilt())
        return;
    m_recoveredTakes.append(QDir(outcome.takeFolder).dirName());
    emit takeRecoveryChanged();
}

QString ApplicationManager::takeRecoveryText() const
{
    QStringList lines;
    for (const QString &take : m_recoveredTakes)
        lines.append(m_currentLanguage == QLatin1String("SR") ? QStringLiteral("%1 vra\u0107en \u2014 vremenske linije ponovo napravljene").arg(take)
                                                              : QStringLiteral("%1 recovered \u2014 timelines rebuilt").arg(take));
    return lines.join(QLatin1Char('\n'));
}

void ApplicationManager::dismissTakeRecovery()
{
    if (m_recoveredTakes.isEmpty())
        return;
    m_recoveredTakes.clear();
    emit takeRecoveryChanged();
}
