// The live edit on disk: the take's cut journal (opened with the take's files, a line for
// every switch and marker as it happens, read back at stop so the timelines are written from
// it), and the markers the operator drops (the marker key, the phone's button or
// POST /api/marker, all through dropMarker()), which every timeline of the take carries.
#include "app/ApplicationManager.h"

#include "recording/CutJournalFormat.h"
#include "recording/CutJournalReader.h"
#include "recording/FrameRate.h"

#include <QDebug>
#include <QFileInfo>

QVariantMap ApplicationManager::dropMarker(const QString &name)
{
    if (!m_isRecording) {
        qDebug() << "[ApplicationManager] Marker ignored: no take is running.";
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("No take is running.")}};
    }
    const int number = int(m_takeMarkers.size()) + 1;
    const QString markerName = timelineMarkerName(name, number);
    const qint64 takeMs = elapsedTakeMs();
    m_takeMarkers.append(TimelineMarker{takeMs, markerName});
    m_journal.noteMarker(takeMs, number, markerName);

    const QString takeTime = CutJournalFormat::timeText(takeMs);
    const bool isNumbered = markerName == QStringLiteral("Marker %1").arg(number);
    m_lastMarkerText = isNumbered ? QStringLiteral("%1 at %2").arg(markerName, takeTime)
                                  : QStringLiteral("Marker %1 \u201c%2\u201d at %3").arg(number).arg(markerName, takeTime);
    qDebug().noquote() << "[ApplicationManager]" << m_lastMarkerText;
    emit lastMarkerChanged();
    emit markerDropped(number, markerName, takeMs);
    return {{QStringLiteral("ok"), true},
            {QStringLiteral("number"), number},
            {QStringLiteral("name"), markerName},
            {QStringLiteral("takeMs"), takeMs},
            {QStringLiteral("takeTime"), takeTime}};
}

void ApplicationManager::setMarkerKey(int key)
{
    m_markerKey = key;
    emit keybindsChanged();
    qDebug() << "[ApplicationManager] Keybind set for MARKER ->" << keyToString(key);
    studioSetupChanged();
}

void ApplicationManager::openCutJournal()
{
    CutJournalTake take;
    take.sessionName = m_activeSessionName;
    take.startTimecode = m_startTimecode;
    take.rate = m_takePlan.rate;
    const QSize sequence = TakeSetup::sequenceSize(m_takePlan, m_videoPaths);
    take.width = sequence.width();
    take.height = sequence.height();
    // Named within the take folder, so a copied or moved take still finds its files.
    const auto fileName = [](const QString &path) { return QFileInfo(path).fileName(); };
    for (const auto &[channelId, path] : m_videoPaths)
        take.cameraFiles[channelId] = fileName(path);
    if (m_take && m_take->hasMasterAudio())
        take.masterFile = fileName(m_masterWavPath);
    for (const auto &[channelId, path] : m_isoAudioPaths) {
        take.channelAudioFiles[channelId] = fileName(path);
        const ChannelState *channel = m_channels.find(channelId);
        if (channel && channel->cameraLink > 0)
            take.cameraLinks[channelId] = channel->cameraLink;
    }
    if (!m_journal.open(m_currentTakeFolder, take)) {
        qWarning() << "[ApplicationManager] Cut journal not written:" << m_journal.lastError()
                   << "- the switches are kept until STOP only.";
        return;
    }
    m_journal.noteSwitch(0, m_activeSourceId);
    qDebug() << "[ApplicationManager] Cut journal:" << m_journal.path();
}

void ApplicationManager::closeCutJournal(qint64 durationMs)
{
    if (!m_journal.isOpen())
        return;
    m_journal.noteStop(durationMs);
    m_journal.close();
    if (const QString error = m_journal.lastError(); !error.isEmpty()) {
        qWarning() << "[ApplicationManager] Cut journal incomplete:" << error << "- the timelines keep the switches of STOP.";
        return;
    }
    // The timelines say what the journal says: exactly what a rebuild after a crash would.
    QString readError;
    const std::optional<CutJournalContents> journal = readCutJournal(m_currentTakeFolder, &readError);
    if (!journal) {
        qWarning() << "[ApplicationManager] Cut journal cannot be read back:" << readError;
        return;
    }
    m_timelineCuts = journal->cuts;
    m_takeMarkers = journal->markers;
}
